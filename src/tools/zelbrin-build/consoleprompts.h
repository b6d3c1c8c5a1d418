#pragma once

#include "prompts.h"

#include <cstdio>

namespace zelbrin {

// Prompts of an unattended run: notices go to standard error, nothing waits for input.
class ConsolePrompts : public UserPrompts {
public:
    Answer ask(const QString &text, bool withCancel) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return withCancel ? Answer::Cancel : Answer::No;
    }
    void notice(const QString &text, Icon) override {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        std::fflush(stderr);
    }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString folderName(const QString &, const QString &) override { return {}; }
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override {
        return std::nullopt;
    }
};

}  // namespace zelbrin
