#include "structuretree.h"
#include "workbenchrules.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelbrin;
using namespace zelbrin::ui;

namespace {

struct Tree {
    StructureModel model;
    QSet<const TreeNode *> open;
    TreeNode *add(TreeNode *parent, const QString &caption, const QString &link = {}) {
        return model.append(parent, caption, link, link.isEmpty() ? 3 : 14);
    }
    ExpandedFn expanded() const {
        return [this](const TreeNode *n) { return open.contains(n); };
    }
    bool linked(const QString &path) const { return isLinkedInTree(model, path, expanded()); }
    void expandAll() {
        model.forEach([&](TreeNode *n) {
            open.insert(n);
            return true;
        });
    }
};

}  // namespace

TEST(DisplayOrder, NextFollowsExpansion) {
    Tree t;
    TreeNode *x = t.add(nullptr, "X");
    TreeNode *c1 = t.add(x, "c1");
    TreeNode *g1 = t.add(c1, "g1");
    TreeNode *c2 = t.add(x, "c2");
    TreeNode *y = t.add(nullptr, "Y");
    auto next = [&](const TreeNode *n) { return nextInDisplayOrder(t.model, n, t.expanded()); };
    EXPECT_EQ(next(x), y);  // collapsed: its children are not shown
    t.open = {x};
    EXPECT_EQ(next(x), c1);
    EXPECT_EQ(next(c1), c2);
    t.open = {x, c1};
    EXPECT_EQ(next(c1), g1);
    EXPECT_EQ(next(g1), c2);  // climbs to the nearest ancestor with a next sibling
    EXPECT_EQ(next(c2), y);
    EXPECT_EQ(next(y), nullptr);
    EXPECT_EQ(next(nullptr), nullptr);
}

TEST(IsLinkedInTree, FullyExpandedTreeSeesEveryNodeWithoutChildren) {
    Tree t;
    TreeNode *top = t.add(nullptr, "Top", "/w/top.doc");  // top-level catalog with a page
    TreeNode *mid = t.add(top, "Mid", "/w/mid.doc");      // nested catalog with a page
    t.add(mid, "leaf1", "/w/leaf1.doc");
    t.add(top, "leaf2", "/w/leaf2.doc");
    t.add(nullptr, "single", "/w/single.doc");
    TreeNode *other = t.add(nullptr, "Other");
    t.add(other, "leaf3", "/w/Leaf3.DOC");
    t.expandAll();
    for (const char *p : {"/w/leaf1.doc", "/w/leaf2.doc", "/w/single.doc", "/w/leaf3.doc"})
        EXPECT_TRUE(t.linked(p)) << p;
    EXPECT_FALSE(t.linked("/w/top.doc"));  // a top-level catalog with children never takes part
    EXPECT_TRUE(t.linked("/w/mid.doc"));   // a nested one is compared on the way down
    EXPECT_FALSE(t.linked("/w/none.doc"));
    EXPECT_FALSE(Tree().linked("/w/leaf1.doc"));
}

TEST(IsLinkedInTree, CollapsedBranchesArePartlySeen) {
    Tree t;
    TreeNode *x = t.add(nullptr, "X");
    TreeNode *c1 = t.add(x, "c1");
    t.add(c1, "g1", "/w/g1.doc");
    t.add(x, "c2", "/w/c2.doc");
    // Direct children of a collapsed catalog are still compared ...
    EXPECT_TRUE(t.linked("/w/c2.doc"));
    // ... but a grandchild under two collapsed levels is not.
    EXPECT_FALSE(t.linked("/w/g1.doc"));
    // An expanded child under a collapsed parent is followed into.
    t.open = {c1};
    EXPECT_TRUE(t.linked("/w/g1.doc"));
    // With the top expanded the walk comes back down through c1.
    t.open = {x};
    EXPECT_TRUE(t.linked("/w/g1.doc"));
}

TEST(IsLinkedInTree, ComparisonFoldsOnlyAsciiLetters) {
    Tree t;
    TreeNode *c = t.add(nullptr, "C");
    t.add(c, "a", "/Docs/A.DOC");
    t.add(c, "e", QString::fromUtf8("/docs/É.doc"));
    t.expandAll();
    EXPECT_TRUE(t.linked("/docs/a.doc"));
    EXPECT_FALSE(t.linked(QString::fromUtf8("/docs/é.doc")));
    EXPECT_TRUE(t.linked(QString::fromUtf8("/DOCS/É.DOC")));
}

TEST(DisplayOrder, SortsSelectionTopToBottom) {
    Tree t;
    TreeNode *a = t.add(nullptr, "A");
    TreeNode *a1 = t.add(a, "a1");
    TreeNode *b = t.add(nullptr, "B");
    EXPECT_EQ(inDisplayOrder({b, a1, a}), (QList<TreeNode *>{a, a1, b}));
    EXPECT_TRUE(precedesInDisplayOrder(a1, b));
    EXPECT_FALSE(precedesInDisplayOrder(b, a));
    EXPECT_TRUE(isInSubtree(a1, a));
    EXPECT_TRUE(isInSubtree(a, a));
    EXPECT_FALSE(isInSubtree(b, a));
}

TEST(Names, FileNamePartImageAndTrim) {
    EXPECT_EQ(fileNamePart("/w/docs/a.doc"), "a.doc");
    EXPECT_EQ(fileNamePart("a.doc"), "a.doc");
    EXPECT_EQ(fileNamePart(""), "");
    EXPECT_EQ(imageIndexForReturnedName("a.doc"), 19);
    EXPECT_EQ(imageIndexForReturnedName("a.DOC"), 14);  // compared exactly
    EXPECT_EQ(imageIndexForReturnedName("a.htm"), 20);
    EXPECT_EQ(imageIndexForReturnedName("a.html"), 20);
    EXPECT_EQ(imageIndexForReturnedName("a.doc.txt"), 14);
    EXPECT_EQ(imageIndexForReturnedName("noext"), 14);
    EXPECT_EQ(imageIndexForReturnedName("a.docx"), 19);
    EXPECT_EQ(imageIndexForReturnedName("a.xlsx"), 21);
    EXPECT_EQ(imageIndexForReturnedName("a.odp"), 22);
    EXPECT_EQ(imageIndexForReturnedName("a.xls"), 14);
    EXPECT_EQ(trimBlanksAndControls(QString::fromUtf8(" \t标题 一\r\n\x01")), QString::fromUtf8("标题 一"));
    EXPECT_EQ(trimBlanksAndControls("   "), "");
    // Only blanks and control characters go; the ideographic space stays.
    EXPECT_EQ(trimBlanksAndControls(QString::fromUtf8("\u3000x ")), QString::fromUtf8("\u3000x"));
}

TEST(FileListPass, MatchesFilesByExtensionIgnoringCaseSorted) {
    QTemporaryDir dir;
    for (const char *n : {"b.doc", "A.DOC", "c.Doc", "p.htm", "q.html", "x.docx", "plain", ".h.doc"}) {
        QFile f(dir.path() + "/" + n);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.doc"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("sub/inner.doc"));
    EXPECT_EQ(scanFileListPass(dir.path(), "doc"), (QStringList{".h.doc", "A.DOC", "b.doc", "c.Doc"}));
    EXPECT_EQ(scanFileListPass(dir.path(), "docx"), QStringList{"x.docx"});
    EXPECT_EQ(scanFileListPass(dir.path(), "htm"), QStringList{"p.htm"});
    EXPECT_EQ(scanFileListPass(dir.path(), "html"), QStringList{"q.html"});
    EXPECT_TRUE(scanFileListPass(dir.path() + "/missing", "doc").isEmpty());
    ASSERT_EQ(kFileListPasses.size(), 12u);
    QStringList order;
    QList<int> images;
    for (const FileListPass &p : kFileListPasses) {
        order << p.extension;
        images << p.imageIndex;
    }
    EXPECT_EQ(order, (QStringList{"doc", "htm", "html", "txt", "xls", "ppt", "docx", "xlsx",
                                  "pptx", "odt", "ods", "odp"}));
    EXPECT_EQ(images, (QList<int>{19, 20, 20, 14, 14, 14, 19, 21, 22, 19, 21, 22}));
}

TEST(DropRules, ListRowsAndTreeNodes) {
    Tree t;
    TreeNode *cat = t.add(nullptr, "Cat");
    TreeNode *file = t.add(cat, "f.doc", "/w/f.doc");
    TreeNode *other = t.add(nullptr, "Other");
    TreeNode *pageWithChild = t.add(nullptr, "P", "/w/p.doc");
    TreeNode *under = t.add(pageWithChild, "under");

    EXPECT_TRUE(treeAcceptsDrop(DragSource::FileList, cat, nullptr));
    EXPECT_TRUE(treeAcceptsDrop(DragSource::FileList, nullptr, nullptr));
    EXPECT_FALSE(treeAcceptsDrop(DragSource::FileList, file, nullptr));

    EXPECT_TRUE(treeAcceptsDrop(DragSource::Tree, other, file));
    EXPECT_TRUE(treeAcceptsDrop(DragSource::Tree, nullptr, file));
    EXPECT_FALSE(treeAcceptsDrop(DragSource::Tree, file, file));      // onto a file link
    EXPECT_FALSE(treeAcceptsDrop(DragSource::Tree, other, cat));      // catalogs do not travel
    EXPECT_FALSE(treeAcceptsDrop(DragSource::Tree, other, nullptr));  // nothing remembered
    EXPECT_FALSE(treeAcceptsDrop(DragSource::Tree, under, pageWithChild));
    EXPECT_FALSE(treeAcceptsDrop(DragSource::Tree, other, pageWithChild));
    EXPECT_FALSE(treeAcceptsDrop(DragSource::None, cat, file));

    EXPECT_TRUE(offersMoveOrCopy(file, other));
    EXPECT_FALSE(offersMoveOrCopy(file, cat));  // its own catalog
    EXPECT_FALSE(offersMoveOrCopy(nullptr, other));

    QMimeData list, node, foreign;
    list.setData(kFileListMimeType, "a.doc");
    node.setData(kTreeNodeMimeType, "x");
    foreign.setText("a.doc");
    EXPECT_EQ(dragSourceOf(&list), DragSource::FileList);
    EXPECT_EQ(dragSourceOf(&node), DragSource::Tree);
    EXPECT_EQ(dragSourceOf(&foreign), DragSource::None);
    EXPECT_EQ(dragSourceOf(nullptr), DragSource::None);
}
