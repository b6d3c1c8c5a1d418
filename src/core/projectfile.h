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

}  // namespace zelbrin
