// Project lifecycle commands: New, Open, Save, Close, Quit and the close-time question.
#include "mainwindow.h"

#include "projectfile.h"
#include "prompts.h"
#include "structureview.h"
#include "wordlistwidget.h"

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

bool TMainForm::askToSaveChanges() {
    switch (prompts_->ask(kSaveChangesQuestion, true)) {
    case UserPrompts::Answer::Cancel:
        return false;
    case UserPrompts::Answer::Yes:
        actSaveProjectExecute();
        // A Yes whose save did not happen (dialog cancelled, write failed, overwrite
        // declined) must not lose the changes: treat it as Cancel.
        return !project_->Modified;
    case UserPrompts::Answer::No:
        return true;
    }
    return false;
}

bool TMainForm::ConfirmSaveChanges() { return !project_->Modified || askToSaveChanges(); }

void TMainForm::actNewProjectExecute() {
    if (!ConfirmSaveChanges())
        return;
    project_->NewProject();
    UpdateProjectState(true);
}

void TMainForm::actOpenProjectExecute() {
    if (!ConfirmSaveChanges())
        return;
    const QString path = prompts_->openFileName(kProjectFilter, kProjectSuffix);
    if (path.isEmpty())
        return;
    openProject(path, false);
}

bool TMainForm::openProject(const QString &path, bool reportMissing) {
    const TZLPProject::OpenOutcome outcome = project_->Open(path);
    switch (outcome) {
    case TZLPProject::OpenOutcome::Unreadable:
        prompts_->notice(QStringLiteral("无法读取工程文件：") + path +
                             QStringLiteral("\n该文件为空、不是有效的XML或无法读取。"),
                         UserPrompts::Icon::Warning);
        return false;
    case TZLPProject::OpenOutcome::TooDeep:
        prompts_->notice(tooDeepProjectMessage(path), UserPrompts::Icon::Warning);
        return false;
    case TZLPProject::OpenOutcome::NotAProject:
        if (reportMissing) {
            prompts_->notice((QFileInfo(path).isFile() ? QStringLiteral("不是工程文件（*.zlp）：")
                                                       : QStringLiteral("工程文件不存在：")) +
                                 path,
                             UserPrompts::Icon::Warning);
            return false;
        }
        break;
    case TZLPProject::OpenOutcome::Read:
        break;
    }
    tlMain->expandAll();
    if (!project_->WorkCatalog.isEmpty())
        RefreshFileList();
    else
        lvWordList->clear();  // rows of no working directory would be placed as "/name"
    UpdateProjectState(false);
    if (outcome != TZLPProject::OpenOutcome::Read)
        return false;
    rememberRecentProject(path);
    return true;
}

QStringList TMainForm::recentProjects() const {
    return workbenchSettings()->value(kRecentProjectsKey).toStringList();
}

void TMainForm::setRecentProjects(const QStringList &paths) {
    workbenchSettings()->setValue(kRecentProjectsKey, paths);
    fillRecentMenu();
}

void TMainForm::rememberRecentProject(const QString &path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList paths = recentProjects();
    paths.removeAll(absolute);
    paths.prepend(absolute);
    setRecentProjects(paths.mid(0, kRecentProjectCount));
}

void TMainForm::fillRecentMenu() {
    menuRecent->clear();
    const QStringList paths = recentProjects();
    for (int i = 0; i < paths.size(); ++i) {
        const QString path = paths[i];
        QString shown = path;
        shown.replace(u'&', QStringLiteral("&&"));  // an "&" of the path is no accelerator
        QAction *a = menuRecent->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
        connect(a, &QAction::triggered, this, [this, path] { openRecentProject(path); });
    }
    menuRecent->setEnabled(!paths.isEmpty());
}

void TMainForm::openRecentProject(const QString &path) {
    if (!QFileInfo(path).isFile()) {
        QStringList paths = recentProjects();
        paths.removeAll(path);
        setRecentProjects(paths);
        prompts_->notice(QStringLiteral("工程文件不存在：") + path +
                             QStringLiteral("\n已将它从最近的工程中移除。"),
                         UserPrompts::Icon::Warning);
        return;
    }
    if (!ConfirmSaveChanges())
        return;
    openProject(path, true);
}

// An unnamed project is saved, by default, into its working directory under the name
// the window shows for it.
QString TMainForm::suggestedProjectPath() const {
    const QString folder = QFileInfo(project_->WorkCatalog).isDir() ? project_->WorkCatalog
                                                                     : QDir::homePath();
    return QDir(folder).filePath(QStringLiteral("未命名.") + kProjectSuffix);
}

void TMainForm::actSaveProjectExecute() {
    TZLPProject::SaveOutcome outcome;
    if (!project_->FileName.isEmpty()) {
        outcome = project_->Save();
    } else {
        const QString path =
            prompts_->saveFileName(kProjectFilter, kProjectSuffix, suggestedProjectPath());
        if (path.isEmpty())
            return;
        outcome = project_->Save(path);
    }
    // Only a written file clears the modified flag; otherwise closing later still asks.
    if (outcome == TZLPProject::SaveOutcome::Written) {
        UpdateProjectState(false);
        rememberRecentProject(project_->FileName);
    }
}

void TMainForm::actCloseProjectExecute() {
    if (!ConfirmSaveChanges())
        return;
    project_->CloseProject();
    UpdateProjectState(false);
}

void TMainForm::actQuitExecute() { close(); }

bool TMainForm::FormCloseQuery() {
    // Unlike ConfirmSaveChanges, nothing is asked while no project is open.
    return project_->Closed || !project_->Modified || askToSaveChanges();
}

}  // namespace zelbrin::ui
