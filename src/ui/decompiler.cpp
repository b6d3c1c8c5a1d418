#include "decompiler.h"

#include "decompiledialog.h"
#include "prompts.h"

#include <QProcess>
#include <QTimer>
#include <QFileInfo>

namespace zelbrin::ui {

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

Decompiler::~Decompiler() {
    if (hh_) {
        hh_->disconnect(this);
        hh_->kill();
        hh_->waitForFinished(-1);
    }
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
        emit finished();
        return;
    }
    if (decompileRefused(helpFile, destination)) {
        prompts_.titledNotice(kNoticeTitle, kDecompileSameFolderText, UserPrompts::Icon::Warning);
        emit finished();
        return;
    }
    // A missing help file is reported instead of being handed to hh.
    if (!QFileInfo(helpFile.trimmed()).isFile()) {
        finish(false, 1, false);
        return;
    }
    dialog_.setRunning(true);
    timedOut_ = false;
    hh_ = new QProcess(this);
    hh_->setProgram(hhProgram_);
    hh_->setArguments(decompileArguments(helpFile, destination));
    hh_->setStandardInputFile(QProcess::nullDevice());
    hh_->setProcessChannelMode(QProcess::MergedChannels);
    deadline_ = new QTimer(this);
    deadline_->setSingleShot(true);
    connect(deadline_, &QTimer::timeout, this, [this] {
        timedOut_ = true;
        hh_->kill();
    });
    connect(hh_, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        finish(true, status == QProcess::NormalExit ? exitCode : 1, timedOut_);
    });
    connect(hh_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(true, 1, false);
    });
    deadline_->start(timeoutMs_);
    hh_->start();
}

void Decompiler::finish(bool helpFileExists, int exitCode, bool timedOut) {
    QString output;
    if (hh_) {
        output = QString::fromLocal8Bit(hh_->readAll());
        hh_->disconnect(this);
        hh_->deleteLater();
        hh_ = nullptr;
        deadline_->deleteLater();
        deadline_ = nullptr;
    }
    const DecompileOutcome outcome =
        decompileResult(helpFileExists, exitCode, timedOut, output, timeoutMs_ / 1000);
    prompts_.titledNotice(kNoticeTitle, outcome.text, outcome.icon);
    dialog_.setRunning(false);
    emit finished();
}

}  // namespace zelbrin::ui
