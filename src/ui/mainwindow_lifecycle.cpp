// Project lifecycle commands: New, Open, Save, Close, Quit and the close-time question;
// the project's settings.
#include "mainwindow.h"

#include "projectfile.h"
#include "projectsettingsdialog.h"
#include "prompts.h"
#include "structureview.h"
#include "filelistwidget.h"
#include "treecommands.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

namespace zelbrin::ui {

namespace {
const QString kSaveChangesQuestion = QStringLiteral("是否保存所做的修改？");
const QString kProjectFilter = QStringLiteral("工程文件(*.zlp)");
const QString kProjectSuffix = QStringLiteral("zlp");
const QString kRecentProjectsKey = QStringLiteral("recentProjects");
constexpr int kRecentProjectCount = 8;
}  // namespace

bool MainWindow::askToSaveChanges() {
    switch (prompts_->ask(kSaveChangesQuestion, true)) {
    case UserPrompts::Answer::Cancel:
        return false;
    case UserPrompts::Answer::Yes:
        saveProject();
        // A Yes whose save did not happen (dialog cancelled, write failed, overwrite
        // declined) must not lose the changes: treat it as Cancel.
        return !project_->isModified();
    case UserPrompts::Answer::No:
        return true;
    }
    return false;
}

// With no project open only a working directory can have been chosen; it goes on into
// the next project, so there is nothing to ask about.
bool MainWindow::confirmSaveChanges() {
    return !project_->isOpen() || !project_->isModified() || askToSaveChanges();
}

void MainWindow::newProject() {
    if (!confirmSaveChanges())
        return;
    project_->create();
    setProjectModified(true);
}

void MainWindow::openProject() {
    if (!confirmSaveChanges())
        return;
    const QString path = prompts_->openFileName(kProjectFilter, kProjectSuffix);
    if (path.isEmpty())
        return;
    openProjectFile(path, false);
}

bool MainWindow::openProjectFile(const QString &path, bool reportMissing) {
    const Project::OpenOutcome outcome = project_->open(path);
    switch (outcome) {
    case Project::OpenOutcome::Unreadable:
        prompts_->notice(QStringLiteral("无法读取工程文件：") + path +
                             QStringLiteral("\n该文件为空、不是有效的XML或无法读取。"),
                         UserPrompts::Icon::Warning);
        return false;
    case Project::OpenOutcome::TooDeep:
        prompts_->notice(tooDeepProjectMessage(path), UserPrompts::Icon::Warning);
        return false;
    case Project::OpenOutcome::NotAProject:
        if (reportMissing) {
            prompts_->notice((QFileInfo(path).isFile() ? QStringLiteral("不是工程文件（*.zlp）：")
                                                       : QStringLiteral("工程文件不存在：")) +
                                 path,
                             UserPrompts::Icon::Warning);
            return false;
        }
        break;
    case Project::OpenOutcome::Read:
        break;
    }
    structureView_->expandAll();
    if (!project_->workCatalog().isEmpty())
        refreshFileList();
    else
        fileList_->clear();  // rows of no working directory would be placed as "/name"
    setProjectModified(false);
    if (outcome != Project::OpenOutcome::Read)
        return false;
    rememberRecentProject(path);
    return true;
}

QStringList MainWindow::recentProjects() const {
    return workbenchSettings()->value(kRecentProjectsKey).toStringList();
}

void MainWindow::setRecentProjects(const QStringList &paths) {
    workbenchSettings()->setValue(kRecentProjectsKey, paths);
    fillRecentMenu();
}

void MainWindow::rememberRecentProject(const QString &path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList paths = recentProjects();
    paths.removeAll(absolute);
    paths.prepend(absolute);
    setRecentProjects(paths.mid(0, kRecentProjectCount));
}

void MainWindow::fillRecentMenu() {
    recentMenu_->clear();
    const QStringList paths = recentProjects();
    for (int i = 0; i < paths.size(); ++i) {
        const QString path = paths[i];
        QString shown = path;
        shown.replace(u'&', QStringLiteral("&&"));  // an "&" of the path is no accelerator
        QAction *a = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
        connect(a, &QAction::triggered, this, [this, path] { openRecentProject(path); });
    }
    recentMenu_->setEnabled(!paths.isEmpty());
}

void MainWindow::openRecentProject(const QString &path) {
    if (!QFileInfo(path).isFile()) {
        QStringList paths = recentProjects();
        paths.removeAll(path);
        setRecentProjects(paths);
        prompts_->notice(QStringLiteral("工程文件不存在：") + path +
                             QStringLiteral("\n已将它从最近的工程中移除。"),
                         UserPrompts::Icon::Warning);
        return;
    }
    if (!confirmSaveChanges())
        return;
    openProjectFile(path, true);
}

// An unnamed project is saved, by default, into its working directory under the name
// the window shows for it.
QString MainWindow::suggestedProjectPath() const {
    const QString folder = QFileInfo(project_->workCatalog()).isDir() ? project_->workCatalog()
                                                                     : QDir::homePath();
    return QDir(folder).filePath(QStringLiteral("未命名.") + kProjectSuffix);
}

void MainWindow::saveProject() {
    Project::SaveOutcome outcome;
    if (!project_->fileName().isEmpty()) {
        outcome = project_->save(*prompts_);
    } else {
        const QString path =
            prompts_->saveFileName(kProjectFilter, kProjectSuffix, suggestedProjectPath());
        if (path.isEmpty())
            return;
        outcome = project_->save(*prompts_, path);
    }
    // Only a written file clears the modified flag; otherwise closing later still asks.
    if (outcome == Project::SaveOutcome::Written) {
        setProjectModified(false);
        rememberRecentProject(project_->fileName());
    }
}

void MainWindow::closeProject() {
    if (!confirmSaveChanges())
        return;
    project_->close();
    setProjectModified(false);
}

void MainWindow::editProjectSettings() {
    if (!project_->isOpen())
        return;
    ProjectSettingsDialog dialog(this);
    dialog.setTopics(project_->topics());
    if (runDialog_(dialog) != QDialog::Accepted)
        return;
    const TopicSettings topics = dialog.topics();
    if (topics != project_->topics())
        runEdit(setProjectTopicsEdit(*project_, QStringLiteral("工程设置"), topics));
}

void MainWindow::quit() { close(); }

bool MainWindow::mayClose() {
    // Unlike confirmSaveChanges, nothing is asked while no project is open.
    return !project_->isOpen() || !project_->isModified() || askToSaveChanges();
}

}  // namespace zelbrin::ui
