#pragma once

// The main window's header shows its commands and its two views; tests reach its other
// parts (menu entries, buttons, panels, labels) by their object names.

#include <QObject>

#include <stdexcept>
#include <string>

namespace zelbrin::ui::testing {

template <class T>
T *part(const QObject &window, const char *name) {
    if (T *found = window.findChild<T *>(QString::fromLatin1(name)))
        return found;
    throw std::runtime_error(std::string("no window part named ") + name);
}

}  // namespace zelbrin::ui::testing
