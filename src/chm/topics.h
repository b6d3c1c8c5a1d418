#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

// The string and topic tables of a help file: #STRINGS, #TOPICS, #URLTBL and #URLSTR.
namespace zelbrin::chm {

// #STRINGS: NUL-terminated strings (bytes in the help file's ANSI code page), each once.
// Viewers read it in blocks of 4096 bytes and take a string from within its block, so no
// string crosses a block boundary. Offset 0 is the empty string.
class StringTable {
public:
    StringTable();
    quint32 add(const QByteArray &text);  // offset of the text; the same text gives the same offset
    const QByteArray &data() const { return data_; }

private:
    QByteArray data_;
    QHash<QByteArray, quint32> offsets_;
};

// #TOPICS lists every page of the help file with its title; #URLTBL and #URLSTR give each
// topic its address inside the help file. The full-text index and the keyword index name
// pages by their topic number.
class TopicTable {
public:
    explicit TopicTable(StringTable &strings) : strings_(strings) {}

    // Adds a topic: url is its name inside the help file without the leading "/" (an
    // "#anchor" may follow), title its title in the ANSI code page. inContents: the
    // contents file names the page. Returns the topic number.
    quint32 add(const QByteArray &url, const QByteArray &title, bool inContents);
    qsizetype size() const { return count_; }

    QByteArray topics() const { return topics_; }
    QByteArray urlTable() const { return urlTable_; }
    QByteArray urlStrings() const { return urlStrings_; }

private:
    StringTable &strings_;
    QByteArray topics_;
    QByteArray urlTable_;
    QByteArray urlStrings_;
    quint32 count_ = 0;
};

}  // namespace zelbrin::chm
