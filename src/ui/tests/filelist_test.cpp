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
struct FileListTest : WorkbenchTest {
    static QLineEdit *folderEdit(QDialog &dialog) { return part<QLineEdit>(dialog, "folderEdit"); }
    static QPushButton *button(QDialog &dialog, const char *name) {
        return part<QPushButton>(dialog, name);
    }
};
}  // namespace

TEST_F(FileListTest, PassesInOrderWithTheirImages) {
    touch({"b.txt", "a.doc", "c.pdf"});
    w->project().setWorkCatalog(dir.path());
    EXPECT_EQ(rowNames(), (QStringList{"a.doc", "b.txt"}));
    EXPECT_EQ(rowImages(), (QList<int>{19, 14}));

    touch({"Z.DOC", "p.htm", "q.html", "r.HTM", "s.xls", "t.ppt", ".hidden.txt", "u.docx",
           "v.XLSX", "w.pptx", "x.odt", "y.ods", "z.odp", "old.doc.bak"});
    // A folder named like a document is no document: placed, it would fail the build.
    ASSERT_TRUE(QDir(dir.path()).mkpath("旧版本.doc/inner.doc"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("archive.xlsx"));
    w->refreshFileList();
    EXPECT_EQ(rowNames(), (QStringList{"Z.DOC", "a.doc", "p.htm", "r.HTM", "q.html", ".hidden.txt",
                                       "b.txt", "s.xls", "t.ppt", "u.docx", "v.XLSX", "w.pptx",
                                       "x.odt", "y.ods", "z.odp"}));
    EXPECT_EQ(rowNames(1), rowNames());
    EXPECT_EQ(rowImages(), (QList<int>{19, 19, 20, 20, 20, 14, 14, 14, 14, 19, 21, 22, 19, 21, 22}));
    EXPECT_TRUE(list()->isColumnHidden(1));

    // An empty folder argument leaves the rows alone.
    w->fillFileList(QString());
    EXPECT_EQ(list()->topLevelItemCount(), 15);
}

TEST_F(FileListTest, LinkedDocumentHiddenOnlyWhileANodeHasTheFocus) {
    touch({"a.doc", "b.doc"});
    TreeNode *cat = catalog(nullptr, "C");
    fileLink(cat, "a.doc");
    view()->expandAll();
    ASSERT_EQ(w->focusedNode(), cat);
    w->project().setWorkCatalog(dir.path());
    EXPECT_EQ(rowNames(), QStringList{"b.doc"});

    w->setFocusedNode(nullptr);
    w->refreshFileList();
    EXPECT_EQ(rowNames(), (QStringList{"a.doc", "b.doc"}));
}

TEST_F(FileListTest, LinksCompareWithAsciiLettersFolded) {
    touch({"a.doc", QString::fromUtf8("é.doc")});
    TreeNode *cat = catalog(nullptr, "C");
    // The whole path in capitals names the same document; É differs from é.
    w->addNode(cat, "A", false, false, dir.path().toUpper() + "/A.DOC");
    w->addNode(cat, "E", false, false, dir.path() + QString::fromUtf8("/É.doc"));
    view()->expandAll();
    w->project().setWorkCatalog(dir.path());
    EXPECT_EQ(rowNames(), QStringList{QString::fromUtf8("é.doc")});
    EXPECT_TRUE(w->isLinkedInTree(path("a.doc")));
    EXPECT_FALSE(w->isLinkedInTree(path(QString::fromUtf8("é.doc"))));
}

TEST_F(FileListTest, WalkUsesTheTreesExpandedState) {
    TreeNode *x = catalog(nullptr, "X");
    TreeNode *c1 = catalog(x, "c1");
    fileLink(c1, "deep.doc");
    fileLink(x, "last.doc");
    view()->collapseAll();
    EXPECT_TRUE(w->isLinkedInTree(path("last.doc")));
    EXPECT_FALSE(w->isLinkedInTree(path("deep.doc")));
    view()->expandAll();
    EXPECT_TRUE(w->isLinkedInTree(path("deep.doc")));
    // The walk changes nothing.
    EXPECT_EQ(m->totalCount(), 4);
    EXPECT_TRUE(expanded(x));
}

TEST_F(FileListTest, SetWorkCatalogRefusesMissingPathsThenAccepts) {
    touch({"a.doc"});
    QStringList initialTexts;
    w->setDialogRunner([&](QDialog &d) {
        auto &dlg = static_cast<SetWorkCatalogDialog &>(d);
        EXPECT_EQ(dlg.windowTitle(), "设置文件目录");
        dlg.show();
        initialTexts << folderEdit(dlg)->text();
        EXPECT_EQ(folderEdit(dlg)->selectedText(), folderEdit(dlg)->text());
        folderEdit(dlg)->setText(path("missing"));
        button(dlg, "okButton")->click();
        EXPECT_NE(dlg.result(), QDialog::Accepted);
        folderEdit(dlg)->setText(path("a.doc"));  // a file is no folder
        button(dlg, "okButton")->click();
        EXPECT_NE(dlg.result(), QDialog::Accepted);
        folderEdit(dlg)->setText(dir.path());
        button(dlg, "okButton")->click();
        return dlg.result();
    });
    markSaved();
    w->chooseWorkCatalog();
    EXPECT_EQ(initialTexts, QStringList{QCoreApplication::applicationDirPath()});
    EXPECT_EQ(prompts.notices, (QStringList{"路径不存在：" + path("missing"), "路径不存在：" + path("a.doc")}));
    EXPECT_EQ(w->project().workCatalog(), dir.path());
    EXPECT_EQ(rowNames(), QStringList{"a.doc"});
    EXPECT_TRUE(modified());

    // The next run starts at the working directory; Escape cancels and changes nothing.
    markSaved();
    w->setDialogRunner([&](QDialog &d) {
        auto &dlg = static_cast<SetWorkCatalogDialog &>(d);
        dlg.show();
        initialTexts << folderEdit(dlg)->text();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        EXPECT_EQ(dlg.chosenFolder(), "");
        return dlg.result();
    });
    w->chooseWorkCatalog();
    EXPECT_EQ(initialTexts.last(), dir.path());
    EXPECT_FALSE(modified());
    EXPECT_EQ(w->project().workCatalog(), dir.path());
}

TEST_F(FileListTest, DialogAcceptRuleAndCancelButton) {
    touch({"f.txt"});
    EXPECT_TRUE(isExistingFolder(dir.path()));
    EXPECT_FALSE(isExistingFolder(path("f.txt")));
    EXPECT_FALSE(isExistingFolder(path("nope")));
    EXPECT_FALSE(isExistingFolder(""));

    SetWorkCatalogDialog dlg(w.get());
    dlg.setInitialFolder(dir.path());
    EXPECT_EQ(folderEdit(dlg)->text(), dir.path());
    dlg.setInitialFolder(path("nope"));  // a missing folder leaves the tree alone
    EXPECT_EQ(folderEdit(dlg)->text(), dir.path());
    button(dlg, "cancelButton")->click();
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
    w->setDialogRunner([&](QDialog &d) {
        auto &dlg = static_cast<SetWorkCatalogDialog &>(d);
        folderEdit(dlg)->setText(".");
        button(dlg, "okButton")->click();
        return dlg.result();
    });
    w->chooseWorkCatalog();
    QDir::setCurrent(before);
    EXPECT_EQ(w->project().workCatalog(), QFileInfo(dir.path()).absoluteFilePath());
    EXPECT_TRUE(QDir::isAbsolutePath(w->project().workCatalog()));
    EXPECT_EQ(rowNames(), QStringList{"a.doc"});
}

TEST_F(FileListTest, WorkCatalogFromTheFileMenuWithNoProjectOpen) {
    markSaved();
    w->closeProject();
    ASSERT_FALSE(w->project().isOpen());
    w->setDialogRunner([&](QDialog &d) {
        auto &dlg = static_cast<SetWorkCatalogDialog &>(d);
        folderEdit(dlg)->setText(dir.path());
        button(dlg, "okButton")->click();
        return dlg.result();
    });
    entry("chooseWorkCatalogMenuEntry")->trigger();
    EXPECT_EQ(w->project().workCatalog(), dir.path());
    EXPECT_TRUE(entry("saveProjectAction")->isEnabled());
    EXPECT_FALSE(entry("placeDocumentsAction")->isEnabled());
    EXPECT_FALSE(entry("chooseWorkCatalogTool")->isEnabled());
}

TEST_F(FileListTest, RefreshAndTheListsContextMenu) {
    markSaved();
    w->enableFileListMenuEntries();
    EXPECT_FALSE(entry("refreshDocumentsListEntry")->isEnabled());
    EXPECT_FALSE(entry("placeDocumentsListEntry")->isEnabled());
    EXPECT_FALSE(entry("placeAllDocumentsListEntry")->isEnabled());
    w->refreshDocuments();  // no working directory: nothing
    EXPECT_EQ(list()->topLevelItemCount(), 0);

    useScratchFolder({"a.doc", "b.doc"});
    w->enableFileListMenuEntries();
    EXPECT_TRUE(entry("refreshDocumentsListEntry")->isEnabled());
    EXPECT_FALSE(entry("placeDocumentsListEntry")->isEnabled());
    highlight({"b.doc"});
    w->enableFileListMenuEntries();
    EXPECT_TRUE(entry("placeDocumentsListEntry")->isEnabled());
    EXPECT_TRUE(entry("placeAllDocumentsListEntry")->isEnabled());

    touch({"c.doc"});
    QFile::remove(path("a.doc"));
    w->refreshDocuments();
    EXPECT_EQ(rowNames(), (QStringList{"b.doc", "c.doc"}));
    // A vanished working directory gives an empty list and no message.
    ASSERT_TRUE(dir.remove());
    w->refreshDocuments();
    EXPECT_EQ(list()->topLevelItemCount(), 0);
    EXPECT_TRUE(prompts.notices.isEmpty());
    EXPECT_FALSE(modified());
}

TEST_F(FileListTest, ButtonStripPositions) {
    QWidget *strip = part<QWidget>(*w, "placeStrip");
    auto *select = part<QToolButton>(*w, "placeDocumentsButton");
    auto *selectAll = part<QToolButton>(*w, "placeAllDocumentsButton");
    auto *remove = part<QToolButton>(*w, "removeDocumentsButton");
    auto *removeAll = part<QToolButton>(*w, "removeAllDocumentsButton");
    strip->resize(33, 203);
    EXPECT_EQ(select->geometry().topLeft(), QPoint(5, 50));
    EXPECT_EQ(selectAll->geometry().topLeft(), QPoint(5, 90));
    EXPECT_EQ(remove->geometry().topLeft(), QPoint(5, 170));
    EXPECT_EQ(removeAll->geometry().topLeft(), QPoint(5, 210));
    for (QToolButton *b : {select, selectAll, remove, removeAll})
        EXPECT_EQ(b->width(), 23);
    // The strip places them by itself whenever it changes size.
    w->resize(700, 600);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_GT(strip->height(), 203);
    EXPECT_EQ(select->y(), strip->height() / 4);
    EXPECT_EQ(removeAll->y(), strip->height() / 4 + 160);
}
