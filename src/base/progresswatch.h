#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

namespace zelbrin {

// CPU time, in clock ticks, that a process (pid > 0) or every process of a process group
// (pid < 0 names the group -pid) has used so far, its reaped children included; 0 when
// none is found.
quint64 cpuTicks(qint64 pid);

// Tells a slow child process from a stuck one. A child at work uses CPU time however busy
// the machine is, so a fixed time-out either fails slow machines or waits too long on fast
// ones; a child whose CPU time stands still for stallMs is taken for stuck instead. One
// that spins without end is still given up after limitMs in all.
class ProgressWatch {
public:
    ProgressWatch(qint64 pid, qint64 stallMs, qint64 limitMs);

    // True once the watched process has shown no progress for stallMs, or limitMs passed.
    // Cheap to call often: the process table is read a few times a second at most.
    bool expired();
    qint64 stallMs() const { return stallMs_; }

private:
    qint64 pid_;
    qint64 stallMs_;
    qint64 limitMs_;
    QElapsedTimer total_;
    QElapsedTimer sinceProgress_;
    QElapsedTimer sinceSample_;
    quint64 lastTicks_ = 0;
};

}  // namespace zelbrin
