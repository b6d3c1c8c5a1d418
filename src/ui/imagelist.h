#pragma once

#include <QIcon>

namespace zelbrin::ui {

// The image list: the 21 pictures of the commands, the tree and the file list, by index.
QIcon imageListIcon(int index);
constexpr int kImageListCount = 21;

}  // namespace zelbrin::ui
