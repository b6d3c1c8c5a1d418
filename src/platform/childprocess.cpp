#include "childprocess.h"

#include <QCoreApplication>
#include <QProcess>

namespace zelbrin::platform {

int RunChildProcessAndWait(const QString &program, const QStringList &arguments,
                           QString *output, const QString &workingDirectory) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    if (output)
        process.setProcessChannelMode(QProcess::MergedChannels);
    else
        process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted())
        return 1;
    while (!process.waitForFinished(10)) {
        if (process.state() == QProcess::NotRunning)
            break;
        if (output)
            *output += QString::fromLocal8Bit(process.readAll());
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    if (output)
        *output += QString::fromLocal8Bit(process.readAll());
    if (process.exitStatus() != QProcess::NormalExit)
        return 1;
    return process.exitCode();
}

}  // namespace zelbrin::platform
