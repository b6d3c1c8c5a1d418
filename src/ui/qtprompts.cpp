#include "qtprompts.h"

#include "project.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace zelbrin::ui {

UserPrompts::Answer QtPrompts::ask(const QString &text, bool withCancel) {
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (withCancel)
        buttons |= QMessageBox::Cancel;
    QMessageBox box(QMessageBox::Question, kApplicationTitle, text, buttons, owner_);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return withCancel ? Answer::Cancel : Answer::No;
    }
}

void QtPrompts::notice(const QString &text, Icon icon) {
    titledNotice(kApplicationTitle, text, icon);
}

void QtPrompts::titledNotice(const QString &title, const QString &text, Icon icon) {
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::Information: qicon = QMessageBox::Information; break;
    case Icon::Warning: qicon = QMessageBox::Warning; break;
    case Icon::Error: qicon = QMessageBox::Critical; break;
    case Icon::Question: qicon = QMessageBox::Question; break;
    case Icon::None: break;
    }
    QMessageBox box(qicon, title, text, QMessageBox::Ok, owner_);
    box.exec();
}

static QString withSuffix(QString name, const QString &suffix) {
    if (!name.isEmpty() && !suffix.isEmpty() && QFileInfo(name).suffix().isEmpty())
        name += u'.' + suffix;
    return name;
}

QString QtPrompts::openFileName(const QString &filter, const QString &defaultSuffix,
                                const QString &startDir) {
    // A name of a file that does not exist may be typed; opening it then reads nothing.
    QFileDialog dlg(owner_, QString(), startDir, filter);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setDefaultSuffix(defaultSuffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return withSuffix(dlg.selectedFiles().first(), defaultSuffix);
}

QString QtPrompts::saveFileName(const QString &filter, const QString &defaultSuffix,
                                const QString &startDir) {
    // The overwrite question is the project's own, so the dialog asks nothing.
    QFileDialog dlg(owner_, QString(), startDir, filter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    dlg.setDefaultSuffix(defaultSuffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return withSuffix(dlg.selectedFiles().first(), defaultSuffix);
}

QString QtPrompts::folderName(const QString &title, const QString &startDir) {
    return QFileDialog::getExistingDirectory(owner_, title, startDir);
}

std::optional<QString> QtPrompts::inputText(const QString &title, const QString &label,
                                            const QString &value) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(owner_, title, label, QLineEdit::Normal, value, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

}  // namespace zelbrin::ui
