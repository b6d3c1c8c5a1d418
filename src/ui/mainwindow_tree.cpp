// Structure-tree editing: new catalogs, rename, delete, moves, properties.
#include "mainwindow.h"

#include "boundaction.h"
#include "nodepropertiesdialog.h"
#include "prompts.h"
#include "structureview.h"
#include "workbenchrules.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>

#include <algorithm>

namespace zelbrin::ui {

namespace {
const QString kTreeCaption = QStringLiteral("CHM结构");
const QString kDeleteQuestion = QStringLiteral("删除目录后，该目录下的子目录和文件链接都会被删除！") +
                                QStringLiteral("\r\n") + QStringLiteral("确定要删除吗？");
}  // namespace

void MainWindow::setupTreeEditing() {
    connect(structureView_, &QAbstractItemView::clicked, this, [this] { noteClickInTree(); });
    // Each switching-on of the editing option allows one edit.
    connect(structureView_, &StructureView::editorOpened, this,
            [this] { setInPlaceEditing(false); });
    connect(structureView_, &StructureView::editorClosed, this,
            [this](const QModelIndex &index) { noteEditedCaption(model_->nodeOf(index)); });
    connect(structureView_, &StructureView::focusLeft, this, &MainWindow::restoreTreeCaption);
    if (!runDialog_)
        runDialog_ = [](QDialog &dialog) { return dialog.exec(); };
}

QList<TreeNode *> MainWindow::selectedNodesInDisplayOrder() const {
    return inDisplayOrder(selectedNodes());
}

// A new catalog opens its editor at once, so its parent is opened first to show it.
static void revealChildrenOf(QTreeView *view, const StructureModel &model, TreeNode *parent) {
    if (!parent)
        return;
    const QModelIndex index = model.indexOf(parent);
    view->scrollTo(index);  // opens the ancestors
    view->expand(index);
}

void MainWindow::newSiblingCatalog() {
    TreeNode *focused = focusedNode();
    TreeNode *parent = focused ? focused->parent() : nullptr;
    revealChildrenOf(structureView_, *model_, parent);
    TreeNode *node = AddNode(parent, QString(), false, true, QString());
    structureView_->scrollTo(model_->indexOf(node));
    setProjectModified(true);
}

void MainWindow::newChildCatalog() {
    TreeNode *parent = focusedNode();
    if (refuseDeeperLevel(parent))
        return;
    revealChildrenOf(structureView_, *model_, parent);
    TreeNode *node = AddNode(parent, QString(), false, true, QString());
    structureView_->scrollTo(model_->indexOf(node));
    setProjectModified(true);
}

void MainWindow::renameFocusedNode() {
    TreeNode *focused = focusedNode();
    if (!focused)
        return;
    const QModelIndex index = model_->indexOf(focused);
    setInPlaceEditing(true);
    structureView_->scrollTo(index);
    structureView_->edit(index);
    // Counts as a change even when the edit is cancelled.
    setProjectModified(true);
}

void MainWindow::noteEditedCaption(TreeNode *edited) {
    if (edited && edited->caption != rememberedCaption_)
        setProjectModified(true);
}

// The group box shrinks its top margin for an empty title; keeping the margin keeps the
// tree where it is, so that a second click lands on the node the first one hit.
static void setTreeCaption(QGroupBox *box, const QString &text) {
    const QMargins margins = box->contentsMargins();
    box->setTitle(text);
    box->setContentsMargins(margins);
}

void MainWindow::noteClickInTree() {
    TreeNode *focused = focusedNode();
    if (!focused)
        return;
    setTreeCaption(structureBox_, fileNamePart(focused->link));
    if (rememberedCaption_.isEmpty() || rememberedCaption_ != focused->caption) {
        rememberedCaption_ = focused->caption;
        return;
    }
    // A second click on the same caption starts renaming.
    rememberedCaption_ = focused->caption;
    setInPlaceEditing(true);
    structureView_->edit(model_->indexOf(focused));
}

void MainWindow::restoreTreeCaption() { setTreeCaption(structureBox_, kTreeCaption); }

void MainWindow::deleteSelectedNodes() {
    const QList<TreeNode *> nodes = selectedNodesInDisplayOrder();
    if (nodes.isEmpty()) {
        prompts_->notice(QStringLiteral("请选择节点"), UserPrompts::Icon::Information);
        return;
    }
    const bool anyBranch =
        std::any_of(nodes.begin(), nodes.end(), [](const TreeNode *n) { return n->hasChildren(); });
    if (anyBranch && prompts_->ask(kDeleteQuestion, false) != UserPrompts::Answer::Yes)
        return;
    TreeNode *parent = nodes.front()->parent();
    const int row = nodes.front()->row();
    // From the bottom up, so a selected descendant goes before its selected ancestor.
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it)
        model_->remove(*it);
    TreeNode *next = model_->childAt(parent, row);
    setFocusedNode(next ? next : parent);
    setProjectModified(true);
}

void MainWindow::focusMovedNode(TreeNode *node) {
    const QModelIndex index = model_->indexOf(node);
    if (node->hasChildren())
        structureView_->expand(index);
    setFocusedNode(node);
    structureView_->scrollTo(index);
    structureView_->selectionModel()->select(
        index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

bool MainWindow::swapNodes(TreeNode *focused, TreeNode *neighbour) {
    if (!focused || !neighbour || focused == neighbour || focused->parent() != neighbour->parent())
        return false;
    TreeNode *parent = focused->parent();
    // Rebuilt rather than reordered: the copies come up collapsed and unselected.
    TreeNode *focusedCopy =
        model_->insert(parent, neighbour->row(), StructureModel::cloneSubtree(focused));
    TreeNode *neighbourCopy =
        model_->insert(parent, focused->row(), StructureModel::cloneSubtree(neighbour));
    model_->remove(focused);
    model_->remove(neighbour);
    if (neighbourCopy->hasChildren())
        structureView_->expand(model_->indexOf(neighbourCopy));
    focusMovedNode(focusedCopy);
    return true;
}

void MainWindow::moveNodeUp() {
    TreeNode *focused = focusedNode();
    if (!focused || focused->row() == 0)
        return;
    if (swapNodes(focused, model_->childAt(focused->parent(), focused->row() - 1)))
        setProjectModified(true);
}

void MainWindow::moveNodeDown() {
    TreeNode *focused = focusedNode();
    if (!focused || focused->row() >= model_->childCount(focused->parent()) - 1)
        return;
    if (swapNodes(focused, model_->childAt(focused->parent(), focused->row() + 1)))
        setProjectModified(true);
}

void MainWindow::promoteNode() {
    TreeNode *focused = focusedNode();
    if (!focused || !focused->parent())
        return;
    TreeNode *grandparent = focused->parent()->parent();
    TreeNode *copy = model_->insert(grandparent, model_->childCount(grandparent),
                                    StructureModel::cloneSubtree(focused));
    model_->remove(focused);
    focusMovedNode(copy);
    setProjectModified(true);
}

void MainWindow::enableTreeMenuEntries() {
    const QList<TreeNode *> selected = selectedNodesInDisplayOrder();
    const bool any = !selected.isEmpty();
    for (BoundAction *a : {promoteNodeTreeEntry_, moveNodeUpTreeEntry_, moveNodeDownTreeEntry_})
        a->setOwnEnabled(any);
    const bool anyLink = std::any_of(selected.begin(), selected.end(),
                                     [](const TreeNode *n) { return !n->link.isEmpty(); });
    removeDocumentsTreeEntry_->setOwnEnabled(anyLink);
    removeAllDocumentsTreeEntry_->setOwnEnabled(anyLink);
    editNodePropertiesTreeEntry_->setEnabled(any && selected.first()->hasChildren());
}

void MainWindow::editNodeProperties() {
    const QList<TreeNode *> selected = selectedNodesInDisplayOrder();
    if (selected.isEmpty() || !selected.first()->hasChildren())
        return;
    TreeNode *node = selected.first();

    // The list shows the project file's folder; an unnamed project shows the
    // working directory instead (or nothing).
    QString folder = project_->WorkCatalog;
    if (!project_->FileName.isEmpty()) {
        folder = project_->ProjectDirectory();
        if (!isExistingFolder(folder)) {
            prompts_->notice(QStringLiteral("文件夹不存在：") + folder, UserPrompts::Icon::Error);
            return;
        }
    } else if (!isExistingFolder(folder)) {
        folder.clear();
    }
    NodePropertiesDialog dialog(this);
    dialog.setFileChoices(folder, linkFileChoices(folder));
    dialog.setTitle(node->caption);
    dialog.setLink(node->link);
    if (runDialog_(dialog) != QDialog::Accepted)
        return;
    model_->setCaption(node, trimBlanksAndControls(dialog.title()));
    model_->setLink(node, trimBlanksAndControls(dialog.link()));
    setProjectModified(true);
}

}  // namespace zelbrin::ui
