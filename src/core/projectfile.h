#pragma once

#include <QByteArray>
#include <QString>

namespace pugi {
class xml_node;
}

namespace zelbrin {

class ProjectWindow;
class StructureModel;
class TreeNode;

// The project file's bytes for a tree: no declaration, UTF-8, no whitespace,
// Caption before FullDir, empty-element tags. rootName must be an XML Name.
QByteArray serializeProject(const QString &rootName, const QString &workCatalog,
                            const StructureModel &tree);
void SaveNode(const TreeNode *node, pugi::xml_node parent);
void LoadNode(ProjectWindow &window, TreeNode *parent, const pugi::xml_node &xml);

// The message for a project file whose tree nests deeper than kMaxTreeDepth.
QString tooDeepProjectMessage(const QString &path);
// A tree's insertion of one more level below parent is refused: the message to show.
QString tooDeepTreeMessage();

}  // namespace zelbrin
