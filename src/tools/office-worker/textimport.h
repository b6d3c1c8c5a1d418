#pragma once

#include <QByteArray>
#include <QString>

namespace zelbrin::officeworker {

// True when a file that begins with head can be a text file: a UTF-16 byte-order mark,
// or no NUL byte and hardly any control characters besides tab, line and page breaks.
// The office reads any file it does not recognise as text; a binary file must fail.
bool looksLikeText(const QByteArray &head);

// Import options of the office's CSV filter for a file that begins with head: the
// separator of its first line (tab, semicolon or comma, whichever occurs most outside
// quotes), double quotes as text delimiter, UTF-8 when the bytes are valid UTF-8 and
// GB 18030 (which covers GBK and GB 2312) otherwise, from the first line on.
// Without options the filter reads the bytes as Latin-1.
QString csvFilterOptions(const QByteArray &head);

}  // namespace zelbrin::officeworker
