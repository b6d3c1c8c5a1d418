#pragma once

#include "topicsettings.h"

#include <QAbstractItemModel>
#include <QString>

#include <memory>
#include <vector>

namespace zelbrin {

// Image indexes of the main window's image list that the tree and the file list use.
namespace ImageIndex {
constexpr int ArrowRight = 1;
constexpr int ArrowLeft = 2;
constexpr int Catalog = 3;
constexpr int Page = 14;
constexpr int WordDocument = 19;
constexpr int WebPage = 20;
constexpr int Workbook = 21;
constexpr int Presentation = 22;
}  // namespace ImageIndex

extern const QString kNewCatalogCaption;  // "新建目录"

// The deepest nesting a structure tree may have (a top-level node is level 1). Opening a
// project file and every editing command keep to it, so the recursive walks over the tree
// (build, conversion, contents file, saving, the tree view) stay far from the stack's end.
constexpr int kMaxTreeDepth = 256;

// One entry of the contents: a catalog (heading) or a file link (document).
// What the program decides about a node depends only on hasChildren() and on
// whether link is empty; imageIndex is display only.
class TreeNode {
public:
    QString caption;
    QString link;
    int imageIndex = ImageIndex::Catalog;
    // The document's own choice of splitting, contents and keywords, where it has one.
    TopicOverride topics;

    TreeNode *parent() const { return parent_; }
    int childCount() const { return int(children_.size()); }
    bool hasChildren() const { return !children_.empty(); }
    // None when the index is out of range.
    TreeNode *child(int i) const;
    // Position among the siblings (top-level nodes for a top-level node).
    int row() const;

private:
    friend class StructureModel;
    TreeNode *parent_ = nullptr;
    class StructureModel *model_ = nullptr;
    std::vector<std::unique_ptr<TreeNode>> children_;
};

// The level of a node: 1 for a top-level node, 0 for none (the root level's "parent").
int depthOf(const TreeNode *node);

// Links compare equal after folding A-Z to a-z; no other character is folded.
bool linksEqual(const QString &a, const QString &b);
// ASCII-only lower-casing used by every link and extension comparison.
QString asciiLower(const QString &s);

// The structure tree: an ordered forest of TreeNodes. The project owns it as the one
// copy of its content; a window's tree view shows it as a Qt model with column 0 the
// caption and column 1 the (hidden) link.
class StructureModel : public QAbstractItemModel {
    Q_OBJECT
public:
    static constexpr int ImageIndexRole = Qt::UserRole + 1;
    static constexpr int LinkRole = Qt::UserRole + 2;

    explicit StructureModel(QObject *parent = nullptr);
    ~StructureModel() override;

    int topLevelCount() const { return int(roots_.size()); }
    TreeNode *topLevel(int i) const;
    // Children of a node, or the top-level nodes when node is null.
    int childCount(const TreeNode *node) const;
    TreeNode *childAt(const TreeNode *node, int i) const;
    int totalCount() const;

    // Appends at the end of the root level (parent null) or as last child.
    TreeNode *append(TreeNode *parent, const QString &caption, const QString &link, int imageIndex);
    // Appends a node by the rules of the project's own additions: an empty caption becomes
    // "新建目录"; a node without a link, or asked to be one, is a catalog (ImageIndex::Catalog),
    // any other a page.
    TreeNode *addNode(TreeNode *parent, const QString &caption, bool isCatalog, const QString &link);
    // Inserts a detached subtree at position row (clamped) under parent.
    TreeNode *insert(TreeNode *parent, int row, std::unique_ptr<TreeNode> node);
    // Detaches a node with its subtree; the caller owns it.
    std::unique_ptr<TreeNode> take(TreeNode *node);
    // Deep copy of a subtree, detached.
    static std::unique_ptr<TreeNode> cloneSubtree(const TreeNode *node);
    void remove(TreeNode *node);
    void clear();

    void setCaption(TreeNode *node, const QString &caption);
    void setLink(TreeNode *node, const QString &link);

    // True when a direct child of parent (a top-level node when parent is null)
    // has a link equal to path under linksEqual.
    bool hasChildLink(const TreeNode *parent, const QString &path) const;
    // Visits every node, parents before children, in display order; stops when f returns false.
    template <typename F> bool forEach(F &&f) const {
        for (const auto &r : roots_)
            if (!visit(r.get(), f))
                return false;
        return true;
    }

    QModelIndex indexOf(const TreeNode *node, int column = 0) const;
    TreeNode *nodeOf(const QModelIndex &index) const;

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    template <typename F> static bool visit(const TreeNode *n, F &f) {
        if (!f(const_cast<TreeNode *>(n)))
            return false;
        for (const auto &c : n->children_)
            if (!visit(c.get(), f))
                return false;
        return true;
    }
    std::vector<std::unique_ptr<TreeNode>> &siblingsOf(TreeNode *parent);
    const std::vector<std::unique_ptr<TreeNode>> &siblingsOf(const TreeNode *parent) const;
    static void adopt(TreeNode *node, TreeNode *parent, StructureModel *model);

    friend class TreeNode;
    std::vector<std::unique_ptr<TreeNode>> roots_;
};

}  // namespace zelbrin
