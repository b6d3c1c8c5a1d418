// Placing documents into the tree and taking them out: Select, Select all, Remove,
// Remove all, double clicks, both drag-and-drop paths and the modified flag.
#include "workbenchfixture.h"

#include <QMenu>
#include <QTest>

using namespace zelbrin;
using namespace zelbrin::ui;
using namespace zelbrin::ui::testing;

namespace {

struct PlacingTest : WorkbenchTest {
    QList<QMenu *> menusShown;
    QAction *menuChoice = nullptr;

    void SetUp() override {
        WorkbenchTest::SetUp();
        w->setPopupMenuRunner([this](QMenu *menu, const QPoint &) {
            menusShown << menu;
            return menuChoice;
        });
    }
    // Press, release, then the double-click event, as a real double click arrives.
    static void doubleClick(QWidget *viewport, const QPoint &at) {
        QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    }
    // A node drag from `from` dropped on the node `onto` (empty space when null).
    bool dragNode(TreeNode *from, TreeNode *onto) {
        QMimeData *data = view()->beginNodeDrag(idx(from));
        return dragOntoTree(data, onto ? centerOf(onto) : emptySpace());
    }
};

}  // namespace

TEST_F(PlacingTest, SelectRefusesWithItsThreeMessages) {
    useScratchFolder({"a.doc"});
    markSaved();
    w->placeDocuments();
    highlight({"a.doc"});
    w->placeDocuments();
    TreeNode *cat = catalog(nullptr, "C");
    w->setFocusedNode(nullptr);
    w->placeDocuments();
    EXPECT_EQ(prompts.notices, (QStringList{"请选择文件", "请先在CHM结构中建立一个目录！",
                                            "请为这些文件选择一个目录"}));
    EXPECT_FALSE(modified());
    EXPECT_FALSE(cat->hasChildren());
    EXPECT_EQ(rowNames(), QStringList{"a.doc"});
}

TEST_F(PlacingTest, SelectIntoACatalogInTheListsOrder) {
    useScratchFolder({"c.txt", "a.doc", "b.htm", "z.doc"});
    TreeNode *cat = catalog(nullptr, "C");
    fileLink(cat, "earlier.doc");
    view()->collapseAll();
    markSaved();
    highlight({"c.txt", "a.doc", "b.htm"});
    w->placeDocuments();
    EXPECT_TRUE(expanded(cat));  // the placed documents are in sight
    EXPECT_EQ(captions(cat), (QStringList{"earlier.doc", "a.doc", "b.htm", "c.txt"}));
    EXPECT_EQ(links(cat), (QStringList{path("earlier.doc"), path("a.doc"), path("b.htm"), path("c.txt")}));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(cat->child(i)->imageIndex, ImageIndex::Page);
    EXPECT_EQ(rowNames(), QStringList{"z.doc"});
    EXPECT_EQ(w->focusedNode(), cat);
    EXPECT_TRUE(modified());
}

TEST_F(PlacingTest, SelectOntoAFileLinkUsesItsCatalogOrTheTopLevel) {
    useScratchFolder({"a.doc", "b.doc", "c.doc"});
    TreeNode *cat = catalog(nullptr, "C");
    TreeNode *inside = fileLink(cat, "x.doc");
    TreeNode *top = fileLink(nullptr, "t.doc");

    w->setFocusedNode(inside);
    highlight({"a.doc"});
    w->placeDocuments();
    EXPECT_EQ(captions(cat), (QStringList{"x.doc", "a.doc"}));

    w->setFocusedNode(top);
    highlight({"b.doc"});
    w->placeDocuments();
    EXPECT_EQ(captions(nullptr), (QStringList{"C", "t.doc", "b.doc"}));
    EXPECT_EQ(m->topLevel(2)->link, path("b.doc"));
    EXPECT_EQ(m->topLevel(2)->imageIndex, ImageIndex::Page);
}

TEST_F(PlacingTest, DuplicatesAreSkippedAndStayHighlighted) {
    useScratchFolder({"a.doc", "b.doc"});
    TreeNode *one = catalog(nullptr, "One");
    w->addNode(one, "A", false, false, dir.path().toUpper() + "/A.DOC");
    TreeNode *two = catalog(nullptr, "Two");
    w->setFocusedNode(nullptr);
    w->refreshFileList();  // nothing focused: a.doc is listed although linked
    ASSERT_EQ(rowNames(), (QStringList{"a.doc", "b.doc"}));

    w->setFocusedNode(one);
    highlight({"a.doc", "b.doc"});
    w->placeDocuments();
    EXPECT_EQ(captions(one), (QStringList{"A", "b.doc"}));
    EXPECT_EQ(rowNames(), QStringList{"a.doc"});
    EXPECT_EQ(highlightedNames(), QStringList{"a.doc"});

    // The same document may stand in another catalog.
    w->setFocusedNode(two);
    w->placeDocuments();
    EXPECT_EQ(links(two), QStringList{path("a.doc")});
    EXPECT_TRUE(rowNames().isEmpty());
}

TEST_F(PlacingTest, SelectAllPlacesEverythingAndAlwaysMarks) {
    useScratchFolder({"a.doc", "b.txt"});
    markSaved();
    w->placeAllDocuments();  // empty tree: the message, yet marked modified
    EXPECT_EQ(prompts.notices, QStringList{"请先在CHM结构中建立一个目录！"});
    EXPECT_TRUE(modified());
    EXPECT_TRUE(highlightedNames().isEmpty());

    TreeNode *cat = catalog(nullptr, "C");
    w->addNode(cat, "a", false, false, path("a.doc"));
    w->placeAllDocuments();
    EXPECT_EQ(captions(cat), (QStringList{"a", "b.txt"}));
    EXPECT_EQ(rowNames(), QStringList{"a.doc"});  // skipped duplicate, highlight cleared
    EXPECT_TRUE(highlightedNames().isEmpty());
    EXPECT_TRUE(list()->updatesEnabled());
}

TEST_F(PlacingTest, RemoveReturnsRowsBottomUp) {
    useScratchFolder({"a.doc", "b.htm", "c.DOC", "d.txt"});
    TreeNode *cat = catalog(nullptr, "C");
    w->placeAllDocuments();
    ASSERT_EQ(captions(cat), (QStringList{"a.doc", "c.DOC", "b.htm", "d.txt"}));
    view()->expandAll();

    // A catalog among the highlighted nodes: nothing at all.
    markSaved();
    selectNodes({cat->child(0), cat});
    w->removeDocuments();
    EXPECT_EQ(cat->childCount(), 4);
    EXPECT_FALSE(modified());

    // A above B: B's row comes first.
    selectNodes({cat->child(0), cat->child(2)});
    w->removeDocuments();
    EXPECT_EQ(rowNames(), (QStringList{"b.htm", "a.doc"}));
    EXPECT_EQ(rowNames(1), rowNames());
    EXPECT_EQ(rowImages(), (QList<int>{20, 19}));
    EXPECT_EQ(captions(cat), (QStringList{"c.DOC", "d.txt"}));
    EXPECT_TRUE(modified());

    // A renamed node comes back under its document's name; .DOC in capitals gets 14.
    m->setCaption(cat->child(0), "Renamed caption");
    selectNodes({cat->child(1), cat->child(0)});
    w->removeDocuments();
    EXPECT_EQ(rowNames(), (QStringList{"b.htm", "a.doc", "d.txt", "c.DOC"}));
    EXPECT_EQ(rowImages(), (QList<int>{20, 19, 14, 14}));
    // Placing the returned row again links the real document.
    w->setFocusedNode(cat);
    highlight({"c.DOC"});
    w->placeDocuments();
    EXPECT_EQ(links(cat), QStringList{path("c.DOC")});
    EXPECT_EQ(captions(cat), QStringList{"c.DOC"});
}

TEST_F(PlacingTest, RemoveAllEmptiesTheFocusedCatalog) {
    useScratchFolder({"a.doc", "b.doc", "c.doc"});
    TreeNode *cat = catalog(nullptr, "C");
    w->placeAllDocuments();
    TreeNode *withSub = catalog(nullptr, "S");
    catalog(withSub, "sub");
    TreeNode *topFile = fileLink(nullptr, "t.doc");
    markSaved();

    w->setFocusedNode(nullptr);
    w->removeAllDocuments();
    w->setFocusedNode(withSub);  // holds a catalog: nothing
    w->removeAllDocuments();
    w->setFocusedNode(topFile);  // top-level file link: nothing
    w->removeAllDocuments();
    EXPECT_EQ(withSub->childCount(), 1);
    EXPECT_EQ(m->topLevelCount(), 3);
    EXPECT_FALSE(modified());

    w->setFocusedNode(cat->child(1));  // a file link stands for its catalog
    w->removeAllDocuments();
    EXPECT_FALSE(cat->hasChildren());
    EXPECT_EQ(rowNames(), (QStringList{"c.doc", "b.doc", "a.doc"}));
    EXPECT_TRUE(modified());
}

TEST_F(PlacingTest, DoubleClicksRemoveAndSelect) {
    useScratchFolder({"a.doc", "b.doc"});
    TreeNode *cat = catalog(nullptr, "C");
    view()->expandAll();
    QTreeWidgetItem *a = row("a.doc");
    doubleClick(list()->viewport(), list()->visualItemRect(a).center());
    EXPECT_EQ(captions(cat), QStringList{"a.doc"});
    EXPECT_EQ(rowNames(), QStringList{"b.doc"});

    view()->expandAll();
    TreeNode *placed = cat->child(0);
    doubleClick(view()->viewport(), centerOf(placed));
    EXPECT_FALSE(cat->hasChildren());
    EXPECT_EQ(rowNames(), (QStringList{"b.doc", "a.doc"}));
}

TEST_F(PlacingTest, DroppingListRowsOnACatalog) {
    useScratchFolder({"a.doc", "b.doc", "c.doc"});
    TreeNode *one = catalog(nullptr, "One");
    TreeNode *file = fileLink(one, "x.doc");
    TreeNode *two = catalog(nullptr, "Two");
    view()->expandAll();
    markSaved();

    // Onto a file link: refused, nothing placed.
    highlight({"a.doc", "c.doc"});
    EXPECT_FALSE(dragOntoTree(listDragData(), centerOf(file)));
    EXPECT_EQ(w->focusedNode(), file);  // the pointer moved the focus
    EXPECT_EQ(captions(one), QStringList{"x.doc"});
    EXPECT_FALSE(modified());

    EXPECT_TRUE(dragOntoTree(listDragData(), centerOf(two)));
    EXPECT_EQ(captions(two), (QStringList{"a.doc", "c.doc"}));
    EXPECT_EQ(rowNames(), QStringList{"b.doc"});
    EXPECT_TRUE(modified());

    // Over empty space nothing is focused: Select asks for a catalog.
    highlight({"b.doc"});
    EXPECT_TRUE(dragOntoTree(listDragData(), emptySpace()));
    EXPECT_EQ(w->focusedNode(), nullptr);
    EXPECT_EQ(prompts.notices, QStringList{"请为这些文件选择一个目录"});

    // Anything not from the list or the tree is not taken.
    auto *text = new QMimeData;
    text->setText(path("b.doc"));
    EXPECT_FALSE(dragOntoTree(text, centerOf(one)));
}

TEST_F(PlacingTest, DraggingAFileLinkOffersMoveOrCopy) {
    TreeNode *one = catalog(nullptr, "One");
    TreeNode *a = fileLink(one, "a.doc");
    a->topics.splitLevel = 2;  // the document's own choices go with every copy
    a->topics.indexKeywords = false;
    TreeNode *two = catalog(nullptr, "Two");
    view()->expandAll();
    markSaved();

    // On its own catalog: accepted, but nothing is offered or changed.
    EXPECT_TRUE(dragNode(a, one));
    EXPECT_TRUE(menusShown.isEmpty());
    EXPECT_FALSE(modified());

    // Onto another catalog: the menu; dismissing it does nothing.
    EXPECT_TRUE(dragNode(a, two));
    ASSERT_EQ(menusShown.size(), 1);
    EXPECT_EQ(menusShown[0], part<QMenu>(*w, "dropMenu"));
    EXPECT_EQ(entry("moveDraggedNodeAction")->text(), "移动到此处");
    EXPECT_EQ(entry("copyDraggedNodeAction")->text(), "拷贝到此处");
    EXPECT_FALSE(two->hasChildren());
    EXPECT_EQ(w->draggedNode(), a);

    menuChoice = entry("copyDraggedNodeAction");
    view()->collapse(idx(two));
    EXPECT_TRUE(dragNode(a, two));
    EXPECT_TRUE(expanded(two));
    EXPECT_EQ(captions(two), QStringList{"a.doc"});
    EXPECT_EQ(links(two), QStringList{path("a.doc")});
    EXPECT_EQ(two->child(0)->imageIndex, ImageIndex::Page);
    EXPECT_EQ(two->child(0)->topics, a->topics);
    EXPECT_EQ(captions(one), QStringList{"a.doc"});
    EXPECT_EQ(w->draggedNode(), a);  // still remembered after a copy
    EXPECT_TRUE(modified());

    // Copy again: already linked there, nothing created, yet marked.
    markSaved();
    EXPECT_TRUE(dragNode(a, two));
    EXPECT_EQ(two->childCount(), 1);
    EXPECT_TRUE(modified());

    // Move into a catalog that already links the document leaves one link, there.
    menuChoice = entry("moveDraggedNodeAction");
    view()->expandAll();
    EXPECT_TRUE(dragNode(a, two));
    EXPECT_FALSE(one->hasChildren());
    EXPECT_EQ(links(two), QStringList{path("a.doc")});
    EXPECT_EQ(w->draggedNode(), nullptr);

    // Move to the top level (dropped on empty space).
    TreeNode *b = fileLink(one, "b.doc");
    b->topics.contentsDepth = 4;
    view()->expandAll();
    EXPECT_TRUE(dragNode(b, nullptr));
    EXPECT_EQ(captions(nullptr), (QStringList{"One", "Two", "b.doc"}));
    EXPECT_EQ(m->topLevel(2)->topics, TopicOverride{.contentsDepth = 4});
    EXPECT_FALSE(one->hasChildren());
}

TEST_F(PlacingTest, NodeDropsThatAreRefused) {
    TreeNode *one = catalog(nullptr, "One");
    TreeNode *a = fileLink(one, "a.doc");
    TreeNode *b = fileLink(one, "b.doc");
    TreeNode *two = catalog(nullptr, "Two");
    TreeNode *page = w->addNode(nullptr, "Page", false, false, path("p.doc"));
    TreeNode *pageChild = catalog(page, "under");
    view()->expandAll();
    menuChoice = entry("moveDraggedNodeAction");
    markSaved();

    EXPECT_FALSE(dragNode(a, b));           // onto a file link
    EXPECT_FALSE(dragNode(one, two));       // a catalog
    EXPECT_FALSE(dragNode(page, two));      // a file link that has children
    EXPECT_FALSE(dragNode(page, pageChild));
    // A remembered node that has been deleted since no longer counts.
    QMimeData *data = view()->beginNodeDrag(idx(a));
    selectNodes({a});
    w->deleteSelectedNodes();
    EXPECT_EQ(w->draggedNode(), nullptr);
    EXPECT_FALSE(dragOntoTree(data, centerOf(two)));
    EXPECT_TRUE(menusShown.isEmpty());
    EXPECT_EQ(captions(two), QStringList{});
    EXPECT_EQ(page->childCount(), 1);
}

TEST_F(PlacingTest, LookingAndRefreshingDoNotMarkModified) {
    useScratchFolder({"a.doc"});
    TreeNode *cat = catalog(nullptr, "C");
    markSaved();
    w->refreshDocuments();
    w->refreshFileList();
    w->enableTreeMenuEntries();
    w->enableFileListMenuEntries();
    EXPECT_FALSE(modified());

    highlight({"a.doc"});
    w->setFocusedNode(cat);
    w->placeDocuments();
    EXPECT_TRUE(modified());
}

// Inside a drag loop of our own the drop waits for the loop to end, like an end-of-drag
// event; what happens then is the same as for a drop from outside.
// (The offscreen platform has no drag loop of its own; scripts/xsession.sh drives the
// real one under X.)
TEST_F(PlacingTest, DropsInsideOurOwnDragLoopWaitForItsEnd) {
    useScratchFolder({"a.doc", "b.doc"});
    TreeNode *one = catalog(nullptr, "One");
    TreeNode *two = catalog(nullptr, "Two");

    highlight({"a.doc"});
    emit list()->dragLoopStarted();
    EXPECT_TRUE(dragOntoTree(listDragData(), centerOf(one)));
    EXPECT_FALSE(one->hasChildren());
    emit list()->dragLoopFinished();
    EXPECT_EQ(captions(one), QStringList{"a.doc"});
    EXPECT_EQ(rowNames(), QStringList{"b.doc"});

    // A drag that ends elsewhere leaves nothing behind to act on later.
    emit list()->dragLoopStarted();
    emit list()->dragLoopFinished();
    EXPECT_EQ(one->childCount(), 1);

    view()->expandAll();
    menuChoice = entry("moveDraggedNodeAction");
    emit view()->dragLoopStarted();
    EXPECT_TRUE(dragNode(one->child(0), two));
    EXPECT_TRUE(menusShown.isEmpty());
    emit view()->dragLoopFinished();
    EXPECT_EQ(menusShown.size(), 1);
    EXPECT_FALSE(one->hasChildren());
    EXPECT_EQ(links(two), QStringList{path("a.doc")});
}
