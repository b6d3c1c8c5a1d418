#pragma once

#include <QDialog>
#include <QPersistentModelIndex>

class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace zelbrin {
class UserPrompts;
}

namespace zelbrin::ui {

// The working-directory dialog: a folder tree, the edit box "工作目录" that follows
// the tree's selection and may be typed into, and "确定"/"取消".
class SetWorkCatalogDialog : public QDialog {
    Q_OBJECT
public:
    SetWorkCatalogDialog(UserPrompts &prompts, QWidget *parent = nullptr);

    // Navigates the folder tree to folder when it exists (which fills the edit box).
    void setInitialFolder(const QString &folder);
    // The edit box's text after OK, empty otherwise.
    QString chosenFolder() const;

    // "确定" accepts only a text that names an existing folder.
    static bool acceptsPath(const QString &text);

    QTreeView *Folder_Tree;
    QLabel *WorkCatalog_Label;
    QLineEdit *WorkCatalog_Edit;
    QPushButton *OK_Btn, *Cancel_Btn;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void okClick();
    void folderSelected();
    void scheduleReveal();
    void revealInitialFolder();

    UserPrompts &prompts_;
    QFileSystemModel *folders_;
    QPersistentModelIndex revealed_;  // the initial folder, until the user takes over
    bool revealing_ = false;
    bool revealScheduled_ = false;
};

}  // namespace zelbrin::ui
