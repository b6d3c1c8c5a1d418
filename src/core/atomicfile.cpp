#include "atomicfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelbrin {

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error) {
    auto fail = [&](int err) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(err));
        return false;
    };
    QByteArray tmpl = QFile::encodeName(path) + ".XXXXXX";
    const int fd = mkstemp(tmpl.data());
    if (fd < 0)
        return fail(errno);
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
    if (::rename(tmpl.constData(), QFile::encodeName(path).constData()) != 0) {
        const int err = errno;
        ::unlink(tmpl.constData());
        return fail(err);
    }
    return true;
}

}  // namespace zelbrin
