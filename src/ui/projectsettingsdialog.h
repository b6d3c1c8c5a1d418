#pragma once

#include "topicsettings.h"

#include <QDialog>

namespace zelbrin::ui {

class TopicChoices;

// "工程设置": how the project's documents are split into pages and what of their headings
// and index entries goes into the contents and the index. Shows the values and gives
// them back; the window applies them.
class ProjectSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit ProjectSettingsDialog(QWidget *parent = nullptr);

    void setTopics(const TopicSettings &topics);
    TopicSettings topics() const;

private:
    TopicChoices *topicChoices_;
};

}  // namespace zelbrin::ui
