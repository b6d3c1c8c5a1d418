#include "topicchoices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>

#include <algorithm>

namespace zelbrin::ui {

namespace {

const QString kAsProject = QStringLiteral("与工程相同");
// The item data of "与工程相同"; every other item carries its value (a flag as 0 or 1).
constexpr int kUnset = -1;

QComboBox *choice(QWidget *parent, const char *name, bool withProject,
                  const QList<std::pair<QString, int>> &items) {
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    if (withProject)
        box->addItem(kAsProject, kUnset);
    for (const auto &[text, value] : items)
        box->addItem(text, value);
    return box;
}

void select(QComboBox *box, int value) { box->setCurrentIndex(std::max(0, box->findData(value))); }
void select(QComboBox *box, std::optional<int> value) { select(box, value.value_or(kUnset)); }
void select(QComboBox *box, std::optional<bool> value) {
    select(box, value ? int(*value) : kUnset);
}

std::optional<int> chosen(const QComboBox *box) {
    const int value = box->currentData().toInt();
    return value == kUnset ? std::nullopt : std::optional<int>(value);
}
std::optional<bool> chosenFlag(const QComboBox *box) {
    const std::optional<int> value = chosen(box);
    return value ? std::optional<bool>(*value != 0) : std::nullopt;
}

}  // namespace

TopicChoices::TopicChoices(Scope scope, QWidget *parent)
    : QGroupBox(QStringLiteral("拆分、目录和索引"), parent), scope_(scope) {
    setObjectName(QStringLiteral("topicChoices"));
    const bool forDocument = scope == Scope::Document;
    splitLevel_ = choice(this, "splitLevelChoice", forDocument,
                         {{QStringLiteral("不拆分"), 0},
                          {QStringLiteral("一级标题"), 1},
                          {QStringLiteral("二级标题"), 2},
                          {QStringLiteral("三级标题"), 3}});
    QList<std::pair<QString, int>> depths = {{QStringLiteral("不列出"), 0}};
    for (int level = 1; level <= TopicSettings::kMaxContentsDepth; ++level)
        depths.append({QString::number(level), level});
    contentsDepth_ = choice(this, "contentsDepthChoice", forDocument, depths);

    const QString headingText = QStringLiteral("标题作为索引关键词");
    const QString indexText = QStringLiteral("文档中的索引项（XE 域）作为索引关键词");
    auto *layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("按标题拆分页面："), splitLevel_);
    layout->addRow(QStringLiteral("目录中列出标题到第几级："), contentsDepth_);
    if (forDocument) {
        const QList<std::pair<QString, int>> flag = {{QStringLiteral("是"), 1},
                                                     {QStringLiteral("否"), 0}};
        headingKeywordsChoice_ = choice(this, "headingKeywordsChoice", true, flag);
        indexKeywordsChoice_ = choice(this, "indexKeywordsChoice", true, flag);
        layout->addRow(headingText + QStringLiteral("："), headingKeywordsChoice_);
        layout->addRow(indexText + QStringLiteral("："), indexKeywordsChoice_);
    } else {
        headingKeywordsCheck_ = new QCheckBox(headingText, this);
        headingKeywordsCheck_->setObjectName(QStringLiteral("headingKeywordsCheck"));
        indexKeywordsCheck_ = new QCheckBox(indexText, this);
        indexKeywordsCheck_->setObjectName(QStringLiteral("indexKeywordsCheck"));
        layout->addRow(headingKeywordsCheck_);
        layout->addRow(indexKeywordsCheck_);
    }
}

void TopicChoices::setSettings(const TopicSettings &settings) {
    select(splitLevel_, settings.splitLevel);
    select(contentsDepth_, settings.contentsDepth);
    if (scope_ == Scope::Project) {
        headingKeywordsCheck_->setChecked(settings.headingKeywords);
        indexKeywordsCheck_->setChecked(settings.indexKeywords);
    }
}

TopicSettings TopicChoices::settings() const {
    TopicSettings settings;
    settings.splitLevel = chosen(splitLevel_).value_or(0);
    settings.contentsDepth = chosen(contentsDepth_).value_or(0);
    if (scope_ == Scope::Project) {
        settings.headingKeywords = headingKeywordsCheck_->isChecked();
        settings.indexKeywords = indexKeywordsCheck_->isChecked();
    }
    return settings;
}

void TopicChoices::setOverride(const TopicOverride &topics, const TopicSettings &project) {
    if (scope_ != Scope::Document)
        return;
    const std::pair<QComboBox *, int> projectValues[] = {
        {splitLevel_, project.splitLevel},
        {contentsDepth_, project.contentsDepth},
        {headingKeywordsChoice_, int(project.headingKeywords)},
        {indexKeywordsChoice_, int(project.indexKeywords)}};
    for (const auto &[box, value] : projectValues)
        box->setItemText(0, QStringLiteral("%1（%2）")
                                .arg(kAsProject, box->itemText(box->findData(value))));
    select(splitLevel_, topics.splitLevel);
    select(contentsDepth_, topics.contentsDepth);
    select(headingKeywordsChoice_, topics.headingKeywords);
    select(indexKeywordsChoice_, topics.indexKeywords);
}

TopicOverride TopicChoices::documentOverride() const {
    TopicOverride topics;
    topics.splitLevel = chosen(splitLevel_);
    topics.contentsDepth = chosen(contentsDepth_);
    if (scope_ == Scope::Document) {
        topics.headingKeywords = chosenFlag(headingKeywordsChoice_);
        topics.indexKeywords = chosenFlag(indexKeywordsChoice_);
    }
    return topics;
}

}  // namespace zelbrin::ui
