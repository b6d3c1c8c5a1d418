#pragma once

#include <QStringView>

namespace zelbrin::chm {

// The character a named reference (the name between '&' and ';', case-sensitive) stands
// for: the HTML 4 set plus &apos;. 0 for a name it does not know.
char32_t namedCharacter(QStringView name);

}  // namespace zelbrin::chm
