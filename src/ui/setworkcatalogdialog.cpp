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

TFormSetWorkCatalog::TFormSetWorkCatalog(UserPrompts &prompts, QWidget *parent)
    : QDialog(parent), prompts_(prompts) {
    setObjectName(QStringLiteral("FormSetWorkCatalog"));
    setWindowTitle(QStringLiteral("设置文件目录"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(324, 318);

    folders_ = new QFileSystemModel(this);
    folders_->setOption(QFileSystemModel::DontWatchForChanges);
    folders_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    folders_->setRootPath(QStringLiteral("/"));

    ShellTreeView1 = new QTreeView(this);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->setModel(folders_);
    ShellTreeView1->setHeaderHidden(true);
    for (int c = 1; c < folders_->columnCount(); ++c)
        ShellTreeView1->hideColumn(c);
    ShellTreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ShellTreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);

    Label1 = new QLabel(QStringLiteral("工作目录"), this);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Label1->setBuddy(Edit1);
    OK_Btn = new QPushButton(QStringLiteral("确定"), this);
    OK_Btn->setObjectName(QStringLiteral("OK_Btn"));
    OK_Btn->setDefault(true);
    Cancel_Btn = new QPushButton(QStringLiteral("取消"), this);
    Cancel_Btn->setObjectName(QStringLiteral("Cancel_Btn"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ShellTreeView1, 1);
    layout->addWidget(Label1);
    layout->addWidget(Edit1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OK_Btn);
    buttons->addWidget(Cancel_Btn);
    layout->addLayout(buttons);

    connect(OK_Btn, &QPushButton::clicked, this, &TFormSetWorkCatalog::okClick);
    // Escape reaches QDialog::reject as well.
    connect(Cancel_Btn, &QPushButton::clicked, this, &QDialog::reject);
    connect(ShellTreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TFormSetWorkCatalog::folderSelected);
    // The folder model lists folders in the background: the initial folder is brought
    // into view again whenever rows arrive or are sorted, until the user takes over the tree.
    connect(folders_, &QFileSystemModel::directoryLoaded, this, &TFormSetWorkCatalog::scheduleReveal);
    connect(folders_, &QAbstractItemModel::rowsInserted, this, &TFormSetWorkCatalog::scheduleReveal);
    connect(folders_, &QAbstractItemModel::layoutChanged, this, &TFormSetWorkCatalog::scheduleReveal);
    auto userTookOver = [this] {
        if (!revealing_)
            revealed_ = QPersistentModelIndex();
    };
    connect(ShellTreeView1, &QTreeView::expanded, this, userTookOver);
    connect(ShellTreeView1, &QTreeView::collapsed, this, userTookOver);
    connect(ShellTreeView1->verticalScrollBar(), &QScrollBar::actionTriggered, this, userTookOver);
    connect(ShellTreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (current != revealed_)
                    revealed_ = QPersistentModelIndex();
            });
    folderSelected();
}

void TFormSetWorkCatalog::setInitialFolder(const QString &folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    const QModelIndex index = folders_->index(QFileInfo(folder).absoluteFilePath());
    if (!index.isValid())
        return;
    revealed_ = index;
    ShellTreeView1->setCurrentIndex(index);
    revealInitialFolder();
}

void TFormSetWorkCatalog::scheduleReveal() {
    if (!revealed_.isValid() || revealScheduled_)
        return;
    revealScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        revealScheduled_ = false;
        revealInitialFolder();
    });
}

void TFormSetWorkCatalog::revealInitialFolder() {
    if (!revealed_.isValid())
        return;
    revealing_ = true;
    for (QModelIndex p = revealed_.parent(); p.isValid(); p = p.parent())
        ShellTreeView1->expand(p);
    ShellTreeView1->scrollTo(revealed_, QAbstractItemView::PositionAtCenter);
    revealing_ = false;
}

QString TFormSetWorkCatalog::chosenFolder() const {
    if (result() != QDialog::Accepted)
        return QString();
    // Links are made from this folder and stored as they are: a relative one would name
    // other files, or none, when the program next starts in another folder.
    const QString text = Edit1->text();
    return QDir::isRelativePath(text) ? QDir::cleanPath(QDir::current().absoluteFilePath(text)) : text;
}

bool TFormSetWorkCatalog::acceptsPath(const QString &text) {
    return !text.isEmpty() && QFileInfo(text).isDir();
}

void TFormSetWorkCatalog::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    scheduleReveal();  // scrolling needs the laid-out view
    Edit1->selectAll();
    Edit1->setFocus();
}

void TFormSetWorkCatalog::okClick() {
    if (acceptsPath(Edit1->text())) {
        accept();
        return;
    }
    prompts_.notice(QStringLiteral("路径不存在：") + Edit1->text(), UserPrompts::Icon::None);
}

void TFormSetWorkCatalog::folderSelected() {
    const QModelIndex index = ShellTreeView1->currentIndex();
    Edit1->setText(index.isValid() ? folders_->filePath(index) : QString());
}

}  // namespace zelbrin::ui
