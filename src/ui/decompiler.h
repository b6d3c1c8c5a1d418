#pragma once

#include "decompilecommand.h"

#include <QObject>

namespace zelbrin {
class UserPrompts;
}

namespace zelbrin::ui {

class DecompileDialog;

// Unpacks the help file into the folder with our hh, waiting at most timeoutMs, and
// says how it went; a help file that does not exist is not handed to hh. The caller
// has checked the two with decompileRefused.
DecompileOutcome unpackHelpFile(const QString &hhProgram, const QString &helpFileText,
                                const QString &destinationText, int timeoutMs);

// What the decompile dialog's buttons do: the browse buttons fill its fields, and
// "开始转换" unpacks the help file and tells the user how it went.
class Decompiler : public QObject {
    Q_OBJECT
public:
    // hhProgram empty: "hh" in the program folder.
    Decompiler(DecompileDialog &dialog, UserPrompts &prompts, QString programFolder,
               QString hhProgram = {});

    void chooseHelpFile();
    void chooseDestination();
    void start();
    // A damaged help file must not keep the dialog waiting with its buttons disabled.
    void setTimeout(int ms) { timeoutMs_ = ms; }

private:
    DecompileDialog &dialog_;
    UserPrompts &prompts_;
    const QString programFolder_;
    const QString hhProgram_;
    int timeoutMs_ = 5 * 60 * 1000;
};

}  // namespace zelbrin::ui
