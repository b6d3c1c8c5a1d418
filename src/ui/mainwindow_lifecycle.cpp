// Project lifecycle commands: New, Open, Save, Close, Quit and the close-time question.
#include "mainwindow.h"

#include "projectfile.h"
#include "prompts.h"

#include <QApplication>
#include <QTreeView>
#include <QTreeWidget>

namespace zelbrin::ui {

namespace {
const QString kSaveChangesQuestion = QStringLiteral("是否保存所做的修改？");
const QString kProjectFilter = QStringLiteral("工程文件(*.zlp)");
const QString kProjectSuffix = QStringLiteral("zlp");
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
    switch (project_->Open(path)) {
    case TZLPProject::OpenOutcome::Unreadable:
        prompts_->notice(QStringLiteral("无法读取工程文件：") + path +
                             QStringLiteral("\n该文件为空、不是有效的XML或无法读取。"),
                         UserPrompts::Icon::Warning);
        return;
    case TZLPProject::OpenOutcome::TooDeep:
        prompts_->notice(tooDeepProjectMessage(path), UserPrompts::Icon::Warning);
        return;
    default:
        break;
    }
    tlMain->expandAll();
    if (!project_->WorkCatalog.isEmpty())
        RefreshFileList();
    else
        lvWordList->clear();  // rows of no working directory would be placed as "/name"
    UpdateProjectState(false);
}

void TMainForm::actSaveProjectExecute() {
    TZLPProject::SaveOutcome outcome;
    if (!project_->FileName.isEmpty()) {
        outcome = project_->Save();
    } else {
        const QString path = prompts_->saveFileName(kProjectFilter, kProjectSuffix);
        if (path.isEmpty())
            return;
        outcome = project_->Save(path);
    }
    // Only a written file clears the modified flag; otherwise closing later still asks.
    if (outcome == TZLPProject::SaveOutcome::Written)
        UpdateProjectState(false);
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
