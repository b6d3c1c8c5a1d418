#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

#include <optional>

// The string and topic tables of a help file: #STRINGS, #TOPICS, #URLTBL and #URLSTR.
namespace zelbrin::chm {

// #STRINGS: NUL-terminated strings (bytes in the help file's ANSI code page), each once.
// Viewers read it in blocks of 4096 bytes and take a string from within its block, so no
// string crosses a block boundary. Offset 0 is the empty string. Strings take their place
// in the order they are added, which the help compiler keeps: windows, context ids, the
// contents' texts, topic titles, the contents' properties.
class StringTable {
public:
    StringTable();
    quint32 add(const QByteArray &text);  // offset of the text; the same text gives the same offset
    quint32 append(const QByteArray &text);  // a place of its own, as the contents' texts take
    const QByteArray &data() const { return data_; }

private:
    QByteArray data_;
    QHash<QByteArray, quint32> offsets_;
};

// The help compiler's hash of a name inside the help file (#URLTBL, #SYSTEM records 7 and
// 11): over the bytes, read as signed characters, "_" to "~" moved down by 32 (which puts
// letters in upper case) and "/" read as "\", h = h * 43 + (c - '0'); so names that
// differ in case or separator hash alike.
quint32 urlHash(const QByteArray &name);

// #TOPICS lists every page of the help file with its title; #URLTBL and #URLSTR give each
// topic its address inside the help file. The full-text index, the keyword indexes and the
// binary contents name pages by their topic number.
class TopicTable {
public:
    // Topic flags: the topic is a file of the help file (not an anchor in one), and the
    // contents name it.
    static constexpr quint16 IsFile = 2;
    static constexpr quint16 InContents = 4;

    // Adds a topic: url is its name inside the help file without the leading "/" (an
    // "#anchor" may follow), in the code page. Returns the topic number.
    quint32 add(const QByteArray &url, quint16 flags);
    qsizetype size() const { return topics_.size(); }
    const QByteArray &url(quint32 topic) const { return topics_[topic].url; }
    quint16 flags(quint32 topic) const { return topics_[topic].flags; }
    void addFlags(quint32 topic, quint16 flags) { topics_[topic].flags |= flags; }
    bool hasTitle(quint32 topic) const { return topics_[topic].titled; }
    // The title in the code page; an empty title is written as "no title". A title may
    // already lie in #STRINGS (a contents entry's name): then its offset is given too.
    void setTitle(quint32 topic, const QByteArray &title, std::optional<quint32> offset = std::nullopt);
    // Where the topic's entry lies in the binary contents (#TOCIDX).
    void setContentsOffset(quint32 topic, quint32 offset) { topics_[topic].contentsOffset = offset; }

    struct Files {
        QByteArray topics, urlTable, urlStrings;
    };
    // The three files; titles not yet in strings go there in topic order, each in a place
    // of its own. #URLTBL is sorted by the hash of the names, as viewers look names up by it.
    Files write(StringTable &strings) const;

private:
    struct Topic {
        QByteArray url;
        QByteArray title;
        std::optional<quint32> titleOffset;
        bool titled = false;
        quint16 flags = 0;
        quint32 contentsOffset = 0;
    };
    QList<Topic> topics_;
};

}  // namespace zelbrin::chm
