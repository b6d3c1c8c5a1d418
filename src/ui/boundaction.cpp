#include "boundaction.h"

namespace zelbrin::ui {

BoundAction::BoundAction(QAction *target, const QString &text, const QString &hint,
                         QObject *parent)
    : QAction(target->icon(), text.isEmpty() ? target->text() : text, parent), target_(target) {
    const QString tip = hint.isEmpty() ? target->toolTip() : hint;
    setToolTip(tip);
    setStatusTip(tip);
    connect(this, &QAction::triggered, this, [this] {
        if (target_ && target_->isEnabled())
            target_->trigger();
    });
    connect(target, &QAction::changed, this, &BoundAction::sync);
    sync();
}

void BoundAction::setOwnEnabled(bool on) {
    own_ = on;
    sync();
}

void BoundAction::sync() { setEnabled(own_ && target_ && target_->isEnabled()); }

}  // namespace zelbrin::ui
