#include "nodepropertiesdialog.h"

#include "dialogbuttons.h"
#include "topicchoices.h"

#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

namespace zelbrin::ui {

NodePropertiesDialog::NodePropertiesDialog(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("NodePropertiesDialog"));
    setWindowTitle(QStringLiteral("链接文件"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    resize(441, 299);

    auto *titleLabel = new QLabel(QStringLiteral("输入标题："), this);
    titleEdit_ = new QLineEdit(this);
    titleEdit_->setObjectName(QStringLiteral("titleEdit"));
    titleLabel->setBuddy(titleEdit_);

    auto *frame = new QGroupBox(this);
    auto *linkLabel = new QLabel(QStringLiteral("链接文件："), frame);
    linkEdit_ = new QLineEdit(frame);
    linkEdit_->setObjectName(QStringLiteral("linkEdit"));
    linkLabel->setBuddy(linkEdit_);
    fileChoices_ = new QListWidget(frame);
    fileChoices_->setObjectName(QStringLiteral("fileChoices"));
    auto *frameLayout = new QVBoxLayout(frame);
    auto *linkRow = new QHBoxLayout;
    linkRow->addWidget(linkLabel);
    linkRow->addWidget(linkEdit_, 1);
    frameLayout->addLayout(linkRow);
    frameLayout->addWidget(fileChoices_, 1);

    auto *layout = new QVBoxLayout(this);
    auto *titleRow = new QHBoxLayout;
    titleRow->addWidget(titleLabel);
    titleRow->addWidget(titleEdit_, 1);
    layout->addLayout(titleRow);
    layout->addWidget(frame, 1);
    topicChoices_ = new TopicChoices(TopicChoices::Scope::Document, this);
    topicChoices_->hide();
    layout->addWidget(topicChoices_);
    layout->addLayout(okCancelRow(this));

    connect(fileChoices_, &QListWidget::itemClicked, this, &NodePropertiesDialog::takeFile);
}

QString NodePropertiesDialog::title() const { return titleEdit_->text(); }

void NodePropertiesDialog::setTitle(const QString &title) { titleEdit_->setText(title); }

QString NodePropertiesDialog::link() const { return linkEdit_->text(); }

void NodePropertiesDialog::setLink(const QString &link) { linkEdit_->setText(link); }

void NodePropertiesDialog::setFileChoices(const QString &folder, const QStringList &names) {
    folder_ = folder;
    fileChoices_->clear();
    fileChoices_->addItems(names);
}

void NodePropertiesDialog::showDocumentTopics(const TopicOverride &topics,
                                              const TopicSettings &project) {
    linkEdit_->setReadOnly(true);
    fileChoices_->hide();
    topicChoices_->setOverride(topics, project);
    topicChoices_->show();
    adjustSize();
}

TopicOverride NodePropertiesDialog::topics() const { return topicChoices_->documentOverride(); }

void NodePropertiesDialog::takeFile(QListWidgetItem *item) {
    if (item)
        linkEdit_->setText(QDir(folder_).filePath(item->text()));
}

}  // namespace zelbrin::ui
