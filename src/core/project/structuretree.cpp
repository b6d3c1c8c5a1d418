#include "structuretree.h"

#include <algorithm>

namespace zelbrin {

const QString kNewCatalogCaption = QStringLiteral("新建目录");

int depthOf(const TreeNode *node) {
    int depth = 0;
    for (; node; node = node->parent())
        ++depth;
    return depth;
}

QString asciiLower(const QString &s) {
    QString r = s;
    for (QChar &c : r)
        if (c.unicode() >= 'A' && c.unicode() <= 'Z')
            c = QChar(c.unicode() + ('a' - 'A'));
    return r;
}

bool linksEqual(const QString &a, const QString &b) {
    return a.size() == b.size() && asciiLower(a) == asciiLower(b);
}

TreeNode *TreeNode::child(int i) const {
    if (i < 0 || i >= int(children_.size()))
        return nullptr;
    return children_[size_t(i)].get();
}

int TreeNode::row() const {
    const auto &sibs = parent_ ? parent_->children_ : model_->roots_;
    for (size_t i = 0; i < sibs.size(); ++i)
        if (sibs[i].get() == this)
            return int(i);
    return -1;
}

StructureModel::StructureModel(QObject *parent) : QAbstractItemModel(parent) {}
StructureModel::~StructureModel() = default;

TreeNode *StructureModel::topLevel(int i) const {
    if (i < 0 || i >= int(roots_.size()))
        return nullptr;
    return roots_[size_t(i)].get();
}

int StructureModel::childCount(const TreeNode *node) const {
    return node ? node->childCount() : topLevelCount();
}

TreeNode *StructureModel::childAt(const TreeNode *node, int i) const {
    return node ? node->child(i) : topLevel(i);
}

int StructureModel::totalCount() const {
    int n = 0;
    forEach([&](TreeNode *) { ++n; return true; });
    return n;
}

std::vector<std::unique_ptr<TreeNode>> &StructureModel::siblingsOf(TreeNode *parent) {
    return parent ? parent->children_ : roots_;
}
const std::vector<std::unique_ptr<TreeNode>> &StructureModel::siblingsOf(const TreeNode *parent) const {
    return parent ? parent->children_ : roots_;
}

void StructureModel::adopt(TreeNode *node, TreeNode *parent, StructureModel *model) {
    node->parent_ = parent;
    node->model_ = model;
    for (auto &c : node->children_)
        adopt(c.get(), node, model);
}

TreeNode *StructureModel::addNode(TreeNode *parent, const QString &caption, bool isCatalog,
                                  const QString &link) {
    return append(parent, caption.isEmpty() ? kNewCatalogCaption : caption, link,
                  link.isEmpty() || isCatalog ? ImageIndex::Catalog : ImageIndex::Page);
}

TreeNode *StructureModel::append(TreeNode *parent, const QString &caption, const QString &link,
                                 int imageIndex) {
    auto node = std::make_unique<TreeNode>();
    node->caption = caption;
    node->link = link;
    node->imageIndex = imageIndex;
    return insert(parent, childCount(parent), std::move(node));
}

TreeNode *StructureModel::insert(TreeNode *parent, int row, std::unique_ptr<TreeNode> node) {
    auto &sibs = siblingsOf(parent);
    row = std::clamp(row, 0, int(sibs.size()));
    beginInsertRows(indexOf(parent), row, row);
    TreeNode *raw = node.get();
    adopt(raw, parent, this);
    sibs.insert(sibs.begin() + row, std::move(node));
    endInsertRows();
    return raw;
}

std::unique_ptr<TreeNode> StructureModel::take(TreeNode *node) {
    if (!node || node->model_ != this)
        return nullptr;
    auto &sibs = siblingsOf(node->parent_);
    const int row = node->row();
    beginRemoveRows(indexOf(node->parent_), row, row);
    std::unique_ptr<TreeNode> owned = std::move(sibs[size_t(row)]);
    sibs.erase(sibs.begin() + row);
    endRemoveRows();
    adopt(owned.get(), nullptr, nullptr);
    return owned;
}

std::unique_ptr<TreeNode> StructureModel::cloneSubtree(const TreeNode *node) {
    auto copy = std::make_unique<TreeNode>();
    copy->caption = node->caption;
    copy->link = node->link;
    copy->imageIndex = node->imageIndex;
    copy->topics = node->topics;
    for (const auto &c : node->children_) {
        auto cc = cloneSubtree(c.get());
        cc->parent_ = copy.get();
        copy->children_.push_back(std::move(cc));
    }
    return copy;
}

void StructureModel::remove(TreeNode *node) { take(node); }

void StructureModel::clear() {
    beginResetModel();
    roots_.clear();
    endResetModel();
}

void StructureModel::setCaption(TreeNode *node, const QString &caption) {
    node->caption = caption;
    const QModelIndex i = indexOf(node, 0);
    emit dataChanged(i, i);
}

void StructureModel::setLink(TreeNode *node, const QString &link) {
    node->link = link;
    const QModelIndex i = indexOf(node, 1);
    emit dataChanged(i, i);
}

bool StructureModel::hasChildLink(const TreeNode *parent, const QString &path) const {
    for (const auto &c : siblingsOf(parent))
        if (linksEqual(c->link, path))
            return true;
    return false;
}

QModelIndex StructureModel::indexOf(const TreeNode *node, int column) const {
    if (!node || node->model_ != this)
        return {};
    return createIndex(node->row(), column, const_cast<TreeNode *>(node));
}

TreeNode *StructureModel::nodeOf(const QModelIndex &index) const {
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<TreeNode *>(index.internalPointer());
}

QModelIndex StructureModel::index(int row, int column, const QModelIndex &parent) const {
    if (column < 0 || column > 1)
        return {};
    TreeNode *p = nodeOf(parent);
    if (parent.isValid() && !p)
        return {};
    TreeNode *c = childAt(p, row);
    return c ? createIndex(row, column, c) : QModelIndex();
}

QModelIndex StructureModel::parent(const QModelIndex &child) const {
    TreeNode *n = nodeOf(child);
    return n ? indexOf(n->parent_) : QModelIndex();
}

int StructureModel::rowCount(const QModelIndex &parent) const {
    if (parent.column() > 0)
        return 0;
    return childCount(nodeOf(parent));
}

int StructureModel::columnCount(const QModelIndex &) const { return 2; }

QVariant StructureModel::data(const QModelIndex &index, int role) const {
    TreeNode *n = nodeOf(index);
    if (!n)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return index.column() == 0 ? n->caption : n->link;
    case ImageIndexRole:
        return n->imageIndex;
    case LinkRole:
        return n->link;
    default:
        return {};
    }
}

bool StructureModel::setData(const QModelIndex &index, const QVariant &value, int role) {
    TreeNode *n = nodeOf(index);
    if (!n || role != Qt::EditRole)
        return false;
    if (index.column() == 0)
        setCaption(n, value.toString());
    else
        setLink(n, value.toString());
    return true;
}

Qt::ItemFlags StructureModel::flags(const QModelIndex &index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled |
           Qt::ItemIsDropEnabled;
}

}  // namespace zelbrin
