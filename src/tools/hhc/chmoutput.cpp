#include "chmoutput.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "interruption.h"
#include <QStandardPaths>
#include <QtEndian>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelbrin::hhc {
namespace {

QString systemError(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

}  // namespace

QString findChmcmd() {
    const QByteArray configured = qgetenv("ZELBRIN_CHMCMD");
    if (!configured.isEmpty())
        return QString::fromLocal8Bit(configured);
    return QStandardPaths::findExecutable(QStringLiteral("chmcmd"));
}

ChmcmdRun runChmcmd(const QString &program, const QString &workingFolder, const QString &projectName) {
    ChmcmdRun run;
    QProcess p;
    p.setWorkingDirectory(workingFolder);
    p.setProcessChannelMode(QProcess::MergedChannels);
    // The staged pages carry every file they link already; chmcmd's own scan would only
    // parse them a second time and report HTML it cannot parse as errors.
    p.start(program, {QStringLiteral("--no-html-scan"), projectName});
    if (!p.waitForStarted(-1)) {
        run.output = p.errorString();
        return run;
    }
    run.started = true;
    while (!p.waitForFinished(50) && p.state() != QProcess::NotRunning) {
        if (interruption::requested()) {
            p.terminate();
            if (!p.waitForFinished(10000))
                p.kill();
            p.waitForFinished(-1);
        }
    }
    run.output = QString::fromLocal8Bit(p.readAll());
    run.crashed = p.exitStatus() == QProcess::CrashExit;
    run.exitCode = p.exitCode();
    for (const QString &line : run.output.split(u'\n')) {
        if (line.trimmed().startsWith(QLatin1String("Error:"), Qt::CaseInsensitive))
            run.errorLines.append(line.trimmed());
    }
    return run;
}

bool isWholeChm(const QString &path, QString *why) {
    auto fail = [&](const QString &text) {
        if (why)
            *why = text;
        return false;
    };
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("no file was written"));
    const qint64 size = f.size();
    if (size == 0)
        return fail(QStringLiteral("the file is empty"));
    // ITSF header: the table of header sections starts at 0x38; section 0 starts with
    // FE 01 00 00 and holds the whole file's size at its offset 8.
    const QByteArray head = f.read(0x48);
    if (head.size() < 0x48 || !head.startsWith("ITSF"))
        return fail(QStringLiteral("the file is not a compiled help file"));
    const quint64 section0 = qFromLittleEndian<quint64>(head.constData() + 0x38);
    if (section0 + 16 > quint64(size) || !f.seek(qint64(section0)))
        return fail(QStringLiteral("the file is cut short"));
    const QByteArray s0 = f.read(16);
    if (s0.size() < 16 || !s0.startsWith(QByteArray("\xFE\x01\x00\x00", 4)))
        return fail(QStringLiteral("the file's header is damaged"));
    const quint64 stated = qFromLittleEndian<quint64>(s0.constData() + 8);
    if (stated != quint64(size))
        return fail(QStringLiteral("the file has %1 bytes where its header states %2").arg(size).arg(stated));
    return true;
}

bool repairListingStart(const QString &path, bool *repaired, QString *error) {
    *repaired = false;
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) {
        *error = f.errorString();
        return false;
    }
    // ITSF header section 1 is the directory: an ITSP header followed by its chunks.
    const QByteArray head = f.read(0x58);
    if (head.size() < 0x58)
        return true;
    const quint64 itsp = qFromLittleEndian<quint64>(head.constData() + 0x48);
    if (!f.seek(qint64(itsp)))
        return true;
    const QByteArray h = f.read(0x54);
    if (h.size() < 0x54 || !h.startsWith("ITSP"))
        return true;
    const quint32 headerLength = qFromLittleEndian<quint32>(h.constData() + 0x08);
    const quint32 chunkSize = qFromLittleEndian<quint32>(h.constData() + 0x10);
    const qint32 first = qFromLittleEndian<qint32>(h.constData() + 0x20);
    const quint32 chunks = qFromLittleEndian<quint32>(h.constData() + 0x2C);
    if (chunkSize < 20 || chunks > 1000000)
        return true;
    for (quint32 i = 0; i < chunks; ++i) {
        if (!f.seek(qint64(itsp + headerLength + quint64(i) * chunkSize)))
            return true;
        const QByteArray c = f.read(20);
        if (c.size() < 20 || !c.startsWith("PMGL"))
            continue;
        if (qFromLittleEndian<qint32>(c.constData() + 0x0C) != -1)
            continue;  // not the start of the chain
        if (qint32(i) == first)
            return true;
        uchar value[4];
        qToLittleEndian<qint32>(qint32(i), value);
        if (!f.seek(qint64(itsp + 0x20)) || f.write(reinterpret_cast<const char *>(value), 4) != 4 ||
            !f.flush()) {
            *error = f.errorString();
            return false;
        }
        *repaired = true;
        return true;
    }
    return true;
}

bool placeFile(const QString &finished, const QString &target, QString *error) {
    const QByteArray from = QFile::encodeName(finished);
    const QByteArray to = QFile::encodeName(target);
    if (::rename(from.constData(), to.constData()) == 0)
        return true;
    if (errno != EXDEV) {
        *error = systemError(errno);
        return false;
    }
    const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        *error = systemError(errno);
        return false;
    }
    QByteArray tmpl = to + ".XXXXXX";
    const int out = mkstemp(tmpl.data());
    if (out < 0) {
        *error = systemError(errno);
        ::close(in);
        return false;
    }
    auto abandon = [&](int err) {
        ::close(in);
        ::close(out);
        ::unlink(tmpl.constData());
        *error = systemError(err);
        return false;
    };
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(out, 0666 & ~mask) != 0)
        return abandon(errno);
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return abandon(errno);
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return abandon(errno);
            }
            done += w;
        }
    }
    if (fsync(out) != 0)
        return abandon(errno);
    ::close(in);
    if (::close(out) != 0) {
        const int err = errno;
        ::unlink(tmpl.constData());
        *error = systemError(err);
        return false;
    }
    if (::rename(tmpl.constData(), to.constData()) != 0) {
        const int err = errno;
        ::unlink(tmpl.constData());
        *error = systemError(err);
        return false;
    }
    return true;
}

}  // namespace zelbrin::hhc
