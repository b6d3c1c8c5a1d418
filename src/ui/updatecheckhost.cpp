#include "updatecheckhost.h"

#include "checkupdate.h"
#include "mainwindow.h"

#include <QCoreApplication>

namespace zelbrin::ui {

UpdateCheckHost::UpdateCheckHost(MainWindow &window, const MainWindowOptions &options)
    : QObject(&window) {
    const QString programFolder = window.programFolder();
    check_ = std::make_unique<platform::CheckUpdate>(
        options.updateBaseUrl, programFolder, defaultDownloadFolder(programFolder),
        options.updateEnvironment,
        platform::UpdateSleepRange{options.updateRetryMinMs, options.updateRetryMaxMs});
    MainWindow *target = &window;
    connect(check_.get(), &platform::CheckUpdate::promptForUpdate, this,
            [target] { target->askToUpdate(); }, Qt::BlockingQueuedConnection);
    check_->start();
}

UpdateCheckHost::~UpdateCheckHost() {
    check_->stop();
    // A question posted but not yet shown would block the thread, and so the join, for
    // ever: removing the posted call releases the waiting thread.
    disconnect(check_.get(), nullptr, this, nullptr);
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    check_.reset();
}

}  // namespace zelbrin::ui
