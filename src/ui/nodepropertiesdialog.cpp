#include "nodepropertiesdialog.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace zelbrin::ui {

const QString NodePropertiesDialog::kFileMask = QStringLiteral("*.doc;*.html;*.txt;*.htm");

NodePropertiesDialog::NodePropertiesDialog(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("NodePropertiesDialog"));
    setWindowTitle(QStringLiteral("链接文件"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    resize(441, 299);

    auto *titleLabel = new QLabel(QStringLiteral("输入标题："), this);
    Title_Edit = new QLineEdit(this);
    Title_Edit->setObjectName(QStringLiteral("Title_Edit"));
    titleLabel->setBuddy(Title_Edit);

    auto *frame = new QGroupBox(this);
    auto *linkLabel = new QLabel(QStringLiteral("链接文件："), frame);
    Link_Edit = new QLineEdit(frame);
    Link_Edit->setObjectName(QStringLiteral("Link_Edit"));
    linkLabel->setBuddy(Link_Edit);
    Files_List = new QListWidget(frame);
    Files_List->setObjectName(QStringLiteral("Files_List"));
    auto *frameLayout = new QVBoxLayout(frame);
    auto *linkRow = new QHBoxLayout;
    linkRow->addWidget(linkLabel);
    linkRow->addWidget(Link_Edit, 1);
    frameLayout->addLayout(linkRow);
    frameLayout->addWidget(Files_List, 1);

    OK_Btn = new QPushButton(QStringLiteral("确 定(&O)"), this);
    OK_Btn->setObjectName(QStringLiteral("OK_Btn"));
    OK_Btn->setDefault(true);
    Cancel_Btn = new QPushButton(QStringLiteral("取 消(&C)"), this);
    Cancel_Btn->setObjectName(QStringLiteral("Cancel_Btn"));

    auto *layout = new QVBoxLayout(this);
    auto *titleRow = new QHBoxLayout;
    titleRow->addWidget(titleLabel);
    titleRow->addWidget(Title_Edit, 1);
    layout->addLayout(titleRow);
    layout->addWidget(frame, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OK_Btn);
    buttons->addWidget(Cancel_Btn);
    layout->addLayout(buttons);

    connect(OK_Btn, &QPushButton::clicked, this, &QDialog::accept);
    connect(Cancel_Btn, &QPushButton::clicked, this, &QDialog::reject);
    connect(Files_List, &QListWidget::itemClicked, this, &NodePropertiesDialog::Files_ListClick);
}

bool NodePropertiesDialog::setDirectory(const QString &folder) {
    const bool ok = !folder.isEmpty() && QFileInfo(folder).isDir();
    directory_ = ok ? folder : QString();
    fillList();
    return ok;
}

void NodePropertiesDialog::setMask(const QString &mask) {
    mask_ = mask;
    fillList();
}

void NodePropertiesDialog::fillList() {
    Files_List->clear();
    if (directory_.isEmpty())
        return;
    QDir dir(directory_);
    dir.setFilter(QDir::Files);
    if (!mask_.isEmpty())
        dir.setNameFilters(mask_.split(u';', Qt::SkipEmptyParts));
    dir.setSorting(QDir::Name);
    Files_List->addItems(dir.entryList());
}

void NodePropertiesDialog::Files_ListClick(QListWidgetItem *item) {
    if (item)
        Link_Edit->setText(QDir(directory_).filePath(item->text()));
}

}  // namespace zelbrin::ui
