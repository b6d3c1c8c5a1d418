#pragma once

#include <QString>
#include <QStringList>

#include <stop_token>

namespace zelbrin {

// Runs program with arguments (each passed as it is, never split at blanks) and waits for
// it, on the calling thread (never the window's: nothing else runs there meanwhile). When
// this program is asked to stop (interruption.h) or stop is requested, the child is asked
// to end as well (SIGTERM, then SIGKILL after 10 s) and the run counts as failed. Returns its exit code; 1 when it cannot be started or crashed. The child reads
// no input. output, when given, receives its merged standard output and error text;
// otherwise that text is discarded. An empty workingDirectory keeps the caller's. A child
// still running after timeoutMs (when not negative) is killed and counts as failed (1).
// A child that prints nothing for silenceMs (when not negative; output must be given) is
// taken to have stalled: it is killed, counts as failed and stalled, when given, is set.
int runProcessAndWait(const QString &program, const QStringList &arguments, QString *output = nullptr,
                      const QString &workingDirectory = {}, int timeoutMs = -1, int silenceMs = -1,
                      bool *stalled = nullptr, const std::stop_token &stop = {});

}  // namespace zelbrin
