#pragma once

// Reads help files back with three independent readers: CHMLib's extract_chmLib, 7-Zip,
// and libmspack (through chm_reader_check, which also checks both libraries' lookups).
#include <QByteArray>
#include <QMap>
#include <QString>

namespace zelbrin::chm::testing {

// Every file a reader extracted under dest, by internal name ("/html/a.htm").
QMap<QByteArray, QByteArray> readTree(const QString &dest);

// Runs one reader on chmPath, extracting into dest. Returns an error text, empty on success.
QString extractWithChmlib(const QString &chmPath, const QString &dest);
QString extractWith7zip(const QString &chmPath, const QString &dest);
QString extractWithMspack(const QString &chmPath, const QString &dest);

// Checks that every reader returns exactly expected (internal name to bytes). Returns a
// description of the first difference per reader, empty when all agree.
QString compareWithReaders(const QString &chmPath, const QString &scratch,
                           const QMap<QByteArray, QByteArray> &expected);

}  // namespace zelbrin::chm::testing
