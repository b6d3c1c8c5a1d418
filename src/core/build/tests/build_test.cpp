#include "build.h"
#include "builderror.h"
#include "conversion.h"
#include "fakeoffice.h"
#include "fileops.h"
#include "foldercontents.h"
#include "scriptedprompts.h"
#include "structuretree.h"
#include "project.h"
#include "textencoding.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QThread>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

using namespace zelbrin;
using namespace zelbrin::testing;

namespace {

void writeFile(const QString &path, const QByteArray &content, bool executable = false) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    if (executable)
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A stand-in compiler: records its argument and writes the file named in "Compiled file=".
const QByteArray kFakeHhc =
    "#!/bin/sh\n"
    "echo \"$1\" > \"$(dirname \"$0\")/hhc.args\"\n"
    "out=$(sed -n 's/^Compiled file=//p' \"$1\" | tr -d '\\r')\n"
    "printf 'ITSF' > \"$out\"\n";
const QByteArray kFailingHhc = "#!/bin/sh\necho 'Compiling...'\necho 'Error: page missing'\nexit 1\n";
const QByteArray kSilentHhc = "#!/bin/sh\nexit 0\n";
// A compiler that works for longer than the silence limit, printing progress as it goes.
const QByteArray kSlowHhc =
    "#!/bin/sh\n"
    "out=$(sed -n 's/^Compiled file=//p' \"$1\" | tr -d '\\r')\n"
    "for i in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15; do echo \"hhc: compressed $i of 15 MB\"; sleep 0.2; done\n"
    "printf 'ITSF' > \"$out\"\n";
// A compiler that starts and then hangs without a word.
const QByteArray kStalledHhc = "#!/bin/sh\necho 'hhc: read 1 of 9 files'\nexec sleep 600\n";

struct BuildTest : ::testing::Test {
    QTemporaryDir tmp;
    ScriptedPrompts prompts;
    Project project;
    FakeOfficeLog log;
    QStringList steps, opened, closedViewers;
    BuildEnvironment env;
    QString proj, bin;

    void SetUp() override {
        proj = tmp.path() + "/proj/";
        bin = tmp.path() + "/bin/";
        QDir().mkpath(proj);
        QDir().mkpath(bin);
        project.setFileName(proj + "Manual.zlp");
        env.officeFactory = FakeOffice::factory(log);
        env.closeViewer = [this](const QString &t) { closedViewers << t; };
        env.programFolder = bin;
        writeFile(bin + "hhc", kFakeHhc, true);
        writeFile(tmp.path() + "/docs/intro.doc", "doc");
        TreeNode *guide = project.tree().addNode(nullptr, "Guide", false, "");
        project.tree().addNode(guide, "intro.doc", false, tmp.path() + "/docs/intro.doc");
    }

    // One build of the project as it stands: its steps and notices recorded, its result
    // taken as the window takes it (the help file to open, the page it opens first).
    std::function<void(const ConversionProgress &)> onProgress;
    QString defaultTopic;
    BuildReport compile() {
        Build build(project, env);
        QObject::connect(&build, &Build::stepChanged, [this](const QString &s) { steps << s; });
        QObject::connect(&build, &Build::progressChanged, [this](const ConversionProgress &p) {
            if (onProgress)
                onProgress(p);
        });
        QObject::connect(&build, &Build::noticeGiven, [this, &build](const QString &text) {
            prompts.notice(text, UserPrompts::Icon::None);
            build.reply(UserPrompts::Answer::Yes);
        });
        const BuildReport report = build.run();
        defaultTopic = report.defaultTopic;
        if (!report.compiledFile.isEmpty())
            opened << report.compiledFile;
        return report;
    }
};

}  // namespace

TEST_F(BuildTest, SuccessfulBuild) {
    const BuildReport report = compile();
    // The office starts when the first document needs it.
    EXPECT_EQ(steps, (QStringList{"开始编译...", "正在转换为HTML文件...", "正在启动办公软件...",
                                  "正在转换为HTML文件...", "正在编译...", "删除临时文件..."}));
    EXPECT_EQ(report.compiledFile, proj + "Manual.CHM");
    EXPECT_EQ(buildSummaryText(report), "编译完成：" + proj + "Manual.CHM（共 1 个文档）");
    EXPECT_EQ(closedViewers, QStringList{"Manual"});
    EXPECT_EQ(opened, QStringList{proj + "Manual.CHM"});
    EXPECT_EQ(readFile(proj + "Manual.CHM"), QByteArray("ITSF"));
    EXPECT_EQ(readFile(bin + "hhc.args").trimmed(), (proj + "temp/Manual.hhp").toUtf8());
    EXPECT_FALSE(QFileInfo::exists(proj + "temp"));
    EXPECT_EQ(defaultTopic, proj + "temp/html/Guide/intro.htm");
    EXPECT_EQ(log.sessions, 1);
    EXPECT_EQ(log.quits, 1);
    EXPECT_FALSE(project.isModified());
}

TEST_F(BuildTest, BadDocumentsGetAPageThatSaysWhyAndTheBuildGoesOn) {
    // Every link counts, catalogs' own included; each bad document is skipped with its reason.
    const QString docs = tmp.path() + "/docs/";
    TreeNode *more = project.tree().addNode(nullptr, "More", false, docs + "more.htm");
    writeFile(docs + "more.htm", "<p>more</p>");
    writeFile(docs + "damaged.doc", "doc");
    writeFile(docs + "locked.ppt", "ppt");
    writeFile(docs + "sheet.xls", "xls");
    writeFile(docs + "notes.pdf", "pdf");
    QDir().mkpath(docs + "folder.doc");
    log.faults[docs + "damaged.doc"] = {kDocumentDamaged, "SfxBaseModel::handleLoadError"};
    log.faults[docs + "locked.ppt"] = {kDocumentProtected, {}};
    log.failWorkbookAttempts = 100;
    const struct {
        const char *name;
        QString reason;
    } bad[] = {{"gone.doc", kDocumentMissing},   {"notes.pdf", kKindNotConverted},
               {"folder.doc", kNotADocument},    {"damaged.doc", kDocumentDamaged},
               {"locked.ppt", kDocumentProtected}, {"sheet.xls", kEveryAttemptFailed}};
    QList<FailedDocument> expected;
    QStringList expectedProgress{"正在转换为HTML文件... 1/8 intro.doc", "正在转换为HTML文件... 2/8 more.htm"};
    for (const auto &b : bad) {
        project.tree().addNode(more, b.name, false, docs + b.name);
        expected.append({docs + b.name, {b.reason, b.reason == kDocumentDamaged ? "SfxBaseModel::handleLoadError" : ""}});
        expectedProgress << QStringLiteral("正在转换为HTML文件... %1/8 %2").arg(expectedProgress.size() + 1).arg(b.name);
    }
    QStringList progress;
    onProgress = [&](const ConversionProgress &p) { progress << conversionProgressText(p); };
    env.keepBuildFolder = true;
    const BuildReport report = compile();
    EXPECT_EQ(progress, expectedProgress);
    EXPECT_EQ(report.documents, 8);
    EXPECT_EQ(report.failedDocuments, expected);
    EXPECT_EQ(opened, QStringList{proj + "Manual.CHM"});
    EXPECT_TRUE(buildSummaryText(report).endsWith("（共 8 个文档，6 个未能转换）"));
    EXPECT_EQ(failedDocumentText(expected[3]), docs + "damaged.doc（文档已损坏）");
    EXPECT_EQ(prompts.notices, QStringList{missingDocumentMessage(docs + "gone.doc")});
    EXPECT_EQ(log.calls.filter("locked.ppt").size(), 1);  // a protected document is not tried again
    EXPECT_TRUE(decodeGbk(readFile(proj + "temp/html/More/damaged.htm")).contains("无法转换文件：" + docs + "damaged.doc（文档已损坏）"));
    EXPECT_TRUE(decodeGbk(readFile(proj + "temp/html/More/folder.htm")).contains("（不是文档文件）"));
}

TEST_F(BuildTest, ATempFolderOfTheUsersIsNeverTouchedAndOneOfOursIsReplaced) {
    // The user's own "temp" (or a file or a link of that name): refused, nothing touched.
    for (const QString kind : {"folder", "empty folder", "file", "link"}) {
        SCOPED_TRACE(kind.toStdString());
        deleteDirectory(proj + "temp");
        if (kind == "folder")
            writeFile(proj + "temp/notes.txt", "mine");
        else if (kind == "empty folder")
            QDir().mkpath(proj + "temp");
        else if (kind == "file")
            writeFile(proj + "temp", "mine");
        else
            QFile::link(tmp.path() + "/docs", proj + "temp");
        try {
            compile();
            FAIL() << "a build went ahead beside the user's temp";
        } catch (const BuildError &e) {
            EXPECT_TRUE(e.message().contains("不是本程序建立的“temp”：" + proj + "temp")) << e.what();
            EXPECT_EQ(buildErrorText(e), "编译时出错：" + e.message());
        }
        EXPECT_EQ(log.sessions, 0);
        EXPECT_TRUE(opened.isEmpty());
        if (kind == "folder") {
            EXPECT_EQ(readFile(proj + "temp/notes.txt"), QByteArray("mine"));
        } else if (kind == "link") {
            EXPECT_TRUE(QFileInfo::exists(tmp.path() + "/docs/intro.doc"));
        }
        QFile::remove(proj + "temp");
    }
    // A build folder of ours, kept or left by a killed build, goes with what it holds.
    deleteDirectory(proj + "temp");
    env.keepBuildFolder = true;
    compile();
    writeFile(proj + "temp/html/stale.htm", "old");
    compile();
    EXPECT_FALSE(QFileInfo::exists(proj + "temp/html/stale.htm"));
    EXPECT_TRUE(QFileInfo::exists(proj + "temp/html/Guide/intro.htm"));
    env.keepBuildFolder = false;
    compile();
    EXPECT_FALSE(QFileInfo::exists(proj + "temp"));
    EXPECT_EQ(QDir(proj).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Manual.CHM"});
}

TEST_F(BuildTest, DocumentsOfOneNameInOneCatalogKeepTheirOwnPages) {
    const QString docs = tmp.path() + "/docs/";
    project.tree().clear();
    TreeNode *same = project.tree().addNode(nullptr, "同名", false, "");
    int n = 0;
    for (const char *path : {"d1/同名.docx", "d2/同名.docx", "d3/同名.txt", "报告.docx", "报告.xls", "d1/Report.doc",
                             "report.ppt", "同名_2.doc", "alone.doc"}) {
        writeFile(docs + path, QByteArray("content of ") + path + QByteArray(++n, '.'));
        project.tree().addNode(same, QFileInfo(path).fileName(), false, docs + path);
    }
    project.tree().addNode(same, "同名.docx", false, docs + "d1/同名.docx");  // the same document again
    env.keepBuildFolder = true;
    compile();
    const struct {
        const char *page;
        const char *document;
    } pages[] = {{"同名.htm", "d1/同名.docx"},   {"同名_3.htm", "d2/同名.docx"}, {"同名_4.htm", "d3/同名.txt"},
                 {"报告.htm", "报告.docx"},       {"报告_2.htm", "报告.xls"},     {"Report.htm", "d1/Report.doc"},
                 {"report_2.htm", "report.ppt"}, {"同名_2.htm", "同名_2.doc"},   {"alone.htm", "alone.doc"}};
    const QByteArray contents = readFile(proj + "temp/Manual.hhc");
    for (const auto &p : pages) {
        SCOPED_TRACE(p.page);
        const QString page = proj + "temp/html/同名/" + QString::fromUtf8(p.page);
        const QByteArray made = "page of " + QFileInfo(QString::fromUtf8(p.document)).fileName().toUtf8() + " (" +
                                QByteArray::number(QFileInfo(docs + p.document).size());
        EXPECT_TRUE(readFile(page).contains(made)) << readFile(page).constData();
        EXPECT_TRUE(decodeGbk(contents).contains("value=\"" + page + "\""));
    }
    EXPECT_EQ(QDir(proj + "temp/html/同名").entryList({"*.htm"}).size(), 9);
}

TEST_F(BuildTest, ATreeOfTheDeepestLevelsCompilesWithTheRealCompiler) {
    const QByteArray binDir = qgetenv("ZELBRIN_BIN_DIR");
    ASSERT_FALSE(binDir.isEmpty());
    env.programFolder = QString::fromLocal8Bit(binDir) + "/";
    project.tree().clear();
    // Long Chinese captions: a page 256 levels down lies thousands of bytes below the HTML
    // folder, far beyond what a help file's names may hold.
    TreeNode *parent = nullptr;
    for (int level = 1; level < kMaxTreeDepth; ++level) {
        parent = project.tree().addNode(parent, QStringLiteral("第%1层的目录标题").arg(level), false, "");
        if (level % 64 == 0 || level == kMaxTreeDepth - 1) {
            const QString document = tmp.path() + QStringLiteral("/docs/第%1层的文档.doc").arg(level);
            writeFile(document, "doc");
            project.tree().addNode(parent, QFileInfo(document).fileName(), false, document);
        }
    }
    env.keepBuildFolder = true;
    ASSERT_NO_THROW(compile());
    EXPECT_EQ(opened, QStringList{proj + "Manual.CHM"});
    // Contents and index name the pages where they are.
    const QString contents = decodeGbk(readFile(proj + "temp/Manual.hhc"));
    const QString index = decodeGbk(readFile(proj + "temp/Manual.hhk"));
    int pages = 0;
    for (const QString &line : contents.split("\r\n")) {
        if (!line.startsWith("<param name=\"Local\" value=\""))
            continue;
        const QString page = line.section('"', 3, 3);
        EXPECT_TRUE(QFileInfo(page).isFile()) << page.toStdString();
        EXPECT_TRUE(index.contains("value=\"" + page + "\"")) << page.toStdString();
        EXPECT_LE(page.mid(proj.size() + 4).toUtf8().size(), 512) << page.toStdString();
        ++pages;
    }
    EXPECT_EQ(pages, 4);
}

TEST_F(BuildTest, APageWithoutAllItsPicturesIsNeverKept) {
    env.pageCache.folder = tmp.path() + "/cache";
    env.pageCache.officeIdentity = "fake office 1";
    log.pictureMissingFor = tmp.path() + "/docs/intro.doc";
    compile();
    compile();
    EXPECT_EQ(log.calls.size(), 2);  // converted again: nothing was kept
    log.pictureMissingFor.clear();
    compile();
    compile();
    EXPECT_EQ(log.calls.size(), 3);  // whole now, kept, and taken from the cache
}

TEST_F(BuildTest, KeepBuildFolderLeavesTheHelpProject) {
    env.keepBuildFolder = true;
    compile();
    const QByteArray hhp = readFile(proj + "temp/Manual.hhp");
    EXPECT_TRUE(hhp.startsWith("[OPTIONS]\r\n"));
    EXPECT_TRUE(hhp.contains(QByteArray("Compiled file=" + (proj + "Manual.CHM").toUtf8() + "\r\n")));
    EXPECT_TRUE(QFileInfo::exists(proj + "temp/html/Guide/intro.htm"));
    EXPECT_TRUE(QFileInfo::exists(proj + "temp/Manual.hhc"));
    EXPECT_TRUE(QFileInfo::exists(proj + "temp/Manual.hhk"));
    EXPECT_FALSE(steps.contains("删除临时文件..."));  // nothing is deleted, so it is not said
}

TEST_F(BuildTest, EmptyTreeStillBuildsWithoutStartingAnOffice) {
    project.tree().clear();
    compile();
    EXPECT_EQ(log.sessions, 0);
    EXPECT_FALSE(steps.contains(kOfficeStartStep));
    EXPECT_EQ(opened.size(), 1);
    EXPECT_TRUE(defaultTopic.isEmpty());
}

// A started build runs on a thread of its own; what it tells reaches the thread that
// started it in order, and a notice holds the build until that thread has answered it.
TEST_F(BuildTest, AStartedBuildRunsOnItsOwnThreadAndWaitsForEachAnswer) {
    project.tree().addNode(nullptr, "gone.doc", false, tmp.path() + "/docs/gone.doc");
    Build build(project, env);
    QThread *buildThread = nullptr;
    QObject::connect(&build, &Build::stepChanged, &build,
                     [&] { buildThread = QThread::currentThread(); }, Qt::DirectConnection);
    QStringList told;  // steps and notices as this thread received them
    bool compiledBeforeAnswer = false;
    QObject::connect(&build, &Build::stepChanged, [&](const QString &step) { told << step; });
    QObject::connect(&build, &Build::noticeGiven, [&](const QString &text) {
        told << text;
        compiledBeforeAnswer = QFileInfo::exists(proj + "Manual.CHM");
        build.reply(UserPrompts::Answer::Yes);
    });
    QSignalSpy finished(&build, &Build::finished);
    build.start();
    EXPECT_TRUE(build.isRunning());
    ASSERT_TRUE(finished.wait(120000));
    EXPECT_FALSE(build.isRunning());
    EXPECT_NE(buildThread, nullptr);
    EXPECT_NE(buildThread, QThread::currentThread());
    EXPECT_FALSE(compiledBeforeAnswer);
    EXPECT_EQ(told, (QStringList{"开始编译...", "正在转换为HTML文件...", "正在启动办公软件...",
                                 "正在转换为HTML文件...", missingDocumentMessage(tmp.path() + "/docs/gone.doc"),
                                 "正在编译...", "删除临时文件..."}));
    EXPECT_TRUE(build.errorText().isEmpty());
    EXPECT_FALSE(build.wasCancelled());
    EXPECT_EQ(build.report().compiledFile, proj + "Manual.CHM");
}

TEST_F(BuildTest, MissingCompilerWritesNothingAndOpensNothing) {
    QFile::remove(bin + "hhc");
    env.keepBuildFolder = false;
    compile();
    EXPECT_EQ(prompts.notices, QStringList{kCompilerMissingMessage});
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(proj + "temp"));
    EXPECT_EQ(log.quits, 1);
}

TEST_F(BuildTest, CompilerFailureIsAnErrorAndTheStaleFileIsNotOpened) {
    writeFile(proj + "Manual.CHM", "stale");
    writeFile(bin + "hhc", kFailingHhc, true);
    try {
        compile();
        FAIL() << "expected a build error";
    } catch (const BuildError &e) {
        EXPECT_TRUE(e.message().startsWith(kCompileFailedPrefix));
        EXPECT_TRUE(e.message().contains("Error: page missing"));
    }
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(readFile(proj + "Manual.CHM"), QByteArray("stale"));
    EXPECT_FALSE(QFileInfo::exists(proj + "temp"));
    EXPECT_EQ(log.quits, 1);

    // Exit 0 without writing the file is a failure too.
    writeFile(bin + "hhc", kSilentHhc, true);
    EXPECT_THROW(compile(), BuildError);
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(BuildTest, ConversionErrorEndsTheOfficeAndRemovesTheBuildFolder) {
    log.failWordFor = tmp.path() + "/docs/intro.doc";
    EXPECT_THROW(compile(), BuildError);
    EXPECT_EQ(log.quits, 1);
    EXPECT_FALSE(QFileInfo::exists(proj + "temp"));
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(BuildTest, OfficeThatCannotStartLeavesTheHtmlFolder) {
    env.officeFactory = [](const std::stop_token &) -> std::unique_ptr<OfficeSession> {
        throw BuildError("办公软件无法启动");
    };
    EXPECT_THROW(compile(), BuildError);
    EXPECT_TRUE(QFileInfo(proj + "temp/html").isDir());
}

TEST_F(BuildTest, ACompilerIsStoppedOnlyWhenItStopsPrinting) {
    env.compilerSilenceMs = 2000;
    writeFile(bin + "hhc", kSlowHhc, true);
    EXPECT_NO_THROW(compile());  // three seconds of work, never two silent
    EXPECT_EQ(opened, QStringList{proj + "Manual.CHM"});

    opened.clear();
    writeFile(bin + "hhc", kStalledHhc, true);
    try {
        compile();
        FAIL() << "expected a build error";
    } catch (const BuildError &e) {
        EXPECT_EQ(e.message(), kCompileFailedPrefix + kCompilerStalledMessage.arg(QStringLiteral(" 2 秒")));
    }
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(log.quits, 2);
}

TEST_F(BuildTest, TopLevelLeafCarriesItsFolderButNotTemp) {
    project.tree().clear();
    writeFile(tmp.path() + "/docs/pics/a.png", "png");
    writeFile(tmp.path() + "/docs/temp/t.txt", "t");
    writeFile(tmp.path() + "/docs/Temp/T.txt", "T");
    project.tree().addNode(nullptr, "intro.doc", false, tmp.path() + "/docs/intro.doc");
    project.tree().addNode(nullptr, "empty", false, "");
    env.keepBuildFolder = true;
    compile();
    EXPECT_TRUE(QFileInfo::exists(proj + "temp/html/pics/a.png"));
    EXPECT_TRUE(QFileInfo::exists(proj + "temp/html/Temp/T.txt"));
    EXPECT_FALSE(QFileInfo::exists(proj + "temp/html/temp"));
    EXPECT_TRUE(QFileInfo::exists(proj + "temp/html/intro.htm"));
}

TEST_F(BuildTest, QuotesInCaptionsAndNamesCompileWithTheRealCompiler) {
    const QByteArray binDir = qgetenv("ZELBRIN_BIN_DIR");
    ASSERT_FALSE(binDir.isEmpty());
    env.programFolder = QString::fromLocal8Bit(binDir) + "/";
    ASSERT_TRUE(QFileInfo(env.programFolder + "hhc").isExecutable());
    writeFile(tmp.path() + "/docs/say \"hi\".doc", "doc");
    TreeNode *about = project.tree().addNode(nullptr, "关于\"帮助\" <v2>", false, "");
    project.tree().addNode(about, "say \"hi\".doc", false, tmp.path() + "/docs/say \"hi\".doc");
    project.tree().addNode(about, "intro.doc", false, tmp.path() + "/docs/intro.doc");
    env.keepBuildFolder = true;
    EXPECT_NO_THROW(compile());
    EXPECT_EQ(opened, QStringList{proj + "Manual.CHM"});
    EXPECT_TRUE(readFile(proj + "Manual.CHM").startsWith("ITSF"));
    // The contents file itself keeps the captions as they are.
    const QByteArray contents = readFile(proj + "temp/Manual.hhc");
    EXPECT_TRUE(contents.contains("value=\"say \"hi\"\">")) << contents.constData();
}

namespace {

// What a build leaves behind (with its build folder kept) and what it told, to compare builds.
struct BuildRecord {
    QMap<QString, QByteArray> files;
    QStringList notices, progress;
    QList<FailedDocument> failed;
    QStringList steps;
    QString defaultTopic;
    bool operator==(const BuildRecord &) const = default;
};

// Documents of every route in a tree where order matters: catalogs in catalogs, a catalog
// with its own page, two documents of one bare name (each keeps its page), a repeated link,
// missing documents, an HTML copy and folders carried along.
struct OrderedProjectTest : BuildTest {
    QString docs;
    QStringList progress;

    void SetUp() override {
        BuildTest::SetUp();
        docs = tmp.path() + "/docs/";
        project.tree().clear();
        for (const char *name : {"intro.doc", "a.docx", "b.txt", "report.doc", "report.xls", "c.ppt", "d.xlsx",
                                 "e.doc", "f.pptx", "g.doc"})
            writeFile(docs + name, QByteArray("content of ") + name);
        writeFile(docs + "page.htm", "<html><!-- note --><body>page</body></html>");
        writeFile(docs + "pictures/p.png", "png");
        TreeNode *guide = project.tree().addNode(nullptr, "指南", false, docs + "intro.doc");
        project.tree().addNode(guide, "a.docx", false, docs + "a.docx");
        TreeNode *inner = project.tree().addNode(guide, "细节", false, "");
        project.tree().addNode(inner, "b.txt", false, docs + "b.txt");
        project.tree().addNode(inner, "gone.doc", false, docs + "gone.doc");
        project.tree().addNode(inner, "report.doc", false, docs + "report.doc");
        project.tree().addNode(inner, "report.xls", false, docs + "report.xls");
        project.tree().addNode(guide, "c.ppt", false, docs + "c.ppt");
        project.tree().addNode(nullptr, "page.htm", false, docs + "page.htm");
        TreeNode *more = project.tree().addNode(nullptr, "更多", false, "");
        for (const char *name : {"d.xlsx", "gone.xls", "e.doc", "f.pptx", "a.docx", "g.doc"})
            project.tree().addNode(more, name, false, docs + name);
        env.keepBuildFolder = true;
        onProgress = [this](const ConversionProgress &p) { progress << conversionProgressText(p); };
    }
    BuildRecord build(int offices) {
        env.officeWorkers = offices;
        progress.clear();
        prompts.notices.clear();
        steps.clear();
        const BuildReport report = compile();
        BuildRecord record{folderContents(proj + "temp"), prompts.notices, progress, report.failedDocuments,
                           steps, defaultTopic};
        deleteDirectory(proj + "temp");
        return record;
    }
};

}  // namespace

TEST_F(OrderedProjectTest, ParallelOfficesWriteWhatOneOfficeWrites) {
    const BuildRecord one = build(1);
    EXPECT_EQ(one.notices, (QStringList{missingDocumentMessage(docs + "gone.doc"),
                                        missingDocumentMessage(docs + "gone.xls")}));
    EXPECT_TRUE(one.files["html/指南/细节/report.htm"].contains("report.doc"));
    EXPECT_TRUE(one.files["html/指南/细节/report_2.htm"].contains("report.xls"));
    EXPECT_TRUE(one.files.contains("html/指南/细节/report_2_htm_1.png"));
    EXPECT_TRUE(one.files.contains("html/更多/pictures/p.png"));
    EXPECT_EQ(one.defaultTopic, proj + "temp/html/intro.htm");

    // The first document's page is made last: the other offices finish everything else
    // before it, and the build still places, tells and counts in tree order.
    std::mutex mutex;
    std::condition_variable lastWritten;
    bool lastDone = false;
    QStringList written;
    log.beforeResult = [&](const QString &source) {
        std::unique_lock lock(mutex);
        if (source == docs + "intro.doc")
            lastWritten.wait_for(lock, std::chrono::minutes(2), [&] { return lastDone; });
        if (source == docs + "g.doc")
            lastDone = true;
        written << QFileInfo(source).fileName();
        lastWritten.notify_all();
    };
    const BuildRecord four = build(4);
    EXPECT_GT(written.indexOf("intro.doc"), written.indexOf("g.doc"));
    EXPECT_EQ(four.files.keys(), one.files.keys());
    EXPECT_EQ(four, one);
}

TEST_F(OrderedProjectTest, CacheServesUnchangedDocumentsAndRebuildsChangedAndDamagedOnes) {
    env.pageCache.folder = tmp.path() + "/cache";
    env.pageCache.officeIdentity = "fake office 1";
    // Documents that fail through their own fault are remembered as pages are.
    TreeNode *more = project.tree().topLevel(2);
    for (const char *name : {"h.doc", "p.pptx"}) {
        writeFile(docs + name, QByteArray("content of ") + name);
        project.tree().addNode(more, name, false, docs + name);
    }
    log.faults[docs + "h.doc"] = {kDocumentDamaged, "无法打开文档：General Error.（用筛选器“MS Word 97”打开）"};
    log.faults[docs + "p.pptx"] = {kDocumentProtected, "无法打开文档：Wrong password.（用筛选器“Impress MS PowerPoint 2007 XML”打开）"};
    const BuildRecord first = build(2);
    // The repeated document's second turn may find its page kept already.
    EXPECT_GE(log.calls.size(), 12);
    EXPECT_EQ(first.failed.mid(2), (QList<FailedDocument>{{docs + "h.doc", log.faults[docs + "h.doc"]},
                                                          {docs + "p.pptx", log.faults[docs + "p.pptx"]}}));

    // Nothing changed: no office starts, the same documents fail with the same words, and
    // the build writes the same bytes.
    log.calls.clear();
    log.sessions = 0;
    const BuildRecord again = build(2);
    EXPECT_TRUE(log.calls.isEmpty()) << log.calls.join("\n").toStdString();
    EXPECT_EQ(log.sessions, 0);
    EXPECT_FALSE(again.steps.contains(kOfficeStartStep));
    EXPECT_EQ(again.failed, first.failed);
    EXPECT_EQ(again.files, first.files);

    // A changed document is converted again, a mended one that failed included; so is one
    // whose kept page was damaged.
    writeFile(docs + "e.doc", "changed content of e.doc");
    writeFile(docs + "h.doc", "mended content of h.doc");
    log.faults.remove(docs + "h.doc");
    QDirIterator entries(tmp.path() + "/cache/pages", {"b.htm"}, QDir::Files, QDirIterator::Subdirectories);
    ASSERT_TRUE(entries.hasNext());
    writeFile(entries.next(), "garbage");
    log.calls.clear();
    const BuildRecord changed = build(2);
    EXPECT_EQ(log.calls.size(), 3);
    EXPECT_EQ(log.calls.filter("/e.doc ->").size(), 1);
    EXPECT_EQ(log.calls.filter("/b.txt ->").size(), 1);
    EXPECT_EQ(log.calls.filter("/h.doc ->").size(), 1);
    EXPECT_TRUE(changed.files["html/更多/e.htm"].contains("(24 bytes)"));
    EXPECT_TRUE(changed.files["html/更多/h.htm"].contains("page of h.doc"));
    EXPECT_EQ(changed.files["html/指南/细节/b.htm"], first.files["html/指南/细节/b.htm"]);
    EXPECT_EQ(changed.failed, (QList<FailedDocument>{first.failed[0], first.failed[1], first.failed[3]}));

    // A failure that the office may have caused is tried again in every build.
    writeFile(docs + "k.xls", "content of k.xls");
    project.tree().addNode(more, "k.xls", false, docs + "k.xls");
    log.faults[docs + "k.xls"] = {{}, "LibreOffice 在转换时崩溃"};
    for (int round = 1; round <= 2; ++round) {
        log.calls.clear();
        EXPECT_EQ(build(2).failed.last(), (FailedDocument{docs + "k.xls", {kEveryAttemptFailed, {}}}));
        EXPECT_EQ(log.calls.filter("/k.xls ->").size(), 5);
        EXPECT_EQ(log.calls.size(), 5);
    }

    // Without the cache every document is converted, the repeated one twice, and nothing
    // is kept.
    env.pageCache = {};
    log.calls.clear();
    const QStringList kept = QDir(tmp.path() + "/cache/pages").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    log.faults.remove(docs + "k.xls");
    const BuildRecord uncached = build(2);
    EXPECT_EQ(log.calls.size(), 14);
    EXPECT_EQ(uncached.failed.last(), (FailedDocument{docs + "p.pptx", log.faults[docs + "p.pptx"]}));
    EXPECT_EQ(QDir(tmp.path() + "/cache/pages").entryList(QDir::Dirs | QDir::NoDotAndDotDot), kept);
}
