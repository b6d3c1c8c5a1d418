#pragma once

#include <QByteArray>
#include <QString>

namespace zelbrin {

// Writes bytes to a temporary file beside path and renames it over path only when
// every byte reached the disk. On failure the old file is untouched, the temporary
// file is removed, and error holds the reason. (QSaveFile in Qt 6.4 renames even
// when its final flush failed, so it cannot be used for this.)
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error);

}  // namespace zelbrin
