#include "setworkcatalogdialog.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace zelbrin::ui {

SetWorkCatalogDialog::SetWorkCatalogDialog(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SetWorkCatalogDialog"));
    setWindowTitle(QStringLiteral("设置文件目录"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(324, 318);

    folders_ = new QFileSystemModel(this);
    folders_->setOption(QFileSystemModel::DontWatchForChanges);
    folders_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    folders_->setRootPath(QStringLiteral("/"));

    folderTree_ = new QTreeView(this);
    folderTree_->setObjectName(QStringLiteral("folderTree"));
    folderTree_->setModel(folders_);
    folderTree_->setHeaderHidden(true);
    for (int c = 1; c < folders_->columnCount(); ++c)
        folderTree_->hideColumn(c);
    folderTree_->setSelectionMode(QAbstractItemView::SingleSelection);
    folderTree_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto *label = new QLabel(QStringLiteral("工作目录"), this);
    folderEdit_ = new QLineEdit(this);
    folderEdit_->setObjectName(QStringLiteral("folderEdit"));
    label->setBuddy(folderEdit_);
    auto *ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(folderTree_, 1);
    layout->addWidget(label);
    layout->addWidget(folderEdit_);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &SetWorkCatalogDialog::confirm);
    // Escape reaches QDialog::reject as well.
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(folderTree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &SetWorkCatalogDialog::folderSelected);
    // The folder model lists folders in the background: the initial folder is brought
    // into view again whenever rows arrive or are sorted, until the user takes over the tree.
    connect(folders_, &QFileSystemModel::directoryLoaded, this, &SetWorkCatalogDialog::scheduleReveal);
    connect(folders_, &QAbstractItemModel::rowsInserted, this, &SetWorkCatalogDialog::scheduleReveal);
    connect(folders_, &QAbstractItemModel::layoutChanged, this, &SetWorkCatalogDialog::scheduleReveal);
    auto userTookOver = [this] {
        if (!revealing_)
            revealed_ = QPersistentModelIndex();
    };
    connect(folderTree_, &QTreeView::expanded, this, userTookOver);
    connect(folderTree_, &QTreeView::collapsed, this, userTookOver);
    connect(folderTree_->verticalScrollBar(), &QScrollBar::actionTriggered, this, userTookOver);
    connect(folderTree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (current != revealed_)
                    revealed_ = QPersistentModelIndex();
            });
    folderSelected();
}

void SetWorkCatalogDialog::setInitialFolder(const QString &folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    const QModelIndex index = folders_->index(QFileInfo(folder).absoluteFilePath());
    if (!index.isValid())
        return;
    revealed_ = index;
    folderTree_->setCurrentIndex(index);
    revealInitialFolder();
}

void SetWorkCatalogDialog::scheduleReveal() {
    if (!revealed_.isValid() || revealScheduled_)
        return;
    revealScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        revealScheduled_ = false;
        revealInitialFolder();
    });
}

void SetWorkCatalogDialog::revealInitialFolder() {
    if (!revealed_.isValid())
        return;
    revealing_ = true;
    for (QModelIndex p = revealed_.parent(); p.isValid(); p = p.parent())
        folderTree_->expand(p);
    folderTree_->scrollTo(revealed_, QAbstractItemView::PositionAtCenter);
    revealing_ = false;
}

QString SetWorkCatalogDialog::chosenFolder() const {
    return result() == QDialog::Accepted ? folderEdit_->text() : QString();
}

void SetWorkCatalogDialog::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    scheduleReveal();  // scrolling needs the laid-out view
    folderEdit_->selectAll();
    folderEdit_->setFocus();
}

void SetWorkCatalogDialog::confirm() {
    if (!check_ || check_(folderEdit_->text()))
        accept();
}

void SetWorkCatalogDialog::folderSelected() {
    const QModelIndex index = folderTree_->currentIndex();
    folderEdit_->setText(index.isValid() ? folders_->filePath(index) : QString());
}

}  // namespace zelbrin::ui
