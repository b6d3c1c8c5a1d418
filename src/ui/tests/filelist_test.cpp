// The working-directory list: passes, hiding of linked documents, the working-directory
// command and dialog, Refresh, the list's context menu and the button strip.
#include "boundaction.h"
#include "setworkcatalogdialog.h"
#include "workbenchfixture.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace zelbrin;
using namespace zelbrin::ui;
using namespace zelbrin::ui::testing;

namespace {
struct FileListTest : WorkbenchTest {};
}  // namespace

TEST_F(FileListTest, PassesInOrderWithTheirImages) {
    touch({"b.txt", "a.doc", "c.pdf"});
    w->project().SetWorkCatalog(dir.path());
    EXPECT_EQ(rowNames(), (QStringList{"a.doc", "b.txt"}));
    EXPECT_EQ(rowImages(), (QList<int>{19, 14}));

    touch({"Z.DOC", "p.htm", "q.html", "r.HTM", "s.xls", "t.ppt", ".hidden.txt", "u.docx"});
    ASSERT_TRUE(QDir(dir.path()).mkpath("folder.doc/inner.doc"));
    w->RefreshFileList();
    EXPECT_EQ(rowNames(), (QStringList{"Z.DOC", "a.doc", "folder.doc", "p.htm", "r.HTM", "q.html",
                                       ".hidden.txt", "b.txt", "s.xls", "t.ppt"}));
    EXPECT_EQ(rowNames(1), rowNames());
    EXPECT_EQ(rowImages(), (QList<int>{19, 19, 19, 20, 20, 20, 14, 14, 14, 14}));
    EXPECT_TRUE(list()->isColumnHidden(1));

    // An empty folder argument leaves the rows alone.
    w->RefreshFileList(QString());
    EXPECT_EQ(list()->topLevelItemCount(), 10);
}

TEST_F(FileListTest, LinkedDocumentHiddenOnlyWhileANodeHasTheFocus) {
    touch({"a.doc", "b.doc"});
    TreeNode *cat = catalog(nullptr, "C");
    fileLink(cat, "a.doc");
    view()->expandAll();
    ASSERT_EQ(w->focusedNode(), cat);
    w->project().SetWorkCatalog(dir.path());
    EXPECT_EQ(rowNames(), QStringList{"b.doc"});

    w->setFocusedNode(nullptr);
    w->RefreshFileList();
    EXPECT_EQ(rowNames(), (QStringList{"a.doc", "b.doc"}));
}

TEST_F(FileListTest, LinksCompareWithAsciiLettersFolded) {
    touch({"a.doc", QString::fromUtf8("é.doc")});
    TreeNode *cat = catalog(nullptr, "C");
    // The whole path in capitals names the same document; É differs from é.
    w->AddNode(cat, "A", false, false, dir.path().toUpper() + "/A.DOC");
    w->AddNode(cat, "E", false, false, dir.path() + QString::fromUtf8("/É.doc"));
    view()->expandAll();
    w->project().SetWorkCatalog(dir.path());
    EXPECT_EQ(rowNames(), QStringList{QString::fromUtf8("é.doc")});
    EXPECT_TRUE(w->IsLinkedInTree(path("a.doc")));
    EXPECT_FALSE(w->IsLinkedInTree(path(QString::fromUtf8("é.doc"))));
}

TEST_F(FileListTest, WalkUsesTheTreesExpandedState) {
    TreeNode *x = catalog(nullptr, "X");
    TreeNode *c1 = catalog(x, "c1");
    fileLink(c1, "deep.doc");
    fileLink(x, "last.doc");
    view()->collapseAll();
    EXPECT_TRUE(w->IsLinkedInTree(path("last.doc")));
    EXPECT_FALSE(w->IsLinkedInTree(path("deep.doc")));
    view()->expandAll();
    EXPECT_TRUE(w->IsLinkedInTree(path("deep.doc")));
    // The walk changes nothing.
    EXPECT_EQ(m->totalCount(), 4);
    EXPECT_TRUE(expanded(x));
}

TEST_F(FileListTest, SetWorkCatalogRefusesMissingPathsThenAccepts) {
    touch({"a.doc"});
    QStringList initialTexts;
    w->execDialog = [&](QDialog &d) {
        auto &dlg = static_cast<TFormSetWorkCatalog &>(d);
        EXPECT_EQ(dlg.windowTitle(), "设置文件目录");
        dlg.show();
        initialTexts << dlg.Edit1->text();
        EXPECT_EQ(dlg.Edit1->selectedText(), dlg.Edit1->text());
        dlg.Edit1->setText(path("missing"));
        dlg.OK_Btn->click();
        EXPECT_NE(dlg.result(), QDialog::Accepted);
        dlg.Edit1->setText(path("a.doc"));  // a file is no folder
        dlg.OK_Btn->click();
        EXPECT_NE(dlg.result(), QDialog::Accepted);
        dlg.Edit1->setText(dir.path());
        dlg.OK_Btn->click();
        return dlg.result();
    };
    markSaved();
    w->actSetWorkCatalogExecute();
    EXPECT_EQ(initialTexts, QStringList{QCoreApplication::applicationDirPath()});
    EXPECT_EQ(prompts.notices, (QStringList{"路径不存在：" + path("missing"), "路径不存在：" + path("a.doc")}));
    EXPECT_EQ(w->project().WorkCatalog, dir.path());
    EXPECT_EQ(rowNames(), QStringList{"a.doc"});
    EXPECT_TRUE(modified());

    // The next run starts at the working directory; Escape cancels and changes nothing.
    markSaved();
    w->execDialog = [&](QDialog &d) {
        auto &dlg = static_cast<TFormSetWorkCatalog &>(d);
        dlg.show();
        initialTexts << dlg.Edit1->text();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        EXPECT_EQ(dlg.chosenFolder(), "");
        return dlg.result();
    };
    w->actSetWorkCatalogExecute();
    EXPECT_EQ(initialTexts.last(), dir.path());
    EXPECT_FALSE(modified());
    EXPECT_EQ(w->project().WorkCatalog, dir.path());
}

TEST_F(FileListTest, DialogAcceptRuleAndCancelButton) {
    touch({"f.txt"});
    EXPECT_TRUE(TFormSetWorkCatalog::acceptsPath(dir.path()));
    EXPECT_FALSE(TFormSetWorkCatalog::acceptsPath(path("f.txt")));
    EXPECT_FALSE(TFormSetWorkCatalog::acceptsPath(path("nope")));
    EXPECT_FALSE(TFormSetWorkCatalog::acceptsPath(""));

    TFormSetWorkCatalog dlg(prompts, w.get());
    dlg.setInitialFolder(dir.path());
    EXPECT_EQ(dlg.Edit1->text(), dir.path());
    dlg.setInitialFolder(path("nope"));  // a missing folder leaves the tree alone
    EXPECT_EQ(dlg.Edit1->text(), dir.path());
    dlg.Cancel_Btn->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(dlg.chosenFolder(), "");
}

TEST_F(FileListTest, ATypedRelativeFolderIsTakenAsAnAbsolutePath) {
    // Links are stored as absolute paths; one made from a relative working directory
    // would lead nowhere once the program starts in another folder.
    touch({"a.doc"});
    ASSERT_TRUE(QDir().mkpath(path("sub")));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    w->execDialog = [&](QDialog &d) {
        auto &dlg = static_cast<TFormSetWorkCatalog &>(d);
        dlg.Edit1->setText(".");
        dlg.OK_Btn->click();
        return dlg.result();
    };
    w->actSetWorkCatalogExecute();
    QDir::setCurrent(before);
    EXPECT_EQ(w->project().WorkCatalog, QFileInfo(dir.path()).absoluteFilePath());
    EXPECT_TRUE(QDir::isAbsolutePath(w->project().WorkCatalog));
    EXPECT_EQ(rowNames(), QStringList{"a.doc"});
}

TEST_F(FileListTest, WorkCatalogFromTheFileMenuWithNoProjectOpen) {
    markSaved();
    w->actCloseProjectExecute();
    ASSERT_TRUE(w->project().Closed);
    w->execDialog = [&](QDialog &d) {
        auto &dlg = static_cast<TFormSetWorkCatalog &>(d);
        dlg.Edit1->setText(dir.path());
        dlg.OK_Btn->click();
        return dlg.result();
    };
    w->W1->trigger();
    EXPECT_EQ(w->project().WorkCatalog, dir.path());
    EXPECT_TRUE(w->actSaveProject->isEnabled());
    EXPECT_FALSE(w->actSelect->isEnabled());
    EXPECT_FALSE(w->ToolButton1->isEnabled());
}

TEST_F(FileListTest, RefreshAndTheListsContextMenu) {
    markSaved();
    w->PopupMenu3Popup();
    EXPECT_FALSE(w->F2->isEnabled());
    EXPECT_FALSE(w->N15->isEnabled());
    EXPECT_FALSE(w->N16->isEnabled());
    w->F2Click();  // no working directory: nothing
    EXPECT_EQ(list()->topLevelItemCount(), 0);

    useScratchFolder({"a.doc", "b.doc"});
    w->PopupMenu3Popup();
    EXPECT_TRUE(w->F2->isEnabled());
    EXPECT_FALSE(w->N15->isEnabled());
    highlight({"b.doc"});
    w->PopupMenu3Popup();
    EXPECT_TRUE(w->N15->isEnabled());
    EXPECT_TRUE(w->N16->isEnabled());

    touch({"c.doc"});
    QFile::remove(path("a.doc"));
    w->F2Click();
    EXPECT_EQ(rowNames(), (QStringList{"b.doc", "c.doc"}));
    // A vanished working directory gives an empty list and no message.
    ASSERT_TRUE(dir.remove());
    w->F2Click();
    EXPECT_EQ(list()->topLevelItemCount(), 0);
    EXPECT_TRUE(prompts.notices.isEmpty());
    EXPECT_FALSE(modified());
}

TEST_F(FileListTest, ButtonStripPositions) {
    w->Panel1->resize(33, 203);
    w->Panel1Resize();
    EXPECT_EQ(w->SpeedButton1->geometry().topLeft(), QPoint(5, 50));
    EXPECT_EQ(w->SpeedButton2->geometry().topLeft(), QPoint(5, 90));
    EXPECT_EQ(w->SpeedButton3->geometry().topLeft(), QPoint(5, 170));
    EXPECT_EQ(w->SpeedButton4->geometry().topLeft(), QPoint(5, 210));
    for (QToolButton *b : {w->SpeedButton1, w->SpeedButton2, w->SpeedButton3, w->SpeedButton4})
        EXPECT_EQ(b->width(), 23);
    // The strip places them by itself whenever it changes size.
    w->resize(700, 600);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_GT(w->Panel1->height(), 203);
    EXPECT_EQ(w->SpeedButton1->y(), w->Panel1->height() / 4);
    EXPECT_EQ(w->SpeedButton4->y(), w->Panel1->height() / 4 + 160);
}
