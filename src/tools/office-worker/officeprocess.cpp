#include "officeprocess.h"

#include "officeinstallation.h"
#include "progresswatch.h"
#include "sealedfolder.h"
#include "unoutil.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <cppuhelper/bootstrap.hxx>

#include <atomic>
#include <memory>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace css;

namespace zelbrin::officeworker {

namespace {

// soffice.bin asks for a restart (exit code 81) after it has filled a new profile.
constexpr int kRestartRequested = 81;
// An office that starts or ends uses CPU time; one that uses none for the stall time is
// stuck, however long a loaded machine makes the rest take.
constexpr qint64 kStartStallMs = 60000;
constexpr qint64 kStartLimitMs = 10 * 60000;
constexpr qint64 kTerminateStallMs = 10000;
constexpr qint64 kTerminateLimitMs = 60000;

// What a prepared profile leaves out: the worker's own scratch folders and the lock of
// the office that made it.
const QStringList kNotInTemplate{QStringLiteral("scratch"), QStringLiteral("tmp"),
                                 QStringLiteral("user/.lock")};

// One setting of the profile's registrymodifications.xcu.
struct ProfileSetting {
    QByteArray key;   // what a profile that has the setting contains
    QByteArray item;  // the line that sets it
};

// Settings every office of ours starts with, added to a profile that lacks them:
// - The words the office writes into pages itself (a workbook's "Overview" and "Sheet 1:"
//   headings) come in its interface language: Chinese, as the Chinese office on Windows
//   would write them. The user's choice of interface language is what the office starts in
//   (Setup/L10N/ooLocale is only where it notes the outcome).
// - The office runs its graphics self-tests (about 4 s of CPU time, painting 4096-pixel
//   bitmaps) at every start whose profile has not noted this version as seen; only its
//   interactive "What's new" notice notes it, which a headless office never shows.
QList<ProfileSetting> profileSettings() {
    return {
        {"oor:name=\"UILocale\"",
         "<item oor:path=\"/org.openoffice.Office.Linguistic/General\"><prop oor:name=\"UILocale\" "
         "oor:op=\"fuse\"><value>zh-CN</value></prop></item>\n"},
        {"oor:name=\"ooSetupLastVersion\"",
         "<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" "
         "oor:op=\"fuse\"><value>" +
             officeinstallation::officeVersion().toUtf8() + "</value></prop></item>\n"},
    };
}

void addProfileSettings(const QString &profileFolder) {
    const QString userFolder = profileFolder + QStringLiteral("/user");
    QFile file(userFolder + QStringLiteral("/registrymodifications.xcu"));
    QByteArray settings;
    if (file.open(QIODevice::ReadOnly)) {
        settings = file.readAll();
        file.close();
    }
    QByteArray missing;
    for (const ProfileSetting &setting : profileSettings()) {
        if (!settings.contains(setting.key))
            missing += setting.item;
    }
    if (missing.isEmpty())
        return;
    const qsizetype end = settings.lastIndexOf("</oor:items>");
    if (end < 0) {
        settings = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<oor:items "
                   "xmlns:oor=\"http://openoffice.org/2001/registry\" "
                   "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                   "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n" +
                   missing + "</oor:items>\n";
    } else {
        settings.insert(end, missing);
    }
    if (QDir().mkpath(userFolder) && file.open(QIODevice::WriteOnly))
        file.write(settings);
}

}  // namespace

OfficeProcess::OfficeProcess(QString profileFolder, QString profileTemplate)
    : profileFolder_(std::move(profileFolder)), profileTemplate_(std::move(profileTemplate)) {
    static std::atomic<int> serial{0};
    pipeName_ = QStringLiteral("zelbrin-office-%1-%2").arg(getpid()).arg(++serial);
}

OfficeProcess::~OfficeProcess() {
    discard();
}

uno::Reference<uno::XComponentContext> OfficeProcess::context() {
    if (remote_.is() && alive())
        return remote_;
    discard();
    start();
    return remote_;
}

void OfficeProcess::spawn() {
    const QByteArray program = officeinstallation::officeProgram();
    if (!QFileInfo(QString::fromLocal8Bit(program)).isExecutable())
        throw WorkerError(QStringLiteral("未找到 LibreOffice 程序：%1").arg(QString::fromLocal8Bit(program)));

    // Everything the child needs is prepared before fork: no allocation after it.
    std::vector<QByteArray> args{
        program,
        "-env:UserInstallation=" + toQ(fileUrl(profileFolder_)).toUtf8(),
        "--headless", "--invisible", "--nodefault", "--nologo", "--norestore",
        "--nolockcheck", "--nofirststartwizard",
        "--accept=pipe,name=" + pipeName_.toUtf8() + ";urp;StarOffice.ComponentContext",
    };
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0)
        throw WorkerError(QStringLiteral("无法启动 LibreOffice：fork 失败"));
    if (pid == 0) {
        // The office must not outlive the worker, whatever ends the worker.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        const int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            dup2(devnull, STDIN_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    pid_ = pid;
}

void OfficeProcess::start() {
    try {
        if (!local_.is())
            local_ = cppu::defaultBootstrap_InitialComponentContext();
        const auto resolver = bridge::UnoUrlResolver::create(local_);
        const rtl::OUString url =
            toOU(QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipeName_));

        int restarts = 0;
        // A prepared profile saves the office the first start that fills a fresh one.
        bool prepared = false;
        if (!profileTemplate_.isEmpty()) {
            prepared = sealed::restore(profileTemplate_, profileFolder_,
                                       officeinstallation::profileTemplateLabel());
            if (!prepared)  // what a damaged template left of itself
                QDir(profileFolder_ + QStringLiteral("/user")).removeRecursively();
        }
        startedFromTemplate_ = prepared;
        // Also on a prepared profile: one made before a setting existed lacks it.
        addProfileSettings(profileFolder_);
        spawn();
        auto watch = std::make_unique<ProgressWatch>(pid_, kStartStallMs, kStartLimitMs);
        while (true) {
            try {
                remote_.set(resolver->resolve(url), uno::UNO_QUERY_THROW);
                return;
            } catch (const connection::NoConnectException &) {
            }
            if (!alive()) {
                const bool restart = WIFEXITED(exitStatus_) &&
                                     WEXITSTATUS(exitStatus_) == kRestartRequested;
                if (restart && ++restarts <= 3) {
                    // The office has filled the fresh profile and ended: what it wrote is
                    // what the next worker can start from.
                    if (!prepared && restarts == 1 && !profileTemplate_.isEmpty())
                        sealed::store(profileFolder_, profileTemplate_,
                                      officeinstallation::profileTemplateLabel(), kNotInTemplate);
                    spawn();
                    watch = std::make_unique<ProgressWatch>(pid_, kStartStallMs, kStartLimitMs);
                    continue;
                }
                const int code = WIFEXITED(exitStatus_) ? WEXITSTATUS(exitStatus_)
                                                        : 128 + WTERMSIG(exitStatus_);
                throw WorkerError(QStringLiteral("LibreOffice 启动后立即退出（退出码 %1）").arg(code));
            }
            if (watch->expired()) {
                discard();
                throw WorkerError(QStringLiteral("LibreOffice 在 %1 秒内没有任何进展")
                                      .arg(kStartStallMs / 1000));
            }
            QThread::msleep(40);
        }
    } catch (const uno::Exception &e) {
        discard();
        throw WorkerError(QStringLiteral("无法连接 LibreOffice：%1").arg(toQ(e.Message)));
    } catch (const cppu::BootstrapException &e) {
        discard();
        throw WorkerError(QStringLiteral("无法加载 UNO 运行环境：%1").arg(toQ(e.getMessage())));
    }
}

bool OfficeProcess::alive() {
    if (pid_ <= 0)
        return false;
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD)) {
        exitStatus_ = status;
        pid_ = -1;
        return false;
    }
    return true;
}

void OfficeProcess::reap(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (alive() && clock.elapsed() < timeoutMs)
        QThread::msleep(20);
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &exitStatus_, 0);
        pid_ = -1;
    }
}

void OfficeProcess::discard() {
    try {
        remote_.clear();
    } catch (...) {
    }
    reap(0);
}

bool OfficeProcess::terminate() {
    if (!alive()) {
        discard();
        return true;
    }
    try {
        if (remote_.is())
            frame::Desktop::create(remote_)->terminate();
    } catch (...) {
        // The connection breaks while the office goes down; what counts is that it ends.
    }
    try {
        remote_.clear();
    } catch (...) {
    }
    ProgressWatch watch(pid_, kTerminateStallMs, kTerminateLimitMs);
    while (alive() && !watch.expired())
        QThread::msleep(20);
    const bool ended = !alive();
    reap(0);
    return ended;
}

}  // namespace zelbrin::officeworker
