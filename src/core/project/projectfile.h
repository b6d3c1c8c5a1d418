#pragma once

#include "topicsettings.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace pugi {
class xml_node;
}

namespace zelbrin {

class StructureModel;
class TreeNode;

// The project file's bytes for a tree: no declaration, UTF-8, no whitespace,
// Caption before FullDir, empty-element tags. rootName must be an XML Name. Topic
// settings are written only where they are set (topicsettings.h).
QByteArray serializeProject(const QString &rootName, const QString &workCatalog,
                            const StructureModel &tree, const TopicSettings &topics = {});
void saveNode(const TreeNode *node, pugi::xml_node parent);

// One <Item> of a project file; items come parents first, in document order.
struct ProjectItem {
    QString caption;
    QString link;
    qsizetype parent = -1;  // index of the parent item, -1 at the top level
    bool hasItems = false;  // has <Item> children (it is a catalog)
    TopicOverride topics;
};

struct ParsedProject {
    bool hasWorkCatalog = false;
    QString workCatalog;
    QList<ProjectItem> items;
    TopicSettings topics;
    bool tooDeep = false;  // Items nest deeper than kMaxTreeDepth; items is then empty
};

// Reads a project file's bytes; none when they are not well-formed XML or hold no node.
// The file's content is outside input, so no walk here recurses along its nesting.
std::optional<ParsedProject> parseProject(const QByteArray &bytes);
// Adds the parsed items to the tree (the tree is not cleared first).
void loadItems(StructureModel &tree, const QList<ProjectItem> &items);

// The message for a project file whose tree nests deeper than kMaxTreeDepth.
QString tooDeepProjectMessage(const QString &path);
// A tree's insertion of one more level below parent is refused: the message to show.
QString tooDeepTreeMessage();

}  // namespace zelbrin
