#pragma once

#include <QByteArray>
#include <QString>

namespace zelbrin {

// Writes bytes to a temporary file beside path and renames it over path only when
// every byte reached the disk. On failure the old file is untouched, the temporary
// file is removed, and error holds the reason. (QSaveFile in Qt 6.4 renames even
// when its final flush failed, so it cannot be used for this.) A program that was asked
// to stop (interruption.h) leaves the old file in place; a second signal removes the
// temporary file.
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error);

// Removes the temporary files that writers of path killed before they were done left
// beside it ("NAME.tmp-<pid>-XXXXXX" of processes that are gone).
void sweepAtomicWriteLeftovers(const QString &path);

}  // namespace zelbrin
