#pragma once

#include <QObject>
#include <memory>

namespace zelbrin::platform {
class CheckUpdate;
}

namespace zelbrin::ui {

class MainWindow;
struct MainWindowOptions;

// Runs the update check for the main window: starts the thread, hands its question to
// MainWindow::askToUpdate on the user-interface thread, and on destruction (with the
// main window) stops the thread, drops a question still waiting to be shown and joins
// the thread, so quitting never waits for a pause or a transfer.
class UpdateCheckHost : public QObject {
    Q_OBJECT
public:
    UpdateCheckHost(MainWindow &window, const MainWindowOptions &options);
    ~UpdateCheckHost() override;

    platform::CheckUpdate &thread() { return *check_; }

private:
    std::unique_ptr<platform::CheckUpdate> check_;
};

}  // namespace zelbrin::ui
