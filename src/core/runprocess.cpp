#include "runprocess.h"

#include "interruption.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>

namespace zelbrin {

constexpr int kTerminateGraceMs = 10000;

int RunProcessAndWait(const QString &program, const QStringList &arguments, QString *output,
                      const QString &workingDirectory, int timeoutMs) {
    if (output)
        output->clear();
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    // A child waiting for input would never end; one whose output nobody reads must not
    // pile it up in memory.
    process.setStandardInputFile(QProcess::nullDevice());
    if (output) {
        process.setProcessChannelMode(QProcess::MergedChannels);
    } else {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
    }
    process.start();
    if (!process.waitForStarted(-1))
        return 1;
    QDeadlineTimer deadline(timeoutMs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(timeoutMs));
    bool timedOut = false;
    while (!process.waitForFinished(10)) {
        if (process.state() == QProcess::NotRunning)
            break;
        if (interruption::requested()) {
            // Asked to stop: the child gets the chance to remove its own temporary files.
            process.terminate();
            if (!process.waitForFinished(kTerminateGraceMs))
                process.kill();
            process.waitForFinished(-1);
            return 1;
        }
        if (deadline.hasExpired()) {
            process.kill();
            process.waitForFinished(-1);
            timedOut = true;
            break;
        }
        QCoreApplication::processEvents();
    }
    if (output) {
        *output = QString::fromLocal8Bit(process.readAll());
        if (timedOut)
            *output += QStringLiteral("\n%1: no answer after %2 s, stopped\n")
                           .arg(program)
                           .arg(timeoutMs / 1000.0);
    }
    if (timedOut)
        return 1;
    if (process.exitStatus() == QProcess::CrashExit)
        return 1;
    return process.exitCode();
}

}  // namespace zelbrin
