#pragma once

#include <QString>
#include <QStringList>

namespace zelbrin::hhc {

// What a run of chmcmd left behind.
struct ChmcmdRun {
    bool started = false;
    bool crashed = false;
    int exitCode = -1;
    QString output;  // standard output and error, in order
    QStringList errorLines;  // its "Error:" lines: chmcmd exits 0 after most errors
};

// chmcmd as ZELBRIN_CHMCMD names it, else from the search path; empty when there is none.
QString findChmcmd();
ChmcmdRun runChmcmd(const QString &program, const QString &workingFolder, const QString &projectName);

// True when path holds a compiled help file whose header states the file's actual size:
// chmcmd may stop half-way or leave a file of 0 bytes.
bool isWholeChm(const QString &path, QString *why);

// chmcmd 3.2.2 records chunk 1 as the first listing chunk of a directory that spans
// several chunks, where the chain starts at chunk 0. Lookups through the directory's
// index still work, but readers that list the files (CHMLib's enumeration, and with it
// extract_chmLib and every unpacker built on it) miss the first chunk's files: about the
// first hundred. Points the header at the chunk that starts the chain. Returns false only
// when the file cannot be read or written; a directory it does not understand is left as is.
bool repairListingStart(const QString &path, bool *repaired, QString *error);

// Moves a finished file to target so that target is at no moment a partial file: a rename
// where both lie on one file system, else a copy beside target that is renamed over it.
bool placeFile(const QString &finished, const QString &target, QString *error);

}  // namespace zelbrin::hhc
