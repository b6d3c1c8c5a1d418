#include "ftsfile.h"

#include <QtEndian>

#include <algorithm>

namespace zelbrin::chm {
namespace {

constexpr int kNodeSize = 4096;
constexpr int kHeaderSize = 0x400;
constexpr int kLeafHeader = 8;
constexpr int kIndexHeader = 2;

unsigned char folded(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

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

bool ftsWordLess(const std::string &a, const std::string &b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = folded((unsigned char)a[i]);
        const unsigned char y = folded((unsigned char)b[i]);
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

QByteArray writeFtsFile(const std::vector<FtsEntry> &entries, const QByteArray &wlc, const FtsFileInfo &info) {
    const std::uint32_t firstLeaf = std::uint32_t(kHeaderSize + wlc.size());

    // Leaves: header (next leaf, 0, free space) and entries.
    std::vector<QByteArray> nodes;
    std::vector<ChildRef> children;
    NodeBuilder leaf(kLeafHeader);
    bool leafHasEntries = false;
    auto closeLeaf = [&] {
        put16(leaf.data, 6, std::uint16_t(kNodeSize - leaf.used));
        children.push_back({leaf.last, firstLeaf + std::uint32_t(nodes.size()) * kNodeSize});
        nodes.push_back(leaf.data);
    };
    std::uint64_t entryBytes = 0;
    std::uint32_t distinctWords = 0;
    std::size_t longest = 0;
    bool anyTitle = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const FtsEntry &e = entries[i];
        const int tail = 1 + encintSize(e.documents) + 6 + encintSize(e.wlcSize);
        if (leafHasEntries && leaf.used + leaf.wordPartSize(e.word) + tail > kNodeSize) {
            closeLeaf();
            leaf = NodeBuilder(kLeafHeader);
        }
        leaf.putWord(e.word);
        leaf.data[leaf.used++] = char(e.title ? 1 : 0);
        putEncint(leaf.data, leaf.used, e.documents);
        put32(leaf.data, leaf.used, std::uint32_t(kHeaderSize) + e.wlcOffset);
        leaf.used += 6;  // the offset and a zero word
        putEncint(leaf.data, leaf.used, e.wlcSize);
        leafHasEntries = true;
        entryBytes += e.word.size();
        longest = std::max(longest, e.word.size());
        anyTitle = anyTitle || e.title;
        if (i == 0 || entries[i - 1].word != e.word)
            ++distinctWords;
    }
    closeLeaf();
    const std::uint32_t leafCount = std::uint32_t(nodes.size());
    const std::uint16_t lastLeafFree = std::uint16_t(kNodeSize - leaf.used);
    for (std::uint32_t i = 0; i + 1 < leafCount; ++i)
        put32(nodes[i], 0, firstLeaf + (i + 1) * kNodeSize);

    // Index levels: an entry per child, holding the child's last word. A tree too large for
    // one index node gets three levels laid out for CHMLib's search as well (see below).
    int depth = 1;
    if (children.size() > 1) {
        std::vector<ChildRef> parents = indexLevel(children, nodes, firstLeaf, false);
        ++depth;
        if (parents.size() > 1) {
            const std::size_t plainLevel = nodes.size() - parents.size();
            nodes.resize(plainLevel);
            std::vector<ChildRef> underRoot = indexLevel(children, nodes, firstLeaf, true);
            if (underRoot.empty()) {  // more than one root can index: plain levels
                nodes.resize(plainLevel);
                underRoot = indexLevel(children, nodes, firstLeaf, false);
            }
            parents = std::move(underRoot);
        }
        while (parents.size() > 1) {
            parents = indexLevel(parents, nodes, firstLeaf, false);
            ++depth;
        }
        children = std::move(parents);
    }
    const std::uint32_t root = children.front().offset;

    QByteArray out(kHeaderSize, '\0');
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
    put32(out, 0x3E, std::uint32_t(longest));
    put32(out, 0x42, std::uint32_t(std::min<std::uint64_t>(info.wordsIndexed, 0xFFFFFFFF)));
    put32(out, 0x46, distinctWords);
    put32(out, 0x4A, std::uint32_t(std::min<std::uint64_t>(info.wordBytes, 0xFFFFFFFF)));
    put32(out, 0x52, std::uint32_t(std::min<std::uint64_t>(entryBytes, 0xFFFFFFFF)));
    put32(out, 0x56, lastLeafFree);
    put32(out, 0x5E, info.files ? info.files - 1 : 0);
    put32(out, 0x7A, info.codePage);
    put32(out, 0x7E, info.languageId);
    out.reserve(kHeaderSize + wlc.size() + qsizetype(nodes.size()) * kNodeSize);
    out += wlc;
    for (const QByteArray &node : nodes)
        out += node;
    return out;
}

}  // namespace zelbrin::chm
