#pragma once

#include <QStyledItemDelegate>

#include <functional>

namespace zelbrin::ui {

// Draws each structure-tree node with the image-list picture of its image index, and
// keeps a node's caption when an in-place edit leaves nothing visible of it. An edited
// caption goes to the committer (which makes it an undoable edit), else to the model.
class StructureDelegate : public QStyledItemDelegate {
public:
    using CaptionCommitter = std::function<void(const QModelIndex &, const QString &)>;
    using QStyledItemDelegate::QStyledItemDelegate;
    void setCaptionCommitter(CaptionCommitter commit) { commit_ = std::move(commit); }
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    CaptionCommitter commit_;
};

}  // namespace zelbrin::ui
