#include "decompiledialog.h"
#include "decompiler.h"
#include "mainwindow.h"
#include "scriptedprompts.h"
#include "testchm.h"
#include "windowparts.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zelbrin;
using namespace zelbrin::ui;
using namespace zelbrin::testing;
using zelbrin::ui::testing::part;
using Icon = UserPrompts::Icon;

namespace {

// Records where the folder browser was asked to start.
struct RecordingPrompts : ScriptedPrompts {
    QStringList folderStarts;
    QStringList folderTitles;
    QString folderName(const QString &title, const QString &startDir) override {
        folderTitles << title;
        folderStarts << startDir;
        return ScriptedPrompts::folderName(title, startDir);
    }
};

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

struct DecompileTest : ::testing::Test {
    QTemporaryDir tmp;
    RecordingPrompts prompts;
    QMap<QString, QByteArray> pages = defaultChmPages();
    QString chm;
    QString marker;
    QString go;  // the stand-in hh waits for this file before it runs the real one

    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        chm = tmp.path() + "/help files/my help.chm";
        const QString error = makeTestChm(tmp.path() + "/project", chm, pages);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        marker = tmp.path() + "/hh-ran";
        go = tmp.path() + "/hh-go";
        QFile(go).open(QIODevice::WriteOnly);
    }
    // An hh stand-in that notes its arguments, waits until it may go on and then runs the real hh.
    QString slowHh() {
        const QString path = tmp.path() + "/slow-hh";
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nprintf '[%s]' \"$@\" > '" + marker.toUtf8() + "'\nwhile [ ! -e '" +
                go.toUtf8() + "' ]; do sleep 0.01; done\nexec '" + binProgram("hh").toUtf8() + "' \"$@\"\n");
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }
    QString binFolder() const { return qEnvironmentVariable("ZELBRIN_BIN_DIR") + "/"; }
};

// The dialog with what its buttons do.
struct Decompile {
    DecompileDialog dialog;
    Decompiler decompiler;
    Decompile(UserPrompts &prompts, const QString &programFolder, const QString &hh = {})
        : decompiler(dialog, prompts, programFolder, hh) {}
    QPushButton *button(const char *name) { return part<QPushButton>(dialog, name); }
};

// Starts the unpack as 开始转换 does and waits until the user has been told how it went.
void startAndWait(Decompile &dlg) {
    QSignalSpy done(&dlg.decompiler, &Decompiler::finished);
    dlg.decompiler.start();
    if (done.isEmpty()) {
        ASSERT_TRUE(done.wait(120000));
    }
}

}  // namespace

TEST_F(DecompileTest, LayoutAndCaptions) {
    Decompile dlg(prompts, binFolder());
    EXPECT_EQ(dlg.dialog.windowTitle(), "反编译CHM文件");
    EXPECT_EQ(dlg.dialog.size(), QSize(387, 254));
    EXPECT_EQ(part<QLabel>(dlg.dialog, "banner")->text(), "把CHM帮助文件解开为网页、图片和目录文件");
    EXPECT_EQ(dlg.button("startButton")->text(), "开始转换(&B)");
    EXPECT_EQ(dlg.button("closeButton")->text(), "关闭(&C)");
    EXPECT_EQ(dlg.button("browseHelpFileButton")->text(), "...");
    EXPECT_TRUE(dlg.dialog.helpFile().isEmpty());
    EXPECT_TRUE(dlg.dialog.destination().isEmpty());
}

// The labels stand left of their edits: the edits must not cover any of their text.
TEST_F(DecompileTest, LabelsAreNotCoveredByTheirEdits) {
    Decompile dlg(prompts, binFolder());
    dlg.dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg.dialog));
    for (const auto &[text, name] : {std::pair{QStringLiteral("需转换的CHM文件："), "helpFileEdit"},
                                     std::pair{QStringLiteral("保存目录："), "destinationEdit"}}) {
        const QLineEdit *edit = part<QLineEdit>(dlg.dialog, name);
        QLabel *label = nullptr;
        for (QLabel *l : dlg.dialog.findChildren<QLabel *>())
            if (l->text() == text)
                label = l;
        ASSERT_NE(label, nullptr) << text.toStdString();
        const int textRight = label->x() + label->fontMetrics().horizontalAdvance(text);
        EXPECT_LT(textRight, edit->x()) << text.toStdString();
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(text)) << text.toStdString();
    }
}

TEST_F(DecompileTest, UnpacksThroughTheRealHhWithBlanksInBothPaths) {
    Decompile dlg(prompts, binFolder());
    const QString dest = tmp.path() + "/out folder/unpacked here";
    dlg.dialog.setHelpFile(chm);
    dlg.dialog.setDestination("  " + dest + " ");
    dlg.dialog.show();
    QSignalSpy done(&dlg.decompiler, &Decompiler::finished);
    QTest::mouseClick(dlg.button("startButton"), Qt::LeftButton);
    ASSERT_TRUE(done.count() > 0 || done.wait(120000));
    EXPECT_EQ(prompts.notices, QStringList{"转换成功！"});
    EXPECT_EQ(prompts.noticeIcons, QList<Icon>{Icon::Information});
    for (auto it = pages.begin(); it != pages.end(); ++it)
        EXPECT_EQ(readFile(dest + "/" + it.key()), it.value()) << it.key().toStdString();
    EXPECT_TRUE(dlg.button("startButton")->isEnabled());
    EXPECT_TRUE(dlg.button("closeButton")->isEnabled());
}

TEST_F(DecompileTest, ButtonsAreDisabledWhileHhRunsAndTheDialogKeepsWorking) {
    Decompile dlg(prompts, binFolder(), slowHh());
    const QString dest = tmp.path() + "/out";
    dlg.dialog.setHelpFile(chm);
    dlg.dialog.setDestination(dest);
    dlg.dialog.show();
    // hh goes on only after the dialog's events have run three times while it waits.
    QFile::remove(go);
    int ticks = 0;
    bool startEnabled = true, endEnabled = true;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (++ticks == 3) {
            startEnabled = dlg.button("startButton")->isEnabled();
            endEnabled = dlg.button("closeButton")->isEnabled();
            QFile(go).open(QIODevice::WriteOnly);
        }
    });
    timer.start(20);
    startAndWait(dlg);
    timer.stop();
    EXPECT_GE(ticks, 3);
    EXPECT_FALSE(startEnabled);
    EXPECT_FALSE(endEnabled);
    EXPECT_TRUE(dlg.button("startButton")->isEnabled());
    EXPECT_TRUE(dlg.button("closeButton")->isEnabled());
    // Each path is one argument, trimmed, destination first.
    EXPECT_EQ(readFile(marker), "[-decompile][" + dest.toUtf8() + "][" + chm.toUtf8() + "]");
    EXPECT_EQ(prompts.notices, QStringList{"转换成功！"});
    EXPECT_EQ(readFile(dest + "/aa/x.htm"), pages["aa/x.htm"]);
}

TEST_F(DecompileTest, TheHelpFilesOwnFolderIsRefusedAsExactText) {
    Decompile dlg(prompts, binFolder(), slowHh());
    const QString folder = QFileInfo(chm).path();
    dlg.dialog.setHelpFile(chm);
    dlg.dialog.setDestination(folder);
    startAndWait(dlg);
    EXPECT_EQ(prompts.notices, QStringList{"转换保存位置不能与原CHM文件放在一起！"});
    EXPECT_EQ(prompts.noticeIcons, QList<Icon>{Icon::Warning});
    EXPECT_FALSE(QFileInfo::exists(marker));
    EXPECT_TRUE(dlg.button("startButton")->isEnabled());

    // Another spelling of the same folder is not the same text, so it is accepted.
    prompts.notices.clear();
    dlg.dialog.setDestination(folder + "/");
    startAndWait(dlg);
    EXPECT_EQ(prompts.notices, QStringList{"转换成功！"});
    EXPECT_TRUE(QFileInfo::exists(marker));
    EXPECT_EQ(readFile(folder + "/index.htm"), pages["index.htm"]);
}

TEST_F(DecompileTest, MissingOrBrokenHelpFilesAreReportedAsFailures) {
    Decompile dlg(prompts, binFolder(), slowHh());
    dlg.dialog.setHelpFile(tmp.path() + "/absent.chm");
    dlg.dialog.setDestination(tmp.path() + "/out");
    startAndWait(dlg);
    EXPECT_EQ(prompts.notices, QStringList{"转换失败！"});
    EXPECT_EQ(prompts.noticeIcons, QList<Icon>{Icon::Warning});
    EXPECT_FALSE(QFileInfo::exists(marker));  // nothing was run

    // An empty field: a failure that names it, and nothing is run.
    prompts.notices.clear();
    dlg.dialog.setHelpFile({});
    dlg.dialog.setDestination(" ");
    startAndWait(dlg);
    EXPECT_EQ(prompts.notices, QStringList{"转换失败！\n没有填写需转换的CHM文件和保存目录。"});
    EXPECT_EQ(prompts.noticeTitles, QStringList(2, "提示"));  // every notice of the dialog
    EXPECT_FALSE(QFileInfo::exists(marker));

    // A root destination is never the help file's folder: it is run, not refused.
    prompts.notices.clear();
    dlg.dialog.setHelpFile("/absent.chm");
    dlg.dialog.setDestination("/");
    startAndWait(dlg);
    EXPECT_EQ(prompts.notices, QStringList{"转换失败！"});

    // hh ending with an error (here: a file that is no help file).
    prompts.notices.clear();
    {
        QFile f(tmp.path() + "/fake.chm");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a help file");
    }
    Decompile real(prompts, binFolder());
    real.dialog.setHelpFile(tmp.path() + "/fake.chm");
    real.dialog.setDestination(tmp.path() + "/out");
    startAndWait(real);
    ASSERT_EQ(prompts.notices.size(), 1);
    EXPECT_TRUE(prompts.notices[0].startsWith("转换失败！\n无法解开该CHM文件，它可能已损坏："));
    EXPECT_TRUE(prompts.notices[0].contains("is not a compiled help file")) << prompts.notices[0].toStdString();
    EXPECT_EQ(prompts.noticeIcons, QList<Icon>(4, Icon::Warning));
}

// A damaged help file once kept the dialog waiting for ever with its buttons disabled: hh
// gets a time-out, and a failed unpack says what hh found.
TEST_F(DecompileTest, AHangingOrFailingUnpackIsReportedAndTheDialogComesBack) {
    const QString hanging = tmp.path() + "/hanging-hh";
    {
        QFile f(hanging);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nexec sleep 600\n");  // stands in for an hh that never ends
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    Decompile dlg(prompts, binFolder(), hanging);
    dlg.decompiler.setTimeout(1000);
    dlg.dialog.setHelpFile(chm);
    dlg.dialog.setDestination(tmp.path() + "/out");
    startAndWait(dlg);
    ASSERT_EQ(prompts.notices.size(), 1);
    EXPECT_TRUE(prompts.notices[0].contains("反编译程序在1秒内没有完成，已被终止")) << prompts.notices[0].toStdString();
    EXPECT_EQ(prompts.noticeIcons, QList<Icon>{Icon::Warning});
    EXPECT_TRUE(dlg.button("startButton")->isEnabled());
    EXPECT_TRUE(dlg.button("closeButton")->isEnabled());

    prompts.notices.clear();
    QFile damaged(chm);
    ASSERT_TRUE(damaged.open(QIODevice::ReadWrite));
    ASSERT_TRUE(damaged.resize(damaged.size() / 2));
    damaged.close();
    Decompile real(prompts, binFolder());
    real.dialog.setHelpFile(chm);
    real.dialog.setDestination(tmp.path() + "/out");
    startAndWait(real);
    ASSERT_EQ(prompts.notices.size(), 1);
    EXPECT_TRUE(prompts.notices[0].startsWith("转换失败！\n无法解开该CHM文件，它可能已损坏："));
    EXPECT_TRUE(prompts.notices[0].contains("truncated")) << prompts.notices[0].toStdString();
}

TEST_F(DecompileTest, OpenAndFolderButtonsFillTheFields) {
    Decompile dlg(prompts, tmp.path() + "/");
    prompts.fileNames = {chm, ""};
    dlg.decompiler.chooseHelpFile();
    EXPECT_EQ(dlg.dialog.helpFile(), chm);
    dlg.decompiler.chooseHelpFile();  // cancelled: unchanged
    EXPECT_EQ(dlg.dialog.helpFile(), chm);

    prompts.fileNames = {tmp.path() + "/chosen", "", ""};
    dlg.decompiler.chooseDestination();
    EXPECT_EQ(dlg.dialog.destination(), tmp.path() + "/chosen");
    dlg.dialog.setDestination(" " + tmp.path() + "/help files ");
    dlg.decompiler.chooseDestination();
    dlg.dialog.setDestination(tmp.path() + "/nowhere");
    dlg.decompiler.chooseDestination();
    EXPECT_EQ(dlg.dialog.destination(), tmp.path() + "/nowhere");
    EXPECT_EQ(prompts.folderTitles, QStringList(3, "选择目录"));
    EXPECT_EQ(prompts.folderStarts,
              (QStringList{tmp.path() + "/", tmp.path() + "/help files", QString()}));
    EXPECT_EQ(prompts.unexpected, 0);
}

TEST_F(DecompileTest, TheCommandShowsTheDialogModallyAndDestroysIt) {
    ScriptedPrompts windowPrompts;
    MainWindowOptions options{&windowPrompts, false};
    options.programFolder = binFolder();
    MainWindow w(options);
    w.show();
    const QString dest = tmp.path() + "/via command";
    QPointer<DecompileDialog> seen;
    bool wasModal = false, emptyAtStart = false;
    QTimer::singleShot(0, [&] {
        seen = qobject_cast<DecompileDialog *>(QApplication::activeModalWidget());
        if (!seen)
            return;
        wasModal = seen->isModal();
        emptyAtStart = seen->helpFile().isEmpty() && seen->destination().isEmpty();
        seen->setHelpFile(chm);
        seen->setDestination(dest);
        QTest::mouseClick(part<QPushButton>(*seen, "startButton"), Qt::LeftButton);
        // Closed once the unpack has ended and given the buttons back.
        auto *closer = new QTimer(seen);
        QObject::connect(closer, &QTimer::timeout, [closer, &seen] {
            QPushButton *close = part<QPushButton>(*seen, "closeButton");
            if (!close->isEnabled())
                return;
            closer->stop();
            QTest::mouseClick(close, Qt::LeftButton);
        });
        closer->start(20);
    });
    QTimer guard;  // never leave a modal loop hanging when the dialog was not found
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget *m = QApplication::activeModalWidget())
            m->close();
    });
    guard.start(60000);
    part<QAction>(w, "decompileHelpFileAction")->trigger();
    EXPECT_TRUE(wasModal);
    EXPECT_TRUE(emptyAtStart);
    EXPECT_TRUE(seen.isNull());  // destroyed when it closed
    EXPECT_EQ(windowPrompts.notices, QStringList{"转换成功！"});
    EXPECT_EQ(readFile(dest + "/bb/y.htm"), pages["bb/y.htm"]);
}
