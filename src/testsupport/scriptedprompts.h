#pragma once

#include "prompts.h"

#include <QStringList>
#include <deque>

namespace zelbrin::testing {

// Answers questions from a script and records everything it was asked or told.
// A question with no scripted answer is recorded as unexpected and answered Cancel.
class ScriptedPrompts : public UserPrompts {
public:
    std::deque<Answer> answers;
    std::deque<QString> fileNames;  // for open/save/folder dialogs; "" = cancel
    std::deque<std::optional<QString>> inputs;

    QStringList questions;
    QStringList notices;
    QStringList saveDialogStarts;  // where each save dialog started
    QList<Icon> noticeIcons;
    QStringList noticeTitles;  // "" for the application title
    int unexpected = 0;

    Answer ask(const QString &text, bool withCancel) override {
        questions << text;
        if (answers.empty()) {
            ++unexpected;
            return withCancel ? Answer::Cancel : Answer::No;
        }
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void notice(const QString &text, Icon icon) override { titledNotice({}, text, icon); }
    void titledNotice(const QString &title, const QString &text, Icon icon) override {
        notices << text;
        noticeIcons << icon;
        noticeTitles << title;
    }
    QString openFileName(const QString &, const QString &, const QString &) override {
        return nextFile();
    }
    QString saveFileName(const QString &, const QString &, const QString &startDir) override {
        saveDialogStarts << startDir;
        return nextFile();
    }
    QString folderName(const QString &, const QString &) override { return nextFile(); }
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override {
        if (inputs.empty()) {
            ++unexpected;
            return std::nullopt;
        }
        const bool given = inputs.front().has_value();
        const QString text = given ? *inputs.front() : QString();
        inputs.pop_front();
        if (!given)
            return std::nullopt;
        return text;
    }

private:
    QString nextFile() {
        if (fileNames.empty()) {
            ++unexpected;
            return {};
        }
        QString f = fileNames.front();
        fileNames.pop_front();
        return f;
    }
};

}  // namespace zelbrin::testing
