#pragma once

#include <QString>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <stdexcept>
#include <sys/types.h>

namespace zelbrin::officeworker {

// A failure with a text for the client (the office cannot be started, a document
// cannot be read or written).
class WorkerError : public std::runtime_error {
public:
    // fault: one of officeprotocol's kFault... when the document or the office is to blame.
    explicit WorkerError(const QString &text, const char *fault = nullptr)
        : std::runtime_error(text.toStdString()), text_(text), fault_(fault ? fault : "") {}
    const QString &text() const { return text_; }
    QString fault() const { return QString::fromLatin1(fault_); }

private:
    QString text_;
    const char *fault_;
};

// One headless soffice.bin with the given private profile, reached over a named pipe.
// It is started directly (not through the soffice script and oosplash) so that the
// worker is its parent: the office gets SIGKILL when the worker dies, stays in the
// worker's process group, and is never handed to an office the user runs.
class OfficeProcess {
public:
    // profileTemplate: a prepared profile (sealedfolder.h) to start from; when it is missing,
    // damaged or made for another office, the office fills a fresh profile, which then
    // becomes the template. Empty: always a fresh profile.
    OfficeProcess(QString profileFolder, QString profileTemplate);
    ~OfficeProcess();
    OfficeProcess(const OfficeProcess &) = delete;
    OfficeProcess &operator=(const OfficeProcess &) = delete;

    // The office's component context; starts the office first when it is not running.
    // Throws WorkerError when it cannot be started.
    css::uno::Reference<css::uno::XComponentContext> context();
    // True when the office's last start began from the prepared profile.
    bool startedFromTemplate() const { return startedFromTemplate_; }
    // True while the soffice.bin that this object started has not ended.
    bool alive();
    // Drops the connection and kills the office (after a crash, a broken connection).
    void discard();
    // Asks the office to terminate and waits for it; kills it when it does not end in
    // time. Returns false when it had to be killed.
    bool terminate();

private:
    void start();
    void spawn();
    void reap(int timeoutMs);

    QString profileFolder_;
    QString profileTemplate_;
    bool startedFromTemplate_ = false;
    QString pipeName_;
    pid_t pid_ = -1;
    int exitStatus_ = 0;
    css::uno::Reference<css::uno::XComponentContext> local_;
    css::uno::Reference<css::uno::XComponentContext> remote_;
};

}  // namespace zelbrin::officeworker
