#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace zelbrin::ui {

class WebLabel;

// The About box: banner, version, contact texts and the web address. It is kept for the
// whole run and only shown and hidden.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *parent = nullptr);

    void btnokClick();

    QLabel *imgtop;
    QWidget *lbltop;
    QLabel *lblver;
    QLabel *lblsupport;
    QLabel *lblemail;
    WebLabel *lblweb;
    QPushButton *btnok;

protected:
    void showEvent(QShowEvent *event) override;
};

}  // namespace zelbrin::ui
