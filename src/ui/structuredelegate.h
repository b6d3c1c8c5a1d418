#pragma once

#include <QStyledItemDelegate>

namespace zelbrin::ui {

// Draws each structure-tree node with the image-list picture of its image index, and
// keeps a node's caption when an in-place edit leaves nothing visible of it.
class StructureDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

}  // namespace zelbrin::ui
