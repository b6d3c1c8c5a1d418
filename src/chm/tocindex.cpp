#include "tocindex.h"

#include "binarywriter.h"
#include "topics.h"

#include <QHash>

namespace zelbrin::chm {
namespace {

constexpr quint32 kHeaderSize = 4096;
constexpr quint32 kLeafSize = 20;
constexpr quint32 kParentSize = 28;
constexpr quint32 kHasChildren = 0x4;
constexpr quint32 kHasTopic = 0x8;
// Set on every entry with children, as the help compiler sets them; 0x40 on those whose
// place in reading order lies beyond the table of such entries.
constexpr quint32 kParentBits = 0x101;
constexpr quint32 kBeyondTable = 0x40;
constexpr quint32 kFirstTableNumber = 666;

}  // namespace

ContentsLayout layOutContents(const QList<ContentsEntry> &entries, const QList<int> &roots, StringTable &strings) {
    ContentsLayout layout;
    layout.entryOffsets.fill(0, entries.size());
    layout.nameOffsets.fill(0, entries.size());
    // Level order: the top-level list, then each entry's children after all lists before it.
    QList<int> order;
    QList<int> parentOf(entries.size(), -1);
    QList<int> nextOf(entries.size(), -1);
    QList<QList<int>> lists{roots};
    for (qsizetype l = 0; l < lists.size(); ++l) {
        const QList<int> list = lists[l];
        for (qsizetype i = 0; i < list.size(); ++i) {
            const int e = list[i];
            order.append(e);
            if (i + 1 < list.size())
                nextOf[e] = list[i + 1];
            for (int c : entries[e].children)
                parentOf[c] = e;
            if (!entries[e].children.isEmpty())
                lists.append(entries[e].children);
        }
    }
    quint32 at = kHeaderSize;
    for (int e : order) {
        layout.entryOffsets[e] = at;
        at += entries[e].children.isEmpty() ? kLeafSize : kParentSize;
    }
    // Reading order (depth first), for the entry numbers and the topic list.
    QList<int> reading;
    QList<int> stack(roots.rbegin(), roots.rend());
    while (!stack.isEmpty()) {
        const int e = stack.takeLast();
        reading.append(e);
        for (auto c = entries[e].children.rbegin(); c != entries[e].children.rend(); ++c)
            stack.append(*c);
    }
    qsizetype parents = 0;
    for (const ContentsEntry &e : entries)
        parents += e.children.isEmpty() ? 0 : 1;
    QList<qsizetype> readingIndex(entries.size(), 0);
    for (qsizetype i = 0; i < reading.size(); ++i)
        readingIndex[reading[i]] = i;

    QByteArray &f = layout.file;
    f.fill('\0', kHeaderSize);
    QHash<qint64, quint32> topicTexts;
    for (int e : order) {
        const ContentsEntry &entry = entries[e];
        const int parent = parentOf[e];
        quint32 flags = entry.topic >= 0 ? kHasTopic : 0;
        if (!entry.children.isEmpty()) {
            flags |= kHasChildren | kParentBits;
            if (readingIndex[e] >= parents)
                flags |= kBeyondTable;
        }
        const auto known = entry.topicText ? topicTexts.constFind(entry.topic) : topicTexts.constEnd();
        const quint32 text = known != topicTexts.constEnd() ? *known : strings.append(entry.name);
        if (entry.topicText)
            topicTexts.insert(entry.topic, text);
        layout.nameOffsets[e] = text;
        appendLe16(f, 0);
        appendLe16(f, quint16(std::min<qsizetype>(readingIndex[e], parents - 1)));
        appendLe32(f, flags);
        appendLe32(f, entry.topic >= 0 ? quint32(entry.topic) : text);
        appendLe32(f, parent < 0 ? 0 : layout.entryOffsets[parent]);
        appendLe32(f, nextOf[e] < 0 ? 0 : layout.entryOffsets[nextOf[e]]);
        if (!entry.children.isEmpty()) {
            appendLe32(f, layout.entryOffsets[entry.children.first()]);
            appendLe32(f, 0);
        }
    }
    const quint32 topicList = quint32(f.size());
    qsizetype topics = 0;
    for (int e : reading) {
        if (entries[e].topic >= 0) {
            appendLe32(f, quint32(entries[e].topic));
            ++topics;
        }
    }
    appendLe32(f, 0);
    appendLe32(f, 0);
    const quint32 table = quint32(f.size());
    for (qsizetype i = 0; i < parents && i < reading.size(); ++i) {
        appendLe32(f, layout.entryOffsets[reading[i]]);
        appendLe32(f, kFirstTableNumber + quint32(i));
        appendLe32(f, topicList + 4 * quint32(std::min(i, std::max<qsizetype>(topics - 1, 0))));
        appendLe32(f, quint32(topics));
    }
    putLe32(f, 0, roots.isEmpty() ? 0 : kHeaderSize);
    putLe32(f, 4, table);
    putLe32(f, 8, quint32(std::min(parents, reading.size())));
    putLe32(f, 12, topicList);
    return layout;
}

}  // namespace zelbrin::chm
