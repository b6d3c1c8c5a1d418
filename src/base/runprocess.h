#pragma once

#include <QString>
#include <QStringList>

namespace zelbrin {

// Runs program with arguments (each passed as it is, never split at blanks) and waits for
// it in slices of 10 ms, letting pending events run between slices so that the window stays
// painted. When this program is asked to stop (interruption.h), the child is asked to end
// as well (SIGTERM, then SIGKILL after 10 s) and the run counts as failed. Returns its exit code; 1 when it cannot be started or crashed. The child reads
// no input. output, when given, receives its merged standard output and error text;
// otherwise that text is discarded. An empty workingDirectory keeps the caller's. A child
// still running after timeoutMs (when not negative) is killed and counts as failed (1).
// A child that prints nothing for silenceMs (when not negative; output must be given) is
// taken to have stalled: it is killed, counts as failed and stalled, when given, is set.
int runProcessAndWait(const QString &program, const QStringList &arguments, QString *output = nullptr,
                      const QString &workingDirectory = {}, int timeoutMs = -1, int silenceMs = -1,
                      bool *stalled = nullptr);

}  // namespace zelbrin
