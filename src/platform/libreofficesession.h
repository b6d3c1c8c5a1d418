#pragma once

#include "officesession.h"
#include "pagecache.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <stop_token>

class QProcess;

namespace zelbrin {
class ProgressWatch;
}

namespace zelbrin::platform {

// One office of a build, in a separate program: our office worker (zelbrin-office),
// which runs one headless LibreOffice with a private profile. A crash or hang of the
// office never reaches the workbench: the worker and its office form one process group
// that the session kills as a whole, and the next request starts a fresh worker in its
// place; a replacement that cannot start ends the session's work (every later request
// fails at once), instead of a new start for every document.
class LibreOfficeSession : public OfficeSession {
public:
    // Starts the worker and waits until its office is up; throws BuildError otherwise.
    // A conversion counts as hung once the worker and its office have used no CPU time
    // for stallMs. profileTemplate: the prepared profile that the office starts from
    // (made there when missing); empty for a fresh profile every time. Once stop is
    // requested, every wait ends at once and quit() kills the worker.
    LibreOfficeSession(const QString &workerProgram, int stallMs,
                       const QString &profileTemplate = {}, std::stop_token stop = {});
    ~LibreOfficeSession() override;

    void convertWordDocument(const QString &source, const QString &target, bool outline = false) override;
    ConversionAttempt convertWorkbook(const QString &source, const QString &target, bool outline = false) override;
    ConversionAttempt convertPresentation(const QString &source, const QString &target,
                                          bool outline = false) override;
    void quit() override;

    // The running worker's process id (its process group), 0 when none runs.
    qint64 workerProcessId() const;
    // The private profile folder of the running worker's office; empty when none runs.
    QString profileFolder() const;
    // True when the running worker's office started from the prepared profile.
    bool startedFromPreparedProfile() const { return startedFromPrepared_; }

private:
    enum class Outcome { Done, Failed, Broken };
    // faultCode: the worker's reason for a failed document (officeprotocol's kFault...).
    Outcome convert(const char *kind, const QString &source, const QString &target, bool outline,
                    QString *errorText, QString *faultCode);
    ConversionAttempt attempt(const char *kind, const QString &source, const QString &target, bool outline);
    void startWorker();
    // Reads one answer line; false when the worker ended or the watch expired first.
    bool readLine(ProgressWatch &watch, QByteArray *line);
    void killWorker();
    QString endedText() const;

    QString workerProgram_;
    int stallMs_;
    QString profileTemplate_;
    QString replacementFailure_;
    bool startedFromPrepared_ = false;
    std::unique_ptr<QProcess> worker_;
    std::unique_ptr<QTemporaryDir> profile_;
    qint64 processGroup_ = 0;
    std::stop_token stop_;
};

// The factory that the build uses: every call starts one session (one worker, one
// office); calls may come from several threads at once. workerProgram is the worker's
// path (program folder + "zelbrin-office").
OfficeSessionFactory makeLibreOfficeSessionFactory(const QString &workerProgram,
                                                   int stallMs = 90000,
                                                   const QString &profileTemplate = {});

// The prepared office profile in Zelbrin's cache folder (zelbrinCacheFolder()).
QString defaultProfileTemplate();
// The page cache in Zelbrin's cache folder, for pages that this worker and office make.
PageCacheSettings libreOfficePageCache(const QString &workerProgram);

}  // namespace zelbrin::platform
