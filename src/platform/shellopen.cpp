#include "shellopen.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace zelbrin::platform {
namespace {

std::function<bool(const QString &)> &handler() {
    static std::function<bool(const QString &)> h;
    return h;
}

// Output of a short xdg-mime query; empty when it fails.
QString xdgMime(const QStringList &arguments) {
    QProcess query;
    query.setStandardInputFile(QProcess::nullDevice());
    query.start(QStringLiteral("xdg-mime"), arguments);
    if (!query.waitForFinished(30000) || query.exitStatus() != QProcess::NormalExit ||
        query.exitCode() != 0) {
        query.kill();
        query.waitForFinished();
        return {};
    }
    return QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
}

// The desktop file of the program registered for file's type, "" when there is none.
QString registeredApplication(const QString &file) {
    // "application/vnd.ms-htmlhelp; charset=binary" from some detectors.
    const QString type = xdgMime({QStringLiteral("query"), QStringLiteral("filetype"), file})
                             .section(u';', 0, 0)
                             .trimmed();
    if (type.isEmpty())
        return {};
    return xdgMime({QStringLiteral("query"), QStringLiteral("default"), type});
}

}  // namespace

void setShellOpenHandler(std::function<bool(const QString &)> h) { handler() = std::move(h); }

bool shellOpen(const QString &fileOrUrl) {
    if (handler())
        return handler()(fileOrUrl);
    const QUrl url = fileOrUrl.contains(QStringLiteral("://")) ? QUrl(fileOrUrl)
                                                               : QUrl::fromLocalFile(fileOrUrl);
    return QDesktopServices::openUrl(url);
}

bool openWithDesktop(const QString &file, std::function<void()> failedLater) {
    if (handler())
        return handler()(file);
    if (registeredApplication(file).isEmpty())
        return false;
    // Without a desktop environment xdg-open runs the viewer itself and ends with it, so
    // its end is awaited on the event loop, never here.
    auto *opener = new QProcess(QCoreApplication::instance());
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    opener->start(QStringLiteral("xdg-open"), {file});
    if (!opener->waitForStarted()) {
        delete opener;
        return false;
    }
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, failedLater](int exitCode, QProcess::ExitStatus status) {
                         if ((status != QProcess::NormalExit || exitCode != 0) && failedLater)
                             failedLater();
                         opener->deleteLater();
                     });
    // A viewer still open when the program ends stays open; only its xdg-open goes.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, opener,
                     [opener] {
                         opener->disconnect();
                         opener->kill();
                         opener->waitForFinished();
                     });
    return true;
}

}  // namespace zelbrin::platform
