#include "boundaction.h"
#include "mainwindow.h"
#include "scriptedprompts.h"
#include "structureview.h"
#include "windowparts.h"
#include "filelistwidget.h"

#include <QAction>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QSettings>
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
    std::unique_ptr<MainWindow> w;

    void SetUp() override {
        w = std::make_unique<MainWindow>(MainWindowOptions{&prompts, false});
        w->show();
    }
    void TearDown() override {
        w->project().setModified(false);  // let the window close without questions
        w.reset();
    }
    QString path(const QString &name) const { return dir.path() + "/" + name; }
    QAction *entry(const char *name) const { return part<QAction>(*w, name); }

    QList<QAction *> projectDependent() const {
        return {entry("compileAction"),
                entry("closeProjectAction"),
                entry("newSiblingCatalogAction"),
                entry("newChildCatalogAction"),
                entry("deleteSelectedNodesAction"),
                entry("renameFocusedNodeAction"),
                entry("placeDocumentsAction"),
                entry("placeAllDocumentsAction"),
                entry("removeDocumentsAction"),
                entry("removeAllDocumentsAction"),
                entry("newSiblingCatalogTreeEntry"),
                entry("newChildCatalogTreeEntry"),
                entry("chooseWorkCatalogTool"),
                entry("chooseWorkCatalogListEntry"),
                entry("editProjectSettingsAction")};
    }
    void expectProjectCommands(bool enabled) {
        for (QAction *a : projectDependent())
            EXPECT_EQ(a->isEnabled(), enabled) << a->objectName().toStdString();
    }
    void expectAlwaysEnabled() {
        for (QAction *a :
             {entry("newProjectAction"), entry("openProjectAction"), entry("quitAction"),
              entry("decompileHelpFileAction"), entry("askProductNumberAction"),
              entry("moveNodeUpAction"), entry("moveNodeDownAction"), entry("promoteNodeAction"),
              entry("chooseWorkCatalogAction"), entry("chooseWorkCatalogMenuEntry"),
              entry("renameFocusedNodeTreeEntry"), entry("deleteSelectedNodesTreeEntry")})
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
    EXPECT_EQ(part<QGroupBox>(*w, "structureBox")->title(), "CHM结构");
    EXPECT_EQ(part<QGroupBox>(*w, "fileListBox")->title(), "本地文件目录");
    QStringList menus;
    for (QAction *a : w->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{"文件(&F)", "目录(&C)", "编辑(&E)", "节点(&N)", "其他(&O)"}));
    EXPECT_EQ(entry("chooseWorkCatalogMenuEntry")->text(), "设置本地文件目录(&W)");
    EXPECT_EQ(entry("chooseWorkCatalogMenuEntry")->toolTip(), "设置设置本地文件目录目录");
    EXPECT_EQ(entry("chooseWorkCatalogTool")->toolTip(), "设置文件目录");
    EXPECT_EQ(entry("compileTool")->toolTip(), "编译成CHM");
    EXPECT_EQ(entry("compileAction")->text(), "编译(&B)");
    // The keys people expect, and one accelerator letter per entry of 文件.
    const QList<std::pair<QAction *, QKeySequence>> keys = {
        {entry("newProjectAction"), QKeySequence::New},
        {entry("openProjectAction"), QKeySequence::Open},
        {entry("saveProjectAction"), QKeySequence::Save},
        {entry("renameFocusedNodeAction"), QKeySequence(Qt::Key_F2)},
        {entry("deleteSelectedNodesAction"), QKeySequence(Qt::Key_Delete)},
        {entry("compileAction"), QKeySequence(Qt::Key_F9)}};
    for (const auto &[action, key] : keys)
        EXPECT_EQ(action->shortcut(), key) << action->objectName().toStdString();
    QStringList letters;
    for (QAction *a : w->menuBar()->actions().first()->menu()->actions())
        if (!a->isSeparator())
            letters << a->text().section("(&", 1).left(1);
    EXPECT_EQ(letters.size(), 11);
    EXPECT_EQ(QSet<QString>(letters.begin(), letters.end()).size(), letters.size()) << letters.join(' ').toStdString();
    EXPECT_EQ(entry("compileAction")->property("category").toString(), "文件");
    EXPECT_FALSE(entry("compileAction")->icon().isNull());
    EXPECT_TRUE(entry("closeProjectAction")->icon().isNull());
    EXPECT_EQ(w->allActions().size(), 20);
    int toolButtons = 0;
    for (QAction *a : part<QToolBar>(*w, "toolBar")->actions())
        if (!a->isSeparator()) {
            ++toolButtons;
            EXPECT_FALSE(a->icon().isNull()) << a->objectName().toStdString();
        }
    EXPECT_EQ(toolButtons, 10);
    EXPECT_FALSE(part<QWidget>(*w, "compilePanel")->isVisible());
    EXPECT_TRUE(part<QLabel>(*w, "compileStepLabel")->text().isEmpty());
    EXPECT_TRUE(part<StructureView>(*w, "structureView")->isColumnHidden(1));
}

TEST_F(MainWindowTest, EnablingAfterStartNewSaveCloseAndChanges) {
    EXPECT_FALSE(entry("saveProjectAction")->isEnabled());
    expectProjectCommands(false);
    expectAlwaysEnabled();

    w->newProject();
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_EQ(w->windowTitle(), "Zelbrin - 未命名[*]");
    EXPECT_TRUE(entry("saveProjectAction")->isEnabled());
    expectProjectCommands(true);

    prompts.fileNames = {path("Help.zlp")};
    w->saveProject();
    EXPECT_FALSE(entry("saveProjectAction")->isEnabled());
    expectProjectCommands(true);
    EXPECT_EQ(w->windowTitle(), "Zelbrin - Help[*]");
    EXPECT_TRUE(QFile::exists(path("Help.zlp")));

    w->addNode(nullptr, "x", false, false, "");
    w->setProjectModified(true);  // what every tree-editing command ends with
    EXPECT_TRUE(entry("saveProjectAction")->isEnabled());
    expectProjectCommands(true);

    prompts.answers = {Answer::No};
    w->closeProject();
    EXPECT_EQ(prompts.questions, QStringList{"是否保存所做的修改？"});
    EXPECT_FALSE(entry("saveProjectAction")->isEnabled());
    expectProjectCommands(false);
    EXPECT_EQ(w->windowTitle(), "Zelbrin");
    EXPECT_EQ(w->project().tree().topLevelCount(), 0);
}

TEST_F(MainWindowTest, WorkingDirectoryWithoutProjectEnablesSaveOnlyAndIsRemembered) {
    QFile doc(path("a.doc"));
    ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
    doc.close();
    w->project().setWorkCatalog(dir.path());
    w->setProjectModified(true);  // as the working-directory command ends
    EXPECT_TRUE(entry("saveProjectAction")->isEnabled());
    expectProjectCommands(false);
    EXPECT_TRUE(entry("chooseWorkCatalogMenuEntry")->isEnabled());
    EXPECT_FALSE(w->isWindowModified());  // no project, no mark
    // Closing the window with no project open asks nothing.
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(prompts.questions.isEmpty());

    // The next start shows the same folder's documents, with no project and nothing to save.
    w = std::make_unique<MainWindow>(MainWindowOptions{&prompts, false});
    w->show();
    EXPECT_EQ(w->project().workCatalog(), dir.path());
    EXPECT_EQ(part<FileListWidget>(*w, "fileList")->topLevelItemCount(), 1);
    EXPECT_FALSE(w->project().isModified());
    // A working directory chosen with no project open goes on into the new project: New
    // asks nothing about it.
    w->setProjectModified(true);
    w->newProject();
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_EQ(w->project().workCatalog(), dir.path());
    workbenchSettings()->remove("workCatalog");
}

TEST_F(MainWindowTest, TitleNamesTheProjectAndMarksWhatTheUndoStackHasNotSaved) {
    EXPECT_EQ(w->windowTitle(), "Zelbrin");
    EXPECT_FALSE(w->isWindowModified());
    w->newProject();
    EXPECT_EQ(w->windowTitle(), "Zelbrin - 未命名[*]");
    EXPECT_TRUE(w->isWindowModified());  // new, never saved
    prompts.fileNames = {path("Help.zlp")};
    w->saveProject();
    EXPECT_EQ(w->windowTitle(), "Zelbrin - Help[*]");
    EXPECT_FALSE(w->isWindowModified());

    QAction *undo = entry("undoAction");
    QAction *redo = entry("redoAction");
    w->newSiblingCatalog();
    part<StructureView>(*w, "structureView")->commitOpenEditor();
    EXPECT_TRUE(w->isWindowModified());
    undo->trigger();
    EXPECT_FALSE(w->isWindowModified());  // back at the saved state
    redo->trigger();
    EXPECT_TRUE(w->isWindowModified());
    w->saveProject();  // the saved state moves on
    EXPECT_FALSE(w->isWindowModified());
    undo->trigger();
    EXPECT_TRUE(w->isWindowModified());
    EXPECT_TRUE(entry("saveProjectAction")->isEnabled());
    redo->trigger();
    EXPECT_FALSE(w->isWindowModified());
    EXPECT_FALSE(entry("saveProjectAction")->isEnabled());

    // Closing and opening start a history of their own.
    w->closeProject();
    EXPECT_EQ(w->windowTitle(), "Zelbrin");
    EXPECT_FALSE(undo->isEnabled());
    w->newProject();
    w->newSiblingCatalog();
    part<StructureView>(*w, "structureView")->commitOpenEditor();
    EXPECT_TRUE(undo->isEnabled());
    prompts.answers = {Answer::No};
    prompts.fileNames = {path("Help.zlp")};
    w->openProject();
    EXPECT_EQ(w->windowTitle(), "Zelbrin - Help[*]");
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());
    EXPECT_EQ(w->project().tree().topLevelCount(), 1);
}

TEST_F(MainWindowTest, TheEmptyTreeSaysWhatToDoFirst) {
    auto *view = part<StructureView>(*w, "structureView");
    auto shown = [view] { return view->viewport()->grab().toImage(); };
    EXPECT_EQ(view->emptyHint(), "设置本地文件目录 → 新建工程 → 拖入文档 → 编译");
    const QImage hint = shown();
    view->setEmptyHint({});
    EXPECT_NE(shown(), hint);  // the line is drawn

    w->newProject();
    EXPECT_EQ(view->emptyHint(), "新建同级目录 → 拖入文档 → 编译");
    // A tree with nodes shows no hint.
    w->addNode(nullptr, "C", false, false, "");
    const QImage tree = shown();
    view->setEmptyHint({});
    EXPECT_EQ(shown(), tree);

    w->setProjectModified(false);
    w->closeProject();
    EXPECT_EQ(view->emptyHint(), "设置本地文件目录 → 新建工程 → 拖入文档 → 编译");
}

TEST_F(MainWindowTest, OpenSuccessAndFailure) {
    writeProject("Doc.zlp", "<Doc><WorkCatalog/><Items><Item Caption=\"c\" FullDir=\"\">"
                            "<Item Caption=\"a.doc\" FullDir=\"/d/a.doc\"/></Item></Items></Doc>");
    prompts.fileNames = {path("Doc.zlp")};
    w->openProject();
    EXPECT_EQ(w->windowTitle(), "Zelbrin - Doc[*]");
    EXPECT_FALSE(entry("saveProjectAction")->isEnabled());
    expectProjectCommands(true);
    ASSERT_EQ(w->project().tree().topLevelCount(), 1);
    EXPECT_TRUE(part<StructureView>(*w, "structureView")
                    ->isExpanded(w->project().tree().indexOf(w->project().tree().topLevel(0))));

    // A missing file reads nothing: tree and name stay, Modified is cleared.
    w->setProjectModified(true);
    prompts.answers = {Answer::No};
    prompts.fileNames = {path("missing.zlp")};
    w->openProject();
    EXPECT_EQ(w->project().fileName(), path("Doc.zlp"));
    EXPECT_EQ(w->project().tree().topLevelCount(), 1);
    EXPECT_FALSE(w->project().isModified());
    EXPECT_TRUE(prompts.notices.isEmpty());

    // A file that is not a project shows a notice naming it and changes nothing.
    writeProject("Broken.zlp", "<Broken><Items>");
    w->setProjectModified(true);
    prompts.answers = {Answer::No};
    prompts.fileNames = {path("Broken.zlp")};
    w->openProject();
    ASSERT_EQ(prompts.notices.size(), 1);
    EXPECT_TRUE(prompts.notices[0].contains(path("Broken.zlp")));
    EXPECT_TRUE(w->project().isModified());
    EXPECT_EQ(w->project().fileName(), path("Doc.zlp"));
    EXPECT_EQ(w->project().tree().topLevelCount(), 1);

    // Cancelling the open dialog changes nothing.
    prompts.answers = {Answer::No};
    prompts.fileNames = {""};
    w->openProject();
    EXPECT_TRUE(w->project().isModified());
}

TEST_F(MainWindowTest, SaveQuestionPaths) {
    w->newProject();
    w->addNode(nullptr, "keep me", false, false, "");

    // Cancel: nothing happens.
    prompts.answers = {Answer::Cancel};
    w->newProject();
    EXPECT_EQ(w->project().tree().topLevelCount(), 1);
    EXPECT_TRUE(w->project().isModified());

    // Yes, then the save dialog is cancelled: the New does not happen either.
    prompts.answers = {Answer::Yes};
    prompts.fileNames = {""};
    w->newProject();
    EXPECT_EQ(w->project().tree().topLevelCount(), 1);
    EXPECT_TRUE(w->project().isModified());

    // Yes with a write that is refused (invalid project name): still kept.
    prompts.answers = {Answer::Yes};
    prompts.fileNames = {path("1 bad.zlp")};
    w->closeProject();
    EXPECT_TRUE(w->project().isOpen());
    EXPECT_EQ(w->project().tree().topLevelCount(), 1);
    EXPECT_TRUE(w->project().isModified());
    EXPECT_FALSE(QFile::exists(path("1 bad.zlp")));

    // Yes with a declined overwrite keeps the changes, and Save stays enabled.
    writeProject("Exists.zlp", "other");
    prompts.answers = {Answer::Yes, Answer::No};
    prompts.fileNames = {path("Exists.zlp")};
    w->newProject();
    EXPECT_EQ(prompts.questions.last(), "文件已经存在！是否覆盖？");
    EXPECT_EQ(w->project().tree().topLevelCount(), 1);
    EXPECT_TRUE(entry("saveProjectAction")->isEnabled());

    // Yes with a written file goes on.
    prompts.answers = {Answer::Yes};
    prompts.fileNames = {path("Good.zlp")};
    w->newProject();
    EXPECT_TRUE(QFile::exists(path("Good.zlp")));
    EXPECT_EQ(w->project().tree().topLevelCount(), 0);
    EXPECT_EQ(w->windowTitle(), "Zelbrin - 未命名[*]");

    // No: the changes are dropped.
    w->addNode(nullptr, "dropped", false, false, "");
    prompts.answers = {Answer::No};
    w->closeProject();
    EXPECT_FALSE(w->project().isOpen());
    EXPECT_EQ(prompts.unexpected, 0);
}

TEST_F(MainWindowTest, SaveDeclinedOrFailedKeepsModified) {
    w->newProject();
    writeProject("Taken.zlp", "x");
    prompts.fileNames = {path("Taken.zlp")};
    prompts.answers = {Answer::No};
    w->saveProject();
    EXPECT_TRUE(w->project().isModified());
    EXPECT_TRUE(entry("saveProjectAction")->isEnabled());
    // Saving into a folder that does not exist fails and says so.
    prompts.fileNames = {path("no/such/folder/P.zlp")};
    w->saveProject();
    EXPECT_TRUE(w->project().isModified());
    ASSERT_EQ(prompts.notices.size(), 1);
    EXPECT_TRUE(prompts.notices[0].startsWith("保存文件时发生错误："));
}

TEST_F(MainWindowTest, CloseQueryAsksOnlyForAnOpenModifiedProject) {
    w->newProject();
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
    w->newProject();
    w->setProjectModified(false);
    w->quit();
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(prompts.questions.isEmpty());
}

TEST_F(MainWindowTest, AddNodeDrivesFocusAndEditor) {
    w->newProject();
    TreeNode *a = w->addNode(nullptr, "", false, true, "");
    EXPECT_EQ(w->focusedNode(), a);
    // The editor is open, and opening it used up the editing option.
    EXPECT_TRUE(part<StructureView>(*w, "structureView")->isEditing());
    EXPECT_FALSE(w->inPlaceEditing());
    TreeNode *file = w->addNode(a, "f.doc", false, false, "/d/f.doc");
    EXPECT_EQ(w->focusedNode(), a);  // a file link leaves the focus alone
    EXPECT_EQ(file->imageIndex, ImageIndex::Page);
    TreeNode *b = w->addNode(nullptr, "b", false, false, "");
    TreeNode *c = w->addNode(nullptr, "c", true, false, "/d/c.doc");
    EXPECT_EQ(w->focusedNode(), c);
    EXPECT_FALSE(w->inPlaceEditing());
    EXPECT_EQ(b->imageIndex, ImageIndex::Catalog);
    EXPECT_EQ(c->imageIndex, ImageIndex::Catalog);
}

TEST_F(MainWindowTest, OpeningAProjectWithoutWorkingDirectoryEmptiesTheList) {
    QFile doc(path("a.doc"));
    ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
    doc.close();
    w->project().setWorkCatalog(dir.path());
    ASSERT_EQ(part<FileListWidget>(*w, "fileList")->topLevelItemCount(), 1);
    writeProject("NoDir.zlp", "<NoDir><Items/></NoDir>");
    prompts.fileNames = {path("NoDir.zlp")};
    w->openProject();
    EXPECT_TRUE(w->project().workCatalog().isEmpty());
    EXPECT_EQ(part<FileListWidget>(*w, "fileList")->topLevelItemCount(), 0);
}
