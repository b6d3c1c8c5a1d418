#pragma once

#include <QByteArray>
#include <QString>

// What the office worker and its client both need to know about the installed office:
// where it is, which version it is, and what makes the pages and profiles that earlier
// runs kept still valid.
namespace zelbrin::officeinstallation {

// The office program that the worker starts: $ZELBRIN_SOFFICE_BIN, else the installed
// soffice.bin.
QByteArray officeProgram();
// The office's version as it names itself ("7.4.7.2"); "unknown" when it cannot be read.
QString officeVersion();
// The version and the size and time of the office's program files: a new office, or the
// same version built anew, gives another stamp.
QByteArray officeStamp();

// Label of a prepared profile: the office's stamp and what the worker sets in a fresh
// profile. A template of another label is outdated and made again.
QByteArray profileTemplateLabel();
// Where the prepared profile of this office lives in Zelbrin's cache folder.
QString profileTemplateFolder(const QString &cacheFolder);

// What shapes the pages besides the documents: the worker's conversions (its version and
// the program file itself) and the office.
QString converterIdentity(const QString &workerProgram);

}  // namespace zelbrin::officeinstallation
