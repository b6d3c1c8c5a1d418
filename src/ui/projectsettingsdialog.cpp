#include "projectsettingsdialog.h"

#include "dialogbuttons.h"
#include "topicchoices.h"

#include <QLabel>
#include <QVBoxLayout>

namespace zelbrin::ui {

ProjectSettingsDialog::ProjectSettingsDialog(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ProjectSettingsDialog"));
    setWindowTitle(QStringLiteral("工程设置"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setMinimumWidth(400);

    topicChoices_ = new TopicChoices(TopicChoices::Scope::Project, this);
    auto *hint = new QLabel(QStringLiteral("这些设置适用于工程中的每个文档；"
                                           "某个文档可在“目录属性设置”中另行设置。"),
                            this);
    hint->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(topicChoices_);
    layout->addWidget(hint);
    layout->addLayout(okCancelRow(this));
}

void ProjectSettingsDialog::setTopics(const TopicSettings &topics) {
    topicChoices_->setSettings(topics);
}

TopicSettings ProjectSettingsDialog::topics() const { return topicChoices_->settings(); }

}  // namespace zelbrin::ui
