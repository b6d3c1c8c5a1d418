#include "structuretree.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

using namespace zelbrin;

TEST(StructureTree, AddNodeRules) {
    StructureModel m;
    TreeNode *a = m.addNode(nullptr, "", false, "");
    EXPECT_EQ(a->caption, "新建目录");
    EXPECT_EQ(a->imageIndex, ImageIndex::Catalog);
    TreeNode *b = m.addNode(a, "  spaced  ", false, "/d/x.doc");
    EXPECT_EQ(b->caption, "  spaced  ");
    EXPECT_EQ(b->imageIndex, ImageIndex::Page);
    TreeNode *c = m.addNode(a, "linked catalog", true, "/d/y.doc");
    EXPECT_EQ(c->imageIndex, ImageIndex::Catalog);
    EXPECT_EQ(c->link, "/d/y.doc");
    EXPECT_EQ(a->child(1), c);  // appended last
    EXPECT_EQ(a->child(2), nullptr);
    EXPECT_EQ(c->row(), 1);
    EXPECT_EQ(c->parent(), a);
    EXPECT_EQ(m.totalCount(), 3);
}

TEST(StructureTree, HasChildLinkLooksAtDirectChildrenAndFoldsAsciiOnly) {
    StructureModel m;
    EXPECT_FALSE(m.hasChildLink(nullptr, "/x"));
    TreeNode *cat = m.append(nullptr, "c", "", ImageIndex::Catalog);
    TreeNode *sub = m.append(cat, "s", "", ImageIndex::Catalog);
    m.append(sub, "g", "/Docs/Grand.doc", ImageIndex::Page);
    m.append(cat, "d", "/Docs/Ä-Report.DOC", ImageIndex::Page);
    EXPECT_FALSE(m.hasChildLink(cat, "/docs/grand.doc"));  // grandchild does not count
    EXPECT_TRUE(m.hasChildLink(sub, "/docs/GRAND.doc"));
    EXPECT_TRUE(m.hasChildLink(cat, "/docs/Ä-report.doc"));
    EXPECT_FALSE(m.hasChildLink(cat, "/docs/ä-report.doc"));  // non-ASCII case counts
    EXPECT_FALSE(m.hasChildLink(nullptr, "/Docs/Ä-Report.DOC"));
}

TEST(StructureTree, ModelStaysConsistentUnderEdits) {
    StructureModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Fatal);
    TreeNode *a = m.append(nullptr, "a", "", ImageIndex::Catalog);
    TreeNode *b = m.append(a, "b", "/b", ImageIndex::Page);
    m.append(nullptr, "c", "", ImageIndex::Catalog);
    auto taken = m.take(b);
    ASSERT_TRUE(taken);
    EXPECT_EQ(a->childCount(), 0);
    TreeNode *again = m.insert(nullptr, 0, std::move(taken));
    EXPECT_EQ(m.topLevel(0), again);
    EXPECT_EQ(again->parent(), nullptr);
    auto copy = StructureModel::cloneSubtree(a);
    m.insert(again, 5, std::move(copy));
    EXPECT_EQ(again->child(0)->caption, "a");
    EXPECT_TRUE(m.setData(m.indexOf(a), "renamed"));
    EXPECT_EQ(a->caption, "renamed");
    EXPECT_EQ(m.data(m.indexOf(again, 1)).toString(), "/b");
    m.remove(again);
    EXPECT_EQ(m.topLevelCount(), 2);
    m.clear();
    EXPECT_EQ(m.topLevelCount(), 0);
}
