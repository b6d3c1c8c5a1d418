#pragma once

#include "prompts.h"

class QWidget;

namespace zelbrin::ui {

// The real dialogs: message boxes owned by the main window and captioned with the
// application title, Qt's file and folder dialogs, and the input box.
class QtPrompts : public UserPrompts {
public:
    explicit QtPrompts(QWidget *owner) : owner_(owner) {}
    Answer ask(const QString &text, bool withCancel) override;
    void notice(const QString &text, Icon icon) override;
    void titledNotice(const QString &title, const QString &text, Icon icon) override;
    QString openFileName(const QString &filter, const QString &defaultSuffix,
                         const QString &startDir) override;
    QString saveFileName(const QString &filter, const QString &defaultSuffix,
                         const QString &startDir) override;
    QString folderName(const QString &title, const QString &startDir) override;
    std::optional<QString> inputText(const QString &title, const QString &label,
                                     const QString &value) override;

private:
    QWidget *owner_;
};

}  // namespace zelbrin::ui
