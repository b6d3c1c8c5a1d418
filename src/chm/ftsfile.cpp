#include "ftsfile.h"

#include <QtEndian>

#include <algorithm>

namespace zelbrin::chm {
namespace {

constexpr int kNodeSize = 4096;
constexpr int kHeaderSize = 0x400;
constexpr int kLeafHeader = 8;
constexpr int kIndexHeader = 2;
// HTML Help Workshop starts a new leaf rather than leave fewer bytes than this free.
constexpr int kLeafReserve = 128;

// Counts in the leaf entries: 7 bits at a time, lowest first, high bit = more follow.
int encintSize(std::uint32_t value) {
    int size = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++size;
    }
    return size;
}

void putEncint(QByteArray &node, int &at, std::uint32_t value) {
    while (value >= 0x80) {
        node[at++] = char(0x80 | (value & 0x7F));
        value >>= 7;
    }
    node[at++] = char(value);
}

void put32(QByteArray &data, int at, std::uint32_t value) {
    qToLittleEndian(value, data.data() + at);
}

void put16(QByteArray &data, int at, std::uint16_t value) {
    qToLittleEndian(value, data.data() + at);
}

int sharedPrefix(const std::string &previous, const std::string &word) {
    const std::size_t limit = std::min({previous.size(), word.size(), std::size_t(255)});
    std::size_t n = 0;
    while (n < limit && previous[n] == word[n])
        ++n;
    return int(n);
}

// A node being filled: entries carry the new part of their word after the prefix they
// share with the entry before them in the same node.
struct NodeBuilder {
    QByteArray data;
    int used;
    std::string last;

    explicit NodeBuilder(int header) : data(kNodeSize, '\0'), used(header) {}
    int wordPartSize(const std::string &word) const { return 2 + int(word.size()) - sharedPrefix(last, word); }
    void putWord(const std::string &word) {
        const int shared = sharedPrefix(last, word);
        data[used++] = char(word.size() - std::size_t(shared) + 1);
        data[used++] = char(shared);
        std::copy(word.begin() + shared, word.end(), data.begin() + used);
        used += int(word.size()) - shared;
        last = word;
    }
};

struct ChildRef {
    std::string lastWord;
    std::uint32_t offset;
};

// Index entries that fill `bytes` bytes (0, or 8 and more) and are never chosen: their
// words, empty or of 0x01 bytes, sort before every word. They lead to child.
void putFiller(NodeBuilder &node, int bytes, std::uint32_t child) {
    while (bytes > 0) {
        const int size = bytes > 262 ? std::min(262, bytes - 8) : bytes;
        const int length = size - 8;
        node.data[node.used++] = char(length + 1);
        node.data[node.used++] = 0;
        for (int k = 0; k < length; ++k)
            node.data[node.used++] = 1;
        put32(node.data, node.used, child);
        node.used += 6;
        bytes -= size;
    }
    node.last.clear();
}

// One level of index nodes over children, appended to nodes; returns the new nodes' refs.
//
// underRoot lays the level out for CHMLib's search (python3-chm's extra.c), which keeps its
// read position from one index level to the next: in a node below the root it starts where
// the chosen root entry began. Each node therefore begins with filler entries up to that
// offset, which correct readers pass over (their words sort before every word, so none is
// ever chosen), and its real entries start there. Returns nothing when the root would not
// hold an entry for every node of this level.
std::vector<ChildRef> indexLevel(const std::vector<ChildRef> &children, std::vector<QByteArray> &nodes,
                                 std::uint32_t firstNode, bool underRoot) {
    std::vector<ChildRef> parents;
    int rootUsed = kIndexHeader;
    std::string previousRootWord;
    std::size_t i = 0;
    while (i < children.size()) {
        NodeBuilder node(kIndexHeader);
        if (underRoot) {
            putFiller(node, rootUsed - kIndexHeader, children[i].offset);
            if (node.used + node.wordPartSize(children[i].lastWord) + 6 > kNodeSize)
                return {};
        }
        do {
            node.putWord(children[i].lastWord);
            put32(node.data, node.used, children[i].offset);
            node.used += 6;
            ++i;
        } while (i < children.size() && node.used + node.wordPartSize(children[i].lastWord) + 6 <= kNodeSize);
        put16(node.data, 0, std::uint16_t(kNodeSize - node.used));
        parents.push_back({node.last, firstNode + std::uint32_t(nodes.size()) * kNodeSize});
        nodes.push_back(node.data);
        rootUsed += 2 + int(node.last.size()) - sharedPrefix(previousRootWord, node.last) + 6;
        previousRootWord = node.last;
        if (underRoot && rootUsed > kNodeSize)
            return {};
    }
    return parents;
}

}  // namespace

QByteArray writeFtsFile(const std::vector<FtsEntry> &entries, const QByteArray &wlc, const FtsFileInfo &info) {
    QByteArray out(kHeaderSize, '\0');
    out.reserve(kHeaderSize + wlc.size() + qsizetype(entries.size() / 64 + 2) * kNodeSize);

    // Leaves: header (next leaf, 0, free space) and entries, each leaf after its entries' codes.
    std::vector<ChildRef> children;
    std::uint64_t unused = info.paddingBytes;  // and the free space of every node
    NodeBuilder leaf(kLeafHeader);
    std::size_t leafFirst = 0;  // the first entry of the leaf being filled
    qsizetype previousLeaf = -1;
    auto codesAt = [&](std::size_t e) { return e < entries.size() ? entries[e].wlcOffset : std::uint32_t(wlc.size()); };
    auto closeLeaf = [&](std::size_t end) {
        out.append(wlc.constData() + codesAt(leafFirst), qsizetype(codesAt(end) - codesAt(leafFirst)));
        put16(leaf.data, 6, std::uint16_t(kNodeSize - leaf.used));
        unused += std::uint64_t(kNodeSize - leaf.used);
        if (previousLeaf >= 0)
            put32(out, previousLeaf, std::uint32_t(out.size()));
        previousLeaf = out.size();
        children.push_back({leaf.last, std::uint32_t(out.size())});
        out += leaf.data;
    };
    std::uint64_t entryBytes = 0;
    std::uint32_t distinctWords = 0;
    std::size_t longest = 0;
    bool anyTitle = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const FtsEntry &e = entries[i];
        const int tail = 1 + encintSize(e.documents) + 6 + encintSize(e.wlcSize);
        if (i > leafFirst && leaf.used + leaf.wordPartSize(e.word) + tail > kNodeSize - kLeafReserve) {
            closeLeaf(i);
            leaf = NodeBuilder(kLeafHeader);
            leafFirst = i;
        }
        leaf.putWord(e.word);
        leaf.data[leaf.used++] = char(e.title ? 1 : 0);
        putEncint(leaf.data, leaf.used, e.documents);
        // The leaf's codes start where the previous leaf ended.
        put32(leaf.data, leaf.used, std::uint32_t(out.size()) + e.wlcOffset - codesAt(leafFirst));
        leaf.used += 6;  // the offset and a zero word
        putEncint(leaf.data, leaf.used, e.wlcSize);
        entryBytes += e.word.size();
        longest = std::max(longest, e.word.size());
        anyTitle = anyTitle || e.title;
        if (i == 0 || entries[i - 1].word != e.word)
            ++distinctWords;
    }
    closeLeaf(entries.size());
    const std::uint32_t leafCount = std::uint32_t(children.size());
    const std::uint32_t firstIndexNode = std::uint32_t(out.size());
    std::vector<QByteArray> nodes;  // the index nodes, from firstIndexNode on

    // Index levels: an entry per child, holding the child's last word. A tree too large for
    // one index node gets three levels laid out for CHMLib's search as well (see below).
    int depth = 1;
    if (children.size() > 1) {
        std::vector<ChildRef> parents = indexLevel(children, nodes, firstIndexNode, false);
        ++depth;
        if (parents.size() > 1) {
            const std::size_t plainLevel = nodes.size() - parents.size();
            nodes.resize(plainLevel);
            std::vector<ChildRef> underRoot = indexLevel(children, nodes, firstIndexNode, true);
            if (underRoot.empty()) {  // more than one root can index: plain levels
                nodes.resize(plainLevel);
                underRoot = indexLevel(children, nodes, firstIndexNode, false);
            }
            parents = std::move(underRoot);
        }
        while (parents.size() > 1) {
            parents = indexLevel(parents, nodes, firstIndexNode, false);
            ++depth;
        }
        children = std::move(parents);
    }
    const std::uint32_t root = children.front().offset;
    for (const QByteArray &node : nodes)
        unused += qFromLittleEndian<quint16>(node.constData());

    out[2] = 0x28;
    put32(out, 0x04, info.files);
    put32(out, 0x08, root);
    put32(out, 0x10, leafCount);
    put32(out, 0x14, root);
    put16(out, 0x18, std::uint16_t(depth));
    put32(out, 0x1A, 7);
    out[0x1E] = 2;
    out[0x1F] = char(info.documentRoot);
    out[0x20] = 2;
    out[0x21] = char(info.countRoot);
    out[0x22] = 2;
    out[0x23] = char(info.locationRoot);
    put32(out, 0x2E, kNodeSize);
    put32(out, 0x32, anyTitle ? 1 : 0);
    put32(out, 0x36, info.furthestRepeat);
    put32(out, 0x3E, std::uint32_t(longest));
    const auto clamped = [](std::uint64_t v) { return std::uint32_t(std::min<std::uint64_t>(v, 0xFFFFFFFF)); };
    put32(out, 0x42, clamped(info.wordsIndexed));
    put32(out, 0x46, distinctWords);
    put32(out, 0x4A, clamped(info.longWordBytes));
    put32(out, 0x4E, clamped(info.shortWordBytes));
    put32(out, 0x52, clamped(entryBytes));
    put32(out, 0x56, clamped(unused));
    put32(out, 0x5E, info.files ? info.files - 1 : 0);
    put32(out, 0x7A, info.codePage);
    put32(out, 0x7E, info.languageId);
    for (const QByteArray &node : nodes)
        out += node;
    return out;
}

}  // namespace zelbrin::chm
