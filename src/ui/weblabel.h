#pragma once

#include <QLabel>

namespace zelbrin::ui {

// A blue web-address label: a click opens its text through the shell, the pointer
// underlines it while over it, and leaving makes its font plain again.
class WebLabel : public QLabel {
    Q_OBJECT
public:
    explicit WebLabel(const QString &address, QWidget *parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void openAddress();
    void underline();
    void makePlain();

    bool pressed_ = false;
};

}  // namespace zelbrin::ui
