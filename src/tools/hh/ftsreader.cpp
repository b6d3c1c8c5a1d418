#include "ftsreader.h"

#include <cstdio>
#include <set>

namespace zelbrin::hh {
namespace {

constexpr std::size_t kHeaderSize = 0x400;
constexpr std::size_t kLeafHeader = 8;
constexpr std::size_t kIndexHeader = 2;

std::uint32_t u32(std::span<const unsigned char> d, std::size_t at) {
    return std::uint32_t(d[at]) | std::uint32_t(d[at + 1]) << 8 | std::uint32_t(d[at + 2]) << 16 |
           std::uint32_t(d[at + 3]) << 24;
}

std::uint16_t u16(std::span<const unsigned char> d, std::size_t at) {
    return std::uint16_t(d[at] | d[at + 1] << 8);
}

// Reads a node's entries one after the other, within the node's used bytes.
class NodeReader {
public:
    NodeReader(std::span<const unsigned char> node, std::size_t from, std::size_t end)
        : node_(node), at_(from), end_(end) {}
    bool atEnd() const { return at_ >= end_; }
    bool failed() const { return failed_; }

    // The next word: its new bytes after as many as it shares with the previous one.
    bool word(std::string &word) {
        if (!need(2))
            return false;
        const std::size_t length = node_[at_];
        const std::size_t shared = node_[at_ + 1];
        // Every word has at least one byte: an entry that leaves it empty is damaged.
        if (length == 0 || shared > word.size() || shared + length == 1 || !need(1 + length))
            return fail();
        word.resize(shared);
        word.append(reinterpret_cast<const char *>(node_.data() + at_ + 2), length - 1);
        at_ += 1 + length;
        return true;
    }
    bool byte(std::uint8_t &value) {
        if (!need(1))
            return false;
        value = node_[at_++];
        return true;
    }
    bool dword(std::uint32_t &value) {
        if (!need(4))
            return false;
        value = u32(node_, at_);
        at_ += 4;
        return true;
    }
    bool skip(std::size_t bytes) {
        if (!need(bytes))
            return false;
        at_ += bytes;
        return true;
    }
    // 7 bits at a time, lowest first; the high bit says that more follow.
    bool encint(std::uint32_t &value) {
        value = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            if (!need(1))
                return false;
            const unsigned char b = node_[at_++];
            value |= std::uint32_t(b & 0x7F) << shift;
            if (!(b & 0x80))
                return true;
        }
        return fail();
    }

private:
    bool need(std::size_t bytes) { return at_ + bytes <= end_ || fail(); }
    bool fail() {
        failed_ = true;
        return false;
    }
    std::span<const unsigned char> node_;
    std::size_t at_;
    std::size_t end_;
    bool failed_ = false;
};

// The scale-root codes of one word's hit list, bit by bit from the most significant.
class CodeReader {
public:
    CodeReader(std::span<const unsigned char> codes) : codes_(codes) {}
    bool exhausted() const { return bit_ >= codes_.size() * 8; }
    void alignToByte() { bit_ = (bit_ + 7) & ~std::size_t(7); }

    // A value: p one-bits and a zero, then root + p - 1 bits that add to 2^(root + p - 1),
    // or just root bits when p is 0.
    bool scaleRoot(int root, std::uint32_t &value) {
        int ones = 0;
        for (int b; (b = bit()) == 1;) {
            if (++ones > 32)
                return false;
        }
        if (bit_ > codes_.size() * 8)
            return false;
        const int n = root + (ones ? ones - 1 : 0);
        if (n > 31)
            return false;
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            const int b = bit();
            if (b < 0)
                return false;
            v = v << 1 | std::uint32_t(b);
        }
        value = ones ? v | (std::uint32_t(1) << n) : v;
        return true;
    }

private:
    int bit() {
        if (bit_ >= codes_.size() * 8) {
            ++bit_;  // past the end: callers see it
            return -1;
        }
        const int v = (codes_[bit_ >> 3] >> (7 - (bit_ & 7))) & 1;
        ++bit_;
        return v;
    }
    std::span<const unsigned char> codes_;
    std::size_t bit_ = 0;
};

bool readHits(std::span<const unsigned char> codes, const FtsHeader &h, std::uint32_t documents, FtsWord &word) {
    CodeReader bits(codes);
    std::uint32_t document = 0;
    for (std::uint32_t i = 0; i < documents; ++i) {
        bits.alignToByte();
        std::uint32_t delta = 0, count = 0;
        if (!bits.scaleRoot(h.documentRoot, delta) || !bits.scaleRoot(h.countRoot, count))
            return false;
        if (count > codes.size() * 8)  // each location takes a bit at least
            return false;
        document += delta;
        FtsDocumentHits hits{document, {}};
        hits.locations.reserve(count);
        std::uint32_t location = 0;
        for (std::uint32_t k = 0; k < count; ++k) {
            std::uint32_t step = 0;
            if (!bits.scaleRoot(h.locationRoot, step))
                return false;
            location += step;
            hits.locations.push_back(location);
        }
        word.documents.push_back(std::move(hits));
    }
    return true;
}

bool bad(std::string &error, const std::string &what) {
    error = "$FIftiMain: " + what;
    return false;
}

bool readHeader(std::span<const unsigned char> d, FtsHeader &h, std::string &error) {
    if (d.size() < kHeaderSize)
        return bad(error, "shorter than its header");
    if (u32(d, 0) != 0x00280000)
        return bad(error, "not a full-text index (signature)");
    h.files = u32(d, 0x04);
    h.root = u32(d, 0x08);
    h.leafCount = u32(d, 0x10);
    h.depth = u16(d, 0x18);
    h.documentRoot = d[0x1F];
    h.countRoot = d[0x21];
    h.locationRoot = d[0x23];
    h.nodeSize = u32(d, 0x2E);
    h.hasTitles = u32(d, 0x32);
    h.furthestRepeat = u32(d, 0x36);
    h.field3A = u32(d, 0x3A);
    h.longestWord = u32(d, 0x3E);
    h.wordsIndexed = u32(d, 0x42);
    h.distinctWords = u32(d, 0x46);
    h.longWordBytes = u32(d, 0x4A);
    h.shortWordBytes = u32(d, 0x4E);
    h.entryBytes = u32(d, 0x52);
    h.unusedBytes = u32(d, 0x56);
    h.lastDocument = u32(d, 0x5E);
    h.codePage = u32(d, 0x7A);
    h.languageId = u32(d, 0x7E);
    if (d[0x1E] != 2 || d[0x20] != 2 || d[0x22] != 2)
        return bad(error, "scale of its codes is not 2");
    if (h.documentRoot > 31 || h.countRoot > 31 || h.locationRoot > 31)
        return bad(error, "root of its codes out of range");
    if (h.nodeSize < 64 || h.nodeSize > 0x10000)
        return bad(error, "node size " + std::to_string(h.nodeSize));
    if (h.depth == 0 || h.depth > 16)
        return bad(error, "tree depth " + std::to_string(h.depth));
    if (h.root < kHeaderSize || std::uint64_t(h.root) + h.nodeSize > d.size())
        return bad(error, "root node outside the file");
    return true;
}

}  // namespace

std::optional<std::uint32_t> leafFor(std::span<const unsigned char> d, const std::string &word) {
    FtsHeader h;
    std::string error;
    if (!readHeader(d, h, error))
        return std::nullopt;
    std::uint32_t node = h.root;
    for (std::uint32_t level = h.depth; level > 1; --level) {
        if (node < kHeaderSize || std::uint64_t(node) + h.nodeSize > d.size())
            return std::nullopt;
        const std::size_t free = u16(d, node);
        if (free > h.nodeSize - kIndexHeader)
            return std::nullopt;
        NodeReader entries(d.subspan(node, h.nodeSize), kIndexHeader, h.nodeSize - free);
        std::string entryWord;
        std::optional<std::uint32_t> child;
        while (!child && !entries.atEnd()) {
            std::uint32_t offset = 0;
            if (!entries.word(entryWord) || !entries.dword(offset) || !entries.skip(2))
                return std::nullopt;
            if (entryWord >= word)
                child = offset;
        }
        if (!child)
            return std::nullopt;
        node = *child;
    }
    return node;
}

std::optional<FtsIndex> readFullTextIndex(std::span<const unsigned char> d, std::string &error) {
    FtsIndex index;
    if (d.empty()) {
        index.empty = true;
        return index;
    }
    FtsHeader &h = index.header;
    if (!readHeader(d, h, error))
        return std::nullopt;
    // The first leaf: down the first child of each index node.
    std::uint32_t node = h.root;
    for (std::uint32_t level = h.depth; level > 1; --level) {
        if (node < kHeaderSize || std::uint64_t(node) + h.nodeSize > d.size()) {
            bad(error, "index node outside the file");
            return std::nullopt;
        }
        NodeReader first(d.subspan(node, h.nodeSize), kIndexHeader, h.nodeSize);
        std::string word;
        if (!first.word(word) || !first.dword(node)) {
            bad(error, "index node without entries");
            return std::nullopt;
        }
    }
    std::set<std::uint32_t> seen;
    for (; node; ) {
        if (node < kHeaderSize || std::uint64_t(node) + h.nodeSize > d.size() || !seen.insert(node).second) {
            bad(error, "leaf chain leaves the file or loops");
            return std::nullopt;
        }
        const std::span<const unsigned char> leaf = d.subspan(node, h.nodeSize);
        const std::size_t free = u16(leaf, 6);
        if (free > h.nodeSize - kLeafHeader) {
            bad(error, "leaf claims more free space than it has");
            return std::nullopt;
        }
        NodeReader entries(leaf, kLeafHeader, h.nodeSize - free);
        std::string word;
        while (!entries.atEnd()) {
            FtsWord w;
            std::uint8_t context = 0;
            std::uint32_t documents = 0, offset = 0, size = 0;
            if (!entries.word(word) || !entries.byte(context) || !entries.encint(documents) ||
                !entries.dword(offset) || !entries.skip(2) || !entries.encint(size)) {
                bad(error, "leaf entry cut short");
                return std::nullopt;
            }
            if (std::uint64_t(offset) + size > d.size()) {
                bad(error, "location codes of a word outside the file");
                return std::nullopt;
            }
            w.word = word;
            w.title = context != 0;
            w.leaf = node;
            if (!readHits(d.subspan(offset, size), h, documents, w)) {
                bad(error, "location codes of a word run past their end");
                return std::nullopt;
            }
            index.words.push_back(std::move(w));
        }
        node = u32(leaf, 0);
    }
    if (seen.size() != h.leafCount) {
        bad(error, "leaf chain of " + std::to_string(seen.size()) + " nodes, header says " +
                       std::to_string(h.leafCount));
        return std::nullopt;
    }
    return index;
}

}  // namespace zelbrin::hh
