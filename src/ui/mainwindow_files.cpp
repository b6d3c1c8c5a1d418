// The working-directory list and placing documents into the tree and taking them out.
#include "mainwindow.h"

#include "boundaction.h"
#include "prompts.h"
#include "setworkcatalogdialog.h"
#include "structureview.h"
#include "filelistwidget.h"
#include "treecommands.h"
#include "workbenchrules.h"

#include <QMenu>
#include <QUndoCommand>

#include <algorithm>

namespace zelbrin::ui {

void MainWindow::setupPlacing() {
    structureView_->setDropFilter([this](DragSource source) { return acceptsDropOnTree(source); });
    connect(structureView_, &StructureView::dropped, this, &MainWindow::dropOnTree);
    connect(structureView_, &StructureView::nodeDragStarted, this,
            [this](const QModelIndex &index) { rememberDraggedNode(model_->nodeOf(index)); });
    auto started = [this] { ++runningDrags_; };
    auto finished = [this] {
        --runningDrags_;
        finishDrop();
    };
    connect(structureView_, &StructureView::dragLoopStarted, this, started);
    connect(structureView_, &StructureView::dragLoopFinished, this, finished);
    connect(fileList_, &FileListWidget::dragLoopStarted, this, started);
    connect(fileList_, &FileListWidget::dragLoopFinished, this, finished);

    connect(structureView_, &QAbstractItemView::doubleClicked, this, [this] { removeDocuments(); });
    connect(fileList_, &QAbstractItemView::doubleClicked, this, [this] { placeDocuments(); });

    // A deleted node no longer counts as the dragged node.
    connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parent, int first, int last) {
                for (int r = first; r <= last && draggedNode_; ++r)
                    if (isInSubtree(draggedNode_, model_->nodeOf(model_->index(r, 0, parent))))
                        draggedNode_ = nullptr;
            });
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { draggedNode_ = nullptr; });

    if (!runPopupMenu_)
        runPopupMenu_ = [](QMenu *menu, const QPoint &at) { return menu->exec(at); };
}

bool MainWindow::isLinkedInTree(const QString &path) const {
    return ui::isLinkedInTree(*model_, path, [this](const TreeNode *n) {
        return structureView_->isExpanded(model_->indexOf(n));
    });
}

void MainWindow::chooseWorkCatalog() {
    const QString initial = project_->workCatalog().isEmpty()
                                ? programFolder()
                                : project_->workCatalog();
    SetWorkCatalogDialog dialog(this);
    dialog.setInitialFolder(initial);
    dialog.setFolderCheck([this](const QString &text) {
        if (isExistingFolder(text))
            return true;
        prompts_->notice(QStringLiteral("路径不存在：") + text, UserPrompts::Icon::None);
        return false;
    });
    runDialog_(dialog);
    const QString folder = dialog.chosenFolder();
    if (folder.isEmpty())
        return;
    project_->setWorkCatalog(absoluteWorkCatalog(folder));
    setProjectModified(true);
}

void MainWindow::refreshFileList() { fillFileList(project_->workCatalog()); }

void MainWindow::fillFileList(const QString &folder) {
    if (folder.isEmpty())
        return;
    fileList_->clear();
    const bool nodeFocused = focusedNode() != nullptr;
    for (const FileListPass &pass : kFileListPasses) {
        for (const QString &name : scanFileListPass(folder, QLatin1String(pass.extension))) {
            if (nodeFocused && isLinkedInTree(folder + u'/' + name))
                continue;
            fileList_->appendRow(name, name, pass.imageIndex);
        }
    }
}

void MainWindow::refreshDocuments() {
    if (!project_->workCatalog().isEmpty())
        refreshFileList();
}

void MainWindow::enableFileListMenuEntries() {
    const bool highlighted = !fileList_->selectedItems().isEmpty();
    placeDocumentsListEntry_->setOwnEnabled(highlighted);
    placeAllDocumentsListEntry_->setOwnEnabled(highlighted);
    refreshDocumentsListEntry_->setEnabled(!project_->workCatalog().isEmpty());
}

void MainWindow::placeDocuments() { placeHighlightedRows(QStringLiteral("选中")); }

// Places the highlighted rows into the focused catalog; true when that was an edit. The
// list loses the placed rows as the links come in (followLinkChanges).
bool MainWindow::placeHighlightedRows(const QString &text) {
    const QList<QTreeWidgetItem *> rows = fileList_->highlightedRows();
    if (rows.isEmpty()) {
        prompts_->notice(QStringLiteral("请选择文件"), UserPrompts::Icon::Information);
        return false;
    }
    if (model_->topLevelCount() == 0) {
        prompts_->notice(QStringLiteral("请先在CHM结构中建立一个目录！"),
                         UserPrompts::Icon::Information);
        return false;
    }
    TreeNode *focused = focusedNode();
    if (!focused) {
        prompts_->notice(QStringLiteral("请为这些文件选择一个目录"), UserPrompts::Icon::Information);
        return false;
    }
    // A focused file link stands for its catalog.
    TreeNode *target = focused->link.isEmpty() ? focused : focused->parent();
    if (refuseDeeperLevel(target))
        return false;
    std::vector<std::unique_ptr<TreeNode>> nodes;
    QStringList paths;
    for (const QTreeWidgetItem *row : rows) {
        const QString path = project_->workCatalog() + u'/' + row->text(1);
        const bool placedNow = std::any_of(paths.cbegin(), paths.cend(),
                                           [&](const QString &p) { return linksEqual(p, path); });
        if (hasChildLink(target, path) || placedNow)
            continue;  // already linked here: the row stays, highlighted
        nodes.push_back(makeNode(row->text(0), path, ImageIndex::Page));
        paths << path;
    }
    if (nodes.empty()) {
        setProjectModified(true);
        return false;
    }
    runEdit(appendNodesEdit(*model_, text, target, std::move(nodes)));
    showChildrenOf(target);
    return true;
}

void MainWindow::placeAllDocuments() {
    fileList_->setUpdatesEnabled(false);
    fileList_->selectAll();
    // Marked modified also when nothing was placed.
    if (!placeHighlightedRows(QStringLiteral("全部选中")))
        setProjectModified(true);
    fileList_->clearSelection();
    fileList_->setUpdatesEnabled(true);
}

// Removing marks the project modified also when there was nothing to remove.
void MainWindow::removeDocuments() {
    const QList<TreeNode *> nodes = selectedNodesInDisplayOrder();
    for (const TreeNode *n : nodes)
        if (n->link.isEmpty())
            return;
    if (nodes.isEmpty())
        setProjectModified(true);
    else
        runEdit(removeNodesEdit(*model_, QStringLiteral("移出"), nodes));
}

void MainWindow::removeAllDocuments() {
    TreeNode *focused = focusedNode();
    if (!focused)
        return;
    TreeNode *target = focused;
    if (!focused->link.isEmpty()) {
        target = focused->parent();
        if (!target)
            return;
    }
    QList<TreeNode *> children;
    for (int i = 0; i < target->childCount(); ++i) {
        if (target->child(i)->link.isEmpty())
            return;  // the catalog holds a catalog
        children << target->child(i);
    }
    if (children.isEmpty())
        setProjectModified(true);
    else
        runEdit(removeNodesEdit(*model_, QStringLiteral("全部移出"), children));
}

// After an edit: documents linked more often leave the list, and documents of the working
// directory that are linked nowhere any more come back to its end.
void MainWindow::followLinkChanges(const LinkChanges &changes) {
    const QString folder = project_->workCatalog();
    auto listedRow = [&](const QString &link) {
        for (int i = 0; i < fileList_->topLevelItemCount(); ++i)
            if (linksEqual(folder + u'/' + fileList_->topLevelItem(i)->text(1), link))
                return i;
        return -1;
    };
    for (const QString &link : changes.moreOften)
        for (int row; (row = listedRow(link)) >= 0;)
            delete fileList_->takeTopLevelItem(row);
    for (const QString &link : changes.unlinked) {
        // Named after the linked document, not the caption, which may have been renamed.
        const QString name = fileNamePart(link);
        if (isListedDocument(folder, link) && listedRow(link) < 0)
            fileList_->appendRow(name, name, imageIndexForReturnedName(name));
    }
}

// Documents placed into a collapsed catalog would seem to vanish.
void MainWindow::showChildrenOf(TreeNode *catalog) {
    if (catalog)
        structureView_->expand(model_->indexOf(catalog));
}

void MainWindow::rememberDraggedNode(TreeNode *node) { draggedNode_ = node; }

bool MainWindow::acceptsDropOnTree(DragSource source) const {
    return treeAcceptsDrop(source, focusedNode(), draggedNode_);
}

void MainWindow::dropOnTree(DragSource source, const QPoint &globalPos) {
    pendingDrop_ = PendingDrop{source, globalPos};
    // Inside our own drag loop the drop is finished when the loop ends, as a drag's
    // end is; a drop from outside any loop of ours is finished at once.
    if (runningDrags_ == 0)
        finishDrop();
}

void MainWindow::finishDrop() {
    if (!pendingDrop_)
        return;
    const PendingDrop drop = *pendingDrop_;
    pendingDrop_.reset();
    if (drop.source == DragSource::FileList)
        placeDroppedDocuments(true);
    else if (drop.source == DragSource::Tree)
        offerMoveOrCopy(true, drop.globalPos);
}

void MainWindow::placeDroppedDocuments(bool accepted) {
    if (accepted)
        placeDocuments();
}

void MainWindow::offerMoveOrCopy(bool accepted, const QPoint &globalPos) {
    if (!accepted || !draggedNode_ || !offersMoveOrCopy(draggedNode_, focusedNode()))
        return;
    QAction *choice = runPopupMenu_(dropMenu_, globalPos);
    if (choice == moveDraggedNodeAction_)
        moveDraggedNode();
    else if (choice == copyDraggedNodeAction_)
        copyDraggedNode();
}

// The dragged link copied into the focused catalog, unless it links the document already.
static QUndoCommand *copyEdit(StructureModel &model, const QString &text, TreeNode *dragged,
                              TreeNode *target, QUndoCommand *group = nullptr) {
    std::vector<std::unique_ptr<TreeNode>> copy;
    if (!model.hasChildLink(target, dragged->link)) {
        copy.push_back(makeNode(dragged->caption, dragged->link, ImageIndex::Page));
        copy.back()->topics = dragged->topics;  // the document keeps its own choices
    }
    return copy.empty() ? nullptr : appendNodesEdit(model, text, target, std::move(copy), group);
}

void MainWindow::copyDraggedNode() {
    TreeNode *target = focusedNode();
    if (!draggedNode_ || refuseDeeperLevel(target))
        return;
    if (QUndoCommand *edit = copyEdit(*model_, QStringLiteral("拷贝"), draggedNode_, target)) {
        runEdit(edit);
        showChildrenOf(target);
    } else {
        setProjectModified(true);  // as a copy that made nothing always has
    }
}

void MainWindow::moveDraggedNode() {
    TreeNode *dragged = draggedNode_;
    TreeNode *target = focusedNode();
    if (!dragged || refuseDeeperLevel(target))
        return;  // the link stays where it was
    auto *edit = new QUndoCommand(QStringLiteral("移动"));
    copyEdit(*model_, QString(), dragged, target, edit);
    // Also when the target already linked the document: the link leaves its old catalog.
    removeNodesEdit(*model_, QString(), {dragged}, edit);
    runEdit(edit);
    showChildrenOf(target);
}

}  // namespace zelbrin::ui
