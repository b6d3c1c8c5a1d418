#pragma once

#include <QString>

namespace zelbrin {

class StructureModel;
class TreeNode;
class UserPrompts;

// What the project object needs of the window that shows it: the structure tree,
// addNode (which also drives focus and the in-place editor), the caption,
// the working-directory list and the prompts. The main window implements it; the
// command-line builder and tests use HeadlessProjectWindow.
class ProjectWindow {
public:
    virtual ~ProjectWindow() = default;
    virtual StructureModel &structureTree() = 0;
    virtual TreeNode *addNode(TreeNode *parent, const QString &caption, bool isCatalog,
                              bool beginEdit, const QString &link) = 0;
    virtual void setWindowCaption(const QString &caption) = 0;
    virtual void refreshFileList() = 0;
    virtual UserPrompts &prompts() = 0;
};

// addNode's rules on the model alone: the caption default and the image index.
// Returns the node and whether it is a catalog (which a window then focuses).
TreeNode *addNodeToModel(StructureModel &model, TreeNode *parent, const QString &caption,
                         bool isCatalog, const QString &link, bool *madeCatalog = nullptr);

}  // namespace zelbrin
