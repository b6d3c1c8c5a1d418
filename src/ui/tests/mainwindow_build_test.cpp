#include "build.h"
#include "fakeoffice.h"
#include "mainwindow.h"
#include "scriptedprompts.h"
#include "shellopen.h"
#include "structureview.h"
#include "corpusfolder.h"
#include "libreofficesession.h"
#include "windowparts.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace zelbrin;
using namespace zelbrin::ui;
using namespace zelbrin::testing;
using zelbrin::ui::testing::part;
using Answer = UserPrompts::Answer;

namespace {

// Nanoseconds the calling thread has spent ready to run but waiting for a core. On a busy
// machine that wait lengthens every gap between timer ticks without our code being slow.
qint64 runQueueWaitNs() {
    QFile stat(QStringLiteral("/proc/thread-self/schedstat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() : 0;
}

// Runs the compile command and waits for the build it started, if it started one.
void compileAndWait(MainWindow &window) {
    QSignalSpy finished(&window, &MainWindow::buildFinished);
    window.compile();
    if (window.isBuilding()) {
        ASSERT_TRUE(finished.wait(300000));
    }
}

const QByteArray kFakeHhc =
    "#!/bin/sh\nout=$(sed -n 's/^Compiled file=//p' \"$1\" | tr -d '\\r')\nprintf 'ITSF' > \"$out\"\n";

struct CompileCommandTest : ::testing::Test {
    QTemporaryDir tmp;
    ScriptedPrompts prompts;
    FakeOfficeLog log;
    std::unique_ptr<MainWindow> w;
    QStringList opened;
    bool openWorks = true;  // whether the desktop has a program for the help file

    void SetUp() override {
        const QString bin = tmp.path() + "/bin/";
        QDir().mkpath(bin);
        QFile hhc(bin + "hhc");
        ASSERT_TRUE(hhc.open(QIODevice::WriteOnly));
        hhc.write(kFakeHhc);
        hhc.close();
        hhc.setPermissions(hhc.permissions() | QFileDevice::ExeOwner);
        QFile doc(tmp.path() + "/a.doc");
        ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
        doc.write("doc");
        doc.close();

        MainWindowOptions options{&prompts, false};
        options.officeFactory = FakeOffice::factory(log);
        options.programFolder = bin;
        w = std::make_unique<MainWindow>(options);
        w->show();
        platform::setShellOpenHandler([this](const QString &p) {
            opened << p;
            return openWorks;
        });
        w->newProject();
        TreeNode *cat = w->addNode(nullptr, "Cat", false, false, "");
        w->addNode(cat, "a.doc", false, false, tmp.path() + "/a.doc");
    }
    void TearDown() override {
        platform::setShellOpenHandler(nullptr);
        w->project().setModified(false);
        w.reset();
    }
    QString projectFile() const { return tmp.path() + "/Help.zlp"; }
    QString hint() const { return part<QLabel>(*w, "compileStepLabel")->text(); }
    QString result() const { return part<QLabel>(*w, "buildResultLabel")->text(); }
    QProgressBar *progressBar() const { return part<QProgressBar>(*w, "compileProgress"); }
};

}  // namespace

TEST_F(CompileCommandTest, UnsavedChangesAnswerNoCompilesNothing) {
    prompts.answers = {Answer::No};
    compileAndWait(*w);
    EXPECT_EQ(prompts.questions, QStringList{"编译之前必须先保存所做的修改！要保存并继续编译吗？"});
    EXPECT_EQ(log.sessions, 0);
    EXPECT_FALSE(part<QWidget>(*w, "compilePanel")->isVisible());
}

TEST_F(CompileCommandTest, UnnamedProjectAndCancelledSaveDialogCompilesNothing) {
    prompts.answers = {Answer::Yes};
    prompts.fileNames = {""};
    compileAndWait(*w);
    EXPECT_EQ(log.sessions, 0);
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(CompileCommandTest, YesSavesThenBuildsAndOpensTheResult) {
    prompts.answers = {Answer::Yes};
    prompts.fileNames = {projectFile()};
    compileAndWait(*w);
    EXPECT_TRUE(QFileInfo::exists(projectFile()));
    EXPECT_EQ(log.sessions, 1);
    EXPECT_EQ(opened, QStringList{tmp.path() + "/Help.CHM"});
    EXPECT_EQ(part<QLabel>(*w, "compileStepLabel")->text(), "删除临时文件...");
    EXPECT_FALSE(part<QWidget>(*w, "compilePanel")->isVisible());
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/temp"));
    EXPECT_TRUE(prompts.notices.isEmpty());
    EXPECT_EQ(result(), "编译完成：" + tmp.path() + "/Help.CHM（共 1 个文档）");
    EXPECT_FALSE(part<QToolButton>(*w, "failedDocumentsButton")->isVisible());

    // Without changes the next compile asks nothing.
    prompts.questions.clear();
    compileAndWait(*w);
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_EQ(log.sessions, 2);
}

TEST_F(CompileCommandTest, CommandsAreBlockedWhileBuildingAndRestoredAfter) {
    prompts.answers = {Answer::Yes};
    prompts.fileNames = {projectFile()};
    w->saveProject();
    prompts.answers.clear();
    QMap<QString, bool> before;
    for (QAction *a : w->findChildren<QAction *>())
        if (!a->objectName().isEmpty())
            before[a->objectName()] = a->isEnabled();
    bool checked = false;
    log.duringWord = [&] {
        checked = true;
        for (QAction *a : w->findChildren<QAction *>())
            EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
        EXPECT_FALSE(part<StructureView>(*w, "structureView")->isEnabled());
        EXPECT_TRUE(part<QWidget>(*w, "compilePanel")->isVisible());
        EXPECT_FALSE(w->close());  // the window cannot be closed meanwhile
        w->compile();              // and a second build does not start
    };
    compileAndWait(*w);
    EXPECT_TRUE(checked);
    EXPECT_EQ(log.sessions, 1);
    for (QAction *a : w->findChildren<QAction *>()) {
        if (!a->objectName().isEmpty()) {
            EXPECT_EQ(a->isEnabled(), before[a->objectName()]) << a->objectName().toStdString();
        }
    }
    EXPECT_TRUE(part<StructureView>(*w, "structureView")->isEnabled());
    EXPECT_TRUE(w->isVisible());
}

TEST_F(CompileCommandTest, ProgressCountResultFailedDocumentsAndAnUnopenedResult) {
    QFile xls(tmp.path() + "/b.xls");
    ASSERT_TRUE(xls.open(QIODevice::WriteOnly));
    xls.close();
    w->addNode(w->project().tree().topLevel(0), "b.xls", false, false, tmp.path() + "/b.xls");
    prompts.answers = {Answer::Yes};
    prompts.fileNames = {projectFile()};
    log.failWorkbookAttempts = 100;
    // Offices convert ahead of the window, which counts each document when its turn in
    // tree order comes and then waits for its page: the office holds the first page back
    // until the window shows its count.
    QString hintAtFirst;
    std::pair<int, int> barAtFirst;
    log.beforeResult = [&](const QString &source) {
        if (!source.endsWith("/a.doc"))
            return;
        QElapsedTimer waited;
        waited.start();
        do {
            QMetaObject::invokeMethod(w.get(), [&] {
                hintAtFirst = hint();
                barAtFirst = {progressBar()->value(), progressBar()->maximum()};
            }, Qt::BlockingQueuedConnection);
        } while (!hintAtFirst.endsWith("a.doc") && waited.elapsed() < 10000);
        log.beforeResult = nullptr;
    };
    openWorks = false;
    compileAndWait(*w);
    EXPECT_EQ(hintAtFirst, "正在转换为HTML文件... 1/2 a.doc");
    EXPECT_EQ(barAtFirst, std::make_pair(1, 2));
    const QString chm = tmp.path() + "/Help.CHM";
    EXPECT_EQ(result(), "编译完成：" + chm + "（共 2 个文档，1 个未能转换）");
    // The desktop could not open the help file: the user is told where it is.
    EXPECT_EQ(opened, QStringList{chm});
    ASSERT_EQ(prompts.notices.size(), 1);
    EXPECT_TRUE(prompts.notices[0].endsWith("帮助文件位于：" + chm)) << prompts.notices[0].toStdString();

    auto *failedButton = part<QToolButton>(*w, "failedDocumentsButton");
    ASSERT_TRUE(failedButton->isVisible());
    EXPECT_EQ(failedButton->text(), "未能转换的文档（1）...");
    QStringList listed;
    w->setDialogRunner([&](QDialog &dialog) {
        auto *documents = part<QListWidget>(dialog, "failedDocumentsList");
        for (int i = 0; i < documents->count(); ++i)
            listed << documents->item(i)->text();
        return int(QDialog::Rejected);
    });
    failedButton->click();
    EXPECT_EQ(listed, QStringList{tmp.path() + "/b.xls（办公软件多次转换失败）"});

    // A build that fails leaves no result of an earlier one standing.
    log.failWordFor = tmp.path() + "/a.doc";
    compileAndWait(*w);
    EXPECT_TRUE(result().isEmpty());
    EXPECT_FALSE(failedButton->isVisible());
}

TEST_F(CompileCommandTest, BuildErrorIsShownWithThePrefix) {
    prompts.answers = {Answer::Yes};
    prompts.fileNames = {projectFile()};
    log.failWordFor = tmp.path() + "/a.doc";
    compileAndWait(*w);
    // The office's own words come below the message, apart from it.
    EXPECT_EQ(prompts.notices, QStringList{"编译时出错，是否安装过office？：办公软件已退出或无响应：" + tmp.path() +
                                           "/a.doc\n\n" + FakeOffice::kCrashDetail});
    EXPECT_FALSE(part<QWidget>(*w, "compilePanel")->isVisible());
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(part<QAction>(*w, "compileAction")->isEnabled());

    // Only the office's own failures ask about the office.
    log.failWordFor.clear();
    ASSERT_TRUE(QDir().mkpath(tmp.path() + "/temp"));
    compileAndWait(*w);
    ASSERT_EQ(prompts.notices.size(), 2);
    EXPECT_TRUE(prompts.notices[1].startsWith("编译时出错：工程所在的文件夹中已有一个不是本程序建立的“temp”："))
        << prompts.notices[1].toStdString();
}

TEST_F(CompileCommandTest, AnOpenCaptionEditorIsCommittedBeforeTheBuild) {
    prompts.answers = {Answer::Yes};
    prompts.fileNames = {projectFile()};
    w->saveProject();
    ASSERT_FALSE(w->project().isModified());
    // A second click on a caption opens its editor without marking the project.
    w->activateWindow();
    QApplication::setActiveWindow(w.get());
    TreeNode *cat = w->project().tree().topLevel(0);
    part<StructureView>(*w, "structureView")->setFocus();
    w->setInPlaceEditing(true);
    part<StructureView>(*w, "structureView")->edit(w->project().tree().indexOf(cat));
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->setText("Renamed");
    ASSERT_FALSE(w->project().isModified());

    prompts.answers = {Answer::Yes};
    bool checked = false;
    log.duringWord = [&] {
        checked = true;
        for (QAction *a : w->findChildren<QAction *>())
            EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    };
    compileAndWait(*w);
    EXPECT_TRUE(checked);
    // The edit counts as a change: it is saved before the build, and the build used it.
    EXPECT_EQ(prompts.questions.size(), 1);
    EXPECT_EQ(cat->caption, "Renamed");
    QFile saved(projectFile());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("Caption=\"Renamed\""));
    EXPECT_FALSE(w->project().isModified());
    EXPECT_FALSE(part<QAction>(*w, "saveProjectAction")->isEnabled());
    ASSERT_FALSE(log.calls.isEmpty());
}

// The compile command with the real office worker and hhc from the program folder.
TEST(CompileCommandReal, SampleManualCompilesFromTheWindow) {
    QTemporaryDir tmp;
    QProcess sample;
    sample.start("sh", {qEnvironmentVariable("ZELBRIN_SOURCE_DIR") + "/scripts/sample.sh", tmp.path()});
    ASSERT_TRUE(sample.waitForFinished(30000) && sample.exitCode() == 0);
    const QString project = tmp.path() + "/用户手册.zlp";

    ScriptedPrompts prompts;
    MainWindowOptions options{&prompts, false};
    options.programFolder = qEnvironmentVariable("ZELBRIN_BIN_DIR");
    MainWindow w(options);
    w.show();
    QStringList opened;
    platform::setShellOpenHandler([&](const QString &p) {
        opened << p;
        return true;
    });
    prompts.fileNames = {project};
    w.openProject();
    ASSERT_EQ(w.project().tree().topLevelCount(), 2);
    compileAndWait(w);
    platform::setShellOpenHandler(nullptr);
    EXPECT_TRUE(prompts.notices.isEmpty()) << prompts.notices.join('\n').toStdString();
    EXPECT_EQ(opened, QStringList{tmp.path() + "/用户手册.CHM"});
    EXPECT_GT(QFileInfo(tmp.path() + "/用户手册.CHM").size(), 10000);
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/temp"));
    EXPECT_TRUE(part<QAction>(w, "compileAction")->isEnabled());
}

// A build of a hundred real documents, every one converted by the real offices (no page
// cache): the build runs on a thread of its own, so the window's event loop is never held.
TEST(CompileCommandReal, TheWindowNeverPausesOver100MillisecondsThroughAHundredDocuments) {
    const QString corpus = corpusFolder();
    ASSERT_FALSE(corpus.isEmpty()) << "shared/corpus not found beside the checkout";
    QStringList sources;
    for (QDirIterator it(corpus, {"*.doc", "*.docx", "*.xls", "*.xlsx", "*.ppt", "*.pptx", "*.txt", "*.html"},
                         QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();)
        sources << it.next();
    sources.sort();
    ASSERT_FALSE(sources.isEmpty());
    QTemporaryDir tmp;
    QByteArray items;
    for (int i = 0; i < 100; ++i) {
        const QString source = sources[i % sources.size()];
        const QString copy = tmp.path() + QStringLiteral("/docs/%1-%2").arg(i).arg(QFileInfo(source).fileName());
        QDir().mkpath(tmp.path() + "/docs");
        ASSERT_TRUE(QFile::copy(source, copy));
        items += "<Item Caption=\"" + QByteArray::number(i) + "\" FullDir=\"" + copy.toUtf8() + "\"/>";
    }
    QFile project(tmp.path() + "/百篇.zlp");
    ASSERT_TRUE(project.open(QIODevice::WriteOnly));
    project.write("<百篇><WorkCatalog/><Items><Item Caption=\"文档\" FullDir=\"\">" + items + "</Item></Items></百篇>");
    project.close();

    ScriptedPrompts prompts;
    MainWindowOptions options{&prompts, false};
    options.programFolder = qEnvironmentVariable("ZELBRIN_BIN_DIR");
    options.officeFactory = platform::makeLibreOfficeSessionFactory(options.programFolder + "/zelbrin-office", 90000,
                                                                    platform::defaultProfileTemplate());
    MainWindow w(options);
    w.show();
    ASSERT_TRUE(w.openProjectFile(project.fileName(), true));
    platform::setShellOpenHandler([](const QString &) { return true; });
    // A pause is the time between two ticks less the time the thread only waited for a
    // core: what our code holds the loop for, whether computing or blocked in a call.
    QElapsedTimer clock;
    qint64 last = 0, lastWait = runQueueWaitNs(), longest = 0;
    auto measure = [&] {
        const qint64 now = clock.elapsed(), wait = runQueueWaitNs();
        longest = std::max(longest, now - last - (wait - lastWait) / 1000000);
        last = now;
        lastWait = wait;
    };
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, measure);
    tick.start(5);
    clock.start();
    compileAndWait(w);
    measure();
    tick.stop();
    platform::setShellOpenHandler(nullptr);
    EXPECT_TRUE(prompts.notices.isEmpty()) << prompts.notices.join('\n').toStdString();
    EXPECT_TRUE(QFileInfo::exists(tmp.path() + "/百篇.CHM"));
    EXPECT_TRUE(part<QLabel>(w, "buildResultLabel")->text().endsWith("（共 100 个文档）"))  // none failed
        << part<QLabel>(w, "buildResultLabel")->text().toStdString();
    RecordProperty("longest_pause_ms", int(longest));
    RecordProperty("build_ms", int(clock.elapsed()));
    EXPECT_LE(longest, 100) << "the build took " << clock.elapsed() << " ms";
}

// 取消 on the compile panel, with the real office worker busy: the build ends within two
// seconds, its offices and build folder gone, and the help file of an earlier build stays.
TEST(CompileCommandReal, CancelEndsTheBuildWithinTwoSecondsAndKeepsTheLastHelpFile) {
    // Copies of the sample's documents: pages that no earlier build has kept.
    QTemporaryDir tmp;
    QByteArray items;
    for (const char *name : {"intro.doc", "install.docx", "prices.xls", "overview.ppt"}) {
        const QString copy = tmp.path() + "/docs/" + name;
        QDir().mkpath(tmp.path() + "/docs");
        ASSERT_TRUE(QFile::copy(qEnvironmentVariable("ZELBRIN_SOURCE_DIR") + "/samples/manual/docs/" + name, copy));
        items += "<Item Caption=\"" + QByteArray(name) + "\" FullDir=\"" + copy.toUtf8() + "\"/>";
    }
    QFile project(tmp.path() + "/用户手册.zlp");
    ASSERT_TRUE(project.open(QIODevice::WriteOnly));
    project.write("<用户手册><WorkCatalog/><Items>" + items + "</Items></用户手册>");
    project.close();
    const QString chm = tmp.path() + "/用户手册.CHM";
    QFile lastGood(chm);
    ASSERT_TRUE(lastGood.open(QIODevice::WriteOnly));
    lastGood.write("the help file of an earlier build");
    lastGood.close();

    ScriptedPrompts prompts;
    MainWindowOptions options{&prompts, false};
    options.programFolder = qEnvironmentVariable("ZELBRIN_BIN_DIR");
    MainWindow w(options);
    w.show();
    ASSERT_TRUE(w.openProjectFile(tmp.path() + "/用户手册.zlp", true));
    QStringList opened;
    platform::setShellOpenHandler([&](const QString &p) {
        opened << p;
        return true;
    });
    // Cancelled as soon as an office is on its way.
    auto *step = part<QLabel>(w, "compileStepLabel");
    QElapsedTimer sinceCancel;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (step->text() == kOfficeStartStep) {
            watch.stop();
            sinceCancel.start();
            QTest::mouseClick(part<QPushButton>(w, "cancelBuildButton"), Qt::LeftButton);
        }
    });
    watch.start(5);
    QSignalSpy finished(&w, &MainWindow::buildFinished);
    w.compile();
    ASSERT_TRUE(finished.wait(300000));
    platform::setShellOpenHandler(nullptr);
    ASSERT_TRUE(sinceCancel.isValid()) << "the build ended before an office started";
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_LT(sinceCancel.elapsed(), 2000);
    EXPECT_TRUE(prompts.notices.isEmpty()) << prompts.notices.join('\n').toStdString();
    EXPECT_EQ(part<QLabel>(w, "buildResultLabel")->text(), "编译已取消");
    EXPECT_FALSE(part<QWidget>(w, "compilePanel")->isVisible());
    EXPECT_TRUE(part<QAction>(w, "compileAction")->isEnabled());
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/temp"));
    ASSERT_TRUE(lastGood.open(QIODevice::ReadOnly));
    EXPECT_EQ(lastGood.readAll(), "the help file of an earlier build");
    // No office of this program is left, nor its private profile.
    const QString ours = QStringLiteral("zelbrin-office-%1-").arg(QCoreApplication::applicationPid());
    EXPECT_TRUE(QDir::temp().entryList({ours + "*"}, QDir::AllEntries | QDir::Hidden).isEmpty());
}
