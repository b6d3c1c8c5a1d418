#include "structuredelegate.h"

#include "imagelist.h"
#include "structuretree.h"

namespace zelbrin::ui {

void StructureDelegate::initStyleOption(QStyleOptionViewItem *option,
                                        const QModelIndex &index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const QVariant image = index.data(StructureModel::ImageIndexRole);
    if (image.isValid()) {
        option->icon = imageListIcon(image.toInt());
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->decorationSize = QSize(16, 16);
    }
}

}  // namespace zelbrin::ui
