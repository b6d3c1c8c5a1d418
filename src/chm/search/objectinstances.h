#pragma once

#include <QByteArray>

namespace zelbrin::chm {

// $OBJINST, which the help compiler writes into every help file, search or not: the saved
// state of the full-text search's sort object (with the code page's character table) and
// word breaker. Empty for a code page whose table is not known here (other than 936 and
// 1252); such help files go without it, rather than with another code page's table.
QByteArray writeObjectInstances(quint32 lcid, int codePage);

}  // namespace zelbrin::chm
