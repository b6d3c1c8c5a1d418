// zelbrin-build: compiles a Zelbrin project into its .chm without the window,
// for scripts and continuous integration.
#include "build.h"
#include "builderror.h"
#include "consoleprompts.h"
#include "projectfile.h"
#include "fileops.h"
#include "headlesswindow.h"
#include "interruption.h"
#include "libreofficesession.h"
#include "windowcloser.h"
#include "zlpproject.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

using namespace zelbrin;

namespace {

const char kUsage[] =
    "usage: zelbrin-build [--keep-temp] [--open] PROJECT.zlp\n"
    "  --keep-temp  keep the build folder (PROJECT-DIR/temp) after the build\n"
    "  --open       open the compiled help file when the build succeeds\n";

void printLine(FILE *stream, const QString &text) {
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

// A build ended by SIGINT, SIGTERM or SIGHUP has cleaned up on its way out; it says so and
// ends as a process killed by that signal would be reported.
int interruptedExit() {
    printLine(stderr, QStringLiteral("zelbrin-build: %1（信号 %2）")
                          .arg(kInterruptedMessage)
                          .arg(interruption::received()));
    return interruption::exitStatus();
}

}  // namespace

int main(int argc, char *argv[]) {
    interruption::install();
    QCoreApplication app(argc, argv);
    bool keepTemp = false, open = false;
    QString projectPath;
    const QStringList args = app.arguments().mid(1);
    for (const QString &a : args) {
        if (a == u"--keep-temp") {
            keepTemp = true;
        } else if (a == u"--open") {
            open = true;
        } else if (a == u"-h" || a == u"--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a.startsWith(u'-') || !projectPath.isEmpty()) {
            std::fputs(kUsage, stderr);
            return 2;
        } else {
            projectPath = a;
        }
    }
    if (projectPath.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    ConsolePrompts prompts;
    HeadlessProjectWindow window(prompts);
    TZLPProject project(window);
    const QString path = QFileInfo(projectPath).absoluteFilePath();
    switch (project.Open(path)) {
    case TZLPProject::OpenOutcome::Read:
        break;
    case TZLPProject::OpenOutcome::TooDeep:
        printLine(stderr, tooDeepProjectMessage(path));
        return 2;
    default:
        printLine(stderr, QStringLiteral("无法打开工程文件：") + path);
        return 2;
    }

    BuildEnvironment env;
    env.showStep = [](const QString &step) { printLine(stdout, step); };
    env.showProgress = [](const ConversionProgress &p) { printLine(stdout, conversionProgressText(p)); };
    env.programFolder = ProgramFolder();
    env.officeFactory = platform::makeLibreOfficeSessionFactory(env.programFolder + QStringLiteral("zelbrin-office"));
    env.closeViewer = [](const QString &title) { platform::closeWindowTitled(title); };
    env.keepBuildFolder = keepTemp;
    BuildReport report;
    try {
        report = project.Compile(env);
    } catch (const BuildError &e) {
        if (interruption::requested())
            return interruptedExit();
        printLine(stderr, kBuildErrorPrefix + e.message());
        return 1;
    } catch (const std::exception &e) {
        if (interruption::requested())
            return interruptedExit();
        printLine(stderr, kBuildErrorPrefix + QString::fromLocal8Bit(e.what()));
        return 1;
    }
    if (interruption::requested())
        return interruptedExit();
    if (report.compiledFile.isEmpty())
        return 1;  // the compiler was missing; its notice went to standard error
    for (const QString &document : std::as_const(report.failedDocuments))
        printLine(stderr, QStringLiteral("未能转换：") + document);
    printLine(stdout, buildSummaryText(report));
    if (open)
        QProcess::startDetached(QStringLiteral("xdg-open"), {report.compiledFile});
    return 0;
}
