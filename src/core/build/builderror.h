#pragma once

#include "interruption.h"

#include <QString>
#include <stdexcept>

namespace zelbrin {

// An error that ends a build; its text is shown after "编译时出错，是否安装过office？：".
class BuildError : public std::runtime_error {
public:
    // detail: what another program (the office) said in its own words, shown apart from the
    // message, on a line of its own; may be empty.
    explicit BuildError(const QString &message, const QString &detail = {})
        : std::runtime_error(message.toStdString()), message_(message), detail_(detail) {}
    const QString &message() const { return message_; }
    const QString &detail() const { return detail_; }

private:
    QString message_;
    QString detail_;
};

// The office failed as a whole: it died or hung in the middle of a document, or could not
// be ended. The message asks whether an office is installed.
class OfficeError : public BuildError {
public:
    using BuildError::BuildError;
};

// The office could not be started: the build ends before any page is converted by it.
class OfficeStartError : public OfficeError {
public:
    using OfficeError::OfficeError;
};

inline const QString kInterruptedMessage = QStringLiteral("编译已中断");

// A build whose program was asked to stop (SIGINT, SIGTERM, SIGHUP) or that was cancelled
// ends here, through the same path as any other build error, so that the offices are
// ended and the folders removed.
inline void throwIfInterrupted(const std::stop_token &stop = {}) {
    if (interruption::requested(stop))
        throw BuildError(kInterruptedMessage);
}

}  // namespace zelbrin
