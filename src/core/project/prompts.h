#pragma once

#include <QString>
#include <optional>

namespace zelbrin {

// Every question and notice of the program goes through this one interface, so that
// the window shows real dialogs, the command-line builder prints, and tests answer.
class UserPrompts {
public:
    enum class Answer { Yes, No, Cancel };
    enum class Icon { None, Information, Warning, Error, Question };

    virtual ~UserPrompts() = default;

    // Question box captioned with the application title, question icon,
    // Yes/No (withCancel false) or Yes/No/Cancel.
    virtual Answer ask(const QString &text, bool withCancel) = 0;
    // Plain message dialog with one OK button.
    virtual void notice(const QString &text, Icon icon = Icon::None) = 0;
    // The same, captioned title instead of the application title where a window has one.
    virtual void titledNotice(const QString &title, const QString &text, Icon icon) {
        (void)title;
        notice(text, icon);
    }
    // Open and save dialogs: filter in Qt form ("工程文件(*.zlp)"); empty when cancelled.
    virtual QString openFileName(const QString &filter, const QString &defaultSuffix,
                                 const QString &startDir = {}) = 0;
    virtual QString saveFileName(const QString &filter, const QString &defaultSuffix,
                                 const QString &startDir = {}) = 0;
    // Folder browser; empty when cancelled.
    virtual QString folderName(const QString &title, const QString &startDir) = 0;
    // One-line input box; nullopt when cancelled.
    virtual std::optional<QString> inputText(const QString &title, const QString &label,
                                             const QString &value) = 0;
};

}  // namespace zelbrin
