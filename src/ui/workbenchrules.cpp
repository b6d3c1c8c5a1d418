#include "workbenchrules.h"

#include "structuretree.h"
#include "treecommands.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <QFileInfo>
#include <QMimeData>

#include <algorithm>
#include <vector>

namespace zelbrin::ui {

namespace {

bool isLastChild(const StructureModel &model, const TreeNode *node) {
    return node->row() == model.childCount(node->parent()) - 1;
}

}  // namespace

TreeNode *nextInDisplayOrder(const StructureModel &model, const TreeNode *node,
                             const ExpandedFn &isExpanded) {
    if (!node)
        return nullptr;
    if (node->hasChildren() && isExpanded(node))
        return node->child(0);
    for (const TreeNode *n = node; n; n = n->parent()) {
        if (TreeNode *sibling = model.childAt(n->parent(), n->row() + 1))
            return sibling;
    }
    return nullptr;
}

bool isLinkedInTree(const StructureModel &model, const QString &path, const ExpandedFn &isExpanded) {
    const TreeNode *node = model.topLevel(0);
    while (node) {
        if (!node->hasChildren()) {
            if (linksEqual(node->link, path))
                return true;
            node = nextInDisplayOrder(model, node, isExpanded);
            continue;
        }
        // From the first child on, in display order, up to the first node that closes
        // its own sibling list; then on after that node's parent. Every step lands
        // later in pre-order than the node it started from, so the walk ends.
        const TreeNode *n = node->child(0);
        for (;;) {
            if (linksEqual(n->link, path))
                return true;
            if (isLastChild(model, n))
                break;
            const TreeNode *next = nextInDisplayOrder(model, n, isExpanded);
            if (!next)
                return false;
            n = next;
        }
        node = nextInDisplayOrder(model, n->parent(), isExpanded);
    }
    return false;
}

bool precedesInDisplayOrder(const TreeNode *a, const TreeNode *b) {
    return placeOf(a) < placeOf(b);
}

QList<TreeNode *> inDisplayOrder(QList<TreeNode *> nodes) {
    std::vector<std::pair<NodePlace, TreeNode *>> keyed;
    keyed.reserve(size_t(nodes.size()));
    for (TreeNode *n : nodes)
        keyed.emplace_back(placeOf(n), n);
    std::sort(keyed.begin(), keyed.end(),
              [](const auto &x, const auto &y) { return x.first < y.first; });
    QList<TreeNode *> sorted;
    for (const auto &k : keyed)
        sorted << k.second;
    return sorted;
}

bool isInSubtree(const TreeNode *node, const TreeNode *root) {
    for (; node; node = node->parent())
        if (node == root)
            return true;
    return false;
}

QStringList linksInDisplayOrder(const StructureModel &model) {
    QStringList links;
    model.forEach([&](const TreeNode *n) {
        if (!n->link.isEmpty())
            links << n->link;
        return true;
    });
    return links;
}

LinkChanges linkChanges(const QStringList &before, const QStringList &after) {
    QHash<QString, int> countBefore, countAfter;  // by folded link
    for (const QString &link : before)
        ++countBefore[asciiLower(link)];
    for (const QString &link : after)
        ++countAfter[asciiLower(link)];
    LinkChanges changes;
    QSet<QString> named;
    for (const QString &link : after) {
        const QString key = asciiLower(link);
        if (countAfter.value(key) > countBefore.value(key) && !named.contains(key)) {
            changes.moreOften << link;
            named.insert(key);
        }
    }
    for (auto it = before.crbegin(); it != before.crend(); ++it) {
        const QString key = asciiLower(*it);
        if (!countAfter.contains(key) && !named.contains(key)) {
            changes.unlinked << *it;
            named.insert(key);
        }
    }
    return changes;
}

QString fileNamePart(const QString &path) { return path.mid(path.lastIndexOf(u'/') + 1); }

int imageIndexForReturnedName(const QString &name) {
    const int dot = name.lastIndexOf(u'.');
    const QString ext = dot < 0 ? QString() : name.mid(dot);
    if (ext == QLatin1String(".doc"))
        return ImageIndex::WordDocument;
    if (ext == QLatin1String(".htm") || ext == QLatin1String(".html"))
        return ImageIndex::WebPage;
    // The newer types (docx, odt, ...) carry their own picture in their pass.
    for (const FileListPass &pass : kFileListPasses) {
        if (pass.imageIndex != ImageIndex::Page && ext.mid(1) == QLatin1String(pass.extension))
            return pass.imageIndex;
    }
    return ImageIndex::Page;
}

QString trimBlanksAndControls(const QString &text) {
    auto trimmable = [](QChar c) { return c.unicode() <= 0x20 || c.unicode() == 0x7F; };
    qsizetype begin = 0, end = text.size();
    while (begin < end && trimmable(text[begin]))
        ++begin;
    while (end > begin && trimmable(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

const std::array<FileListPass, 12> kFileListPasses = {{
    {"doc", ImageIndex::WordDocument},
    {"htm", ImageIndex::WebPage},
    {"html", ImageIndex::WebPage},
    {"txt", ImageIndex::Page},
    {"xls", ImageIndex::Page},
    {"ppt", ImageIndex::Page},
    {"docx", ImageIndex::WordDocument},
    {"xlsx", ImageIndex::Workbook},
    {"pptx", ImageIndex::Presentation},
    {"odt", ImageIndex::WordDocument},
    {"ods", ImageIndex::Workbook},
    {"odp", ImageIndex::Presentation},
}};

QStringList scanFileListPass(const QString &folder, const QString &extension) {
    QDir dir(folder);
    // No CaseSensitive flag: the name filter ignores letter case.
    dir.setFilter(QDir::Files | QDir::Hidden);
    dir.setNameFilters({QStringLiteral("*.") + extension});
    dir.setSorting(QDir::Unsorted);
    QStringList names = dir.entryList();
    std::sort(names.begin(), names.end());
    return names;
}

bool isListedDocument(const QString &folder, const QString &path) {
    const QFileInfo file(path);
    if (folder.isEmpty() || !linksEqual(path, folder + u'/' + fileNamePart(path)) || !file.isFile())
        return false;
    return std::any_of(kFileListPasses.begin(), kFileListPasses.end(), [&](const FileListPass &pass) {
        return file.suffix().compare(QLatin1String(pass.extension), Qt::CaseInsensitive) == 0;
    });
}

bool isExistingFolder(const QString &path) { return !path.isEmpty() && QFileInfo(path).isDir(); }

QString absoluteWorkCatalog(const QString &typed) {
    return QDir::isRelativePath(typed) ? QDir::cleanPath(QDir::current().absoluteFilePath(typed))
                                       : typed;
}

QStringList linkFileChoices(const QString &folder) {
    if (folder.isEmpty())
        return {};
    QDir dir(folder);
    dir.setFilter(QDir::Files);
    dir.setNameFilters({QStringLiteral("*.doc"), QStringLiteral("*.html"), QStringLiteral("*.txt"),
                        QStringLiteral("*.htm")});
    dir.setSorting(QDir::Name);
    return dir.entryList();
}

const QString kFileListMimeType = QStringLiteral("application/x-zelbrin-worklist-rows");
const QString kTreeNodeMimeType = QStringLiteral("application/x-zelbrin-structure-node");

DragSource dragSourceOf(const QMimeData *data) {
    if (!data)
        return DragSource::None;
    if (data->hasFormat(kFileListMimeType))
        return DragSource::FileList;
    if (data->hasFormat(kTreeNodeMimeType))
        return DragSource::Tree;
    return DragSource::None;
}

bool treeAcceptsDrop(DragSource source, const TreeNode *target, const TreeNode *dragged) {
    const bool targetIsFileLink = target && !target->link.isEmpty();
    switch (source) {
    case DragSource::FileList:
        return !targetIsFileLink;
    case DragSource::Tree:
        // Only a file link without children travels: a move copies the node alone
        // and deletes the original with everything below it, which would lose the
        // children (or, dropped into its own subtree, the copy as well).
        return !targetIsFileLink && dragged && !dragged->link.isEmpty() && !dragged->hasChildren();
    case DragSource::None:
        break;
    }
    return false;
}

bool offersMoveOrCopy(const TreeNode *dragged, const TreeNode *target) {
    return dragged && target != dragged->parent();
}

}  // namespace zelbrin::ui
