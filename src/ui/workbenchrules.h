#pragma once

// The decisions of the workbench's tree editing, file list and drag and drop, kept
// apart from the widgets so that they can be tested and read on their own.

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class QMimeData;

namespace zelbrin {
class StructureModel;
class TreeNode;
}  // namespace zelbrin

namespace zelbrin::ui {

// ---- Display order ----------------------------------------------------------

// Whether the tree control shows a node's children (its expanded state).
using ExpandedFn = std::function<bool(const TreeNode *)>;

// The node after node in display order: its first child when it is expanded and has
// children, else its next sibling, else the next sibling of its nearest ancestor
// that has one, else none.
TreeNode *nextInDisplayOrder(const StructureModel &model, const TreeNode *node,
                             const ExpandedFn &isExpanded);

// Whether the tree already links path, by the walk the document list relies on. It
// does not visit every node: the link of a node that has children is never compared,
// and collapsed branches are only partly seen.
bool isLinkedInTree(const StructureModel &model, const QString &path, const ExpandedFn &isExpanded);

// Pre-order position, whatever the expanded state.
bool precedesInDisplayOrder(const TreeNode *a, const TreeNode *b);
QList<TreeNode *> inDisplayOrder(QList<TreeNode *> nodes);
// True when node is root or lies below it.
bool isInSubtree(const TreeNode *node, const TreeNode *root);

// ---- What an edit did to the documents --------------------------------------

// Every node's non-empty link, parents before children, top to bottom.
QStringList linksInDisplayOrder(const StructureModel &model);

// What an edit did to the documents the tree links (links compared by linksEqual), each
// named once: those it linked more often than before, and those it left linked nowhere,
// the latter from the bottom of the old tree up (the order in which Remove gives their
// rows back).
struct LinkChanges {
    QStringList moreOften, unlinked;
};
LinkChanges linkChanges(const QStringList &before, const QStringList &after);

// ---- Names ------------------------------------------------------------------

// The text after the last "/" (the whole text when there is none).
QString fileNamePart(const QString &path);
// Picture of a row that comes back from the tree: the extension from the last "."
// compared exactly, ".doc" a Word document, ".htm"/".html" a web page, the newer
// extensions the picture of their pass, else a page.
int imageIndexForReturnedName(const QString &name);
// Removes leading and trailing blanks and control characters (nothing inside).
QString trimBlanksAndControls(const QString &text);

// ---- Working-directory list --------------------------------------------------

struct FileListPass {
    const char *extension;
    int imageIndex;
};
// The passes in their order: doc, htm, html, txt, xls, ppt, then the newer formats
// docx, xlsx, pptx, odt, ods, odp.
extern const std::array<FileListPass, 12> kFileListPasses;

// Names of the files directly in folder whose extension is exactly extension, ignoring
// letter case, hidden ones and links to files included, sorted by name. Folders are
// left out: a folder named like a document would fail the build once placed.
// "*.htm" does not find ".html". An unreadable folder gives nothing.
QStringList scanFileListPass(const QString &folder, const QString &extension);

// Whether the list shows path when folder is the working directory: a file directly in
// folder whose extension is one of the passes' (letter case ignored).
bool isListedDocument(const QString &folder, const QString &path);

// Whether path names an existing folder (an empty path names none).
bool isExistingFolder(const QString &path);
// A working directory as typed, made absolute against the current folder: links are
// made from it and stored as they are, and a relative one would name other files, or
// none, when the program next starts in another folder.
QString absoluteWorkCatalog(const QString &typed);

// ---- Node properties ---------------------------------------------------------

// The documents of folder that may become a catalog's page: the files matching
// "*.doc;*.html;*.txt;*.htm" (letter case ignored), by name. Nothing for an empty path.
QStringList linkFileChoices(const QString &folder);

// ---- Drag and drop ----------------------------------------------------------

enum class DragSource { None, FileList, Tree };

// Rows dragged from the working-directory list, and a node dragged within the tree.
extern const QString kFileListMimeType;
extern const QString kTreeNodeMimeType;
DragSource dragSourceOf(const QMimeData *data);

// Whether the tree accepts a drop from source on target (the node under the pointer,
// null over empty space). dragged is the node the tree drag started on, null when none
// is remembered (or it has been deleted). A dragged node must be a file link without
// children.
bool treeAcceptsDrop(DragSource source, const TreeNode *target, const TreeNode *dragged);
// After an accepted node drop: whether the move-or-copy menu is offered. Dropping on
// the node's own catalog changes nothing.
bool offersMoveOrCopy(const TreeNode *dragged, const TreeNode *target);

}  // namespace zelbrin::ui
