#include "officeprocess.h"

#include "progresswatch.h"
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

QByteArray officeProgram() {
    QByteArray program = qgetenv("ZELBRIN_SOFFICE_BIN");
    if (program.isEmpty())
        program = ZELBRIN_LO_PROGRAM_DIR "/soffice.bin";
    return program;
}

// The words the office writes into pages itself (a workbook's "Overview" and "Sheet 1:"
// headings) come in its interface language: Chinese, as the Chinese office on Windows
// would write them. The user's choice of interface language is what the office starts in
// (Setup/L10N/ooLocale is only where it notes the outcome); a profile that an office has
// already filled gets the choice added to its settings.
void setChineseInterface(const QString &profileFolder) {
    const QString userFolder = profileFolder + QStringLiteral("/user");
    const QByteArray choice =
        "<item oor:path=\"/org.openoffice.Office.Linguistic/General\"><prop oor:name=\"UILocale\" "
        "oor:op=\"fuse\"><value>zh-CN</value></prop></item>\n";
    QFile file(userFolder + QStringLiteral("/registrymodifications.xcu"));
    QByteArray settings;
    if (file.open(QIODevice::ReadOnly)) {
        settings = file.readAll();
        file.close();
    }
    if (settings.contains("oor:name=\"UILocale\""))
        return;
    const qsizetype end = settings.lastIndexOf("</oor:items>");
    if (end < 0) {
        settings = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<oor:items "
                   "xmlns:oor=\"http://openoffice.org/2001/registry\" "
                   "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                   "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n" +
                   choice + "</oor:items>\n";
    } else {
        settings.insert(end, choice);
    }
    if (QDir().mkpath(userFolder) && file.open(QIODevice::WriteOnly))
        file.write(settings);
}

}  // namespace

OfficeProcess::OfficeProcess(QString profileFolder) : profileFolder_(std::move(profileFolder)) {
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
    const QByteArray program = officeProgram();
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
        setChineseInterface(profileFolder_);
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
