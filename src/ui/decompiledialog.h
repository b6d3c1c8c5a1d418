#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace zelbrin::ui {

// The decompile dialog: the help file to unpack and the folder to unpack it into, with
// a button to browse for each, "开始转换" and "关闭". It only shows and collects; the
// Decompiler acts on its requests.
class DecompileDialog : public QDialog {
    Q_OBJECT
public:
    explicit DecompileDialog(QWidget *parent = nullptr);

    // The fields as typed (untrimmed).
    QString helpFile() const;
    void setHelpFile(const QString &path);
    QString destination() const;
    void setDestination(const QString &folder);
    // While an unpack runs, the start and close buttons wait.
    void setRunning(bool running);

signals:
    void helpFileBrowseRequested();
    void destinationBrowseRequested();
    void startRequested();

private:
    QLineEdit *helpFileEdit_, *destinationEdit_;
    QPushButton *startButton_, *closeButton_;
};

}  // namespace zelbrin::ui
