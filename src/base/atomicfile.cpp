#include "atomicfile.h"

#include "interruption.h"
#include "leftovers.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelbrin {

namespace {

// "NAME.tmp-": the pid of the writer follows, so that a later sweep can tell whose it is.
QByteArray temporaryPrefix(const QString &path) { return QFile::encodeName(path) + ".tmp-"; }

}  // namespace

void sweepAtomicWriteLeftovers(const QString &path) {
    const QFileInfo info(path);
    leftovers::sweep(QFile::encodeName(info.absolutePath()).toStdString(),
                     QFile::encodeName(info.fileName()).toStdString() + ".tmp-");
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error) {
    auto fail = [&](int err) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(err));
        return false;
    };
    QByteArray tmpl = temporaryPrefix(path) + QByteArray::number(::getpid()) + "-XXXXXX";
    const int fd = mkstemp(tmpl.data());
    if (fd < 0)
        return fail(errno);
    interruption::TemporaryFile registered(AT_FDCWD, tmpl.constData());
    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(tmpl.constData());
        return fail(err);
    };
    // mkstemp makes the file 0600; a project file gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    struct stat old {};
    const mode_t mode = ::stat(QFile::encodeName(path).constData(), &old) == 0
                            ? (old.st_mode & 07777)
                            : (0666 & ~mask);
    if (fchmod(fd, mode) != 0)
        return abandon(errno);
    const char *p = bytes.constData();
    size_t left = size_t(bytes.size());
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return abandon(errno);
        }
        p += n;
        left -= size_t(n);
    }
    if (fsync(fd) != 0)
        return abandon(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmpl.constData());
        return fail(err);
    }
    // Asked to stop: whatever stands at path stays, so that the program can truthfully say
    // that it wrote nothing.
    if (interruption::requested()) {
        ::unlink(tmpl.constData());
        return fail(EINTR);
    }
    if (::rename(tmpl.constData(), QFile::encodeName(path).constData()) != 0) {
        const int err = errno;
        ::unlink(tmpl.constData());
        return fail(err);
    }
    return true;
}

}  // namespace zelbrin
