#pragma once

// The edits of the structure tree, and of the project's topic settings, as undoable
// commands. The tree's act on the StructureModel alone, never on a view: focus, selection,
// expansion and editors stay with whoever shows the tree, so the same commands serve any
// owner of the tree. (They live here rather than
// in the core because QUndoCommand is part of Qt GUI, which the core does not link.)
//
// Each function returns a command that has not run yet; pushing it on a QUndoStack runs
// it. Nodes are named by pointer when a command is made and by place from its first run
// on, so that undo and redo never reach a node that has been freed, and a node taken out
// of the tree is kept by its command and put back whole.

#include "topicsettings.h"

#include <QString>
#include <QUndoCommand>

#include <memory>
#include <vector>

namespace zelbrin {
class Project;
class StructureModel;
class TreeNode;
}  // namespace zelbrin

namespace zelbrin::ui {

// Where a node stands: its row among its siblings, then its parent's, up to the top level,
// listed from the top level down. Comparing two places compares display order.
using NodePlace = std::vector<int>;
NodePlace placeOf(const TreeNode *node);

// A fresh detached node.
std::unique_ptr<TreeNode> makeNode(const QString &caption, const QString &link, int imageIndex);

// Appends nodes (detached subtrees) as the last children of parent (the top level when
// null), in their order.
QUndoCommand *appendNodesEdit(StructureModel &model, const QString &text, TreeNode *parent,
                              std::vector<std::unique_ptr<TreeNode>> nodes,
                              QUndoCommand *group = nullptr);
// Deletes nodes with their descendants, from the last in display order to the first, so
// that a selected descendant goes before its selected ancestor.
QUndoCommand *removeNodesEdit(StructureModel &model, const QString &text, QList<TreeNode *> nodes,
                              QUndoCommand *group = nullptr);
// Swaps a node with a sibling. Both are taken out and put back, so a view shows them as it
// shows new nodes: branches closed, not selected.
QUndoCommand *swapSiblingsEdit(StructureModel &model, const QString &text, TreeNode *node,
                               TreeNode *sibling);
// Moves a node with its descendants to the end of newParent's children (the top level
// when null). newParent must not lie inside the node's own branch.
QUndoCommand *moveToEndEdit(StructureModel &model, const QString &text, TreeNode *node,
                            TreeNode *newParent);
// Sets a node's caption and link.
QUndoCommand *setTextsEdit(StructureModel &model, const QString &text, TreeNode *node,
                           const QString &caption, const QString &link);
// Sets a node's caption, link and its own topic choices in one step.
QUndoCommand *setPropertiesEdit(StructureModel &model, const QString &text, TreeNode *node,
                                const QString &caption, const QString &link,
                                const TopicOverride &topics);
// Sets the project's topic settings. Acts on the project rather than the tree, so it must
// leave the stack with the project: a new, opened or closed project clears it.
QUndoCommand *setProjectTopicsEdit(Project &project, const QString &text,
                                   const TopicSettings &topics);

}  // namespace zelbrin::ui
