#include "structuredelegate.h"

#include "imagelist.h"
#include "structuretree.h"
#include "workbenchrules.h"

#include <QLineEdit>

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

void StructureDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                     const QModelIndex &index) const {
    auto *line = qobject_cast<QLineEdit *>(editor);
    // An empty caption would make an invisible node that cannot be clicked again.
    if (line && trimBlanksAndControls(line->text()).isEmpty())
        return;
    if (line && commit_)
        commit_(index, line->text());
    else
        QStyledItemDelegate::setModelData(editor, model, index);
}

}  // namespace zelbrin::ui
