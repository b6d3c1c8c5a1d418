#pragma once

#include <QString>
#include <functional>

namespace zelbrin::platform {

// The shell's "open" verb: opens a file or address in the program registered for it.
// Tests install a handler instead of starting a viewer.
void shellOpen(const QString &fileOrUrl);
void setShellOpenHandler(std::function<void(const QString &)> handler);

}  // namespace zelbrin::platform
