#pragma once

#include <QIcon>

namespace zelbrin::ui {

// The image list: the pictures of the commands, the tree and the file list, by index.
QIcon imageListIcon(int index);
constexpr int kImageListCount = 23;
// The program's own icon (windows, desktop entry).
QIcon programIcon();

}  // namespace zelbrin::ui
