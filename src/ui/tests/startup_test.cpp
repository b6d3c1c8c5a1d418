// Starting the workbench: the project on the command line, the recent projects, the
// remembered window size, the save dialog's start and Qt's texts in Chinese.
#include "mainwindow.h"
#include "scriptedprompts.h"
#include "startup.h"
#include "windowparts.h"

#include <QAbstractButton>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

using namespace zelbrin;
using namespace zelbrin::ui;
using namespace zelbrin::ui::testing;

namespace {

struct StartupTest : ::testing::Test {
    QTemporaryDir dir;
    zelbrin::testing::ScriptedPrompts prompts;

    void SetUp() override { workbenchSettings()->clear(); }
    std::unique_ptr<MainWindow> window() {
        auto w = std::make_unique<MainWindow>(MainWindowOptions{&prompts, false});
        w->show();
        return w;
    }
    QString project(const QString &name) {
        const QString path = dir.path() + "/" + name + ".zlp";
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("<" + name + "><WorkCatalog/><Items><Item Caption=\"c\" FullDir=\"\"/></Items></" +
                 name + ">").toUtf8());
        return path;
    }
    static QStringList recentEntries(const MainWindow &w) {
        QStringList texts;
        for (QAction *a : part<QMenu>(w, "recentMenu")->actions())
            texts << a->text();
        return texts;
    }
};

}  // namespace

TEST_F(StartupTest, CommandLineProjectOpensAndItsFailuresAreTold) {
    const QString good = project("Guide");
    auto w = window();
    openCommandLineProject(*w, {"zelbrin", "--style=fusion", good});
    EXPECT_EQ(w->windowTitle(), "Zelbrin - Guide[*]");
    EXPECT_EQ(w->project().tree().topLevelCount(), 1);
    EXPECT_TRUE(w->project().isOpen());
    EXPECT_TRUE(prompts.notices.isEmpty());

    QFile broken(dir.path() + "/Broken.zlp");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("<Broken><Items>");
    broken.close();
    QFile text(dir.path() + "/notes.txt");
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.close();
    for (const char *name : {"missing.zlp", "Broken.zlp", "notes.txt"}) {
        auto fresh = window();
        prompts.notices.clear();
        openCommandLineProject(*fresh, {"zelbrin", dir.path() + "/" + name});
        ASSERT_EQ(prompts.notices.size(), 1) << name;
        EXPECT_TRUE(prompts.notices[0].contains(dir.path() + "/" + name)) << name;
        EXPECT_FALSE(fresh->project().isOpen()) << name;
        EXPECT_EQ(fresh->windowTitle(), "Zelbrin");
    }
    prompts.notices.clear();
    openCommandLineProject(*w, {"zelbrin"});
    EXPECT_TRUE(prompts.notices.isEmpty());
}

TEST_F(StartupTest, RecentProjectsNewestFirstAtMostEightMissingOnesRemovedWithANotice) {
    auto w = window();
    EXPECT_FALSE(part<QMenu>(*w, "recentMenu")->isEnabled());
    QStringList paths;
    for (int i = 1; i <= 9; ++i) {
        paths << project(QStringLiteral("P%1").arg(i));
        ASSERT_TRUE(w->openProjectFile(paths.last(), true));
    }
    QStringList newestFirst(paths.rbegin(), paths.rbegin() + 8);
    EXPECT_EQ(w->recentProjects(), newestFirst);
    EXPECT_EQ(recentEntries(*w).size(), 8);
    EXPECT_EQ(recentEntries(*w).first(), "&1 " + paths[8]);

    // Opening one from the list brings it to the top; so does saving under a new name.
    part<QMenu>(*w, "recentMenu")->actions()[4]->trigger();
    EXPECT_EQ(w->windowTitle(), "Zelbrin - P5[*]");
    EXPECT_EQ(w->recentProjects().first(), paths[4]);
    w->newProject();
    prompts.fileNames = {dir.path() + "/Fresh.zlp"};
    w->saveProject();
    EXPECT_EQ(w->recentProjects().mid(0, 2), (QStringList{dir.path() + "/Fresh.zlp", paths[4]}));
    EXPECT_EQ(w->recentProjects().size(), 8);

    // The list lives in the user's settings; a file gone since is taken out of it.
    auto later = window();
    EXPECT_EQ(later->recentProjects(), w->recentProjects());
    ASSERT_TRUE(QFile::remove(paths[8]));
    const int gone = int(later->recentProjects().indexOf(paths[8]));
    ASSERT_GE(gone, 0);
    part<QMenu>(*later, "recentMenu")->actions()[gone]->trigger();
    ASSERT_EQ(prompts.notices.size(), 1);
    EXPECT_TRUE(prompts.notices[0].startsWith("工程文件不存在：" + paths[8]));
    EXPECT_FALSE(later->recentProjects().contains(paths[8]));
    EXPECT_EQ(recentEntries(*later).size(), 7);
    EXPECT_FALSE(later->project().isOpen());
}

TEST_F(StartupTest, WindowSizeAndSplitterAreRememberedAndSaveStartsInTheWorkingDirectory) {
    const QSize available = QGuiApplication::primaryScreen()->availableGeometry().size();
    auto w = window();
    EXPECT_EQ(w->size(), QSize(1000, 700).boundedTo(available));
    w->resize(QSize(700, 500).boundedTo(available));
    auto *splitter = part<QSplitter>(*w, "paneSplitter");
    splitter->setSizes({230, splitter->width() - 230});
    const QList<int> sizes = splitter->sizes();
    ASSERT_TRUE(w->close());
    auto again = window();
    EXPECT_EQ(again->size(), w->size());
    EXPECT_EQ(part<QSplitter>(*again, "paneSplitter")->sizes(), sizes);

    // An unnamed project is offered its working directory and the name it is shown by.
    again->newProject();
    again->project().setWorkCatalog(dir.path());
    prompts.fileNames = {""};
    again->saveProject();
    EXPECT_EQ(prompts.saveDialogStarts, QStringList{dir.path() + "/未命名.zlp"});
    again->project().setModified(false);
}

TEST(QtTranslations, StandardButtonsSpeakChinese) {
    ASSERT_TRUE(loadChineseQtTranslations());
    QMessageBox box(QMessageBox::Question, "Zelbrin", "?",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel | QMessageBox::Ok);
    for (QMessageBox::StandardButton b :
         {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel, QMessageBox::Ok}) {
        const QString text = box.button(b)->text();
        EXPECT_TRUE(std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x4E00; }))
            << text.toStdString();
    }
}
