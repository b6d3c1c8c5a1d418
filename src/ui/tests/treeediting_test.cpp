// Editing the structure tree by hand: new catalogs, renaming, clicks, Delete, moves,
// the tree's context menu and the node-properties dialog.
#include "boundaction.h"
#include "nodepropertiesdialog.h"
#include "projectfile.h"
#include "projectsettingsdialog.h"
#include "workbenchfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace zelbrin;
using namespace zelbrin::ui;
using namespace zelbrin::ui::testing;
using Answer = UserPrompts::Answer;

namespace {

const QString kDeleteQuestion =
    QString::fromUtf8("删除目录后，该目录下的子目录和文件链接都会被删除！\r\n确定要删除吗？");

struct TreeEditingTest : WorkbenchTest {
    QLineEdit *editorOf(const TreeNode *n) const {
        return qobject_cast<QLineEdit *>(view()->indexWidget(idx(n)));
    }
    void click(const TreeNode *n) {
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, centerOf(n));
    }
    void closeAnyEditor(const TreeNode *n) {
        if (QLineEdit *e = editorOf(n))
            QTest::keyClick(e, Qt::Key_Escape);
    }
};

}  // namespace

TEST_F(TreeEditingTest, NewSiblingAndChildAppendAndOpenTheEditor) {
    markSaved();
    w->newSiblingCatalog();  // nothing focused: a top-level catalog
    ASSERT_EQ(m->topLevelCount(), 1);
    TreeNode *first = m->topLevel(0);
    EXPECT_EQ(first->caption, "新建目录");
    EXPECT_EQ(first->imageIndex, ImageIndex::Catalog);
    EXPECT_EQ(w->focusedNode(), first);
    EXPECT_NE(editorOf(first), nullptr);
    EXPECT_FALSE(w->inPlaceEditing());  // the opening editor used the option up
    EXPECT_TRUE(modified());
    closeAnyEditor(first);

    w->newSiblingCatalog();
    EXPECT_EQ(captions(nullptr), (QStringList{"新建目录", "新建目录"}));
    closeAnyEditor(m->topLevel(1));

    // On the third of five children the new sibling becomes the sixth child.
    TreeNode *parent = catalog(nullptr, "P");
    QList<TreeNode *> kids;
    for (int i = 0; i < 5; ++i)
        kids << catalog(parent, QString("k%1").arg(i));
    w->setFocusedNode(kids[2]);
    w->newSiblingCatalog();
    EXPECT_EQ(captions(parent), (QStringList{"k0", "k1", "k2", "k3", "k4", "新建目录"}));
    closeAnyEditor(parent->child(5));

    // A child of a collapsed catalog, and of a file link.
    view()->collapseAll();
    w->setFocusedNode(kids[4]);
    w->newChildCatalog();
    ASSERT_EQ(kids[4]->childCount(), 1);
    EXPECT_TRUE(expanded(kids[4]));  // shown, so that its editor can be seen
    EXPECT_TRUE(expanded(parent));
    closeAnyEditor(kids[4]->child(0));
    TreeNode *file = fileLink(parent, "f.doc");
    w->setFocusedNode(file);
    w->newChildCatalog();
    ASSERT_EQ(file->childCount(), 1);
    EXPECT_EQ(file->child(0)->caption, "新建目录");
    EXPECT_EQ(w->focusedNode(), file->child(0));
}

TEST_F(TreeEditingTest, RenameMarksModifiedEvenWhenCancelled) {
    TreeNode *a = catalog(nullptr, "A");
    w->setFocusedNode(nullptr);
    markSaved();
    w->renameFocusedNode();
    EXPECT_FALSE(modified());

    w->setFocusedNode(a);
    w->renameFocusedNode();
    QLineEdit *editor = editorOf(a);
    ASSERT_NE(editor, nullptr);
    EXPECT_FALSE(w->inPlaceEditing());
    EXPECT_TRUE(modified());
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(a->caption, "A");
    EXPECT_TRUE(modified());
}

TEST_F(TreeEditingTest, SecondClickRenamesAndAChangedCaptionMarksModified) {
    TreeNode *a = catalog(nullptr, "Same");
    TreeNode *b = catalog(nullptr, "Same");
    TreeNode *c = catalog(nullptr, "Other");
    TreeNode *twin = catalog(nullptr, "Renamed");
    markSaved();
    click(a);
    EXPECT_EQ(w->rememberedCaption(), "Same");
    EXPECT_EQ(editorOf(a), nullptr);
    // Another node with the remembered caption opens its editor on the first click.
    click(b);
    QLineEdit *editor = editorOf(b);
    ASSERT_NE(editor, nullptr);
    EXPECT_FALSE(modified());
    QTest::keyClick(editor, Qt::Key_Escape);  // unchanged: not modified
    EXPECT_FALSE(modified());

    click(c);  // a different caption is only remembered
    EXPECT_EQ(editorOf(c), nullptr);
    EXPECT_EQ(w->rememberedCaption(), "Other");
    click(c);
    editor = editorOf(c);
    ASSERT_NE(editor, nullptr);
    editor->setText("Renamed");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the delegate commits on a queued call
    EXPECT_EQ(c->caption, "Renamed");
    EXPECT_TRUE(modified());
    EXPECT_EQ(m->data(idx(c), Qt::DisplayRole).toString(), "Renamed");

    // The focus moving on (as it does under a drag) ends the edit: the edited node
    // counts, even when the newly focused one carries the remembered caption.
    markSaved();
    click(c);
    click(c);
    editor = editorOf(c);
    ASSERT_NE(editor, nullptr);
    editor->setText("Again");
    w->setFocusedNode(twin);
    QCoreApplication::processEvents();
    EXPECT_EQ(editorOf(c), nullptr);
    EXPECT_EQ(c->caption, "Again");
    EXPECT_TRUE(modified());

    // An edit that leaves the caption empty, or only blanks, keeps the old caption and
    // marks nothing: an empty caption would make an invisible node.
    click(a);
    for (const char *emptied : {"", " \t "}) {
        w->renameFocusedNode();
        editor = editorOf(a);
        ASSERT_NE(editor, nullptr);
        markSaved();
        editor->setText(emptied);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();  // the delegate commits on a queued call
        EXPECT_EQ(a->caption, "Same");
        EXPECT_FALSE(modified());
    }
}

TEST_F(TreeEditingTest, ClickShowsTheDocumentNameUntilTheTreeLosesFocus) {
    QApplication::setActiveWindow(w.get());
    TreeNode *cat = catalog(nullptr, "C");
    TreeNode *file = fileLink(cat, "report.doc");
    view()->expandAll();
    view()->setFocus();
    click(file);
    EXPECT_EQ(part<QGroupBox>(*w, "structureBox")->title(), "report.doc");
    const QRect treeAt = view()->geometry();
    click(cat);
    EXPECT_EQ(part<QGroupBox>(*w, "structureBox")->title(), "");
    // The emptied title does not move the tree under the pointer.
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(view()->geometry(), treeAt);
    // The name follows the focus and the node's link while the tree has the focus.
    w->setFocusedNode(file);
    EXPECT_EQ(part<QGroupBox>(*w, "structureBox")->title(), "report.doc");
    m->setLink(file, path("changed.doc"));
    EXPECT_EQ(part<QGroupBox>(*w, "structureBox")->title(), "changed.doc");
    list()->setFocus();
    EXPECT_EQ(part<QGroupBox>(*w, "structureBox")->title(), "CHM结构");

    // Closing the project takes the name with the tree.
    click(file);
    ASSERT_EQ(part<QGroupBox>(*w, "structureBox")->title(), "changed.doc");
    markSaved();
    w->closeProject();
    EXPECT_EQ(part<QGroupBox>(*w, "structureBox")->title(), "CHM结构");
}

TEST_F(TreeEditingTest, DeleteAsksOnceForBranchesOnly) {
    TreeNode *a = catalog(nullptr, "A");
    TreeNode *a1 = fileLink(a, "a1.doc");
    TreeNode *b = catalog(nullptr, "B");
    fileLink(b, "b1.doc");
    TreeNode *c = catalog(nullptr, "C");
    TreeNode *f1 = fileLink(c, "1.doc");
    TreeNode *f2 = fileLink(c, "2.doc");
    TreeNode *f3 = fileLink(c, "3.doc");
    fileLink(c, "4.doc");
    markSaved();

    selectNodes({});
    w->deleteSelectedNodes();
    EXPECT_EQ(prompts.notices, QStringList{"请选择节点"});
    EXPECT_FALSE(modified());

    // Three file links: no question.
    selectNodes({f1, f3, f2});
    w->deleteSelectedNodes();
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_EQ(captions(c), QStringList{"4.doc"});
    EXPECT_EQ(w->focusedNode(), c->child(0));  // what now stands where 1.doc stood
    EXPECT_TRUE(modified());

    // Two branches and a child of one of them: one question; No keeps everything.
    markSaved();
    selectNodes({a, a1, b});
    prompts.answers = {Answer::No};
    w->deleteSelectedNodes();
    EXPECT_EQ(prompts.questions, QStringList{kDeleteQuestion});
    EXPECT_EQ(m->topLevelCount(), 3);
    EXPECT_FALSE(modified());

    prompts.answers = {Answer::Yes};
    w->deleteSelectedNodes();
    EXPECT_EQ(prompts.questions.size(), 2);
    EXPECT_EQ(captions(nullptr), QStringList{"C"});
    EXPECT_EQ(w->focusedNode(), m->topLevel(0));
    EXPECT_TRUE(modified());

    // Deleting the last child focuses its parent; the last node leaves no focus.
    selectNodes({c->child(0)});
    w->deleteSelectedNodes();
    EXPECT_EQ(w->focusedNode(), c);
    selectNodes({c});
    w->deleteSelectedNodes();
    EXPECT_EQ(w->focusedNode(), nullptr);
    EXPECT_EQ(m->topLevelCount(), 0);
}

TEST_F(TreeEditingTest, MoveUpRebuildsBothNodesAroundTheFocus) {
    TreeNode *a = catalog(nullptr, "A");
    TreeNode *a1 = catalog(a, "a1");
    fileLink(a1, "x.doc");
    fileLink(a, "a2.doc");
    TreeNode *b = catalog(nullptr, "B");
    TreeNode *b1 = catalog(b, "b1");
    fileLink(b1, "y.doc");
    TreeNode *c = fileLink(nullptr, "c.doc");
    view()->expandAll();
    selectNodes({a, c});
    w->setFocusedNode(b);
    markSaved();

    w->moveNodeUp();
    EXPECT_EQ(captions(nullptr), (QStringList{"B", "A", "c.doc"}));
    TreeNode *b2 = m->topLevel(0);
    TreeNode *a2 = m->topLevel(1);
    EXPECT_EQ(w->focusedNode(), b2);
    EXPECT_TRUE(expanded(b2));
    EXPECT_TRUE(expanded(a2));
    EXPECT_FALSE(expanded(b2->child(0)));  // copied descendants come up collapsed
    EXPECT_FALSE(expanded(a2->child(0)));
    EXPECT_EQ(captions(a2), (QStringList{"a1", "a2.doc"}));
    EXPECT_EQ(a2->child(1)->link, path("a2.doc"));
    EXPECT_EQ(a2->child(1)->imageIndex, ImageIndex::Page);
    EXPECT_EQ(b2->child(0)->child(0)->link, path("y.doc"));
    // The moved node joins the selection; the neighbour is not selected although A was.
    EXPECT_EQ(w->selectedNodesInDisplayOrder(), (QList<TreeNode *>{b2, m->topLevel(2)}));
    EXPECT_TRUE(modified());

    // First position: nothing, nothing marked.
    markSaved();
    w->moveNodeUp();
    EXPECT_EQ(captions(nullptr), (QStringList{"B", "A", "c.doc"}));
    EXPECT_FALSE(modified());
    w->setFocusedNode(nullptr);
    w->moveNodeUp();
    EXPECT_FALSE(modified());
}

TEST_F(TreeEditingTest, MoveDownAmongChildrenAndAtTheEnd) {
    TreeNode *p = catalog(nullptr, "P");
    TreeNode *k0 = catalog(p, "k0");
    fileLink(k0, "deep.doc");
    fileLink(p, "k1.doc");
    TreeNode *k2 = fileLink(p, "k2.doc");
    view()->expandAll();
    w->setFocusedNode(k0);
    selectNodes({});
    markSaved();
    w->moveNodeDown();
    EXPECT_EQ(captions(p), (QStringList{"k1.doc", "k0", "k2.doc"}));
    TreeNode *moved = p->child(1);
    EXPECT_EQ(w->focusedNode(), moved);
    EXPECT_TRUE(expanded(moved));
    EXPECT_EQ(w->selectedNodesInDisplayOrder(), QList<TreeNode *>{moved});
    EXPECT_TRUE(modified());

    markSaved();
    w->setFocusedNode(k2);
    w->moveNodeDown();
    EXPECT_EQ(captions(p), (QStringList{"k1.doc", "k0", "k2.doc"}));
    EXPECT_FALSE(modified());
}

TEST_F(TreeEditingTest, MoveOneLevelUpAppendsToTheGrandparent) {
    TreeNode *t = catalog(nullptr, "T");
    TreeNode *u = catalog(t, "U");
    TreeNode *v = catalog(u, "V");
    fileLink(v, "v.doc");
    fileLink(u, "w.doc");
    TreeNode *after = fileLink(t, "after.doc");
    catalog(nullptr, "Z");
    view()->expandAll();
    markSaved();

    w->setFocusedNode(v);  // depth three: last child of its grandparent T
    w->promoteNode();
    EXPECT_EQ(captions(t), (QStringList{"U", "after.doc", "V"}));
    TreeNode *v2 = t->child(2);
    EXPECT_EQ(w->focusedNode(), v2);
    EXPECT_TRUE(expanded(v2));
    EXPECT_TRUE(w->selectedNodesInDisplayOrder().contains(v2));
    EXPECT_EQ(captions(u), QStringList{"w.doc"});
    EXPECT_TRUE(modified());

    w->setFocusedNode(after);  // parent is top-level: the last top-level node
    w->promoteNode();
    EXPECT_EQ(captions(nullptr), (QStringList{"T", "Z", "after.doc"}));
    EXPECT_EQ(captions(t), (QStringList{"U", "V"}));
    EXPECT_EQ(m->topLevel(2)->link, path("after.doc"));
    EXPECT_EQ(m->topLevel(2)->imageIndex, ImageIndex::Page);

    // The former parent stays when its only child leaves.
    w->setFocusedNode(u->child(0));
    w->promoteNode();
    EXPECT_FALSE(u->hasChildren());
    EXPECT_EQ(captions(t), (QStringList{"U", "V", "w.doc"}));

    markSaved();
    w->setFocusedNode(m->topLevel(0));
    w->promoteNode();
    EXPECT_EQ(m->topLevelCount(), 3);
    EXPECT_FALSE(modified());
}

TEST_F(TreeEditingTest, ContextMenuEnabling) {
    TreeNode *cat = catalog(nullptr, "C");
    TreeNode *file = fileLink(cat, "f.doc");
    TreeNode *plain = catalog(nullptr, "Plain");
    selectNodes({});
    w->enableTreeMenuEntries();
    for (QAction *a : {entry("promoteNodeTreeEntry"), entry("moveNodeUpTreeEntry"),
                       entry("moveNodeDownTreeEntry"), entry("removeDocumentsTreeEntry"),
                       entry("removeAllDocumentsTreeEntry"), entry("editNodePropertiesTreeEntry")})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();

    selectNodes({plain});
    w->enableTreeMenuEntries();
    EXPECT_TRUE(entry("promoteNodeTreeEntry")->isEnabled());
    EXPECT_TRUE(entry("moveNodeDownTreeEntry")->isEnabled());
    EXPECT_FALSE(entry("removeDocumentsTreeEntry")->isEnabled());
    EXPECT_FALSE(entry("editNodePropertiesTreeEntry")->isEnabled());

    // The first selected node in display order decides the properties entry, whatever the
    // selection order: here the document link, which has properties of its own (its topic
    // choices).
    selectNodes({plain, file});
    w->enableTreeMenuEntries();
    EXPECT_TRUE(entry("removeDocumentsTreeEntry")->isEnabled());
    EXPECT_TRUE(entry("removeAllDocumentsTreeEntry")->isEnabled());
    EXPECT_TRUE(entry("editNodePropertiesTreeEntry")->isEnabled());
    selectNodes({plain, cat});
    w->enableTreeMenuEntries();
    EXPECT_TRUE(entry("editNodePropertiesTreeEntry")->isEnabled());
    EXPECT_FALSE(entry("removeDocumentsTreeEntry")->isEnabled());
}

TEST_F(TreeEditingTest, PropertiesDialogEditsTheUpperSelectedNode) {
    touch({"a.doc", "b.html", "c.txt", "d.htm", "e.xls", "f.ppt", "g.DOC"});
    w->project().setFileName(path("Help.zlp"));
    TreeNode *upper = catalog(nullptr, "Upper");
    w->addNode(upper, "x", false, false, "/elsewhere/x.doc");
    TreeNode *lower = catalog(nullptr, "Lower");
    fileLink(lower, "y.doc");
    view()->expandAll();
    selectNodes({lower, upper});
    w->setFocusedNode(lower);
    markSaved();

    QStringList shownFiles;
    w->setDialogRunner([&](QDialog &d) {
        auto &dlg = static_cast<NodePropertiesDialog &>(d);
        dlg.show();
        EXPECT_EQ(dlg.windowTitle(), "链接文件");
        EXPECT_EQ(dlg.title(), "Upper");
        EXPECT_EQ(dlg.link(), "");
        EXPECT_FALSE(part<QGroupBox>(dlg, "topicChoices")->isVisible());
        auto *files = part<QListWidget>(dlg, "fileChoices");
        for (int i = 0; i < files->count(); ++i)
            shownFiles << files->item(i)->text();
        QListWidgetItem *item = files->findItems("c.txt", Qt::MatchExactly).value(0);
        EXPECT_NE(item, nullptr);
        if (item)
            QTest::mouseClick(files->viewport(), Qt::LeftButton, {},
                              files->visualItemRect(item).center());
        EXPECT_EQ(dlg.title(), "Upper");
        dlg.setTitle("  新标题 \t");
        part<QPushButton>(dlg, "okButton")->click();
        return dlg.result();
    });
    w->editNodeProperties();
    EXPECT_EQ(shownFiles, (QStringList{"a.doc", "b.html", "c.txt", "d.htm", "g.DOC"}));
    EXPECT_EQ(upper->caption, "新标题");
    EXPECT_EQ(upper->link, path("c.txt"));
    EXPECT_EQ(lower->caption, "Lower");
    EXPECT_EQ(upper->imageIndex, ImageIndex::Catalog);
    EXPECT_EQ(upper->childCount(), 1);
    EXPECT_TRUE(modified());

    // Cancel changes nothing.
    markSaved();
    w->setDialogRunner([&](QDialog &d) {
        auto &dlg = static_cast<NodePropertiesDialog &>(d);
        dlg.setTitle("ignored");
        dlg.setLink("ignored");
        part<QPushButton>(dlg, "cancelButton")->click();
        return dlg.result();
    });
    w->editNodeProperties();
    EXPECT_EQ(upper->caption, "新标题");
    EXPECT_FALSE(modified());
}

TEST_F(TreeEditingTest, PropertiesDialogFolderRules) {
    TreeNode *cat = catalog(nullptr, "C");
    TreeNode *file = fileLink(cat, "f.doc");
    TreeNode *plain = catalog(nullptr, "Plain");
    int runs = 0;
    QString shownFolder;
    int shownCount = -1;
    w->setDialogRunner([&](QDialog &d) {
        auto &dlg = static_cast<NodePropertiesDialog &>(d);
        ++runs;
        shownFolder = dlg.folder();
        shownCount = part<QListWidget>(dlg, "fileChoices")->count();
        return int(QDialog::Rejected);
    });
    // A catalog without children: no dialog.
    selectNodes({plain});
    w->editNodeProperties();
    EXPECT_EQ(runs, 0);

    // Unnamed project without working directory: an empty list.
    selectNodes({cat});
    w->editNodeProperties();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(shownCount, 0);
    // Unnamed project: the working directory.
    useScratchFolder({"w.doc"});
    w->editNodeProperties();
    EXPECT_EQ(shownFolder, dir.path());
    EXPECT_EQ(shownCount, 1);

    // The project file's folder has vanished: a notice naming it, no dialog, no change.
    // A document link lists no folder and opens all the same.
    markSaved();
    w->project().setFileName(path("gone/Help.zlp"));
    w->editNodeProperties();
    EXPECT_EQ(runs, 2);
    selectNodes({file});
    w->editNodeProperties();
    EXPECT_EQ(runs, 3);
    EXPECT_TRUE(shownFolder.isEmpty());
    ASSERT_EQ(prompts.notices.size(), 1);
    EXPECT_TRUE(prompts.notices[0].contains(path("gone/")));
    EXPECT_EQ(cat->caption, "C");
    EXPECT_FALSE(modified());
}

// The project's topic settings and a document's own choices go through their dialogs into
// the project file, and come back into the dialogs when the file is opened again. A
// choice the document leaves to the project shows as "与工程相同" with the project's value.
TEST_F(TreeEditingTest, TopicSettingsGoIntoTheProjectFileAndComeBack) {
    const char *documentChoices[] = {"splitLevelChoice", "contentsDepthChoice",
                                     "headingKeywordsChoice", "indexKeywordsChoice"};
    TreeNode *one = catalog(nullptr, "One");
    fileLink(one, "a.doc");
    fileLink(one, "b.doc");
    markSaved();

    QStringList shown;
    const auto showProjectDialog = [&](QDialog &d, bool change) {
        EXPECT_EQ(d.windowTitle(), "工程设置");
        auto *split = part<QComboBox>(d, "splitLevelChoice");
        auto *depth = part<QComboBox>(d, "contentsDepthChoice");
        auto *headings = part<QCheckBox>(d, "headingKeywordsCheck");
        auto *index = part<QCheckBox>(d, "indexKeywordsCheck");
        shown = {split->currentText(), depth->currentText(),
                 QString::number(headings->isChecked()), QString::number(index->isChecked())};
        EXPECT_EQ(split->count(), 4);
        EXPECT_EQ(depth->count(), 10);
        if (change) {
            split->setCurrentText("二级标题");
            depth->setCurrentText("3");
            index->setChecked(true);
        }
        part<QPushButton>(d, change ? "okButton" : "cancelButton")->click();
        return d.result();
    };
    const auto showDocumentDialog = [&](QDialog &d, bool change) {
        for (const char *name : documentChoices)
            shown << part<QComboBox>(d, name)->currentText();
        EXPECT_TRUE(part<QLineEdit>(d, "linkEdit")->isReadOnly());
        EXPECT_FALSE(part<QListWidget>(d, "fileChoices")->isVisibleTo(&d));
        if (change) {
            part<QComboBox>(d, "splitLevelChoice")->setCurrentText("不拆分");
            part<QComboBox>(d, "headingKeywordsChoice")->setCurrentText("是");
        }
        part<QPushButton>(d, change ? "okButton" : "cancelButton")->click();
        return d.result();
    };

    w->setDialogRunner([&](QDialog &d) { return showProjectDialog(d, true); });
    entry("editProjectSettingsAction")->trigger();
    EXPECT_EQ(shown, (QStringList{"不拆分", "不列出", "0", "0"}));
    EXPECT_EQ(w->project().topics(), (TopicSettings{2, 3, false, true}));
    EXPECT_TRUE(modified());

    shown.clear();
    selectNodes({one->child(0)});
    w->setDialogRunner([&](QDialog &d) { return showDocumentDialog(d, true); });
    w->editNodeProperties();
    EXPECT_EQ(shown, (QStringList{"与工程相同（二级标题）", "与工程相同（3）", "与工程相同（否）",
                                  "与工程相同（是）"}));
    EXPECT_EQ(one->child(0)->topics, (TopicOverride{0, std::nullopt, true, std::nullopt}));

    prompts.fileNames.push_back(path("Help.zlp"));
    w->saveProject();
    QFile file(path("Help.zlp"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    EXPECT_TRUE(written.contains("<TopicSettings SplitLevel=\"2\" ContentsDepth=\"3\" "
                                 "IndexKeywords=\"1\"/>"))
        << written.toStdString();
    EXPECT_TRUE(written.contains("a.doc\" SplitLevel=\"0\" HeadingKeywords=\"1\""));

    w->closeProject();
    ASSERT_TRUE(w->openProjectFile(path("Help.zlp"), true));
    EXPECT_EQ(w->project().topics(), (TopicSettings{2, 3, false, true}));
    one = m->topLevel(0);
    EXPECT_EQ(one->child(0)->topics, (TopicOverride{0, std::nullopt, true, std::nullopt}));
    EXPECT_TRUE(one->child(1)->topics.isEmpty());

    // Shown again as saved; Cancel keeps them and the project unmodified.
    shown.clear();
    w->setDialogRunner([&](QDialog &d) { return showProjectDialog(d, false); });
    entry("editProjectSettingsAction")->trigger();
    EXPECT_EQ(shown, (QStringList{"二级标题", "3", "0", "1"}));
    shown.clear();
    w->setDialogRunner([&](QDialog &d) { return showDocumentDialog(d, false); });
    for (TreeNode *document : {one->child(0), one->child(1)}) {
        selectNodes({document});
        w->editNodeProperties();
    }
    EXPECT_EQ(shown, (QStringList{"不拆分", "与工程相同（3）", "是", "与工程相同（是）",
                                  "与工程相同（二级标题）", "与工程相同（3）", "与工程相同（否）",
                                  "与工程相同（是）"}));
    EXPECT_EQ(w->project().topics(), (TopicSettings{2, 3, false, true}));
    EXPECT_FALSE(modified());
}

// A project saved deeper than the tree may nest could never be opened again: no command
// builds one, and opening one keeps the project that was open.
TEST_F(TreeEditingTest, NoCommandNestsDeeperThanTheLimitAndADeepFileIsRefused) {
    useScratchFolder({"a.doc", "b.doc"});
    TreeNode *loose = fileLink(nullptr, "a.doc");
    TreeNode *deepest = nullptr;
    for (int level = 1; level <= kMaxTreeDepth; ++level)
        deepest = catalog(deepest, QStringLiteral("L%1").arg(level));
    ASSERT_EQ(depthOf(deepest), kMaxTreeDepth);
    const int nodes = m->totalCount();
    const QString refused = QStringLiteral("目录层次不能超过%1层！").arg(kMaxTreeDepth);

    w->setFocusedNode(deepest);
    w->newChildCatalog();  // new child catalog
    w->refreshFileList();
    highlight({"b.doc"});
    w->placeDocuments();  // placing a document (also what a drop from the list runs)
    w->rememberDraggedNode(loose);
    w->copyDraggedNode();  // a dragged link, copied or moved here
    w->moveDraggedNode();
    EXPECT_EQ(prompts.notices, QStringList(4, refused));
    EXPECT_EQ(m->totalCount(), nodes);
    EXPECT_FALSE(deepest->hasChildren());
    EXPECT_EQ(loose->parent(), nullptr);

    // One level above, the same commands work.
    prompts.notices.clear();
    w->setFocusedNode(deepest->parent());
    w->newChildCatalog();
    EXPECT_EQ(deepest->parent()->childCount(), 2);
    EXPECT_TRUE(prompts.notices.isEmpty());

    // A file of 100,000 levels is refused before anything changes.
    const QString file = path("deep.zlp");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<deep><WorkCatalog>/nowhere</WorkCatalog><Items>" +
                QByteArray("<Item Caption=\"x\" FullDir=\"\">").repeated(100000) +
                QByteArray("</Item>").repeated(100000) + "</Items></deep>");
    }
    w->project().setModified(false);
    const QString caption = w->windowTitle();
    prompts.notices.clear();
    prompts.fileNames.push_back(file);
    w->openProject();
    EXPECT_EQ(prompts.notices, QStringList{tooDeepProjectMessage(file)});
    EXPECT_EQ(m->totalCount(), nodes + 1);
    EXPECT_EQ(w->windowTitle(), caption);
    EXPECT_TRUE(w->project().fileName().isEmpty());
    EXPECT_EQ(w->project().workCatalog(), dir.path());
}

namespace {

// Topic choices as text: s split level, d contents depth, h heading keywords, x index
// keywords, each followed by its value, only those that are set.
QString topicsText(const TopicOverride &t) {
    QStringList set;
    const auto add = [&set](const char *key, auto value) {
        if (value)
            set << key + QString::number(int(*value));
    };
    add("s", t.splitLevel);
    add("d", t.contentsDepth);
    add("h", t.headingKeywords);
    add("x", t.indexKeywords);
    return set.isEmpty() ? QString() : "<" + set.join(' ') + ">";
}

// The tree as text: caption, link in brackets, topic choices in angle brackets, children
// in braces.
QString treeText(const StructureModel &model, const TreeNode *parent = nullptr) {
    QStringList parts;
    for (int i = 0; i < model.childCount(parent); ++i) {
        const TreeNode *n = model.childAt(parent, i);
        QString part = n->caption;
        if (!n->link.isEmpty())
            part += "[" + QFileInfo(n->link).fileName() + "]";
        part += topicsText(n->topics);
        if (n->hasChildren())
            part += "{" + treeText(model, n) + "}";
        parts << part;
    }
    return parts.join(' ');
}

// The tree and, where set, the project's topic settings.
QString projectText(const Project &project) {
    const TopicSettings &t = project.topics();
    const QString topics = topicsText({t.splitLevel, t.contentsDepth, t.headingKeywords,
                                       t.indexKeywords});
    return treeText(project.tree()) + (t.isOff() ? QString() : " 工程" + topics);
}

}  // namespace

// Every edit of the tree is one step on the undo stack: 撤销 brings the tree and the list
// back to what they were, the project to unmodified when that was the saved state, and
// 重做 does the edit again. The list follows what the edit did to the links: a document
// the tree no longer links comes back, one it links leaves.
TEST_F(TreeEditingTest, EveryEditUndoesAndRedoesWithTheList) {
    struct Tree {
        TreeNode *one, *a, *sub, *two, *b;
    };
    const struct {
        const char *edit;
        std::function<void(TreeEditingTest &, const Tree &)> run;
        QString treeAfter;
        QStringList rowsAfter;
    } cases[] = {
        {"新建同级目录", [](auto &t, auto &n) { t.w->setFocusedNode(n.two); t.w->newSiblingCatalog(); },
         "One{A[a.doc] Sub} Two{B[b.doc]} 新建目录", {"c.doc"}},
        {"新建下级目录", [](auto &t, auto &n) { t.w->setFocusedNode(n.sub); t.w->newChildCatalog(); },
         "One{A[a.doc] Sub{新建目录}} Two{B[b.doc]}", {"c.doc"}},
        {"重命名", [](auto &t, auto &n) {
             t.w->setFocusedNode(n.sub);
             t.w->renameFocusedNode();
             t.editorOf(n.sub)->setText("Renamed");
             QTest::keyClick(t.editorOf(n.sub), Qt::Key_Return);
             QCoreApplication::processEvents();  // the delegate commits on a queued call
         }, "One{A[a.doc] Renamed} Two{B[b.doc]}", {"c.doc"}},
        {"删除目录", [](auto &t, auto &n) {
             t.selectNodes({n.one});
             t.prompts.answers = {Answer::Yes};
             t.w->deleteSelectedNodes();
         }, "Two{B[b.doc]}", {"c.doc", "a.doc"}},
        {"上移", [](auto &t, auto &n) { t.w->setFocusedNode(n.two); t.w->moveNodeUp(); },
         "Two{B[b.doc]} One{A[a.doc] Sub}", {"c.doc"}},
        {"下移", [](auto &t, auto &n) { t.w->setFocusedNode(n.a); t.w->moveNodeDown(); },
         "One{Sub A[a.doc]} Two{B[b.doc]}", {"c.doc"}},
        {"左移", [](auto &t, auto &n) { t.w->setFocusedNode(n.a); t.w->promoteNode(); },
         "One{Sub} Two{B[b.doc]} A[a.doc]", {"c.doc"}},
        {"选中", [](auto &t, auto &n) { t.w->setFocusedNode(n.sub); t.highlight({"c.doc"}); t.w->placeDocuments(); },
         "One{A[a.doc] Sub{c.doc[c.doc]}} Two{B[b.doc]}", {}},
        {"全部选中", [](auto &t, auto &n) { t.w->setFocusedNode(n.b); t.w->placeAllDocuments(); },
         "One{A[a.doc] Sub} Two{B[b.doc] c.doc[c.doc]}", {}},
        {"移出", [](auto &t, auto &n) { t.selectNodes({n.a, n.b}); t.w->removeDocuments(); },
         "One{Sub} Two", {"c.doc", "b.doc", "a.doc"}},
        {"全部移出", [](auto &t, auto &n) { t.w->setFocusedNode(n.b); t.w->removeAllDocuments(); },
         "One{A[a.doc] Sub} Two", {"c.doc", "b.doc"}},
        {"拷贝", [](auto &t, auto &n) { t.w->rememberDraggedNode(n.a); t.w->setFocusedNode(n.two); t.w->copyDraggedNode(); },
         "One{A[a.doc] Sub} Two{B[b.doc] A[a.doc]}", {"c.doc"}},
        {"移动", [](auto &t, auto &n) { t.w->rememberDraggedNode(n.a); t.w->setFocusedNode(n.sub); t.w->moveDraggedNode(); },
         "One{Sub{A[a.doc]}} Two{B[b.doc]}", {"c.doc"}},
        {"目录属性设置", [](auto &t, auto &n) {
             t.selectNodes({n.two});
             t.w->setDialogRunner([&](QDialog &d) {
                 auto &dialog = static_cast<NodePropertiesDialog &>(d);
                 dialog.setTitle("Second");
                 dialog.setLink(t.path("c.doc"));
                 return int(QDialog::Accepted);
             });
             t.w->editNodeProperties();
         }, "One{A[a.doc] Sub} Second[c.doc]{B[b.doc]}", {}},
        {"目录属性设置", [](auto &t, auto &n) {
             t.selectNodes({n.b});
             t.w->setDialogRunner([&](QDialog &d) {
                 auto &dialog = static_cast<NodePropertiesDialog &>(d);
                 dialog.setTitle("Bee");
                 part<QComboBox>(dialog, "splitLevelChoice")->setCurrentText("三级标题");
                 part<QComboBox>(dialog, "indexKeywordsChoice")->setCurrentText("否");
                 return int(QDialog::Accepted);
             });
             t.w->editNodeProperties();
         }, "One{A[a.doc] Sub} Two{Bee[b.doc]<s3 x0>}", {"c.doc"}},
        {"工程设置", [](auto &t, auto &) {
             t.w->setDialogRunner([&](QDialog &d) {
                 static_cast<ProjectSettingsDialog &>(d).setTopics({2, 3, true, false});
                 return int(QDialog::Accepted);
             });
             t.entry("editProjectSettingsAction")->trigger();
         }, "One{A[a.doc] Sub} Two{B[b.doc]} 工程<s2 d3 h1 x0>", {"c.doc"}},
    };
    useScratchFolder({"a.doc", "b.doc", "c.doc"});
    QAction *undo = entry("undoAction");
    QAction *redo = entry("redoAction");
    EXPECT_EQ(undo->shortcut(), QKeySequence(QKeySequence::Undo));
    EXPECT_EQ(redo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Y));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.edit);
        prompts.answers = {Answer::No};
        w->newProject();  // a history of its own
        Tree n;
        n.one = catalog(nullptr, "One");
        n.a = w->addNode(n.one, "A", false, false, path("a.doc"));
        n.sub = catalog(n.one, "Sub");
        n.two = catalog(nullptr, "Two");
        n.b = w->addNode(n.two, "B", false, false, path("b.doc"));
        view()->expandAll();
        w->refreshFileList();
        markSaved();
        const QString treeBefore = projectText(w->project());
        const QStringList rowsBefore = rowNames();
        ASSERT_EQ(rowsBefore, QStringList{"c.doc"});
        EXPECT_FALSE(undo->isEnabled());

        c.run(*this, n);
        closeAnyEditor(w->focusedNode());
        EXPECT_EQ(projectText(w->project()), c.treeAfter);
        EXPECT_EQ(rowNames(), c.rowsAfter);
        EXPECT_TRUE(modified());
        EXPECT_EQ(undo->text(), QString("撤销 %1(&U)").arg(c.edit));

        undo->trigger();
        EXPECT_EQ(projectText(w->project()), treeBefore);
        EXPECT_EQ(rowNames(), rowsBefore);
        EXPECT_FALSE(modified());  // back at the saved state
        EXPECT_FALSE(undo->isEnabled());
        EXPECT_EQ(redo->text(), QString("重做 %1(&Y)").arg(c.edit));

        redo->trigger();
        EXPECT_EQ(projectText(w->project()), c.treeAfter);
        QStringList rows = rowNames(), expected = c.rowsAfter;
        rows.sort();
        expected.sort();
        EXPECT_EQ(rows, expected);
        EXPECT_TRUE(modified());
        EXPECT_FALSE(redo->isEnabled());
    }
}
