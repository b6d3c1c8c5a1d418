#include "runprocess.h"

#include "interruption.h"

#include <QDeadlineTimer>
#include <QProcess>

namespace zelbrin {

constexpr int kTerminateGraceMs = 10000;

int runProcessAndWait(const QString &program, const QStringList &arguments, QString *output,
                      const QString &workingDirectory, int timeoutMs, int silenceMs, bool *stalled,
                      const std::stop_token &stop) {
    if (output)
        output->clear();
    if (stalled)
        *stalled = false;
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
    const bool watchSilence = output && silenceMs >= 0;
    QDeadlineTimer silence(watchSilence ? QDeadlineTimer(silenceMs) : QDeadlineTimer(QDeadlineTimer::Forever));
    QByteArray printed;
    bool timedOut = false, silent = false;
    while (!process.waitForFinished(10)) {
        if (process.state() == QProcess::NotRunning)
            break;
        if (interruption::requested(stop)) {
            // Asked to stop: the child gets the chance to remove its own temporary files.
            process.terminate();
            if (!process.waitForFinished(kTerminateGraceMs))
                process.kill();
            process.waitForFinished(-1);
            return 1;
        }
        if (output && process.bytesAvailable() > 0) {
            printed += process.readAll();
            if (watchSilence)
                silence.setRemainingTime(silenceMs);
        }
        timedOut = deadline.hasExpired();
        silent = !timedOut && silence.hasExpired();
        if (timedOut || silent) {
            process.kill();
            process.waitForFinished(-1);
            break;
        }
    }
    if (output) {
        *output = QString::fromLocal8Bit(printed + process.readAll());
        if (timedOut)
            *output += QStringLiteral("\n%1: no answer after %2 s, stopped\n")
                           .arg(program)
                           .arg(timeoutMs / 1000.0);
        if (silent)
            *output += QStringLiteral("\n%1: printed nothing for %2 s, stopped\n")
                           .arg(program)
                           .arg(silenceMs / 1000.0);
    }
    if (stalled)
        *stalled = silent;
    if (timedOut || silent)
        return 1;
    if (process.exitStatus() == QProcess::CrashExit)
        return 1;
    return process.exitCode();
}

}  // namespace zelbrin
