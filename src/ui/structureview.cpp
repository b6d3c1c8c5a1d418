#include "structureview.h"

#include "structuretree.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QFocusEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

namespace zelbrin::ui {

StructureView::StructureView(QWidget *parent) : QTreeView(parent) {
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    setDefaultDropAction(Qt::MoveAction);
}

QMimeData *StructureView::beginNodeDrag(const QModelIndex &index) {
    const QModelIndex node = index.siblingAtColumn(0);
    emit nodeDragStarted(node);
    auto *data = new QMimeData;
    data->setData(kTreeNodeMimeType, node.data(Qt::DisplayRole).toString().toUtf8());
    return data;
}

void StructureView::mousePressEvent(QMouseEvent *event) {
    pressed_ = indexAt(event->position().toPoint());
    QTreeView::mousePressEvent(event);
}

void StructureView::startDrag(Qt::DropActions) {
    const QModelIndex index = pressed_.isValid() ? QModelIndex(pressed_) : currentIndex();
    if (!index.isValid())
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(beginNodeDrag(index));
    const QIcon icon = index.siblingAtColumn(0).data(Qt::DecorationRole).value<QIcon>();
    if (!icon.isNull())
        drag->setPixmap(icon.pixmap(16, 16));
    emit dragLoopStarted();
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
    emit dragLoopFinished();
}

bool StructureView::trackDrag(const QPoint &pos, const QMimeData *data) {
    const DragSource source = dragSourceOf(data);
    if (source == DragSource::None)
        return false;
    // The node under the pointer is the drop target; over empty space there is none.
    selectionModel()->setCurrentIndex(indexAt(pos).siblingAtColumn(0),
                                      QItemSelectionModel::NoUpdate);
    return acceptsDrop_ && acceptsDrop_(source);
}

void StructureView::dragEnterEvent(QDragEnterEvent *event) {
    if (dragSourceOf(event->mimeData()) == DragSource::None) {
        event->ignore();
        return;
    }
    // Entering is always accepted so that the moves that follow decide.
    setState(DraggingState);
    trackDrag(event->position().toPoint(), event->mimeData());
    event->acceptProposedAction();
}

void StructureView::dragMoveEvent(QDragMoveEvent *event) {
    QTreeView::dragMoveEvent(event);  // auto-scrolling near the edges
    if (trackDrag(event->position().toPoint(), event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void StructureView::dragLeaveEvent(QDragLeaveEvent *event) { QTreeView::dragLeaveEvent(event); }

void StructureView::dropEvent(QDropEvent *event) {
    stopAutoScroll();
    setState(NoState);
    viewport()->update();
    const QPoint pos = event->position().toPoint();
    if (!trackDrag(pos, event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit dropped(dragSourceOf(event->mimeData()), viewport()->mapToGlobal(pos));
}

bool StructureView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) {
    const bool handled = QTreeView::edit(index, trigger, event);
    if (handled && state() == EditingState) {
        edited_ = index;
        emit editorOpened();
    }
    return handled;
}

void StructureView::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) {
    // A click on another node ends the edit after the focus has moved there, so the
    // edited node is the one the editor was opened on, not the current one.
    QTreeView::closeEditor(editor, hint);
    emit editorClosed(edited_);
}

void StructureView::commitOpenEditor() {
    if (!isEditing())
        return;
    if (QWidget *editor = indexWidget(edited_)) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void StructureView::focusOutEvent(QFocusEvent *event) {
    QTreeView::focusOutEvent(event);
    // Neither a popup menu, another window taking over, nor our own in-place editor
    // counts as leaving the tree.
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
        return;
    QWidget *now = QApplication::focusWidget();
    if (now && isAncestorOf(now))
        return;
    emit focusLeft();
}

void StructureView::setEmptyHint(const QString &hint) {
    if (hint == emptyHint_)
        return;
    emptyHint_ = hint;
    viewport()->update();
}

void StructureView::paintEvent(QPaintEvent *event) {
    QTreeView::paintEvent(event);
    if (emptyHint_.isEmpty() || !model() || model()->rowCount() > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, emptyHint_);
}

}  // namespace zelbrin::ui
