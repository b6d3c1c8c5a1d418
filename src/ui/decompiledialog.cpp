#include "decompiledialog.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zelbrin::ui {

DecompileDialog::DecompileDialog(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("DecompileDialog"));
    setWindowTitle(QStringLiteral("反编译CHM文件"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(387, 254);

    // The banner says what the dialog is for.
    auto *banner = new QLabel(QStringLiteral("把CHM帮助文件解开为网页、图片和目录文件"), this);
    banner->setObjectName(QStringLiteral("banner"));
    banner->setFixedHeight(30);
    banner->setContentsMargins(10, 0, 10, 0);
    banner->setStyleSheet(QStringLiteral(
        "color: white; font-weight: bold;"
        "background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #2048a0, stop:1 #8aa4d8);"));

    auto browseButton = [this](const char *name) {
        auto *button = new QPushButton(QStringLiteral("..."), this);
        button->setObjectName(QLatin1String(name));
        button->setFixedSize(25, 25);
        button->setAutoDefault(false);
        return button;
    };
    helpFileEdit_ = new QLineEdit(this);
    helpFileEdit_->setObjectName(QStringLiteral("helpFileEdit"));
    QPushButton *browseHelpFile = browseButton("browseHelpFileButton");
    destinationEdit_ = new QLineEdit(this);
    destinationEdit_->setObjectName(QStringLiteral("destinationEdit"));
    QPushButton *browseDestination = browseButton("browseDestinationButton");
    auto *fields = new QGridLayout;
    fields->setContentsMargins(7, 18, 18, 0);
    fields->setHorizontalSpacing(8);
    fields->setVerticalSpacing(15);
    fields->addWidget(new QLabel(QStringLiteral("需转换的CHM文件："), this), 0, 0);
    fields->addWidget(helpFileEdit_, 0, 1);
    fields->addWidget(browseHelpFile, 0, 2);
    fields->addWidget(new QLabel(QStringLiteral("保存目录："), this), 1, 0);
    fields->addWidget(destinationEdit_, 1, 1);
    fields->addWidget(browseDestination, 1, 2);
    fields->setColumnStretch(1, 1);

    auto *bottom = new QFrame(this);
    bottom->setFrameShape(QFrame::StyledPanel);
    bottom->setFixedHeight(49);
    startButton_ = new QPushButton(QStringLiteral("开始转换(&B)"), bottom);
    startButton_->setObjectName(QStringLiteral("startButton"));
    closeButton_ = new QPushButton(QStringLiteral("关闭(&C)"), bottom);
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    auto *buttons = new QHBoxLayout(bottom);
    buttons->addStretch(1);
    buttons->addWidget(startButton_);
    buttons->addWidget(closeButton_);
    buttons->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(banner);
    layout->addLayout(fields);
    layout->addStretch(1);
    layout->addWidget(bottom);

    connect(browseHelpFile, &QPushButton::clicked, this, &DecompileDialog::helpFileBrowseRequested);
    connect(browseDestination, &QPushButton::clicked, this,
            &DecompileDialog::destinationBrowseRequested);
    connect(startButton_, &QPushButton::clicked, this, &DecompileDialog::startRequested);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::close);
}

QString DecompileDialog::helpFile() const { return helpFileEdit_->text(); }

void DecompileDialog::setHelpFile(const QString &path) { helpFileEdit_->setText(path); }

QString DecompileDialog::destination() const { return destinationEdit_->text(); }

void DecompileDialog::setDestination(const QString &folder) { destinationEdit_->setText(folder); }

void DecompileDialog::setRunning(bool running) {
    closeButton_->setEnabled(!running);
    startButton_->setEnabled(!running);
}

}  // namespace zelbrin::ui
