#pragma once

#include <QString>
#include <functional>

namespace zelbrin::platform {

// The shell's "open" verb: opens a file or address in the program registered for it.
// False when nothing could be started for it. Tests install a handler instead of
// starting a viewer; its answer stands for whether the open worked.
bool shellOpen(const QString &fileOrUrl);
void setShellOpenHandler(std::function<bool(const QString &)> handler);

// Opens a local file in the program that the desktop registers for its type, through
// xdg-open. False when the desktop names no program for the type (xdg-open would only
// try web browsers then) or xdg-open cannot be started. failedLater runs, on the calling
// thread's event loop, when xdg-open ends with a failure after it has started: the
// registered program could not be run.
bool openWithDesktop(const QString &file, std::function<void()> failedLater = {});

}  // namespace zelbrin::platform
