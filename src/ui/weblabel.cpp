#include "weblabel.h"

#include "shellopen.h"

#include <QMouseEvent>

namespace zelbrin::ui {

WebLabel::WebLabel(const QString &address, QWidget *parent) : QLabel(address, parent) {
    setObjectName(QStringLiteral("lblweb"));
    setStyleSheet(QStringLiteral("color: blue;"));
    setCursor(Qt::PointingHandCursor);
}

void WebLabel::lblwebClick() { platform::shellOpen(text()); }

void WebLabel::lblwebMouseEnter() {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
}

void WebLabel::lblwebMouseLeave() {
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
        lblwebClick();
}

void WebLabel::enterEvent(QEnterEvent *event) {
    QLabel::enterEvent(event);
    lblwebMouseEnter();
}

void WebLabel::leaveEvent(QEvent *event) {
    QLabel::leaveEvent(event);
    lblwebMouseLeave();
}

}  // namespace zelbrin::ui
