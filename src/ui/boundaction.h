#pragma once

#include <QAction>
#include <QPointer>

namespace zelbrin::ui {

// A menu entry or button that runs another command "by clicking its button": it
// follows that command's enabled state and may also be disabled on its own.
class BoundAction : public QAction {
    Q_OBJECT
public:
    BoundAction(QAction *target, const QString &text, const QString &hint, QObject *parent);
    void setOwnEnabled(bool on);
    bool ownEnabled() const { return own_; }

private:
    void sync();
    QPointer<QAction> target_;
    bool own_ = true;
};

}  // namespace zelbrin::ui
