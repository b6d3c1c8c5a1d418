// The working-directory list and placing documents into the tree and taking them out.
#include "mainwindow.h"

#include "boundaction.h"
#include "prompts.h"
#include "setworkcatalogdialog.h"
#include "structureview.h"
#include "wordlistwidget.h"
#include "workbenchrules.h"

#include <QMenu>
#include <QToolButton>

namespace zelbrin::ui {

void TMainForm::setupPlacing() {
    for (QToolButton *b : {btnSelect, btnSelectAll, btnRemove, btnRemoveAll})
        b->setFixedWidth(23);

    tlMain->acceptsDrop = [this](DragSource source) { return tlMainDragOver(source); };
    tlMain->dropped = [this](DragSource source, const QPoint &at) { dropOnTree(source, at); };
    connect(tlMain, &StructureView::nodeDragStarted, this,
            [this](const QModelIndex &index) { tlMainBeginDragNode(model_->nodeOf(index)); });
    auto started = [this] { ++runningDrags_; };
    auto finished = [this] {
        --runningDrags_;
        finishDrop();
    };
    connect(tlMain, &StructureView::dragLoopStarted, this, started);
    connect(tlMain, &StructureView::dragLoopFinished, this, finished);
    connect(lvWordList, &WordListWidget::dragLoopStarted, this, started);
    connect(lvWordList, &WordListWidget::dragLoopFinished, this, finished);

    connect(tlMain, &QAbstractItemView::doubleClicked, this, [this] { actRemoveExecute(); });
    connect(lvWordList, &QAbstractItemView::doubleClicked, this, [this] { actSelectExecute(); });

    // A deleted node no longer counts as the dragged node.
    connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parent, int first, int last) {
                for (int r = first; r <= last && draggedNode_; ++r)
                    if (isInSubtree(draggedNode_, model_->nodeOf(model_->index(r, 0, parent))))
                        draggedNode_ = nullptr;
            });
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { draggedNode_ = nullptr; });

    if (!execPopupMenu)
        execPopupMenu = [](QMenu *menu, const QPoint &at) { return menu->exec(at); };
}

bool TMainForm::IsLinkedInTree(const QString &path) const {
    return isLinkedInTree(*model_, path, [this](const TreeNode *n) {
        return tlMain->isExpanded(model_->indexOf(n));
    });
}

void TMainForm::actSetWorkCatalogExecute() {
    const QString initial = project_->WorkCatalog.isEmpty()
                                ? programFolder()
                                : project_->WorkCatalog;
    SetWorkCatalogDialog dialog(*prompts_, this);
    dialog.setInitialFolder(initial);
    execDialog(dialog);
    const QString folder = dialog.chosenFolder();
    if (folder.isEmpty())
        return;
    project_->SetWorkCatalog(folder);
    UpdateProjectState(true);
}

void TMainForm::RefreshFileList() { RefreshFileList(project_->WorkCatalog); }

void TMainForm::RefreshFileList(const QString &folder) {
    if (folder.isEmpty())
        return;
    lvWordList->clear();
    const bool nodeFocused = focusedNode() != nullptr;
    for (const FileListPass &pass : kFileListPasses) {
        for (const QString &name : scanFileListPass(folder, QLatin1String(pass.extension))) {
            if (nodeFocused && IsLinkedInTree(folder + u'/' + name))
                continue;
            lvWordList->appendRow(name, name, pass.imageIndex);
        }
    }
}

void TMainForm::miListRefreshClick() {
    if (!project_->WorkCatalog.isEmpty())
        RefreshFileList();
}

void TMainForm::pmFileListPopup() {
    const bool highlighted = !lvWordList->selectedItems().isEmpty();
    miListSelect->setOwnEnabled(highlighted);
    miListSelectAll->setOwnEnabled(highlighted);
    miListRefresh->setEnabled(!project_->WorkCatalog.isEmpty());
}

void TMainForm::actSelectExecute() {
    const QList<QTreeWidgetItem *> rows = lvWordList->highlightedRows();
    if (rows.isEmpty()) {
        prompts_->notice(QStringLiteral("请选择文件"), UserPrompts::Icon::Information);
        return;
    }
    if (model_->topLevelCount() == 0) {
        prompts_->notice(QStringLiteral("请先在CHM结构中建立一个目录！"),
                         UserPrompts::Icon::Information);
        return;
    }
    TreeNode *focused = focusedNode();
    if (!focused) {
        prompts_->notice(QStringLiteral("请为这些文件选择一个目录"), UserPrompts::Icon::Information);
        return;
    }
    // A focused file link stands for its catalog.
    TreeNode *target = focused->link.isEmpty() ? focused : focused->parent();
    if (refuseDeeperLevel(target))
        return;
    QList<QTreeWidgetItem *> placed;
    for (QTreeWidgetItem *row : rows) {
        const QString path = project_->WorkCatalog + u'/' + row->text(1);
        if (HasChildLink(target, path))
            continue;  // already linked here: the row stays, highlighted
        AddNode(target, row->text(0), false, false, path);
        placed << row;
    }
    if (!placed.isEmpty())
        showChildrenOf(target);
    qDeleteAll(placed);
    UpdateProjectState(true);
}

void TMainForm::actSelectAllExecute() {
    lvWordList->setUpdatesEnabled(false);
    lvWordList->selectAll();
    actSelectExecute();
    lvWordList->clearSelection();
    UpdateProjectState(true);
    lvWordList->setUpdatesEnabled(true);
}

void TMainForm::appendReturnedRow(const TreeNode *node) {
    // Named after the linked document, not the caption, which may have been renamed.
    const QString name = fileNamePart(node->link);
    lvWordList->appendRow(name, name, imageIndexForReturnedName(name));
}

void TMainForm::actRemoveExecute() {
    const QList<TreeNode *> nodes = selectedNodesInDisplayOrder();
    for (const TreeNode *n : nodes)
        if (n->link.isEmpty())
            return;
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
        appendReturnedRow(*it);
        model_->remove(*it);
    }
    UpdateProjectState(true);
}

void TMainForm::actRemoveAllExecute() {
    TreeNode *focused = focusedNode();
    if (!focused)
        return;
    TreeNode *target = focused;
    if (!focused->link.isEmpty()) {
        target = focused->parent();
        if (!target)
            return;
    }
    for (int i = 0; i < target->childCount(); ++i)
        if (target->child(i)->link.isEmpty())
            return;  // the catalog holds a catalog
    for (int i = target->childCount() - 1; i >= 0; --i) {
        TreeNode *child = target->child(i);
        appendReturnedRow(child);
        model_->remove(child);
    }
    UpdateProjectState(true);
}

// Documents placed into a collapsed catalog would seem to vanish.
void TMainForm::showChildrenOf(TreeNode *catalog) {
    if (catalog)
        tlMain->expand(model_->indexOf(catalog));
}

void TMainForm::tlMainBeginDragNode(TreeNode *node) { draggedNode_ = node; }

bool TMainForm::tlMainDragOver(DragSource source) const {
    return treeAcceptsDrop(source, focusedNode(), draggedNode_);
}

void TMainForm::dropOnTree(DragSource source, const QPoint &globalPos) {
    pendingDrop_ = PendingDrop{source, globalPos};
    // Inside our own drag loop the drop is finished when the loop ends, as a drag's
    // end is; a drop from outside any loop of ours is finished at once.
    if (runningDrags_ == 0)
        finishDrop();
}

void TMainForm::finishDrop() {
    if (!pendingDrop_)
        return;
    const PendingDrop drop = *pendingDrop_;
    pendingDrop_.reset();
    if (drop.source == DragSource::WordList)
        lvWordListEndDrag(true);
    else if (drop.source == DragSource::Tree)
        tlMainEndDrag(true, drop.globalPos);
}

void TMainForm::lvWordListEndDrag(bool accepted) {
    if (accepted)
        actSelectExecute();
}

void TMainForm::tlMainEndDrag(bool accepted, const QPoint &globalPos) {
    if (!accepted || !draggedNode_ || !offersMoveOrCopy(draggedNode_, focusedNode()))
        return;
    QAction *choice = execPopupMenu(pmDrop, globalPos);
    if (choice == miCut)
        miCutClick();
    else if (choice == miCopy)
        miCopyClick();
}

void TMainForm::miCopyClick() {
    if (!draggedNode_)
        return;
    TreeNode *target = focusedNode();
    if (refuseDeeperLevel(target))
        return;
    if (!HasChildLink(target, draggedNode_->link)) {
        AddNode(target, draggedNode_->caption, false, false, draggedNode_->link);
        showChildrenOf(target);
    }
    UpdateProjectState(true);
}

void TMainForm::miCutClick() {
    TreeNode *dragged = draggedNode_;
    if (!dragged || refuseDeeperLevel(focusedNode()))
        return;  // the link stays where it was
    miCopyClick();
    // Also when the target already linked the document: the link leaves its old catalog.
    model_->remove(dragged);
    draggedNode_ = nullptr;
}

void TMainForm::panPlaceResize() {
    const int top = panPlace->height() / 4;
    btnSelect->move(5, top);
    btnSelectAll->move(5, btnSelect->y() + 40);
    btnRemove->move(5, btnSelectAll->y() + 80);
    btnRemoveAll->move(5, btnRemove->y() + 40);
}

}  // namespace zelbrin::ui
