#pragma once

#include "builderror.h"
#include "documentoutline.h"
#include "officesession.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStringList>
#include <QThread>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace zelbrin::testing {

// An office that writes a small page (and a picture beside it) naming its source and its
// size, and records every call. Sessions run in the build's worker threads; the log is
// shared.
struct FakeOfficeLog {
    std::recursive_mutex mutex;
    QStringList calls;  // "word|calc|impress source -> target"
    int sessions = 0;
    int quits = 0;
    int failWorkbookAttempts = 0;      // workbook attempts that fail before one succeeds
    int failPresentationAttempts = 0;
    QString failWordFor;               // a source whose Word conversion throws as if the office died
    QMap<QString, DocumentFault> faults;  // sources that cannot be converted through their own fault
    QString pictureMissingFor;         // a source whose page links a picture that is not written
    // Runs inside every Word conversion, on the application's main thread (the window's),
    // while the office's own thread waits for it.
    std::function<void()> duringWord;
    // Runs in the office's own thread during every conversion, before the page is written
    // or the failure told.
    std::function<void(const QString &source)> beforeResult;
};

class FakeOffice : public OfficeSession {
public:
    // What the office says when it dies in a document (failWordFor), in its own words.
    static inline const QString kCrashDetail =
        QStringLiteral("LibreOffice 在转换时崩溃或断开了连接：Binary URP bridge disposed during call");

    explicit FakeOffice(FakeOfficeLog &log) : log_(log) {
        std::lock_guard lock(log_.mutex);
        ++log_.sessions;
    }
    void convertWordDocument(const QString &source, const QString &target, bool outline = false) override {
        record(QStringLiteral("word %1 -> %2").arg(source, target), outline);
        if (log_.duringWord) {
            QCoreApplication *app = QCoreApplication::instance();
            if (app && QThread::currentThread() != app->thread())
                QMetaObject::invokeMethod(app, log_.duringWord, Qt::BlockingQueuedConnection);
            else
                log_.duringWord();
        }
        if (log_.beforeResult)
            log_.beforeResult(source);
        if (!log_.failWordFor.isEmpty() && source == log_.failWordFor)
            throw OfficeError(QStringLiteral("办公软件已退出或无响应：") + source, kCrashDetail);
        if (const auto fault = faultOf(source))
            throw DocumentError(*fault);
        write(source, target, outline);
    }
    ConversionAttempt convertWorkbook(const QString &source, const QString &target, bool outline = false) override {
        record(QStringLiteral("calc %1 -> %2").arg(source, target), outline);
        if (log_.beforeResult)
            log_.beforeResult(source);
        return attempt(log_.failWorkbookAttempts, source, target, outline);
    }
    ConversionAttempt convertPresentation(const QString &source, const QString &target,
                                          bool outline = false) override {
        record(QStringLiteral("impress %1 -> %2").arg(source, target), outline);
        if (log_.beforeResult)
            log_.beforeResult(source);
        return attempt(log_.failPresentationAttempts, source, target, outline);
    }
    void quit() override {
        std::lock_guard lock(log_.mutex);
        ++log_.quits;
    }

    static OfficeSessionFactory factory(FakeOfficeLog &log) {
        return [&log](const std::stop_token &) { return std::make_unique<FakeOffice>(log); };
    }

private:
    // A call that asks for the outline says so at its end.
    void record(const QString &call, bool outline) {
        std::lock_guard lock(log_.mutex);
        log_.calls << (outline ? call + QStringLiteral(" +outline") : call);
    }
    std::optional<DocumentFault> faultOf(const QString &source) {
        std::lock_guard lock(log_.mutex);
        const auto it = log_.faults.constFind(source);
        return it == log_.faults.constEnd() ? std::nullopt : std::optional<DocumentFault>(*it);
    }
    ConversionAttempt attempt(int &failuresLeft, const QString &source, const QString &target, bool outline) {
        if (const auto fault = faultOf(source))
            return {false, *fault};
        if (failAttempt(failuresLeft))
            return {};
        return {write(source, target, outline), {}};
    }
    bool failAttempt(int &failuresLeft) {
        std::lock_guard lock(log_.mutex);
        if (failuresLeft <= 0)
            return false;
        --failuresLeft;
        return true;
    }
    // The page names its source; the picture beside it is named after the page, as the
    // office names a page's pictures.
    // Asked for the outline, it writes one without headings or index entries beside the page.
    bool write(const QString &source, const QString &target, bool outline) {
        const QFileInfo page(target);
        QFile picture(page.path() + u'/' + page.completeBaseName() + QStringLiteral("_htm_1.png"));
        QFile f(target);
        if (!f.open(QIODevice::WriteOnly) || !picture.open(QIODevice::WriteOnly))
            return false;
        if (source != log_.pictureMissingFor)
            picture.write("PNG of " + source.toUtf8());
        else
            picture.remove();
        f.write("<html><body>page of " + QFileInfo(source).fileName().toUtf8() + " (" +
                QByteArray::number(QFileInfo(source).size()) + " bytes)<img src=\"" +
                picture.fileName().section(u'/', -1).toUtf8() + "\"></body></html>\n");
        if (outline) {
            QFile side(outlineFilePath(target));
            return side.open(QIODevice::WriteOnly) && side.write(writeOutline({})) >= 0;
        }
        return true;
    }
    FakeOfficeLog &log_;
};

}  // namespace zelbrin::testing
