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
#include "officepool.h"
#include "windowcloser.h"
#include "zlpproject.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

using namespace zelbrin;

namespace {

const char kUsage[] =
    "usage: zelbrin-build [--keep-temp] [--open] [--jobs N] [--no-cache] [--strict] PROJECT.zlp\n"
    "  --keep-temp  keep the build folder (PROJECT-DIR/temp) after the build\n"
    "  --open       open the compiled help file when the build succeeds\n"
    "  --jobs N     convert with N offices at once (default: one per core, at most 4;\n"
    "               never more than the cores and the free memory allow)\n"
    "  --no-cache   convert every document, neither using nor keeping converted pages\n"
    "               (kept in $ZELBRIN_CACHE_DIR, else ~/.cache/zelbrin)\n"
    "  --strict     exit 1 when a document could not be converted (the help file is\n"
    "               written all the same)\n";

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
    bool keepTemp = false, open = false, noCache = false, strict = false;
    int jobs = 0;
    QString projectPath;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == u"--keep-temp") {
            keepTemp = true;
        } else if (a == u"--open") {
            open = true;
        } else if (a == u"--no-cache") {
            noCache = true;
        } else if (a == u"--strict") {
            strict = true;
        } else if (a == u"--jobs" || a.startsWith(u"--jobs=")) {
            const QString value = a == u"--jobs" ? args.value(++i) : a.mid(7);
            bool ok = false;
            jobs = value.toInt(&ok);
            if (!ok || jobs < 1) {
                std::fputs(kUsage, stderr);
                return 2;
            }
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
    const QString worker = env.programFolder + QStringLiteral("zelbrin-office");
    env.officeFactory = platform::makeLibreOfficeSessionFactory(worker, 90000, platform::defaultProfileTemplate());
    const OfficeLimit offices = limitOffices(jobs);
    env.officeWorkers = offices.offices;
    if (!offices.notice.isEmpty())
        printLine(stderr, offices.notice);
    if (!noCache)
        env.pageCache = platform::libreOfficePageCache(worker);
    env.closeViewer = [](const QString &title) { platform::closeWindowTitled(title); };
    env.keepBuildFolder = keepTemp;
    BuildReport report;
    try {
        report = project.Compile(env);
    } catch (const BuildError &e) {
        if (interruption::requested())
            return interruptedExit();
        printLine(stderr, buildErrorText(e));
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
    for (const FailedDocument &document : std::as_const(report.failedDocuments)) {
        printLine(stderr, QStringLiteral("未能转换：") + failedDocumentText(document));
        if (!document.fault.detail.isEmpty())
            printLine(stderr, QStringLiteral("    ") + document.fault.detail);
    }
    if (env.pageCache.enabled())
        printLine(stdout, QStringLiteral("缓存中已有 %1 个文档的网页；启动了 %2 个办公软件")
                              .arg(report.pagesFromCache)
                              .arg(report.officesStarted));
    printLine(stdout, buildSummaryText(report));
    if (open)
        QProcess::startDetached(QStringLiteral("xdg-open"), {report.compiledFile});
    return strict && !report.failedDocuments.isEmpty() ? 1 : 0;
}
