#include "topics.h"

#include "binarywriter.h"

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
    if (it != offsets_.constEnd())
        return *it;
    keepInBlock(data_, text.size() + 1);
    const quint32 offset = quint32(data_.size());
    data_.append(text);
    data_.append('\0');
    offsets_.insert(text, offset);
    return offset;
}

quint32 TopicTable::add(const QByteArray &url, const QByteArray &title, bool inContents) {
    if (urlStrings_.isEmpty())
        urlStrings_.append('\0');
    // #URLSTR: the address of an outside URL (none here), the frame name in #STRINGS
    // (none), then the name inside the help file.
    keepInBlock(urlStrings_, 8 + url.size() + 1);
    const quint32 urlString = quint32(urlStrings_.size());
    appendLe32(urlStrings_, 0);
    appendLe32(urlStrings_, 0);
    urlStrings_.append(url);
    urlStrings_.append('\0');

    // #URLTBL: 341 entries of 12 bytes to a block of 4096, the last 4 bytes unused.
    if (urlTable_.size() % kBlock == kBlock - 4)
        urlTable_.append(QByteArray(4, '\0'));
    const quint32 urlEntry = quint32(urlTable_.size());
    appendLe32(urlTable_, 0);
    appendLe32(urlTable_, count_);
    appendLe32(urlTable_, urlString);

    // #TOPICS: offset in the binary contents (there is none), title, address, and
    // whether the contents name the page (2) or not (6).
    appendLe32(topics_, 0);
    appendLe32(topics_, title.isEmpty() ? 0xFFFFFFFFu : strings_.add(title));
    appendLe32(topics_, urlEntry);
    appendLe16(topics_, inContents ? 2 : 6);
    appendLe16(topics_, 0);
    return count_++;
}

}  // namespace zelbrin::chm
