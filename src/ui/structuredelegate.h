#pragma once

#include <QStyledItemDelegate>

namespace zelbrin::ui {

// Draws each structure-tree node with the image-list picture of its image index.
class StructureDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

}  // namespace zelbrin::ui
