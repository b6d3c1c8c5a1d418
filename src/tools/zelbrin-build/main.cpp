// zelbrin-build: compiles a Zelbrin project into its .chm without the window,
// for scripts and continuous integration.
#include "build.h"
#include "builderror.h"
#include "consoleprompts.h"
#include "project.h"
#include "projectfile.h"
#include "fileops.h"
#include "interruption.h"
#include "libreofficesession.h"
#include "officepool.h"
#include "windowcloser.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <optional>

using namespace zelbrin;

namespace {

const QString kUsageLine = QStringLiteral(
    "用法：zelbrin-build [--keep-temp] [--open] [--jobs N] [--no-cache] [--strict] [--split N] 工程文件.zlp");
const QString kUsage = kUsageLine + QStringLiteral(
    "\n把工程编译成帮助文件（.CHM），写在工程文件旁边。\n"
    "  --keep-temp  编译后保留临时文件夹（工程目录/temp）\n"
    "  --open       编译成功后打开帮助文件\n"
    "  --jobs N     同时用 N 个办公软件转换文档（默认每个处理器核心一个，最多 4 个；\n"
    "               不超过处理器核心数和可用内存所能容纳的数目）\n"
    "  --no-cache   转换每一个文档，不使用也不保留已转换的网页\n"
    "               （网页缓存在 $ZELBRIN_CACHE_DIR，否则在 ~/.cache/zelbrin）\n"
    "  --strict     有文档未能转换时退出码为 1（帮助文件照样写出）\n"
    "  --split N    本次编译把文档按第 1 至 N 级标题分成多页（N 为 0 到 3，0 为不分页），\n"
    "               代替工程设置的分页级别；文档自己的设置仍然有效\n"
    "退出码：0 帮助文件已写出，1 编译出错（加 --strict 时也包括有文档未能转换），2 参数有误或无法打开工程文件。");

void printLine(FILE *stream, const QString &text) {
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

// A wrong argument: what is wrong and how to call the program, exit code 2.
int argumentError(const QString &problem) {
    printLine(stderr, QStringLiteral("zelbrin-build：") + problem);
    printLine(stderr, kUsageLine);
    printLine(stderr, QStringLiteral("（zelbrin-build --help 显示各选项的说明）"));
    return 2;
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
    std::optional<int> splitLevel;
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
            if (!ok || jobs < 1)
                return argumentError(QStringLiteral("--jobs 需要一个正整数，而不是“%1”").arg(value));
        } else if (a == u"--split" || a.startsWith(u"--split=")) {
            const QString value = a == u"--split" ? args.value(++i) : a.mid(8);
            bool ok = false;
            const int level = value.toInt(&ok);
            if (!ok || level < 0 || level > TopicSettings::kMaxSplitLevel)
                return argumentError(QStringLiteral("--split 需要 0 到 %1 之间的整数（0 为不分页），而不是“%2”")
                                         .arg(TopicSettings::kMaxSplitLevel)
                                         .arg(value));
            splitLevel = level;
        } else if (a == u"-h" || a == u"--help") {
            printLine(stdout, kUsage);
            return 0;
        } else if (a.startsWith(u'-')) {
            return argumentError(QStringLiteral("未知的选项：%1").arg(a));
        } else if (!projectPath.isEmpty()) {
            return argumentError(QStringLiteral("只能编译一个工程文件，多出了：%1").arg(a));
        } else {
            projectPath = a;
        }
    }
    if (projectPath.isEmpty())
        return argumentError(QStringLiteral("缺少工程文件"));

    Project project;
    const QString path = QFileInfo(projectPath).absoluteFilePath();
    switch (project.open(path)) {
    case Project::OpenOutcome::Read:
        break;
    case Project::OpenOutcome::TooDeep:
        printLine(stderr, tooDeepProjectMessage(path));
        return 2;
    default:
        printLine(stderr, QStringLiteral("无法打开工程文件：") + path);
        return 2;
    }

    if (splitLevel) {
        TopicSettings topics = project.topics();
        topics.splitLevel = *splitLevel;
        project.setTopics(topics);
    }

    BuildEnvironment env;
    env.programFolder = executableFolder();
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
    Build build(project, env);
    QObject::connect(&build, &Build::stepChanged, [](const QString &step) { printLine(stdout, step); });
    QObject::connect(&build, &Build::progressChanged,
                     [](const ConversionProgress &p) { printLine(stdout, conversionProgressText(p)); });
    // Nothing waits for input: notices go to standard error, questions are answered No.
    ConsolePrompts prompts;
    QObject::connect(&build, &Build::noticeGiven, [&](const QString &text) {
        prompts.notice(text, UserPrompts::Icon::None);
        build.reply(UserPrompts::Answer::Yes);
    });
    QObject::connect(&build, &Build::questionAsked, [&](const QString &text, bool withCancel) {
        build.reply(prompts.ask(text, withCancel));
    });
    // A detail (another program's own words) follows its message, as a failed document's does.
    const auto buildFailed = [](const BuildError &e) {
        if (interruption::requested())
            return interruptedExit();
        printLine(stderr, buildErrorText(e));
        if (!e.detail().isEmpty())
            printLine(stderr, QStringLiteral("    ") + e.detail());
        return 1;
    };
    BuildReport report;
    try {
        report = build.run();
    } catch (const BuildError &e) {
        return buildFailed(e);
    } catch (const std::exception &e) {
        return buildFailed(unexpectedBuildError(e));
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
