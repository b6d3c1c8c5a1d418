#include "decompiledialog.h"

#include "runprocess.h"
#include "decompilecommand.h"
#include "prompts.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace zelbrin::ui {

namespace {

// The dialog's fixed layout leaves a label the room up to the edit on its right; where
// the system font is larger than the layout was made for, the label's text becomes
// smaller instead of running under the edit.
QLabel *labelInRoom(const QString &text, QWidget *parent, int left, int top, int room) {
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    while (QFontMetrics(font).horizontalAdvance(text) >= room && font.pointSizeF() > 6)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    label->setFont(font);
    label->move(left, top);
    label->adjustSize();
    return label;
}

}  // namespace

DecompileDialog::DecompileDialog(UserPrompts &prompts, QString programFolder, QWidget *parent,
                                 QString hhProgram)
    : QDialog(parent),
      prompts_(prompts),
      programFolder_(std::move(programFolder)),
      hhProgram_(hhProgram.isEmpty() ? programFolder_ + QStringLiteral("hh") : std::move(hhProgram)) {
    setObjectName(QStringLiteral("DecompileDialog"));
    setWindowTitle(QStringLiteral("反编译CHM文件"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(387, 254);

    auto *strip = new QFrame(this);
    strip->setGeometry(0, 0, 387, 13);
    strip->setStyleSheet(QStringLiteral(
        "background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #2048a0, stop:1 #eeeeee);"));

    labelInRoom(QStringLiteral("需转换的CHM文件："), this, 7, 49, 114 - 7 - 2);
    Open_Edit = new QLineEdit(this);
    Open_Edit->setObjectName(QStringLiteral("Open_Edit"));
    Open_Edit->setGeometry(114, 46, 221, 22);
    Open_Btn = new QPushButton(QStringLiteral("..."), this);
    Open_Btn->setObjectName(QStringLiteral("Open_Btn"));
    Open_Btn->setGeometry(344, 43, 25, 25);
    Open_Btn->setAutoDefault(false);

    labelInRoom(QStringLiteral("保存目录："), this, 7, 89, 114 - 7 - 2);
    Save_Edit = new QLineEdit(this);
    Save_Edit->setObjectName(QStringLiteral("Save_Edit"));
    Save_Edit->setGeometry(114, 86, 221, 22);
    Save_Btn = new QPushButton(QStringLiteral("..."), this);
    Save_Btn->setObjectName(QStringLiteral("Save_Btn"));
    Save_Btn->setGeometry(344, 83, 25, 25);
    Save_Btn->setAutoDefault(false);

    auto *bottom = new QFrame(this);
    bottom->setFrameShape(QFrame::StyledPanel);
    bottom->setGeometry(0, 254 - 49, 387, 49);
    Start_Btn = new QPushButton(QStringLiteral("开始转换(&B)"), bottom);
    Start_Btn->setObjectName(QStringLiteral("Start_Btn"));
    Start_Btn->setGeometry(160, 8, 75, 25);
    End_Btn = new QPushButton(QStringLiteral("关闭(&C)"), bottom);
    End_Btn->setObjectName(QStringLiteral("End_Btn"));
    End_Btn->setGeometry(248, 8, 75, 25);

    connect(Open_Btn, &QPushButton::clicked, this, &DecompileDialog::Open_BtnClick);
    connect(Save_Btn, &QPushButton::clicked, this, &DecompileDialog::Save_BtnClick);
    connect(Start_Btn, &QPushButton::clicked, this, &DecompileDialog::Start_BtnClick);
    connect(End_Btn, &QPushButton::clicked, this, &DecompileDialog::End_BtnClick);
}

void DecompileDialog::Open_BtnClick() {
    const QString file = prompts_.openFileName(QStringLiteral("CHM (*.chm)"), QStringLiteral("chm"));
    if (!file.isEmpty())
        Open_Edit->setText(file);
}

void DecompileDialog::Save_BtnClick() {
    const QString folder = prompts_.folderName(
        QStringLiteral("选择目录"), DecompileBrowseStart(Save_Edit->text(), programFolder_));
    if (!folder.isEmpty())
        Save_Edit->setText(folder);
}

void DecompileDialog::Start_BtnClick() {
    const QString helpFile = Open_Edit->text();
    const QString destination = Save_Edit->text();
    if (DecompileRefused(helpFile, destination)) {
        prompts_.notice(kDecompileSameFolderText, UserPrompts::Icon::Warning);
        return;
    }
    End_Btn->setEnabled(false);
    Start_Btn->setEnabled(false);
    // A missing help file is reported instead of being handed to hh.
    const bool exists = QFileInfo(helpFile.trimmed()).isFile();
    QString output;
    QElapsedTimer clock;
    clock.start();
    const int exitCode =
        exists ? RunProcessAndWait(hhProgram_, DecompileArguments(helpFile, destination), &output,
                                   {}, hhTimeoutMs)
               : 1;
    const bool timedOut = exitCode != 0 && clock.elapsed() >= hhTimeoutMs;
    const DecompileOutcome outcome =
        DecompileResult(exists, exitCode, timedOut, output, hhTimeoutMs / 1000);
    prompts_.notice(outcome.text, outcome.icon);
    End_Btn->setEnabled(true);
    Start_Btn->setEnabled(true);
}

void DecompileDialog::End_BtnClick() { close(); }

}  // namespace zelbrin::ui
