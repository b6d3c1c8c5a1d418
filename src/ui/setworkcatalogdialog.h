#pragma once

#include <QDialog>
#include <QPersistentModelIndex>

#include <functional>

class QFileSystemModel;
class QLineEdit;
class QTreeView;

namespace zelbrin::ui {

// The working-directory dialog: a folder tree, the edit box "工作目录" that follows
// the tree's selection and may be typed into, and "确定"/"取消".
class SetWorkCatalogDialog : public QDialog {
    Q_OBJECT
public:
    explicit SetWorkCatalogDialog(QWidget *parent = nullptr);

    // Navigates the folder tree to folder when it exists (which fills the edit box).
    void setInitialFolder(const QString &folder);
    // Decides whether "确定" may close the dialog with the edit box's text, and tells the
    // user why not; without one any text is taken.
    void setFolderCheck(std::function<bool(const QString &)> check) { check_ = std::move(check); }
    // The edit box's text after OK, empty otherwise.
    QString chosenFolder() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void confirm();
    void folderSelected();
    void scheduleReveal();
    void revealInitialFolder();

    std::function<bool(const QString &)> check_;
    QTreeView *folderTree_;
    QLineEdit *folderEdit_;
    QFileSystemModel *folders_;
    QPersistentModelIndex revealed_;  // the initial folder, until the user takes over
    bool revealing_ = false;
    bool revealScheduled_ = false;
};

}  // namespace zelbrin::ui
