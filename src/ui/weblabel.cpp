#include "weblabel.h"

#include "shellopen.h"

#include <QMouseEvent>

namespace zelbrin::ui {

WebLabel::WebLabel(const QString &address, QWidget *parent) : QLabel(address, parent) {
    setObjectName(QStringLiteral("webLabel"));
    setStyleSheet(QStringLiteral("color: blue;"));
    setCursor(Qt::PointingHandCursor);
}

void WebLabel::openAddress() { platform::shellOpen(text()); }

void WebLabel::underline() {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
}

void WebLabel::makePlain() {
    QFont f = font();
    f.setBold(false);
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    setFont(f);
}

void WebLabel::mousePressEvent(QMouseEvent *event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void WebLabel::mouseReleaseEvent(QMouseEvent *event) {
    // A click is a press and a release of the left button over the label.
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        openAddress();
}

void WebLabel::enterEvent(QEnterEvent *event) {
    QLabel::enterEvent(event);
    underline();
}

void WebLabel::leaveEvent(QEvent *event) {
    QLabel::leaveEvent(event);
    makePlain();
}

}  // namespace zelbrin::ui
