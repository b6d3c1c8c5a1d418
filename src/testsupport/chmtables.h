#pragma once

// Reads a help file's topic table and keyword index the way viewers do (xchm, python3-chm),
// for tests that check what a viewer will show.
#include "binaryreader.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

namespace zelbrin::testing {

struct ReadTopic {
    QByteArray url;    // name inside the help file, as #URLSTR holds it
    QByteArray title;  // bytes in the help file's code page
};

struct ReadKeyword {
    QString text;           // "keyword" or "keyword, sub-keyword"
    QList<quint32> topics;  // topic numbers
};

namespace chmtables {

inline quint16 u16(const QByteArray &d, qsizetype at) { return chm::le16At(d, at); }
inline quint32 u32(const QByteArray &d, qsizetype at) { return chm::le32At(d, at); }
inline QByteArray cString(const QByteArray &d, qsizetype at) { return chm::cStringAt(d, at); }
inline QString utf16At(const QByteArray &d, qsizetype &at) { return chm::utf16StringAt(d, at); }

}  // namespace chmtables

// #TOPICS through #URLTBL and #URLSTR, titles from #STRINGS.
inline QList<ReadTopic> readTopics(const QByteArray &topics, const QByteArray &urlTable,
                                   const QByteArray &urlStrings, const QByteArray &strings) {
    using namespace chmtables;
    QList<ReadTopic> list;
    for (qsizetype at = 0; at + 16 <= topics.size(); at += 16) {
        ReadTopic t;
        const quint32 title = u32(topics, at + 4);
        if (title != 0xFFFFFFFFu)
            t.title = cString(strings, title);
        t.url = cString(urlStrings, qsizetype(u32(urlTable, u32(topics, at + 8) + 8)) + 8);
        list.append(t);
    }
    return list;
}

// The listing blocks of $WWKeywordLinks/BTree, walked as xchm walks them: block after block
// from the first, entry by entry up to the free space each block states, while a block
// names a next one. error receives the first inconsistency found.
inline QList<ReadKeyword> readKeywordListing(const QByteArray &btree, QString *error = nullptr) {
    using namespace chmtables;
    QList<ReadKeyword> keywords;
    for (qsizetype block = 0x4C; block + 2048 <= btree.size(); block += 2048) {
        const quint16 free = u16(btree, block);
        const quint16 entries = u16(btree, block + 2);
        qsizetype at = block + 12;
        for (int e = 0; e < entries; ++e) {
            ReadKeyword k;
            k.text = utf16At(btree, at);
            const quint32 pairs = u32(btree, at + 12);
            at += 16;
            for (quint32 p = 0; p < pairs; ++p, at += 4)
                k.topics.append(u32(btree, at));
            at += 8;
            keywords.append(k);
        }
        if (error && error->isEmpty() && block + 2048 - free != at)
            *error = QStringLiteral("block at %1: its free space does not match its entries").arg(block);
        if (qint32(u32(btree, block + 8)) == -1)
            break;
    }
    return keywords;
}

inline QByteArray readUnpacked(const QString &folder, const QString &name) {
    QFile f(folder + u'/' + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The topics of a help file unpacked into folder (by extract_chmLib or 7-Zip).
inline QList<ReadTopic> readTopics(const QString &folder) {
    return readTopics(readUnpacked(folder, QStringLiteral("#TOPICS")), readUnpacked(folder, QStringLiteral("#URLTBL")),
                      readUnpacked(folder, QStringLiteral("#URLSTR")), readUnpacked(folder, QStringLiteral("#STRINGS")));
}

}  // namespace zelbrin::testing
