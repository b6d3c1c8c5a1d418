#pragma once

#include <QTreeWidget>

class QMimeData;

namespace zelbrin::ui {

// The working-directory list: flat rows of a shown file name (column 0), the name
// relative to the working directory (column 1, hidden) and a picture of the image list.
// Dragging rows carries them under their own data type, so the structure tree can tell
// them from anything else.
class FileListWidget : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int ImageIndexRole = Qt::UserRole + 1;

    explicit FileListWidget(QWidget *parent = nullptr);

    QTreeWidgetItem *appendRow(const QString &name, const QString &relative, int imageIndex);
    static int imageIndexOf(const QTreeWidgetItem *row);
    // The highlighted rows, top to bottom.
    QList<QTreeWidgetItem *> highlightedRows() const;

signals:
    // Around the drag loop of a drag that started here.
    void dragLoopStarted();
    void dragLoopFinished();

protected:
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QList<QTreeWidgetItem *> &items) const override;
    void startDrag(Qt::DropActions supportedActions) override;
};

}  // namespace zelbrin::ui
