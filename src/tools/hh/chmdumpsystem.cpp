// The dump's sections about the files the viewer reads to open a help file.
#include "binaryreader.h"
#include "chmdump.h"
#include "ftsreader.h"

#include <QMap>

#include <algorithm>

namespace zelbrin::hh {
namespace {

using chm::cStringAt;
using chm::le16At;
using chm::le32At;
using chm::le64At;

constexpr qsizetype kBlock = 4096;

QString recordName(int code) {
    static const char *const names[] = {"contents file", "index file", "default topic", "title",
                                        "language and flags", "default window", "compiled file",
                                        "index file hash", "abbreviations", "compiler", "time",
                                        "binary contents", "information types", "index header",
                                        "custom tabs", "information type checksum", "default font"};
    return code >= 0 && code < int(std::size(names)) ? QString::fromLatin1(names[code]) : QStringLiteral("unknown");
}

QString number(quint32 v) {
    return QString::number(v);
}

// The name #URLSTR gives the topic whose #URLTBL entry lies at urlEntry.
QString urlOf(const DumpInput &in, quint32 urlEntry) {
    const QByteArray table = in.file("/#URLTBL");
    if (qsizetype(urlEntry) + 12 > table.size())
        return QStringLiteral("(no #URLTBL entry)");
    return in.text(cStringAt(in.file("/#URLSTR"), qsizetype(le32At(table, urlEntry + 8)) + 8));
}

bool isInternal(const QByteArray &name) {
    return name.startsWith("::") || name.startsWith("/#") || name.startsWith("/$") || name.endsWith('/');
}

}  // namespace

void dumpSystem(const DumpInput &in, DumpOutput &out) {
    const QByteArray d = in.file("/#SYSTEM");
    out.heading(QStringLiteral("#SYSTEM"));
    out.field(QStringLiteral("version"), number(le32At(d, 0)));
    for (qsizetype at = 4; at + 4 <= d.size();) {
        const int code = le16At(d, at);
        const qsizetype length = le16At(d, at + 2);
        const QByteArray data = d.mid(at + 4, length);
        const QString key = QStringLiteral("record %1 (%2)").arg(code).arg(recordName(code));
        at += 4 + length;
        switch (code) {
        case 0: case 1: case 2: case 3: case 5: case 6: case 9: case 16: {
            QByteArray text = data;
            const bool terminated = text.endsWith('\0');
            if (terminated)
                text.chop(1);
            out.field(key, in.text(text) + (terminated ? QString() : QStringLiteral(" (no terminator)")));
            break;
        }
        case 4:
            out.field(key, QStringLiteral("%1 bytes").arg(length));
            out.field(QStringLiteral("language"), hex32(le32At(data, 0)), 2);
            out.field(QStringLiteral("double-byte"), number(le32At(data, 4)), 2);
            out.field(QStringLiteral("full-text search"), number(le32At(data, 8)), 2);
            out.field(QStringLiteral("keyword links"), number(le32At(data, 12)), 2);
            out.field(QStringLiteral("associative links"), number(le32At(data, 16)), 2);
            if (length >= 28)
                out.field(QStringLiteral("time"), QStringLiteral("0x%1").arg(le64At(data, 20), 16, 16, QChar(u'0')), 2);
            if (length >= 36) {
                out.field(QStringLiteral("collection"), number(le32At(data, 28)), 2);
                out.field(QStringLiteral("unknown at 0x20"), hex32(le32At(data, 32)), 2);
            }
            break;
        case 7: case 10: case 11: case 12: case 15:
            out.field(key, length == 4 ? hex32(le32At(data, 0)) : hexBytes(data));
            break;
        case 13: {
            const QByteArray header = in.file("/#IDXHDR");
            QString same = QStringLiteral("no #IDXHDR to compare with");
            if (in.has("/#IDXHDR"))
                same = header == data ? QStringLiteral("the same as #IDXHDR") : QStringLiteral("differs from #IDXHDR");
            out.field(key, QStringLiteral("%1 bytes, %2").arg(length).arg(same));
            break;
        }
        default:
            out.field(key, hexBytes(data));
        }
    }
}

void dumpWindows(const DumpInput &in, DumpOutput &out) {
    const QByteArray d = in.file("/#WINDOWS");
    out.heading(QStringLiteral("#WINDOWS"));
    const quint32 count = le32At(d, 0);
    const quint32 size = le32At(d, 4);
    out.field(QStringLiteral("windows"), number(count));
    out.field(QStringLiteral("entry size"), number(size));
    for (quint32 i = 0; i < count && size >= 0xBC; ++i) {
        const qsizetype w = 8 + qsizetype(i) * size;
        if (w + size > d.size())
            break;
        auto at = [&](qsizetype field) { return le32At(d, w + field); };
        auto str = [&](qsizetype field) { return in.stringAt(at(field)); };
        auto rect = [&](qsizetype field) {
            return QStringLiteral("[%1,%2,%3,%4]")
                .arg(qint32(at(field))).arg(qint32(at(field + 4))).arg(qint32(at(field + 8))).arg(qint32(at(field + 12)));
        };
        out.line(QStringLiteral("window %1:").arg(i));
        enum Kind { Number, Hex, Text, Rect, Bytes };
        static const struct {
            const char *name;
            qsizetype at;
            Kind kind;
            qsizetype length;  // of Bytes
        } fields[] = {{"entry size", 0, Number, 0},         {"unicode", 4, Number, 0},
                      {"name", 8, Text, 0},                 {"valid fields", 0x0C, Hex, 0},
                      {"navigation style", 0x10, Hex, 0},   {"caption", 0x14, Text, 0},
                      {"styles", 0x18, Hex, 0},             {"extended styles", 0x1C, Hex, 0},
                      {"rectangle", 0x20, Rect, 0},         {"show state", 0x30, Number, 0},
                      {"run-time fields", 0x34, Bytes, 0x18}, {"navigation width", 0x4C, Number, 0},
                      {"topic rectangle", 0x50, Rect, 0},   {"contents file", 0x60, Text, 0},
                      {"index file", 0x64, Text, 0},        {"default topic", 0x68, Text, 0},
                      {"home", 0x6C, Text, 0},              {"buttons", 0x70, Hex, 0},
                      {"navigation closed", 0x74, Number, 0}, {"default pane", 0x78, Number, 0},
                      {"tab position", 0x7C, Number, 0},    {"notify id", 0x80, Number, 0},
                      {"tab order", 0x84, Bytes, 20},       {"history", 0x98, Number, 0},
                      {"jump 1 text", 0x9C, Text, 0},       {"jump 2 text", 0xA0, Text, 0},
                      {"jump 1 url", 0xA4, Text, 0},        {"jump 2 url", 0xA8, Text, 0},
                      {"minimum size", 0xAC, Rect, 0},      {"information types", 0xBC, Number, 0},
                      {"custom tabs", 0xC0, Number, 0}};
        for (const auto &f : fields) {
            if (f.at + 4 > qsizetype(size))
                break;
            QString value;
            switch (f.kind) {
            case Number: value = number(at(f.at)); break;
            case Hex: value = hex32(at(f.at)); break;
            case Text: value = str(f.at); break;
            case Rect: value = rect(f.at); break;
            case Bytes: value = hexBytes(d.mid(w + f.at, f.length)); break;
            }
            out.field(QString::fromLatin1(f.name), value, 2);
        }
    }
}

void dumpIndexHeader(const DumpInput &in, DumpOutput &out) {
    const QByteArray d = in.file("/#IDXHDR");
    out.heading(QStringLiteral("#IDXHDR"));
    out.field(QStringLiteral("length"), QString::number(d.size()));
    out.field(QStringLiteral("signature"), in.text(d.left(4)));
    out.field(QStringLiteral("time stamp"), hex32(le32At(d, 4)));
    out.field(QStringLiteral("unknown at 0x08"), hex32(le32At(d, 8)));
    out.field(QStringLiteral("topics"), number(le32At(d, 0x0C)));
    out.field(QStringLiteral("unknown at 0x10"), hex32(le32At(d, 0x10)));
    out.field(QStringLiteral("image list"), in.stringAt(le32At(d, 0x14)));
    out.field(QStringLiteral("unknown at 0x18"), hex32(le32At(d, 0x18)));
    out.field(QStringLiteral("folder images"), hex32(le32At(d, 0x1C)));
    out.field(QStringLiteral("background"), hex32(le32At(d, 0x20)));
    out.field(QStringLiteral("foreground"), hex32(le32At(d, 0x24)));
    out.field(QStringLiteral("font"), in.stringAt(le32At(d, 0x28)));
    out.field(QStringLiteral("window styles"), hex32(le32At(d, 0x2C)));
    out.field(QStringLiteral("extended window styles"), hex32(le32At(d, 0x30)));
    out.field(QStringLiteral("unknown at 0x34"), hex32(le32At(d, 0x34)));
    out.field(QStringLiteral("frame name"), in.stringAt(le32At(d, 0x38)));
    out.field(QStringLiteral("window name"), in.stringAt(le32At(d, 0x3C)));
    out.field(QStringLiteral("information types"), number(le32At(d, 0x40)));
    out.field(QStringLiteral("unknown at 0x44"), hex32(le32At(d, 0x44)));
    const quint32 merged = le32At(d, 0x48);
    out.field(QStringLiteral("merge files"), number(merged));
    out.field(QStringLiteral("unknown at 0x4C"), hex32(le32At(d, 0x4C)));
    qsizetype at = 0x50;
    for (quint32 i = 0; i < merged && at + 4 <= d.size(); ++i, at += 4)
        out.field(QStringLiteral("merge file %1").arg(i), in.stringAt(le32At(d, at)), 2);
    const qsizetype nonZero = std::count_if(d.begin() + std::min(at, d.size()), d.end(), [](char c) { return c != 0; });
    out.field(QStringLiteral("non-zero bytes after the merge files"), QString::number(nonZero));
}

void dumpTopics(const DumpInput &in, DumpOutput &out) {
    const QByteArray d = in.file("/#TOPICS");
    out.heading(QStringLiteral("#TOPICS"));
    out.field(QStringLiteral("topics"), QString::number(d.size() / 16));
    for (qsizetype at = 0; at + 16 <= d.size(); at += 16) {
        out.line(QStringLiteral("topic %1: contents offset %2, flags %3, unknown %4, url %5, title %6")
                     .arg(at / 16)
                     .arg(le32At(d, at))
                     .arg(le16At(d, at + 12))
                     .arg(le16At(d, at + 14))
                     .arg(urlOf(in, le32At(d, at + 8)))
                     .arg(in.stringAt(le32At(d, at + 4))));
    }
}

void dumpUrlTable(const DumpInput &in, DumpOutput &out) {
    const QByteArray d = in.file("/#URLTBL");
    const QByteArray strings = in.file("/#URLSTR");
    out.heading(QStringLiteral("#URLTBL"));
    out.field(QStringLiteral("length"), QString::number(d.size()));
    for (qsizetype at = 0; at + 12 <= d.size(); at += 12) {
        if (at % kBlock == kBlock - 4)
            at += 4;  // the last four bytes of each block stay unused
        if (at + 12 > d.size())
            break;
        out.line(QStringLiteral("entry at %1: hash %2, topic %3, #URLSTR %4 %5")
                     .arg(at)
                     .arg(hex32(le32At(d, at)))
                     .arg(le32At(d, at + 4))
                     .arg(le32At(d, at + 8))
                     .arg(in.text(cStringAt(strings, qsizetype(le32At(d, at + 8)) + 8))));
    }
}

void dumpUrlStrings(const DumpInput &in, DumpOutput &out) {
    const QByteArray d = in.file("/#URLSTR");
    const QByteArray table = in.file("/#URLTBL");
    out.heading(QStringLiteral("#URLSTR"));
    out.field(QStringLiteral("length"), QString::number(d.size()));
    out.field(QStringLiteral("first byte"), hexBytes(d.left(1)));
    QList<quint32> offsets;
    for (qsizetype at = 0; at + 12 <= table.size(); at += 12) {
        if (at % kBlock == kBlock - 4)
            at += 4;
        if (at + 12 <= table.size() && !offsets.contains(le32At(table, at + 8)))
            offsets.append(le32At(table, at + 8));
    }
    std::sort(offsets.begin(), offsets.end());
    for (quint32 o : offsets) {
        const quint32 url = le32At(d, o);
        out.line(QStringLiteral("entry at %1: url %2, frame %3, name %4")
                     .arg(o)
                     .arg(url ? QStringLiteral("%1 (%2)").arg(in.text(cStringAt(d, url))).arg(url) : QStringLiteral("0"))
                     .arg(in.stringAt(le32At(d, o + 4)))
                     .arg(in.text(cStringAt(d, qsizetype(o) + 8))));
    }
}

void dumpStrings(const DumpInput &in, DumpOutput &out) {
    const QByteArray d = in.file("/#STRINGS");
    out.heading(QStringLiteral("#STRINGS"));
    out.field(QStringLiteral("length"), QString::number(d.size()));
    out.field(QStringLiteral("first byte"), hexBytes(d.left(1)));
    for (qsizetype at = 1; at < d.size();) {
        const QByteArray s = cStringAt(d, at);
        if (!s.isEmpty())
            out.field(QString::number(at), in.text(s));
        at += s.size() + 1;
    }
}

void dumpContextIds(const DumpInput &in, DumpOutput &out) {
    const QByteArray d = in.file("/#IVB");
    out.heading(QStringLiteral("#IVB"));
    out.field(QStringLiteral("length of what follows"), QString::number(le32At(d, 0)));
    for (qsizetype at = 4; at + 8 <= d.size(); at += 8)
        out.line(QStringLiteral("context %1: %2").arg(le32At(d, at)).arg(in.stringAt(le32At(d, at + 4))));
}

void dumpObjectInstances(const DumpInput &in, DumpOutput &out) {
    const QByteArray d = in.file("/$OBJINST");
    out.heading(QStringLiteral("$OBJINST"));
    out.field(QStringLiteral("length"), QString::number(d.size()));
    out.field(QStringLiteral("digest"), digest(d));
    for (qsizetype at = 0; at < std::min<qsizetype>(d.size(), 0x60); at += 16)
        out.field(QStringLiteral("bytes at %1").arg(at), hexBytes(d.mid(at, 16)));
}

void dumpSmallFiles(const DumpInput &in, DumpOutput &out) {
    static const QList<QByteArray> sectioned{"/#SYSTEM", "/#WINDOWS", "/#IDXHDR", "/#TOPICS", "/#URLTBL",
                                             "/#URLSTR", "/#STRINGS", "/#TOCIDX", "/#IVB", "/$OBJINST",
                                             "/$FIftiMain"};
    QStringList lines;
    for (auto it = in.files.begin(); it != in.files.end(); ++it) {
        const QByteArray &name = it.key();
        const QByteArray folder = name.left(name.lastIndexOf('/') + 1);
        if (!isInternal(name) || name.startsWith("::") || sectioned.contains(name) ||
            (folder.startsWith("/$WW") && in.has(folder + "BTree")))
            continue;
        lines.append(QStringLiteral("%1: length %2, bytes %3")
                         .arg(in.storedName(name))
                         .arg(it->size())
                         .arg(it->size() <= 64 ? hexBytes(*it) : QStringLiteral("digest ") + digest(*it)));
    }
    if (lines.isEmpty())
        return;
    out.heading(QStringLiteral("other internal files"));
    for (const QString &l : lines)
        out.line(l);
}

void dumpFullTextIndex(const DumpInput &in, DumpOutput &out) {
    out.heading(QStringLiteral("$FIftiMain"));
    const QByteArray data = in.file("/$FIftiMain");
    std::string error;
    const auto index = readFullTextIndex(
        {reinterpret_cast<const unsigned char *>(data.constData()), std::size_t(data.size())}, error);
    if (!index) {
        out.field(QStringLiteral("damaged"), QString::fromStdString(error));
        return;
    }
    if (index->empty) {
        out.field(QStringLiteral("length"), QStringLiteral("0 (search off)"));
        return;
    }
    const FtsHeader &h = index->header;
    const auto number = [&](const char *key, quint64 value) { out.field(QLatin1String(key), QString::number(value)); };
    number("documents", h.files);
    number("leaves", h.leafCount);
    number("depth", h.depth);
    out.field(QStringLiteral("code roots (document, count, location)"),
              QStringLiteral("%1, %2, %3").arg(h.documentRoot).arg(h.countRoot).arg(h.locationRoot));
    number("titles indexed (0x32)", h.hasTitles);
    number("furthest repeated location (0x36)", h.furthestRepeat);
    out.field(QStringLiteral("0x3A"), hex32(h.field3A));
    number("longest word (0x3E)", h.longestWord);
    number("occurrences (0x42)", h.wordsIndexed);
    number("distinct words (0x46)", h.distinctWords);
    number("bytes of longer words (0x4A)", h.longWordBytes);
    number("bytes of 1-2 byte words (0x4E)", h.shortWordBytes);
    number("bytes of entries (0x52)", h.entryBytes);
    number("unused bytes (0x56)", h.unusedBytes);
    number("code page", h.codePage);
    out.field(QStringLiteral("language"), hex32(h.languageId));
    for (const FtsWord &w : index->words) {
        QString line = in.text(QByteArray::fromStdString(w.word)) + (w.title ? QStringLiteral(" title:") : QStringLiteral(":"));
        for (const FtsDocumentHits &d : w.documents) {
            line += QStringLiteral(" %1@").arg(d.document);
            for (std::size_t i = 0; i < d.locations.size(); ++i)
                line += (i ? QStringLiteral(",") : QString()) + QString::number(d.locations[i]);
        }
        out.line(line);
    }
}

void dumpContentFiles(const DumpInput &in, DumpOutput &out) {
    out.heading(QStringLiteral("content files"));
    for (auto it = in.files.begin(); it != in.files.end(); ++it) {
        if (!isInternal(it.key()))
            out.line(QStringLiteral("%1: length %2, digest %3").arg(in.storedName(it.key())).arg(it->size()).arg(digest(*it)));
    }
}

}  // namespace zelbrin::hh
