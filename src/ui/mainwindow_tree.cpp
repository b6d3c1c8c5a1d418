// Structure-tree editing: new catalogs, rename, delete, moves, properties.
#include "mainwindow.h"

#include "boundaction.h"
#include "nodepropertiesdialog.h"
#include "prompts.h"
#include "structureview.h"
#include "treecommands.h"
#include "workbenchrules.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QUndoStack>

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
            [this] { changesBeforeRename_.reset(); });
    connect(structureView_, &StructureView::focusLeft, this, &MainWindow::restoreTreeCaption);
    // The shown document follows the focus and the node's link, and goes with the tree.
    connect(structureView_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &MainWindow::showTreeCaption);
    connect(model_, &QAbstractItemModel::dataChanged, this, &MainWindow::showTreeCaption);
    connect(model_, &QAbstractItemModel::modelReset, this, &MainWindow::restoreTreeCaption);
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

// A catalog with children has a title and a page of its own to set; a document link has
// a title and its own topic choices. A catalog without children has neither.
static bool hasProperties(const TreeNode *node) {
    return node->hasChildren() || !node->link.isEmpty();
}

static std::vector<std::unique_ptr<TreeNode>> oneNode(std::unique_ptr<TreeNode> node) {
    std::vector<std::unique_ptr<TreeNode>> nodes;
    nodes.push_back(std::move(node));
    return nodes;
}

void MainWindow::newCatalog(TreeNode *parent, const QString &text) {
    revealChildrenOf(structureView_, *model_, parent);
    auto node = makeNode(kNewCatalogCaption, QString(), ImageIndex::Catalog);
    TreeNode *added = node.get();
    runEdit(appendNodesEdit(*model_, text, parent, oneNode(std::move(node))));
    showNewCatalog(added, true);
    structureView_->scrollTo(model_->indexOf(added));
}

void MainWindow::newSiblingCatalog() {
    TreeNode *focused = focusedNode();
    newCatalog(focused ? focused->parent() : nullptr, QStringLiteral("新建同级目录"));
}

void MainWindow::newChildCatalog() {
    TreeNode *parent = focusedNode();
    if (!refuseDeeperLevel(parent))
        newCatalog(parent, QStringLiteral("新建下级目录"));
}

void MainWindow::renameFocusedNode() {
    TreeNode *focused = focusedNode();
    if (!focused)
        return;
    const QModelIndex index = model_->indexOf(focused);
    setInPlaceEditing(true);
    structureView_->scrollTo(index);
    structureView_->edit(index);
    // Counts as a change even when the edit is cancelled; a changed caption is an edit of
    // its own, which undoes back to the state before.
    changesBeforeRename_ = changesOutsideUndo_;
    setProjectModified(true);
}

void MainWindow::commitCaption(const QModelIndex &index, const QString &caption) {
    TreeNode *node = model_->nodeOf(index);
    if (!node || node->caption == caption)
        return;
    if (changesBeforeRename_)
        changesOutsideUndo_ = *changesBeforeRename_;
    runEdit(setTextsEdit(*model_, QStringLiteral("重命名"), node, caption, node->link));
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
    showingNodeFile_ = true;
    showTreeCaption();
    if (rememberedCaption_.isEmpty() || rememberedCaption_ != focused->caption) {
        rememberedCaption_ = focused->caption;
        return;
    }
    // A second click on the same caption starts renaming.
    rememberedCaption_ = focused->caption;
    setInPlaceEditing(true);
    structureView_->edit(model_->indexOf(focused));
}

void MainWindow::restoreTreeCaption() {
    showingNodeFile_ = false;
    showTreeCaption();
}

void MainWindow::showTreeCaption() {
    const TreeNode *focused = showingNodeFile_ ? focusedNode() : nullptr;
    setTreeCaption(structureBox_, focused ? fileNamePart(focused->link) : kTreeCaption);
}

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
    runEdit(removeNodesEdit(*model_, QStringLiteral("删除目录"), nodes));
    TreeNode *next = model_->childAt(parent, row);
    setFocusedNode(next ? next : parent);
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

void MainWindow::swapNodes(TreeNode *focused, TreeNode *neighbour, const QString &text) {
    runEdit(swapSiblingsEdit(*model_, text, focused, neighbour));
    if (neighbour->hasChildren())
        structureView_->expand(model_->indexOf(neighbour));
    focusMovedNode(focused);
}

void MainWindow::moveNodeUp() {
    TreeNode *focused = focusedNode();
    if (focused && focused->row() > 0)
        swapNodes(focused, model_->childAt(focused->parent(), focused->row() - 1),
                  QStringLiteral("上移"));
}

void MainWindow::moveNodeDown() {
    TreeNode *focused = focusedNode();
    if (focused && focused->row() < model_->childCount(focused->parent()) - 1)
        swapNodes(focused, model_->childAt(focused->parent(), focused->row() + 1),
                  QStringLiteral("下移"));
}

void MainWindow::promoteNode() {
    TreeNode *focused = focusedNode();
    if (!focused || !focused->parent())
        return;
    runEdit(moveToEndEdit(*model_, QStringLiteral("左移"), focused, focused->parent()->parent()));
    focusMovedNode(focused);
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
    editNodePropertiesTreeEntry_->setEnabled(any && hasProperties(selected.first()));
}

void MainWindow::editNodeProperties() {
    const QList<TreeNode *> selected = selectedNodesInDisplayOrder();
    if (selected.isEmpty() || !hasProperties(selected.first()))
        return;
    TreeNode *node = selected.first();
    // A document link keeps its link (it is what the node is) and has topic choices; a
    // catalog with children has a link to choose from a list of documents.
    const bool document = !node->hasChildren();

    NodePropertiesDialog dialog(this);
    if (document) {
        dialog.showDocumentTopics(node->topics, project_->topics());
    } else {
        // The list shows the project file's folder; an unnamed project shows the
        // working directory instead (or nothing).
        QString folder = project_->workCatalog();
        if (!project_->fileName().isEmpty()) {
            folder = project_->directory();
            if (!isExistingFolder(folder)) {
                prompts_->notice(QStringLiteral("文件夹不存在：") + folder,
                                 UserPrompts::Icon::Error);
                return;
            }
        } else if (!isExistingFolder(folder)) {
            folder.clear();
        }
        dialog.setFileChoices(folder, linkFileChoices(folder));
    }
    dialog.setTitle(node->caption);
    dialog.setLink(node->link);
    if (runDialog_(dialog) != QDialog::Accepted)
        return;
    const QString caption = trimBlanksAndControls(dialog.title());
    const QString link = document ? node->link : trimBlanksAndControls(dialog.link());
    const TopicOverride topics = document ? dialog.topics() : node->topics;
    if (caption == node->caption && link == node->link && topics == node->topics)
        setProjectModified(true);  // OK counts as a change, as it always has
    else
        runEdit(setPropertiesEdit(*model_, QStringLiteral("目录属性设置"), node, caption, link,
                                  topics));
}

void MainWindow::runEdit(QUndoCommand *edit) {
    changeTree([this, edit] { undoStack_->push(edit); });
}

void MainWindow::undoEdit() {
    // A caption being typed is an edit of its own, taken back first.
    structureView_->commitOpenEditor();
    changeTree([this] { undoStack_->undo(); });
}

void MainWindow::redoEdit() {
    structureView_->commitOpenEditor();
    changeTree([this] { undoStack_->redo(); });
}

void MainWindow::changeTree(const std::function<void()> &change) {
    const QStringList before = linksInDisplayOrder(*model_);
    change();
    followLinkChanges(linkChanges(before, linksInDisplayOrder(*model_)));
    applyProjectState();
}

}  // namespace zelbrin::ui
