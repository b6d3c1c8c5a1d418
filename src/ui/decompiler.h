#pragma once

#include "decompilecommand.h"

#include <QObject>

class QProcess;
class QTimer;

namespace zelbrin {
class UserPrompts;
}

namespace zelbrin::ui {

class DecompileDialog;

// What the decompile dialog's buttons do: the browse buttons fill its fields, and
// "开始转换" unpacks the help file with our hh and tells the user how it went. hh runs
// while the dialog goes on working, its buttons held.
class Decompiler : public QObject {
    Q_OBJECT
public:
    // hhProgram empty: "hh" in the program folder.
    Decompiler(DecompileDialog &dialog, UserPrompts &prompts, QString programFolder,
               QString hhProgram = {});
    // A running hh is stopped.
    ~Decompiler() override;

    void chooseHelpFile();
    void chooseDestination();
    // Starts the unpack; finished() follows once the user has been told how it went
    // (at once when nothing is run: a field empty, the folder refused, no help file).
    void start();
    bool isRunning() const { return hh_ != nullptr; }
    // A damaged help file must not keep the dialog waiting with its buttons disabled.
    void setTimeout(int ms) { timeoutMs_ = ms; }

signals:
    void finished();

private:
    void finish(bool helpFileExists, int exitCode, bool timedOut);

    DecompileDialog &dialog_;
    UserPrompts &prompts_;
    const QString programFolder_;
    const QString hhProgram_;
    int timeoutMs_ = 5 * 60 * 1000;
    QProcess *hh_ = nullptr;
    QTimer *deadline_ = nullptr;
    bool timedOut_ = false;
};

}  // namespace zelbrin::ui
