// zelbrin-office: the workbench's office worker. It runs one headless LibreOffice with a
// private profile and converts documents to HTML pages on request, one at a time, over
// the line protocol of officeprotocol.h on standard input and output.
//
//   zelbrin-office [--profile FOLDER] [--profile-template TEMPLATE]
//
// FOLDER holds the office's profile and scratch files; it is the caller's to remove.
// Without it the worker uses a fresh temporary folder and removes it at the end.
// TEMPLATE is a prepared profile that the office starts from instead of filling a fresh
// one (which takes it a second start); when it is missing or unusable, the worker makes it.

#include "converter.h"
#include "officeprocess.h"
#include "officeprotocol.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <langinfo.h>
#include <memory>
#include <string>
#include <unistd.h>

using namespace zelbrin;
using namespace zelbrin::officeworker;

namespace {

int protocolFd = -1;

bool send(const QStringList &fields) {
    const QByteArray line = officeprotocol::encodeLine(fields);
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = write(protocolFd, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

void prepareEnvironment() {
    // The office turns file URLs into file names in the locale's encoding: without a
    // UTF-8 locale, Chinese file names could not be opened.
    setlocale(LC_ALL, "");
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        setenv("LC_ALL", "C.UTF-8", 1);
    setenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" ZELBRIN_LO_PROGRAM_DIR "/fundamentalrc", 0);
    signal(SIGPIPE, SIG_IGN);
    // For the office (read at its start, not ours). It allocates and frees bitmaps of many
    // megabytes per slide and picture; glibc would hand each back to the kernel and fault
    // it in anew, zeroed, for the next. Keeping them in the heap, on huge pages, takes
    // about a sixth off the office's CPU time with the same peak memory. A user's own
    // setting stands.
    setenv("GLIBC_TUNABLES",
           "glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=268435456:"
           "glibc.malloc.top_pad=67108864:glibc.malloc.hugetlb=1",
           0);
}

}  // namespace

int main(int argc, char **argv) {
    // The protocol gets a private copy of standard output; what the office libraries
    // print to standard output goes to standard error instead.
    protocolFd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    prepareEnvironment();

    QString profile, profileTemplate;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--profile" && i + 1 < argc) {
            profile = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--profile-template" && i + 1 < argc) {
            profileTemplate = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::cerr << "usage: zelbrin-office [--profile FOLDER] [--profile-template FOLDER]\n";
            return 2;
        }
    }
    std::unique_ptr<QTemporaryDir> ownProfile;
    if (profile.isEmpty()) {
        // The pid in the name tells a later sweep whether the folder is still in use.
        ownProfile = std::make_unique<QTemporaryDir>(
            QDir::tempPath() + QStringLiteral("/zelbrin-office-%1-XXXXXX").arg(getpid()));
        if (!ownProfile->isValid()) {
            send({officeprotocol::kError, QStringLiteral("无法建立临时文件夹")});
            return 1;
        }
        profile = ownProfile->path();
    }
    const QString scratch = profile + QStringLiteral("/scratch");
    if (!QDir().mkpath(scratch)) {
        send({officeprotocol::kError, QStringLiteral("无法建立文件夹：%1").arg(scratch)});
        return 1;
    }

    OfficeProcess office(QDir(profile).absolutePath(),
                         profileTemplate.isEmpty() ? QString() : QDir(profileTemplate).absolutePath());
    try {
        office.context();
    } catch (const WorkerError &e) {
        send({officeprotocol::kError, e.text()});
        return 1;
    }
    if (!send({officeprotocol::kReady, office.startedFromTemplate() ? QLatin1String(officeprotocol::kPrepared)
                                                                     : QLatin1String(officeprotocol::kFresh)}))
        return 1;

    Converter converter(office, scratch);
    bool quitRequested = false;
    std::string line;
    while (!quitRequested && std::getline(std::cin, line)) {
        const QStringList request = officeprotocol::decodeLine(QByteArray::fromStdString(line));
        QStringList answer{officeprotocol::kOk};
        const QString kind = request.value(1);
        const bool knownKind = kind == QLatin1String(officeprotocol::kWriter) ||
                               kind == QLatin1String(officeprotocol::kCalc) ||
                               kind == QLatin1String(officeprotocol::kImpress);
        const bool withOutline =
            request.size() == 5 && request[4] == QLatin1String(officeprotocol::kOutline);
        if (request.value(0) == QLatin1String(officeprotocol::kConvert) &&
            (request.size() == 4 || withOutline) && knownKind) {
            try {
                converter.convert(kind, request[2], request[3], withOutline);
            } catch (const WorkerError &e) {
                answer = {officeprotocol::kError, e.text()};
                if (!e.fault().isEmpty())
                    answer << e.fault();
            } catch (const std::exception &e) {
                answer = {officeprotocol::kError, QString::fromLocal8Bit(e.what()),
                          QLatin1String(officeprotocol::kFaultNotConverted)};
            } catch (...) {
                answer = {officeprotocol::kError, QStringLiteral("转换时发生未知错误"),
                          QLatin1String(officeprotocol::kFaultNotConverted)};
            }
        } else if (request.value(0) == QLatin1String(officeprotocol::kQuit)) {
            quitRequested = true;
            continue;
        } else {
            answer = {officeprotocol::kError,
                      QStringLiteral("无法识别的请求：%1").arg(request.join(QLatin1Char(' ')))};
        }
        if (!send(answer))
            break;
    }

    const bool clean = office.terminate();
    if (quitRequested)
        send(clean ? QStringList{officeprotocol::kOk}
                   : QStringList{officeprotocol::kError, QStringLiteral("LibreOffice 没有按时退出，已被强制结束")});
    return 0;
}
