// The dump's sections about the binary contents and the keyword indexes.
#include "binaryreader.h"
#include "chmdump.h"

#include <QSet>

namespace zelbrin::hh {
namespace {

using chm::cStringAt;
using chm::le16At;
using chm::le32At;
using chm::utf16StringAt;

constexpr quint32 kTocHasChildren = 4;
constexpr quint32 kTocHasLocal = 8;

QString topicName(const DumpInput &in, quint32 topic) {
    const QByteArray topics = in.file("/#TOPICS");
    const qsizetype at = qsizetype(topic) * 16;
    if (at + 16 > topics.size())
        return QStringLiteral("(no such topic)");
    const quint32 urlEntry = le32At(topics, at + 8);
    const QByteArray url = cStringAt(in.file("/#URLSTR"), qsizetype(le32At(in.file("/#URLTBL"), urlEntry + 8)) + 8);
    return in.text(url);
}

// One keyword entry of a listing or index block; at moves past it.
QString keywordEntry(const DumpInput &in, const QByteArray &d, qsizetype &at, bool listing) {
    const QString keyword = utf16StringAt(d, at);
    const quint16 seeAlso = le16At(d, at);
    const quint16 depth = le16At(d, at + 2);
    const quint32 charIndex = le32At(d, at + 4);
    const quint32 unknown = le32At(d, at + 8);
    const quint32 pairs = le32At(d, at + 12);
    at += 16;
    QString targets;
    if (seeAlso) {
        targets = QStringLiteral("see also ") + quoted(utf16StringAt(d, at));
    } else {
        QStringList topics;
        for (quint32 p = 0; p < pairs && at + 4 <= d.size(); ++p, at += 4)
            topics.append(QStringLiteral("%1 %2").arg(le32At(d, at)).arg(topicName(in, le32At(d, at))));
        targets = QStringLiteral("topics [%1]").arg(topics.join(QStringLiteral(", ")));
    }
    QString tail;
    if (listing) {
        tail = QStringLiteral(", then %1, data offset %2").arg(le32At(d, at)).arg(le32At(d, at + 4));
        at += 8;
    } else {
        tail = QStringLiteral(", child block %1").arg(le32At(d, at));
        at += 4;
    }
    return QStringLiteral("%1: see-also flag %2, depth %3, character index %4, unknown %5, pairs %6, %7%8")
        .arg(quoted(keyword)).arg(seeAlso).arg(depth).arg(charIndex).arg(unknown).arg(pairs).arg(targets, tail);
}

void dumpBTree(const DumpInput &in, DumpOutput &out, const QByteArray &folder) {
    const QByteArray d = in.file(folder + "BTree");
    out.heading(QString::fromLatin1(folder + "BTree"));
    out.field(QStringLiteral("length"), QString::number(d.size()));
    out.field(QStringLiteral("signature"), in.text(d.left(2)));
    out.field(QStringLiteral("flags"), hex32(le16At(d, 2)));
    const quint16 blockSize = le16At(d, 4);
    out.field(QStringLiteral("block size"), QString::number(blockSize));
    out.field(QStringLiteral("data format"), in.text(cStringAt(d.mid(6, 16), 0)));
    out.field(QStringLiteral("unknown at 0x16"), hex32(le32At(d, 0x16)));
    const quint32 lastListing = le32At(d, 0x1A);
    out.field(QStringLiteral("last listing block"), QString::number(lastListing));
    out.field(QStringLiteral("root block"), QString::number(le32At(d, 0x1E)));
    out.field(QStringLiteral("unknown at 0x22"), hex32(le32At(d, 0x22)));
    const quint32 blocks = le32At(d, 0x26);
    out.field(QStringLiteral("blocks"), QString::number(blocks));
    out.field(QStringLiteral("depth"), QString::number(le16At(d, 0x2A)));
    out.field(QStringLiteral("keywords"), QString::number(le32At(d, 0x2C)));
    out.field(QStringLiteral("code page"), QString::number(le32At(d, 0x30)));
    out.field(QStringLiteral("language"), hex32(le32At(d, 0x34)));
    out.field(QStringLiteral("part of a help file"), QString::number(le32At(d, 0x38)));
    out.field(QStringLiteral("unknown at 0x3C"), QString::number(le32At(d, 0x3C)));
    for (int at : {0x40, 0x44, 0x48})
        out.field(QStringLiteral("unknown at 0x") + QString::number(at, 16).toUpper(), hex32(le32At(d, at)));
    for (quint32 b = 0; b < blocks && blockSize >= 12; ++b) {
        const qsizetype start = 0x4C + qsizetype(b) * blockSize;
        if (start + blockSize > d.size())
            break;
        const bool listing = b <= lastListing;
        const int entries = le16At(d, start + 2);
        if (listing)
            out.line(QStringLiteral("listing block %1: free %2, entries %3, previous %4, next %5")
                         .arg(b).arg(le16At(d, start)).arg(entries)
                         .arg(qint32(le32At(d, start + 4))).arg(qint32(le32At(d, start + 8))));
        else
            out.line(QStringLiteral("index block %1: free %2, entries %3, first child %4")
                         .arg(b).arg(le16At(d, start)).arg(entries).arg(le32At(d, start + 4)));
        qsizetype at = start + (listing ? 12 : 8);
        for (int e = 0; e < entries && at < start + blockSize; ++e)
            out.line(keywordEntry(in, d, at, listing), 2);
        const qsizetype used = at - start;
        if (blockSize - used != le16At(d, start))
            out.field(QStringLiteral("free space the entries leave"), QString::number(blockSize - used), 2);
    }
    if (in.has(folder + "Data")) {
        const QByteArray data = in.file(folder + "Data");
        QMap<QByteArray, int> records;
        for (qsizetype at = 0; at + 13 <= data.size(); at += 13)
            ++records[data.mid(at, 13)];
        out.heading(QString::fromLatin1(folder + "Data"));
        out.field(QStringLiteral("length"), QString::number(data.size()));
        for (auto it = records.begin(); it != records.end(); ++it)
            out.field(QStringLiteral("record %1").arg(hexBytes(it.key())), QStringLiteral("%1 times").arg(it.value()));
    }
    if (in.has(folder + "Map")) {
        const QByteArray map = in.file(folder + "Map");
        out.heading(QString::fromLatin1(folder + "Map"));
        out.field(QStringLiteral("blocks"), QString::number(le16At(map, 0)));
        for (qsizetype at = 2; at + 8 <= map.size(); at += 8)
            out.line(QStringLiteral("keywords before: %1, block %2").arg(le32At(map, at)).arg(le32At(map, at + 4)));
    }
}

void dumpProperty(const DumpInput &in, DumpOutput &out, const QByteArray &folder) {
    if (!in.has(folder + "Property"))
        return;
    out.heading(QString::fromLatin1(folder + "Property"));
    out.field(QStringLiteral("bytes"), hexBytes(in.file(folder + "Property")));
}

}  // namespace

void dumpTocIndex(const DumpInput &in, DumpOutput &out) {
    const QByteArray d = in.file("/#TOCIDX");
    out.heading(QStringLiteral("#TOCIDX"));
    out.field(QStringLiteral("length"), QString::number(d.size()));
    const quint32 firstEntry = le32At(d, 0);
    const quint32 entriesAt = le32At(d, 4);
    const quint32 entryCount = le32At(d, 8);
    out.field(QStringLiteral("first entry"), QString::number(firstEntry));
    out.field(QStringLiteral("topic entries"), QStringLiteral("%1 at %2").arg(entryCount).arg(entriesAt));
    out.field(QStringLiteral("unknown at 0x0C"), QString::number(le32At(d, 12)));
    // The tree, depth first, guarded against loops.
    QSet<quint32> seen;
    QList<std::pair<quint32, int>> stack{{firstEntry, 0}};
    while (!stack.isEmpty()) {
        auto [at, depth] = stack.takeLast();
        if (at == 0 || qsizetype(at) + 20 > d.size() || seen.contains(at))
            continue;
        seen.insert(at);
        const quint32 props = le32At(d, at + 4);
        const quint32 target = le32At(d, at + 8);
        QString what = props & kTocHasLocal ? QStringLiteral("topic %1 %2").arg(target).arg(topicName(in, target))
                                            : QStringLiteral("text %1").arg(in.stringAt(target));
        QString line = QStringLiteral("entry at %1: unknown %2, number %3, flags %4, %5, parent %6, next %7")
                           .arg(at).arg(le16At(d, at)).arg(le16At(d, at + 2)).arg(props).arg(what)
                           .arg(le32At(d, at + 12)).arg(le32At(d, at + 16));
        if (props & kTocHasChildren)
            line += QStringLiteral(", first child %1, unknown %2").arg(le32At(d, at + 20)).arg(le32At(d, at + 24));
        out.line(line, 1 + depth);
        stack.append({le32At(d, at + 16), depth});
        if (props & kTocHasChildren)
            stack.append({le32At(d, at + 20), depth + 1});
    }
    for (quint32 i = 0; i < entryCount && qsizetype(entriesAt) + 16 * qsizetype(i) + 16 <= d.size(); ++i) {
        const qsizetype at = qsizetype(entriesAt) + 16 * qsizetype(i);
        out.line(QStringLiteral("topic entry %1: entry at %2, number %3, #TOPICS offset %4, topic %5")
                     .arg(i).arg(le32At(d, at)).arg(le32At(d, at + 4)).arg(le32At(d, at + 8)).arg(le32At(d, at + 12)));
    }
    const qsizetype tail = qsizetype(entriesAt) + 16 * qsizetype(entryCount);
    if (tail < d.size())
        out.field(QStringLiteral("after the topic entries"),
                  QStringLiteral("%1 bytes, %2").arg(d.size() - tail).arg(hexBytes(d.mid(tail, 64))));
}

void dumpKeywordLinks(const DumpInput &in, DumpOutput &out) {
    dumpBTree(in, out, "/$WWKeywordLinks/");
    dumpProperty(in, out, "/$WWKeywordLinks/");
}

void dumpAssociativeLinks(const DumpInput &in, DumpOutput &out) {
    dumpBTree(in, out, "/$WWAssociativeLinks/");
    dumpProperty(in, out, "/$WWAssociativeLinks/");
}

}  // namespace zelbrin::hh
