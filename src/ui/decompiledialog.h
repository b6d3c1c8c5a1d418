#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace zelbrin {
class UserPrompts;
}

namespace zelbrin::ui {

// The decompile dialog: unpacks a compiled help file into a folder with our "hh".
// The decisions live in decompilecommand.h; this class only wires the controls.
class DecompileDialog : public QDialog {
    Q_OBJECT
public:
    // hhProgram empty: "hh" in the program folder.
    DecompileDialog(UserPrompts &prompts, QString programFolder, QWidget *parent = nullptr,
                    QString hhProgram = {});

    void Open_BtnClick();
    void Save_BtnClick();
    void Start_BtnClick();
    void End_BtnClick();

    QLineEdit *Open_Edit;
    QPushButton *Open_Btn;
    QLineEdit *Save_Edit;
    QPushButton *Save_Btn;
    QPushButton *Start_Btn;
    QPushButton *End_Btn;

    // A damaged help file must not keep the dialog waiting with its buttons disabled.
    int hhTimeoutMs = 5 * 60 * 1000;

private:
    UserPrompts &prompts_;
    const QString programFolder_;
    const QString hhProgram_;
};

}  // namespace zelbrin::ui
