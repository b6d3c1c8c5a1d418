#pragma once

// A shown main window with a new project, scripted prompts and a scratch folder,
// plus helpers to build trees, highlight rows and drag things onto the tree.

#include "mainwindow.h"
#include "scriptedprompts.h"
#include "structureview.h"
#include "windowparts.h"
#include "filelistwidget.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace zelbrin::ui::testing {

struct WorkbenchTest : ::testing::Test {
    QTemporaryDir dir;
    zelbrin::testing::ScriptedPrompts prompts;
    std::unique_ptr<MainWindow> w;
    StructureModel *m = nullptr;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        w = std::make_unique<MainWindow>(MainWindowOptions{&prompts, false});
        w->show();
        w->newProject();
        m = &w->project().tree();
    }
    void TearDown() override {
        EXPECT_EQ(prompts.unexpected, 0);
        w->project().setModified(false);
        w.reset();
    }

    StructureView *view() const { return part<StructureView>(*w, "structureView"); }
    FileListWidget *list() const { return part<FileListWidget>(*w, "fileList"); }
    QAction *entry(const char *name) const { return part<QAction>(*w, name); }
    QString path(const QString &name) const { return dir.path() + "/" + name; }

    void touch(const QStringList &names) {
        for (const QString &n : names) {
            QFile f(path(n));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << n.toStdString();
        }
    }
    // Working directory = the scratch folder, list filled.
    void useScratchFolder(const QStringList &files) {
        touch(files);
        w->project().setWorkCatalog(dir.path());
    }

    TreeNode *catalog(TreeNode *parent, const QString &caption) {
        return w->addNode(parent, caption, false, false, QString());
    }
    TreeNode *fileLink(TreeNode *parent, const QString &name) {
        return w->addNode(parent, name, false, false, path(name));
    }
    QModelIndex idx(const TreeNode *n) const { return m->indexOf(n); }
    QPoint centerOf(const TreeNode *n) const { return view()->visualRect(idx(n)).center(); }
    bool expanded(const TreeNode *n) const { return view()->isExpanded(idx(n)); }

    void selectNodes(const QList<TreeNode *> &nodes) {
        auto *sm = view()->selectionModel();
        sm->clearSelection();
        for (TreeNode *n : nodes)
            sm->select(idx(n), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QStringList captions(const TreeNode *parent) const {
        QStringList c;
        for (int i = 0; i < m->childCount(parent); ++i)
            c << m->childAt(parent, i)->caption;
        return c;
    }
    QStringList links(const TreeNode *parent) const {
        QStringList c;
        for (int i = 0; i < m->childCount(parent); ++i)
            c << m->childAt(parent, i)->link;
        return c;
    }

    QTreeWidgetItem *row(const QString &name) const {
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            if (list()->topLevelItem(i)->text(0) == name)
                return list()->topLevelItem(i);
        return nullptr;
    }
    void highlight(const QStringList &names) {
        list()->clearSelection();
        for (const QString &n : names) {
            QTreeWidgetItem *r = row(n);
            ASSERT_NE(r, nullptr) << n.toStdString();
            r->setSelected(true);
        }
    }
    QStringList rowNames(int column = 0) const {
        QStringList names;
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            names << list()->topLevelItem(i)->text(column);
        return names;
    }
    QList<int> rowImages() const {
        QList<int> images;
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            images << FileListWidget::imageIndexOf(list()->topLevelItem(i));
        return images;
    }
    QStringList highlightedNames() const {
        QStringList names;
        for (QTreeWidgetItem *r : list()->highlightedRows())
            names << r->text(0);
        return names;
    }

    void markSaved() { w->setProjectModified(false); }
    bool modified() const { return w->project().isModified(); }

    // What the list hands to a drag of its highlighted rows.
    QMimeData *listDragData() const {
        QModelIndexList rows;
        for (QTreeWidgetItem *r : list()->highlightedRows())
            rows << list()->model()->index(list()->indexOfTopLevelItem(r), 0);
        return list()->model()->mimeData(rows);
    }

    // Enter, move and (when the move was accepted) drop at pos on the tree's viewport.
    // Returns whether the drop was accepted.
    bool dragOntoTree(QMimeData *data, const QPoint &pos) {
        std::unique_ptr<QMimeData> owned(data);
        QWidget *vp = view()->viewport();
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(pos, actions, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &enter);
        if (!enter.isAccepted())
            return false;
        QDragMoveEvent move(pos, actions, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &move);
        if (!move.isAccepted()) {
            QDragLeaveEvent leave;
            QApplication::sendEvent(vp, &leave);
            return false;
        }
        QDropEvent drop(QPointF(pos), actions, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &drop);
        return drop.isAccepted();
    }
    // A point of the tree's viewport below every node.
    QPoint emptySpace() const { return QPoint(5, view()->viewport()->height() - 3); }
};

}  // namespace zelbrin::ui::testing
