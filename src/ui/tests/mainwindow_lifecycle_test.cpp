#include "boundaction.h"
#include "mainwindow.h"
#include "scriptedprompts.h"
#include "structureview.h"
#include "windowparts.h"
#include "wordlistwidget.h"

#include <QAction>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTemporaryDir>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace zelbrin;
using namespace zelbrin::ui;
using namespace zelbrin::ui::testing;
using Answer = UserPrompts::Answer;

namespace {

struct MainWindowTest : ::testing::Test {
    QTemporaryDir dir;
    zelbrin::testing::ScriptedPrompts prompts;
    std::unique_ptr<TMainForm> w;

    void SetUp() override {
        w = std::make_unique<TMainForm>(MainWindowOptions{&prompts, false});
        w->show();
    }
    void TearDown() override {
        w->project().Modified = false;  // let the window close without questions
        w.reset();
    }
    QString path(const QString &name) const { return dir.path() + "/" + name; }
    QAction *entry(const char *name) const { return part<QAction>(*w, name); }

    QList<QAction *> projectDependent() const {
        return {w->actCompile, w->actCloseProject,  w->actNew,    w->actNewSub,
                w->actDeleteCatalog, w->actRenameCatalog, w->actSelect, w->actSelectAll,
                w->actRemove, w->actRemoveAll, entry("miTreeNew"), entry("miTreeNewSub"),
                entry("toolSetWorkCatalog"), entry("miListSetWorkCatalog")};
    }
    void expectProjectCommands(bool enabled) {
        for (QAction *a : projectDependent())
            EXPECT_EQ(a->isEnabled(), enabled) << a->objectName().toStdString();
    }
    void expectAlwaysEnabled() {
        for (QAction *a : {w->actNewProject, w->actOpenProject, w->actQuit, w->actDecompile,
                           w->actSetProdNO, w->actUp, w->actDown, w->actLeft, w->actSetWorkCatalog,
                           entry("miSetWorkCatalog"), entry("miTreeRename"),
                           entry("miTreeDelete")})
            EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    }
    void writeProject(const QString &name, const QByteArray &content) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
};

}  // namespace

TEST_F(MainWindowTest, LayoutMenusAndCommandTable) {
    EXPECT_EQ(w->windowTitle(), "Zelbrin");
    EXPECT_EQ(part<QGroupBox>(*w, "grpStructure")->title(), "CHM结构");
    EXPECT_EQ(part<QGroupBox>(*w, "grpFileList")->title(), "本地文件目录");
    QStringList menus;
    for (QAction *a : w->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{"文件(&F)", "目录(&C)", "编辑(&E)", "节点(&N)", "其他(&O)"}));
    EXPECT_EQ(entry("miSetWorkCatalog")->text(), "设置本地文件目录(&W)");
    EXPECT_EQ(entry("miSetWorkCatalog")->toolTip(), "设置设置本地文件目录目录");
    EXPECT_EQ(entry("toolSetWorkCatalog")->toolTip(), "设置文件目录");
    EXPECT_EQ(entry("toolCompile")->toolTip(), "编译成CHM");
    EXPECT_EQ(w->actCompile->text(), "编译(&B)");
    // The keys people expect, and one accelerator letter per entry of 文件.
    const QList<std::pair<QAction *, QKeySequence>> keys = {
        {w->actNewProject, QKeySequence::New},   {w->actOpenProject, QKeySequence::Open},
        {w->actSaveProject, QKeySequence::Save}, {w->actRenameCatalog, QKeySequence(Qt::Key_F2)},
        {w->actDeleteCatalog, QKeySequence(Qt::Key_Delete)}, {w->actCompile, QKeySequence(Qt::Key_F9)}};
    for (const auto &[action, key] : keys)
        EXPECT_EQ(action->shortcut(), key) << action->objectName().toStdString();
    QStringList letters;
    for (QAction *a : w->menuBar()->actions().first()->menu()->actions())
        if (!a->isSeparator())
            letters << a->text().section("(&", 1).left(1);
    EXPECT_EQ(letters.size(), 10);
    EXPECT_EQ(QSet<QString>(letters.begin(), letters.end()).size(), letters.size()) << letters.join(' ').toStdString();
    EXPECT_EQ(w->actCompile->property("category").toString(), "文件");
    EXPECT_FALSE(w->actCompile->icon().isNull());
    EXPECT_TRUE(w->actCloseProject->icon().isNull());
    EXPECT_EQ(w->allActions().size(), 20);
    int toolButtons = 0;
    for (QAction *a : part<QToolBar>(*w, "toolBar")->actions())
        if (!a->isSeparator()) {
            ++toolButtons;
            EXPECT_FALSE(a->icon().isNull()) << a->objectName().toStdString();
        }
    EXPECT_EQ(toolButtons, 10);
    EXPECT_FALSE(part<QWidget>(*w, "panCompile")->isVisible());
    EXPECT_TRUE(part<QLabel>(*w, "lbCompileHint")->text().isEmpty());
    EXPECT_TRUE(w->structureView()->isColumnHidden(1));
}

TEST_F(MainWindowTest, EnablingAfterStartNewSaveCloseAndChanges) {
    EXPECT_FALSE(w->actSaveProject->isEnabled());
    expectProjectCommands(false);
    expectAlwaysEnabled();

    w->actNewProjectExecute();
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_EQ(w->windowTitle(), "Zelbrin - 未命名");
    EXPECT_TRUE(w->actSaveProject->isEnabled());
    expectProjectCommands(true);

    prompts.fileNames = {path("Help.zlp")};
    w->actSaveProjectExecute();
    EXPECT_FALSE(w->actSaveProject->isEnabled());
    expectProjectCommands(true);
    EXPECT_EQ(w->windowTitle(), "Zelbrin - Help");
    EXPECT_TRUE(QFile::exists(path("Help.zlp")));

    w->AddNode(nullptr, "x", false, false, "");
    w->UpdateProjectState(true);  // what every tree-editing command ends with
    EXPECT_TRUE(w->actSaveProject->isEnabled());
    expectProjectCommands(true);

    prompts.answers = {Answer::No};
    w->actCloseProjectExecute();
    EXPECT_EQ(prompts.questions, QStringList{"是否保存所做的修改？"});
    EXPECT_FALSE(w->actSaveProject->isEnabled());
    expectProjectCommands(false);
    EXPECT_EQ(w->windowTitle(), "Zelbrin");
    EXPECT_EQ(w->structureTree().topLevelCount(), 0);
}

TEST_F(MainWindowTest, WorkingDirectoryWithoutProjectEnablesSaveOnly) {
    w->project().SetWorkCatalog(dir.path());
    w->UpdateProjectState(true);  // as the working-directory command ends
    EXPECT_TRUE(w->actSaveProject->isEnabled());
    expectProjectCommands(false);
    EXPECT_TRUE(entry("miSetWorkCatalog")->isEnabled());
    // Closing the window with no project open asks nothing.
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(prompts.questions.isEmpty());
}

TEST_F(MainWindowTest, OpenSuccessAndFailure) {
    writeProject("Doc.zlp", "<Doc><WorkCatalog/><Items><Item Caption=\"c\" FullDir=\"\">"
                            "<Item Caption=\"a.doc\" FullDir=\"/d/a.doc\"/></Item></Items></Doc>");
    prompts.fileNames = {path("Doc.zlp")};
    w->actOpenProjectExecute();
    EXPECT_EQ(w->windowTitle(), "Zelbrin - Doc");
    EXPECT_FALSE(w->actSaveProject->isEnabled());
    expectProjectCommands(true);
    ASSERT_EQ(w->structureTree().topLevelCount(), 1);
    EXPECT_TRUE(
        w->structureView()->isExpanded(w->structureTree().indexOf(w->structureTree().topLevel(0))));

    // A missing file reads nothing: tree and name stay, Modified is cleared.
    w->UpdateProjectState(true);
    prompts.answers = {Answer::No};
    prompts.fileNames = {path("missing.zlp")};
    w->actOpenProjectExecute();
    EXPECT_EQ(w->project().FileName, path("Doc.zlp"));
    EXPECT_EQ(w->structureTree().topLevelCount(), 1);
    EXPECT_FALSE(w->project().Modified);
    EXPECT_TRUE(prompts.notices.isEmpty());

    // A file that is not a project shows a notice naming it and changes nothing.
    writeProject("Broken.zlp", "<Broken><Items>");
    w->UpdateProjectState(true);
    prompts.answers = {Answer::No};
    prompts.fileNames = {path("Broken.zlp")};
    w->actOpenProjectExecute();
    ASSERT_EQ(prompts.notices.size(), 1);
    EXPECT_TRUE(prompts.notices[0].contains(path("Broken.zlp")));
    EXPECT_TRUE(w->project().Modified);
    EXPECT_EQ(w->project().FileName, path("Doc.zlp"));
    EXPECT_EQ(w->structureTree().topLevelCount(), 1);

    // Cancelling the open dialog changes nothing.
    prompts.answers = {Answer::No};
    prompts.fileNames = {""};
    w->actOpenProjectExecute();
    EXPECT_TRUE(w->project().Modified);
}

TEST_F(MainWindowTest, SaveQuestionPaths) {
    w->actNewProjectExecute();
    w->AddNode(nullptr, "keep me", false, false, "");

    // Cancel: nothing happens.
    prompts.answers = {Answer::Cancel};
    w->actNewProjectExecute();
    EXPECT_EQ(w->structureTree().topLevelCount(), 1);
    EXPECT_TRUE(w->project().Modified);

    // Yes, then the save dialog is cancelled: the New does not happen either.
    prompts.answers = {Answer::Yes};
    prompts.fileNames = {""};
    w->actNewProjectExecute();
    EXPECT_EQ(w->structureTree().topLevelCount(), 1);
    EXPECT_TRUE(w->project().Modified);

    // Yes with a write that is refused (invalid project name): still kept.
    prompts.answers = {Answer::Yes};
    prompts.fileNames = {path("1 bad.zlp")};
    w->actCloseProjectExecute();
    EXPECT_FALSE(w->project().Closed);
    EXPECT_EQ(w->structureTree().topLevelCount(), 1);
    EXPECT_TRUE(w->project().Modified);
    EXPECT_FALSE(QFile::exists(path("1 bad.zlp")));

    // Yes with a declined overwrite keeps the changes, and Save stays enabled.
    writeProject("Exists.zlp", "other");
    prompts.answers = {Answer::Yes, Answer::No};
    prompts.fileNames = {path("Exists.zlp")};
    w->actNewProjectExecute();
    EXPECT_EQ(prompts.questions.last(), "文件已经存在！是否覆盖？");
    EXPECT_EQ(w->structureTree().topLevelCount(), 1);
    EXPECT_TRUE(w->actSaveProject->isEnabled());

    // Yes with a written file goes on.
    prompts.answers = {Answer::Yes};
    prompts.fileNames = {path("Good.zlp")};
    w->actNewProjectExecute();
    EXPECT_TRUE(QFile::exists(path("Good.zlp")));
    EXPECT_EQ(w->structureTree().topLevelCount(), 0);
    EXPECT_EQ(w->windowTitle(), "Zelbrin - 未命名");

    // No: the changes are dropped.
    w->AddNode(nullptr, "dropped", false, false, "");
    prompts.answers = {Answer::No};
    w->actCloseProjectExecute();
    EXPECT_TRUE(w->project().Closed);
    EXPECT_EQ(prompts.unexpected, 0);
}

TEST_F(MainWindowTest, SaveDeclinedOrFailedKeepsModified) {
    w->actNewProjectExecute();
    writeProject("Taken.zlp", "x");
    prompts.fileNames = {path("Taken.zlp")};
    prompts.answers = {Answer::No};
    w->actSaveProjectExecute();
    EXPECT_TRUE(w->project().Modified);
    EXPECT_TRUE(w->actSaveProject->isEnabled());
    // Saving into a folder that does not exist fails and says so.
    prompts.fileNames = {path("no/such/folder/P.zlp")};
    w->actSaveProjectExecute();
    EXPECT_TRUE(w->project().Modified);
    ASSERT_EQ(prompts.notices.size(), 1);
    EXPECT_TRUE(prompts.notices[0].startsWith("保存文件时发生错误："));
}

TEST_F(MainWindowTest, CloseQueryAsksOnlyForAnOpenModifiedProject) {
    w->actNewProjectExecute();
    prompts.answers = {Answer::Cancel};
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(prompts.questions, QStringList{"是否保存所做的修改？"});

    // Yes and a cancelled save dialog keeps the window open.
    prompts.answers = {Answer::Yes};
    prompts.fileNames = {""};
    EXPECT_FALSE(w->close());

    prompts.answers = {Answer::Yes};
    prompts.fileNames = {path("Q.zlp")};
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(QFile::exists(path("Q.zlp")));
}

TEST_F(MainWindowTest, QuitWithNoQuestionWhenUnmodified) {
    w->actNewProjectExecute();
    w->UpdateProjectState(false);
    w->actQuitExecute();
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(prompts.questions.isEmpty());
}

TEST_F(MainWindowTest, AddNodeDrivesFocusAndEditor) {
    w->actNewProjectExecute();
    TreeNode *a = w->AddNode(nullptr, "", false, true, "");
    EXPECT_EQ(w->focusedNode(), a);
    // The editor is open, and opening it used up the editing option.
    EXPECT_TRUE(w->structureView()->isEditing());
    EXPECT_FALSE(w->inPlaceEditing());
    TreeNode *file = w->AddNode(a, "f.doc", false, false, "/d/f.doc");
    EXPECT_EQ(w->focusedNode(), a);  // a file link leaves the focus alone
    EXPECT_EQ(file->imageIndex, ImageIndex::Page);
    TreeNode *b = w->AddNode(nullptr, "b", false, false, "");
    TreeNode *c = w->AddNode(nullptr, "c", true, false, "/d/c.doc");
    EXPECT_EQ(w->focusedNode(), c);
    EXPECT_FALSE(w->inPlaceEditing());
    EXPECT_EQ(b->imageIndex, ImageIndex::Catalog);
    EXPECT_EQ(c->imageIndex, ImageIndex::Catalog);
}

TEST_F(MainWindowTest, OpeningAProjectWithoutWorkingDirectoryEmptiesTheList) {
    QFile doc(path("a.doc"));
    ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
    doc.close();
    w->project().SetWorkCatalog(dir.path());
    ASSERT_EQ(w->fileList()->topLevelItemCount(), 1);
    writeProject("NoDir.zlp", "<NoDir><Items/></NoDir>");
    prompts.fileNames = {path("NoDir.zlp")};
    w->actOpenProjectExecute();
    EXPECT_TRUE(w->project().WorkCatalog.isEmpty());
    EXPECT_EQ(w->fileList()->topLevelItemCount(), 0);
}
