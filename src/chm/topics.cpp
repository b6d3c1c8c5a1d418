#include "topics.h"

#include "binarywriter.h"

#include <algorithm>
#include <numeric>

namespace zelbrin::chm {
namespace {

constexpr qsizetype kBlock = 4096;

// Pads data with NULs to the next block boundary when `length` more bytes would cross it.
void keepInBlock(QByteArray &data, qsizetype length) {
    const qsizetype used = data.size() % kBlock;
    if (length <= kBlock && used + length > kBlock)
        data.append(QByteArray(kBlock - used, '\0'));
}

}  // namespace

StringTable::StringTable() : data_(1, '\0') {
    offsets_.insert(QByteArray(), 0);
}

quint32 StringTable::add(const QByteArray &text) {
    const auto it = offsets_.constFind(text);
    return it != offsets_.constEnd() ? *it : append(text);
}

quint32 StringTable::append(const QByteArray &text) {
    keepInBlock(data_, text.size() + 1);
    const quint32 offset = quint32(data_.size());
    data_.append(text);
    data_.append('\0');
    if (!offsets_.contains(text))
        offsets_.insert(text, offset);
    return offset;
}

quint32 urlHash(const QByteArray &name) {
    quint32 h = 0;
    for (char ch : name) {
        const char upper = ch >= '_' && ch <= '~' ? char(ch - 32) : ch == '/' ? '\\' : ch;
        h = h * 43 + quint32(qint32(static_cast<signed char>(upper)) - '0');
    }
    return h;
}

quint32 TopicTable::add(const QByteArray &url, quint16 flags) {
    topics_.append(Topic{url, {}, std::nullopt, false, flags, 0});
    return quint32(topics_.size() - 1);
}

void TopicTable::setTitle(quint32 topic, const QByteArray &title, std::optional<quint32> offset) {
    topics_[topic].title = title;
    topics_[topic].titleOffset = offset;
    topics_[topic].titled = true;
}

TopicTable::Files TopicTable::write(StringTable &strings) const {
    Files f;
    // #URLSTR: after one NUL, per topic the address of an outside URL (none here), the
    // frame name in #STRINGS (none), then the name inside the help file.
    f.urlStrings.append('\0');
    QList<quint32> urlString;
    for (const Topic &t : topics_) {
        keepInBlock(f.urlStrings, 8 + t.url.size() + 1);
        urlString.append(quint32(f.urlStrings.size()));
        appendLe32(f.urlStrings, 0);
        appendLe32(f.urlStrings, 0);
        f.urlStrings.append(t.url);
        f.urlStrings.append('\0');
    }
    // #URLTBL: 341 entries of 12 bytes to a block of 4096, the last 4 bytes unused.
    QList<quint32> order(topics_.size());
    std::iota(order.begin(), order.end(), 0u);
    QList<quint32> hashes;
    for (const Topic &t : topics_)
        hashes.append(urlHash(t.url));
    std::stable_sort(order.begin(), order.end(), [&](quint32 a, quint32 b) { return hashes[a] < hashes[b]; });
    QList<quint32> urlEntry(topics_.size());
    for (quint32 topic : order) {
        if (f.urlTable.size() % kBlock == kBlock - 4)
            f.urlTable.append(QByteArray(4, '\0'));
        urlEntry[topic] = quint32(f.urlTable.size());
        appendLe32(f.urlTable, hashes[topic]);
        appendLe32(f.urlTable, topic);
        appendLe32(f.urlTable, urlString[topic]);
    }
    // #TOPICS: offset in the binary contents, title, address, flags.
    for (qsizetype i = 0; i < topics_.size(); ++i) {
        const Topic &t = topics_[i];
        appendLe32(f.topics, t.contentsOffset);
        const quint32 title = !t.titled || t.title.isEmpty() ? 0xFFFFFFFFu
                              : t.titleOffset                  ? *t.titleOffset
                                                               : strings.append(t.title);
        appendLe32(f.topics, title);
        appendLe32(f.topics, urlEntry[i]);
        appendLe16(f.topics, t.flags);
        appendLe16(f.topics, 0);
    }
    return f;
}

}  // namespace zelbrin::chm
