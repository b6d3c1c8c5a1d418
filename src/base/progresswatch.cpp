#include "progresswatch.h"

#include <QByteArray>
#include <QList>

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace zelbrin {
namespace {

constexpr qint64 kSampleEveryMs = 200;

// The fields of /proc/PID/stat after the command name: state is [0], the process group
// [2], utime [11], stime [12], cutime [13], cstime [14].
bool readStat(const char *pid, QList<QByteArray> *fields) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%s/stat", pid);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[1024];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0)
        return false;
    const QByteArray text(buffer, n);
    // The command name may hold blanks and parentheses; it ends at the last ")".
    const qsizetype nameEnd = text.lastIndexOf(')');
    if (nameEnd < 0)
        return false;
    *fields = text.mid(nameEnd + 2).split(' ');
    return fields->size() > 14;
}

quint64 ticksOf(const QList<QByteArray> &f) {
    return f[11].toULongLong() + f[12].toULongLong() + f[13].toULongLong() + f[14].toULongLong();
}

}  // namespace

quint64 cpuTicks(qint64 pid) {
    QList<QByteArray> fields;
    if (pid > 0)
        return readStat(QByteArray::number(pid).constData(), &fields) ? ticksOf(fields) : 0;
    const QByteArray group = QByteArray::number(-pid);
    quint64 total = 0;
    DIR *proc = opendir("/proc");
    if (!proc)
        return 0;
    while (const dirent *e = readdir(proc)) {
        if (e->d_name[0] < '1' || e->d_name[0] > '9')
            continue;
        if (readStat(e->d_name, &fields) && fields[2] == group)
            total += ticksOf(fields);
    }
    closedir(proc);
    return total;
}

ProgressWatch::ProgressWatch(qint64 pid, qint64 stallMs, qint64 limitMs)
    : pid_(pid), stallMs_(stallMs), limitMs_(limitMs), lastTicks_(cpuTicks(pid)) {
    total_.start();
    sinceProgress_.start();
    sinceSample_.start();
}

bool ProgressWatch::expired() {
    if (total_.elapsed() > limitMs_)
        return true;
    if (sinceSample_.elapsed() >= kSampleEveryMs) {
        sinceSample_.restart();
        // Any change counts: a process of the group that ends takes its ticks along.
        const quint64 ticks = cpuTicks(pid_);
        if (ticks != lastTicks_) {
            lastTicks_ = ticks;
            sinceProgress_.restart();
        }
    }
    return sinceProgress_.elapsed() > stallMs_;
}

}  // namespace zelbrin
