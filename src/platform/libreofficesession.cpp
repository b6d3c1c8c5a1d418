#include "libreofficesession.h"

#include "builderror.h"
#include "interruption.h"
#include "leftovers.h"
#include "officeinstallation.h"
#include "officeprotocol.h"
#include "progresswatch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <mutex>
#include <sys/prctl.h>
#include <unistd.h>

namespace zelbrin::platform {

namespace protocol = zelbrin::officeprotocol;

namespace {

// How long the worker and its office may use no CPU time at all while starting (a fresh
// office fills its profile and restarts once) and while quitting, and the most any of it
// may take; conversions stall after the session's own time and may take kConversionLimitMs.
constexpr int kStartTimeoutMs = 120000;
constexpr qint64 kStartStallMs = 60000;
constexpr qint64 kStartLimitMs = 10 * 60000;
constexpr qint64 kQuitStallMs = 15000;
constexpr qint64 kQuitLimitMs = 2 * 60000;
constexpr qint64 kConversionLimitMs = 30 * 60000;
constexpr int kReapTimeoutMs = 10000;
// Short slices, so that an interruption or a cancelled build is noticed at once.
constexpr int kSliceMs = 20;

// True while a process of the group exists that has not ended (zombies do not count:
// they hold no resources and are gone once their parent reaps them).
bool groupHasLiveProcess(qint64 group) {
    if (group <= 0)
        return false;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool numeric = false;
        entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // "pid (name) state ppid pgrp ...": the name may hold blanks and parentheses.
        const qsizetype nameEnd = text.lastIndexOf(')');
        if (nameEnd < 0)
            continue;
        const QList<QByteArray> fields = text.mid(nameEnd + 2).split(' ');
        if (fields.size() < 3)
            continue;
        if (fields[2].toLongLong() == group && fields[0] != "Z" && fields[0] != "X")
            return true;
    }
    return false;
}

// The private profile of a session lives in the temporary folder as PREFIX<pid>-XXXXXX,
// the pid being the process that made it; the office's pipe socket lies in /tmp (or
// /var/tmp where /tmp is missing) as OSL_PIPE_<uid>_PREFIX<worker pid>-<n>.
const std::string kOfficePrefix = "zelbrin-office-";
const char *const kPipeFolders[] = {"/tmp", "/var/tmp"};

std::string pipePrefix() {
    return "OSL_PIPE_" + std::to_string(::geteuid()) + "_" + kOfficePrefix;
}

// What killed builds left behind: profiles and pipe sockets of processes that are gone.
// Once per program; the sessions of a build start in several threads at once.
void sweepStaleOfficeLeftovers() {
    static std::once_flag swept;
    std::call_once(swept, [] {
        leftovers::sweep(QFile::encodeName(QDir::tempPath()).toStdString(), kOfficePrefix);
        for (const char *folder : kPipeFolders)
            leftovers::sweep(folder, pipePrefix());
    });
}

// The user's words for the worker's reason why a document has no page; empty when the
// document is not to blame.
QString documentFaultText(const QString &code) {
    static const QHash<QString, QString> texts{
        {QLatin1String(protocol::kFaultMissing), kDocumentMissing},
        {QLatin1String(protocol::kFaultUnreadable), kDocumentUnreadable},
        {QLatin1String(protocol::kFaultDamaged), kDocumentDamaged},
        {QLatin1String(protocol::kFaultProtected), kDocumentProtected},
        {QLatin1String(protocol::kFaultNotADocument), kNotADocument},
        {QLatin1String(protocol::kFaultOtherKind), kDocumentOfAnotherKind},
        {QLatin1String(protocol::kFaultNotConverted), kDocumentNotConverted},
    };
    return texts.value(code);
}

}  // namespace

LibreOfficeSession::LibreOfficeSession(const QString &workerProgram, int stallMs,
                                       const QString &profileTemplate, std::stop_token stop)
    : workerProgram_(workerProgram), stallMs_(stallMs), profileTemplate_(profileTemplate),
      stop_(std::move(stop)) {
    startWorker();
}

LibreOfficeSession::~LibreOfficeSession() {
    try {
        quit();
    } catch (...) {
        // quit() has killed whatever did not end by itself; nothing is left to do.
    }
}

qint64 LibreOfficeSession::workerProcessId() const {
    return worker_ ? worker_->processId() : 0;
}

QString LibreOfficeSession::profileFolder() const {
    return worker_ && profile_ ? profile_->path() : QString();
}

void LibreOfficeSession::startWorker() {
    sweepStaleOfficeLeftovers();
    profile_ = std::make_unique<QTemporaryDir>(
        QDir::tempPath() + u'/' +
        QString::fromStdString(leftovers::namePrefix(kOfficePrefix, ::getpid())) +
        QStringLiteral("XXXXXX"));
    if (!profile_->isValid()) {
        profile_.reset();
        throw BuildError(QStringLiteral("无法建立办公软件的临时文件夹：%1").arg(QDir::tempPath()));
    }
    worker_ = std::make_unique<QProcess>();
    worker_->setProgram(workerProgram_);
    QStringList arguments{QStringLiteral("--profile"), profile_->path()};
    if (!profileTemplate_.isEmpty())
        arguments << QStringLiteral("--profile-template") << profileTemplate_;
    worker_->setArguments(arguments);
    // The office's own scratch files go inside the profile, so that removing the profile
    // removes them too, also after the office was killed in the middle of a document.
    const QString officeTemp = profile_->path() + QStringLiteral("/tmp");
    QDir().mkpath(officeTemp);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), officeTemp);
    worker_->setProcessEnvironment(environment);
    worker_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The worker leads a process group that its office joins, so that one signal ends
    // both; and it dies with the thread that started it, whatever ends the workbench.
    worker_->setChildProcessModifier([] {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    worker_->start();
    if (!worker_->waitForStarted(kStartTimeoutMs)) {
        const QString reason = worker_->errorString();
        killWorker();
        throw BuildError(QStringLiteral("无法启动办公软件转换程序 %1：%2").arg(workerProgram_, reason));
    }
    processGroup_ = worker_->processId();

    QByteArray line;
    ProgressWatch watch(-processGroup_, kStartStallMs, kStartLimitMs);
    if (!readLine(watch, &line)) {
        killWorker();
        throw BuildError(QStringLiteral("办公软件（LibreOffice）没有启动：转换程序已退出或无响应"));
    }
    const QStringList hello = protocol::decodeLine(line);
    if (hello.value(0) != QLatin1String(protocol::kReady)) {
        killWorker();
        // The worker's words may carry LibreOffice's own: they are the detail.
        throw BuildError(QStringLiteral("无法启动办公软件（LibreOffice）"), hello.value(1));
    }
    startedFromPrepared_ = hello.value(1) == QLatin1String(protocol::kPrepared);
}

bool LibreOfficeSession::readLine(ProgressWatch &watch, QByteArray *line) {
    while (true) {
        if (interruption::requested(stop_))
            return false;
        if (worker_->canReadLine()) {
            *line = worker_->readLine();
            return true;
        }
        if (worker_->state() == QProcess::NotRunning)
            return false;
        if (watch.expired())
            return false;
        worker_->waitForReadyRead(kSliceMs);
    }
}

QString LibreOfficeSession::endedText() const {
    if (worker_->exitStatus() == QProcess::CrashExit)
        return QStringLiteral("转换程序意外退出（信号 %1）").arg(worker_->exitCode());
    return QStringLiteral("转换程序意外退出（退出码 %1）").arg(worker_->exitCode());
}

void LibreOfficeSession::killWorker() {
    if (worker_) {
        if (processGroup_ > 0 && groupHasLiveProcess(processGroup_))
            ::kill(pid_t(-processGroup_), SIGKILL);
        worker_->kill();
        worker_->waitForFinished(kReapTimeoutMs);
        QElapsedTimer clock;
        clock.start();
        while (groupHasLiveProcess(processGroup_) && clock.elapsed() < kReapTimeoutMs) {
            ::kill(pid_t(-processGroup_), SIGKILL);
            QThread::msleep(10);
        }
        worker_.reset();
        // An office killed in the middle leaves its pipe socket behind.
        for (const char *folder : kPipeFolders)
            leftovers::removeOf(folder, pipePrefix(), pid_t(processGroup_));
    }
    processGroup_ = 0;
    profile_.reset();  // removes the office's profile and scratch files
}

LibreOfficeSession::Outcome LibreOfficeSession::convert(const char *kind, const QString &source,
                                                        const QString &target, bool outline,
                                                        QString *errorText, QString *faultCode) {
    if (!worker_) {
        if (!replacementFailure_.isEmpty()) {
            *errorText = replacementFailure_;
            return Outcome::Broken;
        }
        try {
            startWorker();
        } catch (const BuildError &e) {
            replacementFailure_ = e.detail().isEmpty() ? e.message() : e.message() + u'：' + e.detail();
            *errorText = replacementFailure_;
            return Outcome::Broken;
        }
    }
    QStringList request{QLatin1String(protocol::kConvert), QLatin1String(kind), source, target};
    if (outline)
        request << QLatin1String(protocol::kOutline);
    worker_->write(protocol::encodeLine(request));
    QByteArray line;
    ProgressWatch watch(-processGroup_, stallMs_, kConversionLimitMs);
    if (!readLine(watch, &line)) {
        *errorText = worker_ && worker_->state() != QProcess::NotRunning
                         ? QStringLiteral("%1 秒内没有任何进展").arg(stallMs_ / 1000.0)
                         : QStringLiteral("转换程序意外退出");
        killWorker();
        return Outcome::Broken;
    }
    const QStringList answer = protocol::decodeLine(line);
    if (answer.value(0) == QLatin1String(protocol::kOk))
        return Outcome::Done;
    if (answer.value(0) == QLatin1String(protocol::kError)) {
        *errorText = answer.value(1);
        *faultCode = answer.value(2);
        return Outcome::Failed;
    }
    *errorText = QStringLiteral("转换程序的回答无法识别：%1").arg(QString::fromUtf8(line).trimmed());
    killWorker();
    return Outcome::Broken;
}

void LibreOfficeSession::convertWordDocument(const QString &source, const QString &target, bool outline) {
    QString error, fault;
    const Outcome outcome = convert(protocol::kWriter, source, target, outline, &error, &fault);
    if (outcome == Outcome::Done)
        return;
    // How the office ended, in the worker's words that may carry LibreOffice's own, is the detail.
    if (outcome == Outcome::Broken || fault == QLatin1String(protocol::kFaultOfficeCrashed))
        throw OfficeError(QStringLiteral("办公软件已退出或无响应：%1").arg(source), error);
    if (const QString reason = documentFaultText(fault); !reason.isEmpty())
        throw DocumentError({reason, error});
    throw BuildError(QStringLiteral("办公软件转换失败：%1：%2").arg(source, error));
}

ConversionAttempt LibreOfficeSession::attempt(const char *kind, const QString &source, const QString &target,
                                              bool outline) {
    QString error, fault;
    if (convert(kind, source, target, outline, &error, &fault) == Outcome::Done)
        return {true, {}};
    // A crashed or vanished office may do better in the next attempt.
    return {false, {documentFaultText(fault), error}};
}

ConversionAttempt LibreOfficeSession::convertWorkbook(const QString &source, const QString &target, bool outline) {
    return attempt(protocol::kCalc, source, target, outline);
}

ConversionAttempt LibreOfficeSession::convertPresentation(const QString &source, const QString &target,
                                                          bool outline) {
    return attempt(protocol::kImpress, source, target, outline);
}

void LibreOfficeSession::quit() {
    if (!worker_)
        return;
    if (interruption::requested(stop_)) {
        // The worker may be in the middle of a document: no waiting for a clean end.
        killWorker();
        return;
    }
    QString problem;
    if (worker_->state() != QProcess::NotRunning) {
        worker_->write(protocol::encodeLine({QLatin1String(protocol::kQuit)}));
        QByteArray line;
        ProgressWatch watch(-processGroup_, kQuitStallMs, kQuitLimitMs);
        if (!readLine(watch, &line)) {
            problem = worker_ && worker_->state() == QProcess::NotRunning
                          ? endedText()
                          : QStringLiteral("转换程序没有按时退出");
        } else {
            const QStringList answer = protocol::decodeLine(line);
            if (answer.value(0) != QLatin1String(protocol::kOk))
                problem = answer.value(1);
            // waitForFinished() is false for a worker that has already been seen to end.
            else if (worker_->state() != QProcess::NotRunning &&
                     !worker_->waitForFinished(kReapTimeoutMs))
                problem = QStringLiteral("转换程序没有按时退出");
        }
    } else {
        problem = endedText();
    }
    killWorker();
    if (!problem.isEmpty())
        throw OfficeError(QStringLiteral("办公软件未能正常退出：%1").arg(problem));
}

OfficeSessionFactory makeLibreOfficeSessionFactory(const QString &workerProgram, int stallMs,
                                                   const QString &profileTemplate) {
    return [workerProgram, stallMs, profileTemplate](const std::stop_token &stop) -> std::unique_ptr<OfficeSession> {
        return std::make_unique<LibreOfficeSession>(workerProgram, stallMs, profileTemplate, stop);
    };
}

QString defaultProfileTemplate() {
    return officeinstallation::profileTemplateFolder(zelbrinCacheFolder());
}

PageCacheSettings libreOfficePageCache(const QString &workerProgram) {
    PageCacheSettings settings;
    settings.folder = zelbrinCacheFolder();
    settings.officeIdentity = officeinstallation::converterIdentity(workerProgram);
    return settings;
}

}  // namespace zelbrin::platform
