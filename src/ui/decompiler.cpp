#include "decompiler.h"

#include "decompiledialog.h"
#include "prompts.h"
#include "runprocess.h"

#include <QElapsedTimer>
#include <QFileInfo>

namespace zelbrin::ui {

DecompileOutcome unpackHelpFile(const QString &hhProgram, const QString &helpFileText,
                                const QString &destinationText, int timeoutMs) {
    // A missing help file is reported instead of being handed to hh.
    const bool exists = QFileInfo(helpFileText.trimmed()).isFile();
    QString output;
    QElapsedTimer clock;
    clock.start();
    const int exitCode =
        exists ? runProcessAndWait(hhProgram, decompileArguments(helpFileText, destinationText),
                                   &output, {}, timeoutMs)
               : 1;
    const bool timedOut = exitCode != 0 && clock.elapsed() >= timeoutMs;
    return decompileResult(exists, exitCode, timedOut, output, timeoutMs / 1000);
}

Decompiler::Decompiler(DecompileDialog &dialog, UserPrompts &prompts, QString programFolder,
                       QString hhProgram)
    : dialog_(dialog),
      prompts_(prompts),
      programFolder_(std::move(programFolder)),
      hhProgram_(hhProgram.isEmpty() ? programFolder_ + QStringLiteral("hh")
                                     : std::move(hhProgram)) {
    connect(&dialog, &DecompileDialog::helpFileBrowseRequested, this, &Decompiler::chooseHelpFile);
    connect(&dialog, &DecompileDialog::destinationBrowseRequested, this,
            &Decompiler::chooseDestination);
    connect(&dialog, &DecompileDialog::startRequested, this, &Decompiler::start);
}

void Decompiler::chooseHelpFile() {
    const QString file =
        prompts_.openFileName(QStringLiteral("CHM (*.chm)"), QStringLiteral("chm"));
    if (!file.isEmpty())
        dialog_.setHelpFile(file);
}

void Decompiler::chooseDestination() {
    const QString folder = prompts_.folderName(
        QStringLiteral("选择目录"), decompileBrowseStart(dialog_.destination(), programFolder_));
    if (!folder.isEmpty())
        dialog_.setDestination(folder);
}

// The dialog's notices are captioned "提示".
static const QString kNoticeTitle = QStringLiteral("提示");

void Decompiler::start() {
    const QString helpFile = dialog_.helpFile();
    const QString destination = dialog_.destination();
    if (const QString missing = decompileMissingFields(helpFile, destination); !missing.isEmpty()) {
        prompts_.titledNotice(kNoticeTitle, missing, UserPrompts::Icon::Warning);
        return;
    }
    if (decompileRefused(helpFile, destination)) {
        prompts_.titledNotice(kNoticeTitle, kDecompileSameFolderText, UserPrompts::Icon::Warning);
        return;
    }
    dialog_.setRunning(true);
    const DecompileOutcome outcome = unpackHelpFile(hhProgram_, helpFile, destination, timeoutMs_);
    prompts_.titledNotice(kNoticeTitle, outcome.text, outcome.icon);
    dialog_.setRunning(false);
}

}  // namespace zelbrin::ui
