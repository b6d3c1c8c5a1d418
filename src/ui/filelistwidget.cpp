#include "filelistwidget.h"

#include "imagelist.h"
#include "workbenchrules.h"

#include <QDrag>
#include <QMimeData>

namespace zelbrin::ui {

FileListWidget::FileListWidget(QWidget *parent) : QTreeWidget(parent) {
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
}

QTreeWidgetItem *FileListWidget::appendRow(const QString &name, const QString &relative,
                                           int imageIndex) {
    auto *row = new QTreeWidgetItem(QStringList{name, relative});
    row->setIcon(0, imageListIcon(imageIndex));
    row->setData(0, ImageIndexRole, imageIndex);
    row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
    addTopLevelItem(row);
    return row;
}

int FileListWidget::imageIndexOf(const QTreeWidgetItem *row) {
    return row->data(0, ImageIndexRole).toInt();
}

QList<QTreeWidgetItem *> FileListWidget::highlightedRows() const {
    QList<QTreeWidgetItem *> rows;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected())
            rows << topLevelItem(i);
    return rows;
}

QStringList FileListWidget::mimeTypes() const { return {kFileListMimeType}; }

QMimeData *FileListWidget::mimeData(const QList<QTreeWidgetItem *> &items) const {
    // The drop places the highlighted rows; the names travel along for readers only.
    QStringList names;
    for (const QTreeWidgetItem *row : items)
        names << row->text(1);
    auto *data = new QMimeData;
    data->setData(kFileListMimeType, names.join(u'\n').toUtf8());
    return data;
}

void FileListWidget::startDrag(Qt::DropActions) {
    const QList<QTreeWidgetItem *> rows = highlightedRows();
    if (rows.isEmpty())
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(mimeData(rows));
    drag->setPixmap(rows.first()->icon(0).pixmap(16, 16));
    emit dragLoopStarted();
    drag->exec(Qt::CopyAction, Qt::CopyAction);
    emit dragLoopFinished();
}

}  // namespace zelbrin::ui
