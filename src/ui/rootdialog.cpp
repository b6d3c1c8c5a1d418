#include "rootdialog.h"

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

const QString TRoot_Frm::kFileMask = QStringLiteral("*.doc;*.html;*.txt;*.htm");

TRoot_Frm::TRoot_Frm(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Root_Frm"));
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
    Line_Edit = new QLineEdit(frame);
    Line_Edit->setObjectName(QStringLiteral("Line_Edit"));
    linkLabel->setBuddy(Line_Edit);
    FileListBox1 = new QListWidget(frame);
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
    auto *frameLayout = new QVBoxLayout(frame);
    auto *linkRow = new QHBoxLayout;
    linkRow->addWidget(linkLabel);
    linkRow->addWidget(Line_Edit, 1);
    frameLayout->addLayout(linkRow);
    frameLayout->addWidget(FileListBox1, 1);

    OK_Btn = new QPushButton(QStringLiteral("确 定(&O)"), this);
    OK_Btn->setObjectName(QStringLiteral("OK_Btn"));
    OK_Btn->setDefault(true);
    Cacel_Btn = new QPushButton(QStringLiteral("取 消(&C)"), this);
    Cacel_Btn->setObjectName(QStringLiteral("Cacel_Btn"));

    auto *layout = new QVBoxLayout(this);
    auto *titleRow = new QHBoxLayout;
    titleRow->addWidget(titleLabel);
    titleRow->addWidget(Title_Edit, 1);
    layout->addLayout(titleRow);
    layout->addWidget(frame, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OK_Btn);
    buttons->addWidget(Cacel_Btn);
    layout->addLayout(buttons);

    connect(OK_Btn, &QPushButton::clicked, this, &QDialog::accept);
    connect(Cacel_Btn, &QPushButton::clicked, this, &QDialog::reject);
    connect(FileListBox1, &QListWidget::itemClicked, this, &TRoot_Frm::FileListBox1Click);
}

bool TRoot_Frm::setDirectory(const QString &folder) {
    const bool ok = !folder.isEmpty() && QFileInfo(folder).isDir();
    directory_ = ok ? folder : QString();
    fillList();
    return ok;
}

void TRoot_Frm::setMask(const QString &mask) {
    mask_ = mask;
    fillList();
}

void TRoot_Frm::fillList() {
    FileListBox1->clear();
    if (directory_.isEmpty())
        return;
    QDir dir(directory_);
    dir.setFilter(QDir::Files);
    if (!mask_.isEmpty())
        dir.setNameFilters(mask_.split(u';', Qt::SkipEmptyParts));
    dir.setSorting(QDir::Name);
    FileListBox1->addItems(dir.entryList());
}

void TRoot_Frm::FileListBox1Click(QListWidgetItem *item) {
    if (item)
        Line_Edit->setText(QDir(directory_).filePath(item->text()));
}

}  // namespace zelbrin::ui
