#pragma once

#include <QString>
#include <stdexcept>

namespace zelbrin {

// An error that ends a build; its text is shown after "编译时出错，是否安装过office？：".
class BuildError : public std::runtime_error {
public:
    explicit BuildError(const QString &message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString &message() const { return message_; }

private:
    QString message_;
};

}  // namespace zelbrin
