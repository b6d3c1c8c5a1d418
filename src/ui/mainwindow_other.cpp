// The Other menu and the auxiliary commands: decompile, About, demonstration,
// update, product number.
#include "mainwindow.h"

#include "aboutdialog.h"
#include "checkupdate.h"
#include "decompiledialog.h"
#include "decompiler.h"
#include "fileops.h"
#include "prompts.h"
#include "shellopen.h"
#include "updatecheckhost.h"
#include "updatelist.h"

#include <QCoreApplication>
#include <QFileInfo>
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
    return executableFolder();
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
    const QString demonstration = programFolder() + QStringLiteral("Tutorix");
    if (!QFileInfo(demonstration).isExecutable() || !QProcess::startDetached(demonstration, {}))
        prompts_->notice(QStringLiteral("没有安装演示程序：程序文件夹 %1 中没有 Tutorix。").arg(programFolder()));
}

void MainWindow::startUpdater() {
    const QString updater = programFolder() + QStringLiteral("Update");
    if (!QFileInfo(updater).isExecutable()) {
        // Nothing would take the workbench's place: it stays, and the user learns where a
        // new release is to be had.
        const UpdatePaths paths = makeUpdatePaths(programFolder(), defaultDownloadFolder(programFolder()));
        const QString page = downloadPage(paths.downloadedList, paths.localList);
        if (page.isEmpty())
            prompts_->notice(QStringLiteral("没有安装升级程序（Update），无法自动升级。"));
        else if (!platform::shellOpen(page))
            prompts_->notice(QStringLiteral("没有安装升级程序（Update），无法自动升级。新版本可以从这里下载：%1").arg(page));
        return;
    }
    // The updater is started even when the close-time question kept the window open:
    // it deals with a running workbench itself.
    close();
    QThread::msleep(1000);
    QProcess::startDetached(updater, {QStringLiteral("Zelbrin")});
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
