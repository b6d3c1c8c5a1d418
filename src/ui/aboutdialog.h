#pragma once

#include <QDialog>

namespace zelbrin::ui {

// The About box: banner, version, contact texts and the web address. It is kept for the
// whole run and only shown and hidden.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
};

}  // namespace zelbrin::ui
