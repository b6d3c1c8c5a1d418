#pragma once

#include <QByteArray>
#include <QList>

// The binary contents (#TOCIDX): the contents tree as the viewer reads it without parsing
// the contents file. The help compiler lays it out even when it does not store it, since
// #TOPICS records where each topic's entry lies.
namespace zelbrin::chm {

class StringTable;

struct ContentsEntry {
    QByteArray name;         // in the code page
    qint64 topic = -1;       // its topic; -1 for a heading without a page
    QList<int> children;     // indexes into the entry list
    // The entry's text is its topic's: an entry whose topic an entry before it (in level
    // order) names takes that entry's text instead of a place of its own.
    bool topicText = false;
};

struct ContentsLayout {
    QByteArray file;              // #TOCIDX
    QList<quint32> entryOffsets;  // where each entry lies in it, by index
    QList<quint32> nameOffsets;   // where each entry's name lies in #STRINGS
};

// Lays out the tree whose top-level entries are roots (indexes into entries): a 4096-byte
// header, the entries level by level (each level's lists in the order of their parents),
// the topics in reading order, then a table with one row per entry that has children.
// The names enter strings in that level order, each in a place of its own (see topicText).
ContentsLayout layOutContents(const QList<ContentsEntry> &entries, const QList<int> &roots, StringTable &strings);

}  // namespace zelbrin::chm
