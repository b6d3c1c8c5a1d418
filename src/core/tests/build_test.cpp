#include "build.h"
#include "builderror.h"
#include "conversion.h"
#include "fakeoffice.h"
#include "fileops.h"
#include "foldercontents.h"
#include "headlesswindow.h"
#include "scriptedprompts.h"
#include "structuretree.h"
#include "zlpproject.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
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
    HeadlessProjectWindow window{prompts};
    TZLPProject project{window};
    FakeOfficeLog log;
    QStringList steps, opened, closedViewers;
    BuildEnvironment env;
    QString proj, bin;

    void SetUp() override {
        proj = tmp.path() + "/proj/";
        bin = tmp.path() + "/bin/";
        QDir().mkpath(proj);
        QDir().mkpath(bin);
        project.FileName = proj + "Manual.zlp";
        project.Closed = false;
        env.showStep = [this](const QString &s) { steps << s; };
        env.officeFactory = FakeOffice::factory(log);
        env.closeViewer = [this](const QString &t) { closedViewers << t; };
        env.openResult = [this](const QString &c) { opened << c; };
        env.programFolder = bin;
        writeFile(bin + "hhc", kFakeHhc, true);
        writeFile(tmp.path() + "/docs/intro.doc", "doc");
        TreeNode *guide = window.AddNode(nullptr, "Guide", false, false, "");
        window.AddNode(guide, "intro.doc", false, false, tmp.path() + "/docs/intro.doc");
    }
};

}  // namespace

TEST_F(BuildTest, SuccessfulBuild) {
    writeFile(proj + "temp/stale.txt", "old");
    const BuildReport report = project.Compile(env);
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
    EXPECT_EQ(project.DefaultTopic, proj + "temp/html/Guide/intro.htm");
    EXPECT_EQ(log.sessions, 1);
    EXPECT_EQ(log.quits, 1);
    EXPECT_FALSE(project.Modified);
}

TEST_F(BuildTest, ProgressCountsEveryLinkedDocumentAndTheReportNamesTheFailedOnes) {
    // Catalogs with their own documents count; catalogs without, and unknown kinds, do not.
    TreeNode *more = window.AddNode(nullptr, "More", false, false, tmp.path() + "/docs/more.htm");
    writeFile(tmp.path() + "/docs/more.htm", "<p>more</p>");
    window.AddNode(more, "gone.doc", false, false, tmp.path() + "/docs/gone.doc");
    window.AddNode(more, "notes.pdf", false, false, tmp.path() + "/docs/notes.pdf");
    writeFile(tmp.path() + "/docs/sheet.xls", "xls");
    window.AddNode(more, "sheet.xls", false, false, tmp.path() + "/docs/sheet.xls");
    log.failWorkbookAttempts = 100;
    QStringList progress;
    env.showProgress = [&](const ConversionProgress &p) { progress << conversionProgressText(p); };
    const BuildReport report = project.Compile(env);
    EXPECT_EQ(progress, (QStringList{"正在转换为HTML文件... 1/4 intro.doc", "正在转换为HTML文件... 2/4 more.htm",
                                     "正在转换为HTML文件... 3/4 gone.doc", "正在转换为HTML文件... 4/4 sheet.xls"}));
    EXPECT_EQ(report.documents, 4);
    EXPECT_EQ(report.failedDocuments,
              (QStringList{tmp.path() + "/docs/gone.doc", tmp.path() + "/docs/sheet.xls"}));
    EXPECT_TRUE(buildSummaryText(report).endsWith("（共 4 个文档，2 个未能转换）"));
}

TEST_F(BuildTest, KeepBuildFolderLeavesTheHelpProject) {
    env.keepBuildFolder = true;
    project.Compile(env);
    const QByteArray hhp = readFile(proj + "temp/Manual.hhp");
    EXPECT_TRUE(hhp.startsWith("[OPTIONS]\r\n"));
    EXPECT_TRUE(hhp.contains(QByteArray("Compiled file=" + (proj + "Manual.CHM").toUtf8() + "\r\n")));
    EXPECT_TRUE(QFileInfo::exists(proj + "temp/html/Guide/intro.htm"));
    EXPECT_TRUE(QFileInfo::exists(proj + "temp/Manual.hhc"));
    EXPECT_TRUE(QFileInfo::exists(proj + "temp/Manual.hhk"));
    EXPECT_FALSE(steps.contains("删除临时文件..."));  // nothing is deleted, so it is not said
}

TEST_F(BuildTest, EmptyTreeStillBuildsWithoutStartingAnOffice) {
    window.structureTree().clear();
    project.Compile(env);
    EXPECT_EQ(log.sessions, 0);
    EXPECT_FALSE(steps.contains(kOfficeStartStep));
    EXPECT_EQ(opened.size(), 1);
    EXPECT_TRUE(project.DefaultTopic.isEmpty());
}

TEST_F(BuildTest, MissingCompilerWritesNothingAndOpensNothing) {
    QFile::remove(bin + "hhc");
    env.keepBuildFolder = false;
    project.Compile(env);
    EXPECT_EQ(prompts.notices, QStringList{kCompilerMissingMessage});
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(proj + "temp"));
    EXPECT_EQ(log.quits, 1);
}

TEST_F(BuildTest, CompilerFailureIsAnErrorAndTheStaleFileIsNotOpened) {
    writeFile(proj + "Manual.CHM", "stale");
    writeFile(bin + "hhc", kFailingHhc, true);
    try {
        project.Compile(env);
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
    EXPECT_THROW(project.Compile(env), BuildError);
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(BuildTest, ConversionErrorEndsTheOfficeAndRemovesTheBuildFolder) {
    log.failWordFor = tmp.path() + "/docs/intro.doc";
    EXPECT_THROW(project.Compile(env), BuildError);
    EXPECT_EQ(log.quits, 1);
    EXPECT_FALSE(QFileInfo::exists(proj + "temp"));
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(BuildTest, OfficeThatCannotStartLeavesTheHtmlFolder) {
    env.officeFactory = []() -> std::unique_ptr<OfficeSession> {
        throw BuildError("办公软件无法启动");
    };
    EXPECT_THROW(project.Compile(env), BuildError);
    EXPECT_TRUE(QFileInfo(proj + "temp/html").isDir());
}

TEST_F(BuildTest, ACompilerIsStoppedOnlyWhenItStopsPrinting) {
    env.compilerSilenceMs = 2000;
    writeFile(bin + "hhc", kSlowHhc, true);
    EXPECT_NO_THROW(project.Compile(env));  // three seconds of work, never two silent
    EXPECT_EQ(opened, QStringList{proj + "Manual.CHM"});

    opened.clear();
    writeFile(bin + "hhc", kStalledHhc, true);
    try {
        project.Compile(env);
        FAIL() << "expected a build error";
    } catch (const BuildError &e) {
        EXPECT_EQ(e.message(), kCompileFailedPrefix + kCompilerStalledMessage.arg(QStringLiteral(" 2 秒")));
    }
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(log.quits, 2);
}

TEST_F(BuildTest, TopLevelLeafCarriesItsFolderButNotTemp) {
    window.structureTree().clear();
    writeFile(tmp.path() + "/docs/pics/a.png", "png");
    writeFile(tmp.path() + "/docs/temp/t.txt", "t");
    writeFile(tmp.path() + "/docs/Temp/T.txt", "T");
    window.AddNode(nullptr, "intro.doc", false, false, tmp.path() + "/docs/intro.doc");
    window.AddNode(nullptr, "empty", false, false, "");
    env.keepBuildFolder = true;
    project.Compile(env);
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
    TreeNode *about = window.AddNode(nullptr, "关于\"帮助\" <v2>", false, false, "");
    window.AddNode(about, "say \"hi\".doc", false, false, tmp.path() + "/docs/say \"hi\".doc");
    window.AddNode(about, "intro.doc", false, false, tmp.path() + "/docs/intro.doc");
    env.keepBuildFolder = true;
    EXPECT_NO_THROW(project.Compile(env));
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
    QStringList notices, progress, failed, steps;
    QString defaultTopic;
    bool operator==(const BuildRecord &) const = default;
};

// Documents of every route in a tree where order matters: catalogs in catalogs, a catalog
// with its own page, two documents sharing one page name (the later wins), a repeated link,
// missing documents, an HTML copy and folders carried along.
struct OrderedProjectTest : BuildTest {
    QString docs;
    QStringList progress;

    void SetUp() override {
        BuildTest::SetUp();
        docs = tmp.path() + "/docs/";
        window.structureTree().clear();
        for (const char *name : {"intro.doc", "a.docx", "b.txt", "report.doc", "report.xls", "c.ppt", "d.xlsx",
                                 "e.doc", "f.pptx", "g.doc"})
            writeFile(docs + name, QByteArray("content of ") + name);
        writeFile(docs + "page.htm", "<html><!-- note --><body>page</body></html>");
        writeFile(docs + "pictures/p.png", "png");
        TreeNode *guide = window.AddNode(nullptr, "指南", false, false, docs + "intro.doc");
        window.AddNode(guide, "a.docx", false, false, docs + "a.docx");
        TreeNode *inner = window.AddNode(guide, "细节", false, false, "");
        window.AddNode(inner, "b.txt", false, false, docs + "b.txt");
        window.AddNode(inner, "gone.doc", false, false, docs + "gone.doc");
        window.AddNode(inner, "report.doc", false, false, docs + "report.doc");
        window.AddNode(inner, "report.xls", false, false, docs + "report.xls");
        window.AddNode(guide, "c.ppt", false, false, docs + "c.ppt");
        window.AddNode(nullptr, "page.htm", false, false, docs + "page.htm");
        TreeNode *more = window.AddNode(nullptr, "更多", false, false, "");
        for (const char *name : {"d.xlsx", "gone.xls", "e.doc", "f.pptx", "a.docx", "g.doc"})
            window.AddNode(more, name, false, false, docs + name);
        env.keepBuildFolder = true;
        env.showProgress = [this](const ConversionProgress &p) { progress << conversionProgressText(p); };
    }
    BuildRecord build(int offices) {
        env.officeWorkers = offices;
        progress.clear();
        prompts.notices.clear();
        steps.clear();
        const BuildReport report = project.Compile(env);
        BuildRecord record{folderContents(proj + "temp"), prompts.notices, progress, report.failedDocuments,
                           steps, project.DefaultTopic};
        DeleteDirectory(proj + "temp");
        return record;
    }
};

}  // namespace

TEST_F(OrderedProjectTest, ParallelOfficesWriteWhatOneOfficeWrites) {
    const BuildRecord one = build(1);
    EXPECT_EQ(one.notices, (QStringList{missingDocumentMessage(docs + "gone.doc"),
                                        missingDocumentMessage(docs + "gone.xls")}));
    EXPECT_TRUE(one.files["html/指南/细节/report.htm"].contains("report.xls"));
    EXPECT_TRUE(one.files.contains("html/指南/细节/report_htm_1.png"));
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
    const BuildRecord first = build(2);
    // The repeated document's second turn may find its page kept already.
    EXPECT_GE(log.calls.size(), 10);

    // Nothing changed: no office starts and the build writes the same bytes.
    log.calls.clear();
    log.sessions = 0;
    const BuildRecord again = build(2);
    EXPECT_TRUE(log.calls.isEmpty()) << log.calls.join("\n").toStdString();
    EXPECT_EQ(log.sessions, 0);
    EXPECT_FALSE(again.steps.contains(kOfficeStartStep));
    EXPECT_EQ(again.files, first.files);

    // A changed document is converted again; so is one whose kept page was damaged.
    writeFile(docs + "e.doc", "changed content of e.doc");
    QDirIterator entries(tmp.path() + "/cache/pages", {"b.htm"}, QDir::Files, QDirIterator::Subdirectories);
    ASSERT_TRUE(entries.hasNext());
    writeFile(entries.next(), "garbage");
    log.calls.clear();
    const BuildRecord changed = build(2);
    EXPECT_EQ(log.calls.size(), 2);
    EXPECT_EQ(log.calls.filter("/e.doc ->").size(), 1);
    EXPECT_EQ(log.calls.filter("/b.txt ->").size(), 1);
    EXPECT_TRUE(changed.files["html/更多/e.htm"].contains("(24 bytes)"));
    EXPECT_EQ(changed.files["html/指南/细节/b.htm"], first.files["html/指南/细节/b.htm"]);

    // Without the cache every document is converted, the repeated one twice.
    env.pageCache = {};
    log.calls.clear();
    EXPECT_EQ(build(2).files, changed.files);
    EXPECT_EQ(log.calls.size(), 11);
}
