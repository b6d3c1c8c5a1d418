#include "setworkcatalogdialog.h"

#include "prompts.h"

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

SetWorkCatalogDialog::SetWorkCatalogDialog(UserPrompts &prompts, QWidget *parent)
    : QDialog(parent), prompts_(prompts) {
    setObjectName(QStringLiteral("SetWorkCatalogDialog"));
    setWindowTitle(QStringLiteral("设置文件目录"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(324, 318);

    folders_ = new QFileSystemModel(this);
    folders_->setOption(QFileSystemModel::DontWatchForChanges);
    folders_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    folders_->setRootPath(QStringLiteral("/"));

    Folder_Tree = new QTreeView(this);
    Folder_Tree->setObjectName(QStringLiteral("Folder_Tree"));
    Folder_Tree->setModel(folders_);
    Folder_Tree->setHeaderHidden(true);
    for (int c = 1; c < folders_->columnCount(); ++c)
        Folder_Tree->hideColumn(c);
    Folder_Tree->setSelectionMode(QAbstractItemView::SingleSelection);
    Folder_Tree->setEditTriggers(QAbstractItemView::NoEditTriggers);

    WorkCatalog_Label = new QLabel(QStringLiteral("工作目录"), this);
    WorkCatalog_Edit = new QLineEdit(this);
    WorkCatalog_Edit->setObjectName(QStringLiteral("WorkCatalog_Edit"));
    WorkCatalog_Label->setBuddy(WorkCatalog_Edit);
    OK_Btn = new QPushButton(QStringLiteral("确定"), this);
    OK_Btn->setObjectName(QStringLiteral("OK_Btn"));
    OK_Btn->setDefault(true);
    Cancel_Btn = new QPushButton(QStringLiteral("取消"), this);
    Cancel_Btn->setObjectName(QStringLiteral("Cancel_Btn"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Folder_Tree, 1);
    layout->addWidget(WorkCatalog_Label);
    layout->addWidget(WorkCatalog_Edit);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OK_Btn);
    buttons->addWidget(Cancel_Btn);
    layout->addLayout(buttons);

    connect(OK_Btn, &QPushButton::clicked, this, &SetWorkCatalogDialog::okClick);
    // Escape reaches QDialog::reject as well.
    connect(Cancel_Btn, &QPushButton::clicked, this, &QDialog::reject);
    connect(Folder_Tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
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
    connect(Folder_Tree, &QTreeView::expanded, this, userTookOver);
    connect(Folder_Tree, &QTreeView::collapsed, this, userTookOver);
    connect(Folder_Tree->verticalScrollBar(), &QScrollBar::actionTriggered, this, userTookOver);
    connect(Folder_Tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
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
    Folder_Tree->setCurrentIndex(index);
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
        Folder_Tree->expand(p);
    Folder_Tree->scrollTo(revealed_, QAbstractItemView::PositionAtCenter);
    revealing_ = false;
}

QString SetWorkCatalogDialog::chosenFolder() const {
    if (result() != QDialog::Accepted)
        return QString();
    // Links are made from this folder and stored as they are: a relative one would name
    // other files, or none, when the program next starts in another folder.
    const QString text = WorkCatalog_Edit->text();
    return QDir::isRelativePath(text) ? QDir::cleanPath(QDir::current().absoluteFilePath(text)) : text;
}

bool SetWorkCatalogDialog::acceptsPath(const QString &text) {
    return !text.isEmpty() && QFileInfo(text).isDir();
}

void SetWorkCatalogDialog::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    scheduleReveal();  // scrolling needs the laid-out view
    WorkCatalog_Edit->selectAll();
    WorkCatalog_Edit->setFocus();
}

void SetWorkCatalogDialog::okClick() {
    if (acceptsPath(WorkCatalog_Edit->text())) {
        accept();
        return;
    }
    prompts_.notice(QStringLiteral("路径不存在：") + WorkCatalog_Edit->text(), UserPrompts::Icon::None);
}

void SetWorkCatalogDialog::folderSelected() {
    const QModelIndex index = Folder_Tree->currentIndex();
    WorkCatalog_Edit->setText(index.isValid() ? folders_->filePath(index) : QString());
}

}  // namespace zelbrin::ui
