#pragma once

#include "workbenchrules.h"

#include <QPersistentModelIndex>
#include <QTreeView>

#include <functional>

class QMimeData;

namespace zelbrin::ui {

// The structure tree's control. It reports the events the window acts on (a drag
// starting on a node, a drop, the in-place editor opening and closing, the input focus
// leaving) and moves the focus to the node under the pointer while something is
// dragged over it; the window decides what a drop means.
class StructureView : public QTreeView {
    Q_OBJECT
public:
    explicit StructureView(QWidget *parent = nullptr);

    using QTreeView::edit;
    bool isEditing() const { return state() == EditingState; }
    // Ends an open in-place edit as if it had been confirmed.
    void commitOpenEditor();

    // What a drag starting on index carries; also reports the start (nodeDragStarted).
    QMimeData *beginNodeDrag(const QModelIndex &index);

    // The line the empty tree shows, telling what to do first; no line when empty.
    void setEmptyHint(const QString &hint);
    const QString &emptyHint() const { return emptyHint_; }

    // Decides whether a drop from source on the focused node (none over empty space) is
    // accepted; without one nothing is.
    void setDropFilter(std::function<bool(DragSource)> accepts) {
        acceptsDrop_ = std::move(accepts);
    }

signals:
    // An accepted drop; globalPos is the drop point on the screen.
    void dropped(DragSource source, const QPoint &globalPos);
    void nodeDragStarted(const QModelIndex &index);
    // Around the drag loop of a drag that started here.
    void dragLoopStarted();
    void dragLoopFinished();
    void editorOpened();
    // The in-place edit of index ended (committed or not).
    void editorClosed(const QModelIndex &index);
    void focusLeft();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Moves the focus to the node under pos and returns whether the drop is accepted.
    bool trackDrag(const QPoint &pos, const QMimeData *data);

    std::function<bool(DragSource)> acceptsDrop_;
    QPersistentModelIndex pressed_;
    QPersistentModelIndex edited_;
    QString emptyHint_;
};

}  // namespace zelbrin::ui
