// The Other menu and the auxiliary commands: decompile, About, demonstration,
// update, product number.
#include "mainwindow.h"

#include "aboutdialog.h"
#include "checkupdate.h"
#include "decompiledialog.h"
#include "decompiler.h"
#include "fileops.h"
#include "prompts.h"
#include "updatecheckhost.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>

namespace zelbrin::ui {

namespace {
const QString kUpdateQuestion = QStringLiteral("检查到Zelbrin已有新版本，您是否立即进行升级操作？");
const QString kProductNumberCaption = QStringLiteral("设置产品编号");
}  // namespace

QString MainWindow::programFolder() const {
    if (!options_.programFolder.isEmpty())
        return options_.programFolder.endsWith(u'/') ? options_.programFolder
                                                     : options_.programFolder + u'/';
    return ProgramFolder();
}

void MainWindow::decompileHelpFile() {
    DecompileDialog dialog(this);
    Decompiler decompiler(dialog, *prompts_, programFolder());
    dialog.exec();
}

void MainWindow::askProductNumber() {
    const std::optional<QString> text = prompts_->inputText(
        kProductNumberCaption, kProductNumberCaption, QString::number(productNumber_));
    if (!text)
        return;
    bool ok = false;
    const int value = text->trimmed().toInt(&ok, 10);
    if (ok)
        productNumber_ = value;
}

void MainWindow::showAbout() {
    if (!aboutDialog_)
        aboutDialog_ = new AboutDialog(this);
    aboutDialog_->exec();
}

void MainWindow::startDemonstration() {
    // A missing demonstration program shows nothing.
    QProcess::startDetached(programFolder() + QStringLiteral("Tutorix"), {});
}

void MainWindow::startUpdater() {
    // The updater is started even when the close-time question kept the window open:
    // it deals with a running workbench itself.
    close();
    QThread::msleep(1000);
    QCoreApplication::processEvents();
    QProcess::startDetached(programFolder() + QStringLiteral("Update"), {QStringLiteral("Zelbrin")});
}

void MainWindow::startUpdateCheck() {
    if (!updateCheck_)
        updateCheck_ = new UpdateCheckHost(*this, options_);
}

platform::CheckUpdate *MainWindow::updateCheckThread() const {
    return updateCheck_ ? &updateCheck_->thread() : nullptr;
}

void MainWindow::askToUpdate() {
    if (prompts_->ask(kUpdateQuestion, false) != UserPrompts::Answer::Yes)
        return;
    // Closing the normal way lets the user save first; Cancel there keeps everything as it
    // was and starts nothing.
    if (!close())
        return;
    QProcess::startDetached(programFolder() + QStringLiteral("Update"), {});
    QCoreApplication::quit();
}

}  // namespace zelbrin::ui
