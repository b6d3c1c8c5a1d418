#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <ostream>
#include <string>

// "hh -dump": every structure of a compiled help file as stable text, one section per
// structure, for help authors who need to see why a file misbehaves and for tests that
// compare a help file with what HTML Help Workshop wrote.
namespace zelbrin::hh {

// One entry of the archive's directory as its listing chunks store it.
struct DumpDirectoryEntry {
    QByteArray name;  // UTF-8, as stored
    quint64 section = 0;
    quint64 offset = 0;
    quint64 length = 0;
};

// What the section printers read: the raw file, its directory and every stored file.
class DumpInput {
public:
    QByteArray bytes;                       // the whole help file
    QList<DumpDirectoryEntry> directory;    // in stored order
    QMap<QByteArray, QByteArray> files;     // content of every entry that could be read
    QByteArray codePage = "windows-1252";   // iconv name of the language's ANSI code page

    bool has(const QByteArray &name) const { return files.contains(name); }
    QByteArray file(const QByteArray &name) const { return files.value(name); }
    // Bytes in the help file's code page as text, quoted, with control characters escaped.
    QString text(const QByteArray &bytes) const;
    // The #STRINGS text at offset, quoted, with its offset: "text" (#STRINGS 12); "none"
    // for an offset of 0xFFFFFFFF.
    QString stringAt(quint32 offset) const;
    // A stored name as text: UTF-8 as it should be; a name in other bytes (the second
    // copies hhc stores under the code page's bytes) decoded in the code page and marked so.
    QString storedName(const QByteArray &name) const;
};

// Collects the dump's lines: a heading per section, then indented "key: value" lines.
class DumpOutput {
public:
    void heading(const QString &title);
    void field(const QString &key, const QString &value, int indent = 1);
    void line(const QString &text, int indent = 1);
    QStringList lines;
};

QString hex32(quint32 value);
// Text in double quotes, quotes, backslashes and control characters escaped.
QString quoted(const QString &text);
QString hexBytes(const QByteArray &bytes);
// A short digest of bytes (the first 16 hex digits of their SHA-1), to compare files
// without printing them.
QString digest(const QByteArray &bytes);

// One section of the dump: the internal file it is about (empty for the container's own
// structures), and its printer, which prints nothing when the file is absent.
struct DumpSection {
    const char *file;
    void (*print)(const DumpInput &in, DumpOutput &out);
};

// The sections in the order the dump prints them; an entry added here is all a new
// structure needs.
const QList<DumpSection> &dumpSections();

// Container and compression (chmdumpcontainer.cpp).
void dumpItsfHeader(const DumpInput &in, DumpOutput &out);
void dumpDirectory(const DumpInput &in, DumpOutput &out);
void dumpCompressedSection(const DumpInput &in, DumpOutput &out);
// The files the viewer reads (chmdumpsystem.cpp).
void dumpSystem(const DumpInput &in, DumpOutput &out);
void dumpWindows(const DumpInput &in, DumpOutput &out);
void dumpIndexHeader(const DumpInput &in, DumpOutput &out);
void dumpTopics(const DumpInput &in, DumpOutput &out);
void dumpUrlTable(const DumpInput &in, DumpOutput &out);
void dumpUrlStrings(const DumpInput &in, DumpOutput &out);
void dumpStrings(const DumpInput &in, DumpOutput &out);
void dumpContextIds(const DumpInput &in, DumpOutput &out);
void dumpObjectInstances(const DumpInput &in, DumpOutput &out);
void dumpSmallFiles(const DumpInput &in, DumpOutput &out);
void dumpFullTextIndex(const DumpInput &in, DumpOutput &out);
void dumpContentFiles(const DumpInput &in, DumpOutput &out);
// Contents and keyword indexes (chmdumpindex.cpp).
void dumpTocIndex(const DumpInput &in, DumpOutput &out);
void dumpKeywordLinks(const DumpInput &in, DumpOutput &out);
void dumpAssociativeLinks(const DumpInput &in, DumpOutput &out);

// Reads the help file in bytes for the dump. On failure error names what is wrong.
bool readDumpInput(const QByteArray &bytes, DumpInput *in, QString *error);
// The whole dump of a help file in bytes; empty, with error set, when it cannot be read.
QStringList dumpChm(const QByteArray &bytes, QString *error);
// "hh -dump FILE": prints the dump to out. Returns 0, or 1 with a message on err.
int dumpChmFile(const std::string &path, std::ostream &out, std::ostream &err);

}  // namespace zelbrin::hh
