#include "chmdump.h"

#include "binaryreader.h"
#include "chmreader.h"
#include "codepage.h"

#include <QCryptographicHash>
#include <QFile>

#include <span>

namespace zelbrin::hh {
namespace {

using chm::le32At;
using chm::le64At;

// The format's variable-length integer: 7 bits a byte, most significant first.
quint64 readEncInt(const QByteArray &d, qsizetype &at, qsizetype end) {
    quint64 value = 0;
    for (int n = 0; at < end && n < 10; ++n) {
        const uchar b = uchar(d[at++]);
        value = (value << 7) | (b & 0x7F);
        if (!(b & 0x80))
            break;
    }
    return value;
}

// The listing chunks in the order of their chain, each entry as it is stored.
QList<DumpDirectoryEntry> readDirectory(const QByteArray &d, QString *error) {
    const quint64 directoryOffset = le64At(d, 0x48);
    const qsizetype itsp = qsizetype(directoryOffset);
    if (d.mid(itsp, 4) != "ITSP") {
        *error = QStringLiteral("no ITSP header where the directory should start");
        return {};
    }
    const quint32 chunkSize = le32At(d, itsp + 0x10);
    const quint32 chunks = le32At(d, itsp + 0x2C);
    const qsizetype first = itsp + le32At(d, itsp + 0x08);
    if (chunkSize < 0x20 || chunkSize > (1u << 20)) {
        *error = QStringLiteral("a directory chunk size of %1").arg(chunkSize);
        return {};
    }
    QList<DumpDirectoryEntry> entries;
    quint32 chunk = le32At(d, itsp + 0x20);
    for (quint32 visited = 0; chunk != 0xFFFFFFFFu && visited < chunks; ++visited) {
        const qsizetype start = first + qsizetype(chunk) * chunkSize;
        if (chunk >= chunks || start + qsizetype(chunkSize) > d.size() || d.mid(start, 4) != "PMGL") {
            *error = QStringLiteral("directory chunk %1 is no listing chunk inside the file").arg(chunk);
            return {};
        }
        const qsizetype end = start + chunkSize - qsizetype(le32At(d, start + 4));
        for (qsizetype at = start + 0x14; at < end && at > start;) {
            DumpDirectoryEntry e;
            const quint64 nameLength = readEncInt(d, at, end);
            e.name = d.mid(at, qsizetype(std::min<quint64>(nameLength, quint64(end - at))));
            at += e.name.size();
            e.section = readEncInt(d, at, end);
            e.offset = readEncInt(d, at, end);
            e.length = readEncInt(d, at, end);
            entries.append(e);
        }
        chunk = le32At(d, start + 0x10);
    }
    return entries;
}

QString escaped(const QString &text) {
    QString out;
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c == u'\x7f')
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'));
        else if (c == u'"' || c == u'\\')
            out += u'\\' + QString(c);
        else
            out += c;
    }
    return out;
}

}  // namespace

QString quoted(const QString &text) {
    return u'"' + escaped(text) + u'"';
}

QString DumpInput::text(const QByteArray &bytes) const {
    const auto decoded = chm::decodeCharset(bytes, codePage);
    return quoted(decoded ? *decoded : QString::fromLatin1(bytes));
}

QString DumpInput::stringAt(quint32 offset) const {
    if (offset == 0xFFFFFFFFu)
        return QStringLiteral("none");
    return QStringLiteral("%1 (#STRINGS %2)").arg(text(chm::cStringAt(file("/#STRINGS"), offset))).arg(offset);
}

QString DumpInput::storedName(const QByteArray &name) const {
    const QString utf8 = QString::fromUtf8(name);
    if (utf8.toUtf8() == name)
        return utf8;
    const auto decoded = chm::decodeCharset(name, codePage);
    return (decoded ? *decoded : QString::fromLatin1(name)) + QStringLiteral(" (in %1)").arg(QString::fromLatin1(codePage));
}

void DumpOutput::heading(const QString &title) {
    if (!lines.isEmpty())
        lines.append(QString());
    lines.append(u'[' + title + u']');
}

void DumpOutput::field(const QString &key, const QString &value, int indent) {
    lines.append(QString(2 * indent, u' ') + key + QStringLiteral(": ") + value);
}

void DumpOutput::line(const QString &text, int indent) {
    lines.append(QString(2 * indent, u' ') + text);
}

QString hex32(quint32 value) {
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(8, u'0');
}

QString hexBytes(const QByteArray &bytes) {
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

QString digest(const QByteArray &bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(16));
}

const QList<DumpSection> &dumpSections() {
    static const QList<DumpSection> sections{
        {"", dumpItsfHeader},
        {"", dumpDirectory},
        {"", dumpCompressedSection},
        {"/#SYSTEM", dumpSystem},
        {"/#WINDOWS", dumpWindows},
        {"/#IDXHDR", dumpIndexHeader},
        {"/#TOPICS", dumpTopics},
        {"/#URLTBL", dumpUrlTable},
        {"/#URLSTR", dumpUrlStrings},
        {"/#STRINGS", dumpStrings},
        {"/#TOCIDX", dumpTocIndex},
        {"/$WWKeywordLinks/BTree", dumpKeywordLinks},
        {"/$WWAssociativeLinks/BTree", dumpAssociativeLinks},
        {"/#IVB", dumpContextIds},
        {"/$OBJINST", dumpObjectInstances},
        {"", dumpSmallFiles},
        {"/$FIftiMain", dumpFullTextIndex},
        {"", dumpContentFiles},
    };
    return sections;
}

bool readDumpInput(const QByteArray &bytes, DumpInput *in, QString *error) {
    if (bytes.size() < 0x60 || !bytes.startsWith("ITSF")) {
        *error = QStringLiteral("it is not a compiled help file (no ITSF signature)");
        return false;
    }
    in->bytes = bytes;
    in->directory = readDirectory(bytes, error);
    if (!error->isEmpty())
        return false;
    const std::span<const unsigned char> span(reinterpret_cast<const unsigned char *>(bytes.constData()),
                                              size_t(bytes.size()));
    ChmReader reader(span);
    if (!reader.ok()) {
        *error = QString::fromStdString(reader.error());
        return false;
    }
    for (size_t i = 0; i < reader.entries().size(); ++i) {
        QByteArray content;
        const std::string why = reader.extract(i, [&](const unsigned char *data, size_t size) {
            content.append(reinterpret_cast<const char *>(data), qsizetype(size));
            return true;
        });
        if (why.empty())
            in->files.insert(QByteArray::fromStdString(reader.entries()[i].name), content);
    }
    const QByteArray system = in->file("/#SYSTEM");
    quint32 lcid = le32At(bytes, 0x14);
    for (qsizetype at = 4; at + 4 <= system.size(); at += 4 + chm::le16At(system, at + 2)) {
        if (chm::le16At(system, at) == 4 && chm::le16At(system, at + 2) >= 4)
            lcid = le32At(system, at + 4);
    }
    in->codePage = chm::ansiCodePage(lcid).iconvName;
    return true;
}

QStringList dumpChm(const QByteArray &bytes, QString *error) {
    DumpInput in;
    if (!readDumpInput(bytes, &in, error))
        return {};
    DumpOutput out;
    for (const DumpSection &section : dumpSections()) {
        if (*section.file == '\0' || in.has(section.file))
            section.print(in, out);
    }
    return out.lines;
}

int dumpChmFile(const std::string &path, std::ostream &out, std::ostream &err) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) {
        err << "hh: \"" << path << "\" cannot be read (" << f.errorString().toStdString() << ")\n";
        return 1;
    }
    QString error;
    const QStringList lines = dumpChm(f.readAll(), &error);
    if (!error.isEmpty()) {
        err << "hh: \"" << path << "\" cannot be dumped: " << error.toStdString() << "\n";
        return 1;
    }
    for (const QString &l : lines)
        out << l.toStdString() << '\n';
    out.flush();
    return out ? 0 : 1;
}

}  // namespace zelbrin::hh
