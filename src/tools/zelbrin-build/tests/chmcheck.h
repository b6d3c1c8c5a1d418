#pragma once

#include "corpusfolder.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace zelbrin::testing {

// A compiled help file unpacked by CHMLib's extract_chmLib, with its contents file read.
struct UnpackedChm {
    QString folder;
    QString error;                    // non-empty when unpacking or reading failed
    QList<QPair<QString, QString>> entries;  // contents entries: title (from GBK), Local
    QStringList deadLocals;           // Locals that resolve to no stored file

    // Page text of the entry titled title: tags removed, charset decoded, entities resolved.
    QString pageText(const QString &title) const;
    QString pagePath(const QString &title) const;
    // Pictures the page links that are stored in the help file.
    int storedImages(const QString &title) const;
};

UnpackedChm unpackChm(const QString &chm, const QString &intoFolder);
// A stored page decoded by the charset its meta element declares (UTF-8 when none).
QString decodePage(const QByteArray &bytes);
// Runs a program and waits (up to timeoutMs); returns the exit code, -1 on time-out.
int runProgram(const QString &program, const QStringList &args, QString *output, int timeoutMs);

// Compiles the help project hhp (as a kept build folder holds it) again and checks that
// CHMLib, 7-Zip and libmspack read every file the compiler stored back byte for byte.
// Returns the problems found, empty when there are none.
QString checkStoredFilesReadBack(const QString &hhp, const QString &scratch);

// Opens a help file with python3-chm (Debian's own Python) and checks that its title is
// expectedTitle, that it names its contents file and that the contents read back in GBK
// give expectedEntries. Returns the problems found, empty when there are none.
QString checkWithPythonChm(const QString &chm, const QString &expectedTitle, const QStringList &expectedEntries);

}  // namespace zelbrin::testing
