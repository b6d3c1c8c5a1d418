#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace zelbrin::ui {

// The node-properties dialog "链接文件": a catalog's title and linked file, with a
// list of one folder's documents to pick the link from.
class NodePropertiesDialog : public QDialog {
    Q_OBJECT
public:
    static const QString kFileMask;  // "*.doc;*.html;*.txt;*.htm"

    explicit NodePropertiesDialog(QWidget *parent = nullptr);

    // Points the file list at folder; false (and an empty list) when it is no folder.
    bool setDirectory(const QString &folder);
    QString directory() const { return directory_; }
    // Semicolon-separated name patterns; letter case is ignored.
    void setMask(const QString &mask);

    // Click in the file list: the clicked file's full path becomes the link.
    void Files_ListClick(QListWidgetItem *item);

    QLineEdit *Title_Edit, *Link_Edit;
    QListWidget *Files_List;
    QPushButton *OK_Btn, *Cancel_Btn;

private:
    void fillList();

    QString directory_;
    QString mask_;
};

}  // namespace zelbrin::ui
