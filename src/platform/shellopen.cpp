#include "shellopen.h"

#include <QDesktopServices>
#include <QUrl>

namespace zelbrin::platform {
namespace {
std::function<void(const QString &)> &handler() {
    static std::function<void(const QString &)> h;
    return h;
}
}  // namespace

void setShellOpenHandler(std::function<void(const QString &)> h) { handler() = std::move(h); }

void shellOpen(const QString &fileOrUrl) {
    if (handler()) {
        handler()(fileOrUrl);
        return;
    }
    const QUrl url = fileOrUrl.contains(QStringLiteral("://")) ? QUrl(fileOrUrl)
                                                               : QUrl::fromLocalFile(fileOrUrl);
    QDesktopServices::openUrl(url);
}

}  // namespace zelbrin::platform
