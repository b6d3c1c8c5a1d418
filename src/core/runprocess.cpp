#include "runprocess.h"

#include <QCoreApplication>
#include <QProcess>

namespace zelbrin {

int RunProcessAndWait(const QString &program, const QStringList &arguments, QString *output,
                      const QString &workingDirectory) {
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
    while (!process.waitForFinished(10)) {
        if (process.state() == QProcess::NotRunning)
            break;
        QCoreApplication::processEvents();
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    if (process.exitStatus() == QProcess::CrashExit)
        return 1;
    return process.exitCode();
}

}  // namespace zelbrin
