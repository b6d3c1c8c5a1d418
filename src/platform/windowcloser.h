#pragma once

#include <QString>

namespace zelbrin::platform {

// Asks the first top-level window whose title is exactly title to close (the way the
// window manager's close button does). Does nothing where there is no X display.
// Returns true when such a window was found.
bool closeWindowTitled(const QString &title);

}  // namespace zelbrin::platform
