#include "aboutdialog.h"
#include "checkupdate.h"
#include "mainwindow.h"
#include "scriptedprompts.h"
#include "shellopen.h"
#include "tinyhttpserver.h"
#include "weblabel.h"
#include "windowparts.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zelbrin;
using namespace zelbrin::ui;
using namespace zelbrin::ui::testing;
using zelbrin::testing::ScriptedPrompts;
using zelbrin::testing::TinyHttpServer;
using Answer = UserPrompts::Answer;

namespace {

const QString kUpdateQuestion = "检查到Zelbrin已有新版本，您是否立即进行升级操作？";
const QString kSaveQuestion = "是否保存所做的修改？";

// Records the preset text of the input box.
struct RecordingPrompts : ScriptedPrompts {
    QStringList presets;
    QStringList titles;
    std::optional<QString> inputText(const QString &title, const QString &label,
                                     const QString &value) override {
        titles << title + "|" + label;
        presets << value;
        return ScriptedPrompts::inputText(title, label, value);
    }
};

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct OtherCommandsTest : ::testing::Test {
    QTemporaryDir dir;
    RecordingPrompts prompts;
    QStringList opened;
    std::unique_ptr<MainWindow> w;

    void SetUp() override {
        platform::setShellOpenHandler([this](const QString &s) {
            opened << s;
            return true;
        });
    }
    void TearDown() override {
        if (w)
            w->project().setModified(false);
        w.reset();
        platform::setShellOpenHandler({});
    }
    QString program() const { return dir.path() + "/"; }
    QAction *entry(const char *name) const { return part<QAction>(*w, name); }
    MainWindowOptions options(bool updateCheck = false) {
        MainWindowOptions o{&prompts, updateCheck};
        o.programFolder = program();
        o.updateEnvironment = QProcessEnvironment();
        return o;
    }
    void makeWindow(MainWindowOptions o) {
        w = std::make_unique<MainWindow>(std::move(o));
        w->show();
    }
    // A stand-in program in the program folder that notes its arguments.
    void writeProgram(const QString &name) {
        const QString path = program() + name;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        // Written whole and then renamed, so a test never reads a half-written record.
        f.write("#!/bin/sh\nprintf '%s:%s' \"$#\" \"$*\" > \"$0.part\" && mv \"$0.part\" \"$0.ran\"\n");
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    bool ran(const QString &name, int timeoutMs = 10000) {
        return QTest::qWaitFor([&] { return QFileInfo::exists(program() + name + ".ran"); }, timeoutMs);
    }
    // Shows the modal About box and hands it to check while it is open.
    void withAboutBox(const std::function<void(AboutDialog *)> &check) {
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<AboutDialog *>(QApplication::activeModalWidget());
            check(box);
            if (box)
                QTest::mouseClick(part<QPushButton>(*box, "okButton"), Qt::LeftButton);
            else if (QWidget *m = QApplication::activeModalWidget())
                m->close();
        });
        entry("showAboutAction")->trigger();
    }
};

void enter(QWidget *w) {
    QEnterEvent e(QPointF(2, 2), QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)));
    QCoreApplication::sendEvent(w, &e);
}
void leave(QWidget *w) {
    QEvent e(QEvent::Leave);
    QCoreApplication::sendEvent(w, &e);
}

}  // namespace

TEST_F(OtherCommandsTest, ProductNumberLivesInMemoryOnly) {
    makeWindow(options());
    EXPECT_EQ(w->productNumber(), 6);
    prompts.inputs = {QString("12"), QString("letters"), std::nullopt, QString(" -7 "),
                      QString("99999999999"), QString("")};
    entry("askProductNumberAction")->trigger();
    EXPECT_EQ(w->productNumber(), 12);
    entry("askProductNumberAction")->trigger();  // not a number: kept
    entry("askProductNumberAction")->trigger();  // cancelled: kept
    EXPECT_EQ(w->productNumber(), 12);
    entry("askProductNumberAction")->trigger();
    EXPECT_EQ(w->productNumber(), -7);
    entry("askProductNumberAction")->trigger();  // beyond 32 bits: kept
    entry("askProductNumberAction")->trigger();  // empty: kept
    EXPECT_EQ(w->productNumber(), -7);
    EXPECT_EQ(prompts.presets, (QStringList{"6", "12", "12", "12", "-7", "-7"}));
    EXPECT_EQ(prompts.titles.first(), "设置产品编号|设置产品编号");
    // Not a change of the project.
    EXPECT_FALSE(w->project().isModified());
    EXPECT_FALSE(entry("saveProjectAction")->isEnabled());
    // A new window (a restart) starts at 6 again.
    MainWindow second(MainWindowOptions{&prompts, false});
    EXPECT_EQ(second.productNumber(), 6);
}

TEST_F(OtherCommandsTest, AboutBoxShowsTheSameContentEveryTime) {
    makeWindow(options());
    QList<QStringList> contents;
    QList<AboutDialog *> boxes;
    for (int i = 0; i < 2; ++i)
        withAboutBox([&](AboutDialog *box) {
            ASSERT_NE(box, nullptr);
            boxes << box;
            EXPECT_EQ(box->size(), QSize(350, 291));
            EXPECT_EQ(box->palette().color(QPalette::Window), QColor(238, 238, 238));
            EXPECT_EQ(part<QLabel>(*box, "banner")->size(), QSize(350, 80));
            EXPECT_EQ(part<QPushButton>(*box, "okButton")->text(), "确定(&O)");
            EXPECT_EQ(part<QPushButton>(*box, "okButton")->size(), QSize(100, 25));
            QStringList texts;
            for (const char *name : {"versionLabel", "supportLabel", "emailLabel", "webLabel"})
                texts << part<QLabel>(*box, name)->text();
            contents << texts;
        });
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[0], boxes[1]);  // one box, kept between showings
    EXPECT_FALSE(boxes[0]->isVisible());
    EXPECT_EQ(contents[0], contents[1]);
    EXPECT_EQ(contents[0].first(), "软件版本：3.7.1.0");
    EXPECT_EQ(boxes[0]->result(), QDialog::Accepted);
}

TEST_F(OtherCommandsTest, WebLabelsOpenTheirAddressAndUnderlineOnHover) {
    makeWindow(options());
    QList<WebLabel *> labels{part<WebLabel>(*w, "webLabel")};
    withAboutBox([&](AboutDialog *box) {
        ASSERT_NE(box, nullptr);
        labels << part<WebLabel>(*box, "webLabel");
        QTest::mouseClick(labels.last(), Qt::LeftButton);
    });
    ASSERT_EQ(labels.size(), 2);
    ASSERT_NE(labels[0], nullptr);
    EXPECT_EQ(opened, QStringList{labels[1]->text()});
    WebLabel *web = labels[0];
    QTest::mouseClick(web, Qt::LeftButton);
    EXPECT_EQ(opened.last(), web->text());
    EXPECT_TRUE(web->text().startsWith("https://"));
    // A press that ends elsewhere is no click.
    const int before = opened.size();
    QTest::mousePress(web, Qt::LeftButton);
    QTest::mouseRelease(web, Qt::LeftButton, {}, QPoint(-20, -20));
    EXPECT_EQ(opened.size(), before);

    for (WebLabel *label : labels) {
        EXPECT_FALSE(label->font().underline());
        enter(label);
        EXPECT_TRUE(label->font().underline());
        QFont styled = label->font();
        styled.setBold(true);
        label->setFont(styled);
        leave(label);
        EXPECT_FALSE(label->font().underline());
        EXPECT_FALSE(label->font().bold());
        EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    }
    EXPECT_TRUE(prompts.notices.isEmpty());
}

TEST_F(OtherCommandsTest, DemonstrationProgramStartsFromTheProgramFolder) {
    makeWindow(options());
    entry("startDemonstrationAction")->trigger();  // missing: the user is told
    EXPECT_EQ(prompts.notices, QStringList{"没有安装演示程序：程序文件夹 " + program() + " 中没有 Tutorix。"});
    EXPECT_TRUE(prompts.questions.isEmpty());
    writeProgram("Tutorix");
    entry("startDemonstrationAction")->trigger();
    EXPECT_TRUE(ran("Tutorix"));
    EXPECT_EQ(readFile(program() + "Tutorix.ran"), "0:");
    EXPECT_EQ(prompts.notices.size(), 1);
}

TEST_F(OtherCommandsTest, UpgradeWithoutAnUpdaterKeepsTheWindowAndTellsWhereToDownload) {
    makeWindow(options());
    entry("newProjectAction")->trigger();
    entry("startUpdaterAction")->trigger();
    EXPECT_EQ(prompts.notices, QStringList{"没有安装升级程序（Update），无法自动升级。"});
    EXPECT_TRUE(prompts.questions.isEmpty());  // nothing closes, so nothing asks to save
    EXPECT_TRUE(w->isVisible());

    // The update list names the page of the new release: it is opened.
    ASSERT_TRUE(QDir().mkpath(program() + "DownLoad"));
    QFile list(program() + "DownLoad/Down.dll");
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("[FileList]\r\n1=%APPDIR%\\Zelbrin/3.7.1.1/2011-01-01 10:20:30\r\n"
               "[Download]\r\nPage=https://example.com/zelbrin/\r\n");
    list.close();
    entry("startUpdaterAction")->trigger();
    EXPECT_EQ(opened, QStringList{"https://example.com/zelbrin/"});
    EXPECT_EQ(prompts.notices.size(), 1);
    EXPECT_TRUE(w->isVisible());
}

TEST_F(OtherCommandsTest, UpgradeMenuClosesTheWindowAndStartsTheUpdater) {
    writeProgram("Update");
    makeWindow(options());
    entry("newProjectAction")->trigger();  // modified project: closing asks first
    prompts.answers = {Answer::Cancel};
    QElapsedTimer timer;
    timer.start();
    entry("startUpdaterAction")->trigger();
    EXPECT_GE(timer.elapsed(), 1000);
    EXPECT_EQ(prompts.questions, QStringList{kSaveQuestion});
    EXPECT_TRUE(w->isVisible());  // kept open, and the updater is started all the same
    EXPECT_TRUE(ran("Update"));
    EXPECT_EQ(readFile(program() + "Update.ran"), "1:Zelbrin");
}

namespace {

struct UpdatePromptTest : OtherCommandsTest {
    TinyHttpServer server;

    void SetUp() override {
        OtherCommandsTest::SetUp();
        ASSERT_TRUE(server.ok());
        QFile local(program() + "Down.dll");
        ASSERT_TRUE(local.open(QIODevice::WriteOnly));
        local.write("[FileList]\r\n1=%APPDIR%\\Zelbrin/3.7.1.0/2010-09-25 10:20:30\r\n");
    }
    MainWindowOptions updateOptions() {
        MainWindowOptions o = options(true);
        o.updateBaseUrl = server.baseUrl();
        o.updateRetryMinMs = 5;
        o.updateRetryMaxMs = 10;
        return o;
    }
    void serveNewRelease() {
        server.setResponse({200, "[FileList]\r\n1=%APPDIR%\\Zelbrin/3.7.1.1/2011-01-01 10:20:30\r\n"});
    }
    bool asked() {
        return QTest::qWaitFor([&] { return prompts.questions.contains(kUpdateQuestion); }, 60000);
    }
};

}  // namespace

TEST_F(UpdatePromptTest, NoKeepsTheProgramRunning) {
    serveNewRelease();
    writeProgram("Update");
    prompts.answers = {Answer::No};
    makeWindow(updateOptions());
    ASSERT_TRUE(asked());
    ASSERT_NE(w->updateCheckThread(), nullptr);
    EXPECT_TRUE(w->updateCheckThread()->wait(QDeadlineTimer(5000)));  // the check has ended
    EXPECT_EQ(w->updateCheckThread()->cyclesRun(), 1);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(ran("Update", 300));
    EXPECT_TRUE(QFileInfo::exists(program() + "DownLoad/Down.dll"));
}

TEST_F(UpdatePromptTest, YesWithAModifiedProjectAsksToSaveFirst) {
    serveNewRelease();
    writeProgram("Update");
    // Cancel at the save question: the window stays and nothing is started.
    prompts.answers = {Answer::Yes, Answer::Cancel};
    makeWindow(updateOptions());
    entry("newProjectAction")->trigger();
    ASSERT_TRUE(asked());
    EXPECT_EQ(prompts.questions, (QStringList{kUpdateQuestion, kSaveQuestion}));
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->project().isModified());
    EXPECT_FALSE(ran("Update", 300));
}

TEST_F(UpdatePromptTest, YesClosesTheWindowThenStartsTheUpdater) {
    serveNewRelease();
    writeProgram("Update");
    prompts.answers = {Answer::Yes, Answer::No};
    makeWindow(updateOptions());
    entry("newProjectAction")->trigger();
    ASSERT_TRUE(asked());
    EXPECT_EQ(prompts.questions, (QStringList{kUpdateQuestion, kSaveQuestion}));
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(ran("Update"));
    EXPECT_EQ(readFile(program() + "Update.ran"), "0:");  // no arguments
}

TEST_F(UpdatePromptTest, SameReleaseOrUnreachableServerAsksNothing) {
    server.setResponse({200, "[FileList]\r\n1=%APPDIR%\\Zelbrin/3.7.1.0/2010-09-25 23:00:00\r\n"});
    makeWindow(updateOptions());
    ASSERT_NE(w->updateCheckThread(), nullptr);
    EXPECT_TRUE(w->updateCheckThread()->wait(QDeadlineTimer(30000)));
    // The thread has ended: a question it raised would be queued by now.
    QCoreApplication::processEvents();
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_EQ(w->updateCheckThread()->promptsRaised(), 0);
    EXPECT_EQ(server.requestCount(), 1);
    w.reset();

    MainWindowOptions o = updateOptions();
    o.updateBaseUrl = QString("http://127.0.0.1:%1/update/Chm/CHS/").arg(TinyHttpServer::closedPort());
    makeWindow(o);
    EXPECT_TRUE(w->updateCheckThread()->wait(QDeadlineTimer(30000)));
    EXPECT_EQ(w->updateCheckThread()->cyclesRun(), 1);
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_TRUE(prompts.notices.isEmpty());
}

TEST_F(UpdatePromptTest, QuittingWhileTheCheckPausesReturnsAtOnce) {
    serveNewRelease();
    ASSERT_TRUE(QDir().mkpath(program() + "DownLoad/Down.dll"));  // every cycle fails
    MainWindowOptions o = updateOptions();
    o.updateRetryMinMs = 300000;
    o.updateRetryMaxMs = 600000;
    makeWindow(o);
    platform::CheckUpdate *check = w->updateCheckThread();
    ASSERT_NE(check, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return check->pausing(); }, 30000));
    EXPECT_EQ(check->cyclesRun(), 1);
    QElapsedTimer timer;
    timer.start();
    w.reset();
    EXPECT_LT(timer.elapsed(), 5000);  // not the minutes of the pause
}

TEST_F(UpdatePromptTest, QuittingWithTheQuestionStillPendingReturnsAtOnce) {
    serveNewRelease();
    makeWindow(updateOptions());
    // Events are not run, so the question is posted but never shown.
    QElapsedTimer waited;
    waited.start();
    while (w->updateCheckThread()->promptsRaised() < 1 && waited.elapsed() < 30000)
        QThread::msleep(5);
    ASSERT_EQ(w->updateCheckThread()->promptsRaised(), 1);
    EXPECT_TRUE(w->updateCheckThread()->isRunning());  // blocked on the question
    QElapsedTimer timer;
    timer.start();
    w.reset();
    EXPECT_LT(timer.elapsed(), 5000);  // not the minutes of the pause
    EXPECT_TRUE(prompts.questions.isEmpty());
}
