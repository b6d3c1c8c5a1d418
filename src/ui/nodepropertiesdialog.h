#pragma once

#include <QDialog>

class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace zelbrin::ui {

// The node-properties dialog "链接文件": a catalog's title and linked file, with a
// list of one folder's documents to pick the link from.
class NodePropertiesDialog : public QDialog {
    Q_OBJECT
public:
    explicit NodePropertiesDialog(QWidget *parent = nullptr);

    QString title() const;
    void setTitle(const QString &title);
    QString link() const;
    void setLink(const QString &link);
    // The documents of folder offered as the link; a click on one makes its full path
    // the link.
    void setFileChoices(const QString &folder, const QStringList &names);
    QString folder() const { return folder_; }

private:
    void takeFile(QListWidgetItem *item);

    QLineEdit *titleEdit_, *linkEdit_;
    QListWidget *fileChoices_;
    QString folder_;
};

}  // namespace zelbrin::ui
