#pragma once

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
// Runs a program and waits (up to timeoutMs); returns the exit code, -1 on time-out.
int runProgram(const QString &program, const QStringList &args, QString *output, int timeoutMs);
// shared/corpus beside the checkout (CI) or at /work/shared/corpus; empty when absent.
QString corpusFolder();

}  // namespace zelbrin::testing
