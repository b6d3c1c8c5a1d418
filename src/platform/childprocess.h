#pragma once

#include <QString>
#include <QStringList>

namespace zelbrin::platform {

// Runs a program and waits for it while the window keeps painting: the wait polls in
// slices of 10 ms and lets pending events run between them. Returns the exit code, or 1
// when the program cannot be started or crashes. The arguments reach the program as
// they are, never split at blanks. output, when given, receives stdout and stderr.
// (Same contract as the build's RunProcessAndWait, which may take its place.)
int RunChildProcessAndWait(const QString &program, const QStringList &arguments,
                           QString *output = nullptr, const QString &workingDirectory = {});

}  // namespace zelbrin::platform
