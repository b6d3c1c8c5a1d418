#pragma once

#include "topicsettings.h"

#include <QDialog>

class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace zelbrin::ui {

class TopicChoices;

// The node-properties dialog "链接文件": a catalog's title and linked file, with a
// list of one folder's documents to pick the link from; or a document link's title with
// its own choices of splitting, contents and keywords.
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
    // Shows the node as a document link: its link fixed, no file list, and the document's
    // own topic choices, each either a value or "与工程相同" (the project's value named).
    void showDocumentTopics(const TopicOverride &topics, const TopicSettings &project);
    TopicOverride topics() const;

private:
    void takeFile(QListWidgetItem *item);

    QLineEdit *titleEdit_, *linkEdit_;
    QListWidget *fileChoices_;
    TopicChoices *topicChoices_;
    QString folder_;
};

}  // namespace zelbrin::ui
