#pragma once

#include "topicsettings.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;

namespace zelbrin::ui {

// The four choices of how a document's headings and index entries enter the help file.
// For the project each has a value of its own; for a document each may also be
// "与工程相同", which leaves it to the project.
class TopicChoices : public QGroupBox {
    Q_OBJECT
public:
    enum class Scope { Project, Document };
    explicit TopicChoices(Scope scope, QWidget *parent = nullptr);

    void setSettings(const TopicSettings &settings);  // Scope::Project
    TopicSettings settings() const;
    // Scope::Document; each "与工程相同" names the project's value after it.
    void setOverride(const TopicOverride &topics, const TopicSettings &project);
    TopicOverride documentOverride() const;

private:
    Scope scope_;
    QComboBox *splitLevel_, *contentsDepth_;
    // A check box each for the project; a choice of three for a document.
    QCheckBox *headingKeywordsCheck_ = nullptr, *indexKeywordsCheck_ = nullptr;
    QComboBox *headingKeywordsChoice_ = nullptr, *indexKeywordsChoice_ = nullptr;
};

}  // namespace zelbrin::ui
