#include "fulltextsearch.h"
#include "ftsfile.h"

#include "gbk.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <map>

using namespace zelbrin::chm;

namespace {

// Reads /$FIftiMain back the way the readers do.
struct ReadEntry {
    std::string word;
    int context = 0;
    std::map<std::uint32_t, std::vector<std::uint32_t>> hits;  // document -> locations
};

struct ReadIndex {
    std::uint32_t files = 0, root = 0, leaves = 0, depth = 0, codePage = 0, languageId = 0;
    std::vector<ReadEntry> entries;  // along the leaf chain
};

std::uint32_t u32(const QByteArray &d, qsizetype at) {
    return qFromLittleEndian<quint32>(d.constData() + at);
}
std::uint16_t u16(const QByteArray &d, qsizetype at) {
    return qFromLittleEndian<quint16>(d.constData() + at);
}

std::uint32_t encint(const QByteArray &d, qsizetype &at) {
    std::uint32_t value = 0;
    for (int shift = 0;; shift += 7) {
        const unsigned char b = (unsigned char)d[at++];
        value |= std::uint32_t(b & 0x7F) << shift;
        if (!(b & 0x80))
            return value;
    }
}

struct BitReader {
    const QByteArray &d;
    qsizetype bit;
    int next() {
        const int v = ((unsigned char)d[bit >> 3] >> (7 - (bit & 7))) & 1;
        ++bit;
        return v;
    }
    std::uint64_t scaleRoot(int root) {
        int ones = 0;
        while (next())
            ++ones;
        const int n = root + (ones ? ones - 1 : 0);
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i)
            v = (v << 1) | std::uint64_t(next());
        return ones ? v | (std::uint64_t(1) << n) : v;
    }
};

std::string readWord(const QByteArray &d, qsizetype &at, const std::string &previous) {
    const int length = (unsigned char)d[at];
    const int shared = (unsigned char)d[at + 1];
    std::string word = previous.substr(0, std::size_t(shared)) + d.mid(at + 2, length - 1).toStdString();
    at += 1 + length;
    return word;
}

ReadIndex readIndex(const QByteArray &d) {
    ReadIndex index;
    EXPECT_EQ(u32(d, 0), 0x00280000u);
    EXPECT_EQ(u32(d, 0x2E), 4096u);
    index.files = u32(d, 4);
    index.root = u32(d, 0x14);
    EXPECT_EQ(u32(d, 8), index.root);
    index.leaves = u32(d, 0x10);
    index.depth = u16(d, 0x18);
    index.codePage = u32(d, 0x7A);
    index.languageId = u32(d, 0x7E);
    const int roots[3] = {d[0x1F], d[0x21], d[0x23]};
    std::uint32_t node = index.root;
    for (std::uint32_t level = index.depth; level > 1; --level) {  // down the first children
        qsizetype at = node + 2;
        readWord(d, at, {});
        node = u32(d, at);
    }
    std::uint32_t leafCount = 0;
    for (; node; node = u32(d, node), ++leafCount) {
        const qsizetype end = node + 4096 - u16(d, node + 6);
        std::string word;
        for (qsizetype at = node + 8; at < end;) {
            ReadEntry e;
            word = e.word = readWord(d, at, word);
            e.context = d[at++];
            const std::uint32_t documents = encint(d, at);
            const std::uint32_t offset = u32(d, at);
            at += 6;
            const std::uint32_t size = encint(d, at);
            BitReader bits{d, qsizetype(offset) * 8};
            std::uint32_t document = 0;
            for (std::uint32_t i = 0; i < documents; ++i) {
                bits.bit = (bits.bit + 7) & ~qsizetype(7);
                document += std::uint32_t(bits.scaleRoot(roots[0]));
                std::uint32_t location = 0;
                for (std::uint64_t n = bits.scaleRoot(roots[1]); n > 0; --n)
                    e.hits[document].push_back(location += std::uint32_t(bits.scaleRoot(roots[2])));
            }
            EXPECT_LE((bits.bit + 7) / 8, qsizetype(offset + size)) << e.word;
            index.entries.push_back(std::move(e));
        }
    }
    EXPECT_EQ(leafCount, index.leaves);
    return index;
}

// The leaf CHMLib's readers descend to: in each index node the first entry not below the word.
std::uint32_t leafFor(const QByteArray &d, const std::string &text) {
    std::uint32_t node = u32(d, 0x14);
    for (std::uint32_t level = u16(d, 0x18); level > 1; --level) {
        const qsizetype end = node + 4096 - u16(d, node);
        std::string word;
        std::uint32_t child = 0;
        for (qsizetype at = node + 2; at < end && !child; at += 6) {
            word = readWord(d, at, word);
            if (!ftsWordLess(word, text))
                child = u32(d, at);
        }
        if (!child)
            return 0;
        node = child;
    }
    return node;
}

const ReadEntry *find(const ReadIndex &index, const std::string &word, int context = 0) {
    for (const ReadEntry &e : index.entries)
        if (e.word == word && e.context == context)
            return &e;
    return nullptr;
}

std::string gbk(const QString &text) {
    return zelbrin::encodeGbk(text).value_or(QByteArray()).toStdString();
}

using Hits = std::map<std::uint32_t, std::vector<std::uint32_t>>;

}  // namespace

TEST(FullTextSearch, WordsTitlesAndIdeographRunsInGbk) {
    const QList<SearchPage> pages = {
        {2, QStringLiteral("Installation Guide"),
         QStringLiteral("<p>Install the manual. Installation, installation!</p><p>用户手册</p>")},
        {0, QStringLiteral("用户"), QStringLiteral("<p>drag and drop</p>")},
        {5, QString(), QStringLiteral("<p>カタカナ \U00020B9F café</p>")},
    };
    SearchOptions options;
    options.threads = 2;
    const QByteArray fts = buildFullTextSearch(pages, options);
    const ReadIndex index = readIndex(fts);
    EXPECT_EQ(index.files, 3u);
    EXPECT_EQ(index.depth, 1u);
    EXPECT_EQ(index.codePage, 936u);
    EXPECT_EQ(index.languageId, 0x804u);
    for (std::size_t i = 1; i < index.entries.size(); ++i) {
        const ReadEntry &a = index.entries[i - 1], &b = index.entries[i];
        EXPECT_TRUE(ftsWordLess(a.word, b.word) || (a.word == b.word && a.context < b.context)) << b.word;
    }

    // Title words come first, the page text continues the locations.
    ASSERT_TRUE(find(index, "installation"));
    EXPECT_EQ(find(index, "installation")->hits, (Hits{{2, {5, 6}}}));
    EXPECT_EQ(find(index, "installation", 1)->hits, (Hits{{2, {0}}}));
    EXPECT_EQ(find(index, "install")->hits, (Hits{{2, {2}}}));
    EXPECT_EQ(find(index, "drop")->hits, (Hits{{0, {4}}}));
    // One word per ideograph, and each run from every position on (at most four).
    EXPECT_EQ(find(index, gbk(QStringLiteral("用")))->hits, (Hits{{2, {7}}}));
    EXPECT_EQ(find(index, gbk(QStringLiteral("用")), 1)->hits, (Hits{{0, {0}}}));
    EXPECT_EQ(find(index, gbk(QStringLiteral("用户手册")))->hits, (Hits{{2, {7}}}));
    EXPECT_EQ(find(index, gbk(QStringLiteral("户手册")))->hits, (Hits{{2, {8}}}));
    EXPECT_EQ(find(index, gbk(QStringLiteral("手册")))->hits, (Hits{{2, {9}}}));
    EXPECT_EQ(find(index, gbk(QStringLiteral("用户")), 1)->hits, (Hits{{0, {0}}}));
    EXPECT_FALSE(find(index, gbk(QStringLiteral("册"))) == nullptr);
    EXPECT_EQ(find(index, gbk(QStringLiteral("カタカナ")))->hits, (Hits{{5, {0}}}));
    // U+20B9F has no GBK code: it is left out but keeps its place.
    EXPECT_EQ(find(index, "cafe")->hits, (Hits{{5, {5}}}));

    // A language with a single-byte code page keeps only what it can hold.
    options.languageId = 0x409;
    const ReadIndex western = readIndex(buildFullTextSearch(pages, options));
    EXPECT_EQ(western.codePage, 1252u);
    for (const ReadEntry &e : western.entries)
        for (char c : e.word)
            EXPECT_TRUE((unsigned char)c < 0x80) << e.word;
    EXPECT_TRUE(find(western, "cafe"));
}

TEST(FullTextSearch, LargeIndexIsTheSameOnAnyThreadCountAndEveryWordIsReachable) {
    QList<SearchPage> pages;
    for (quint32 i = 0; i < 3000; ++i)
        pages.append({i * 2, QStringLiteral("Page %1").arg(i),
                      QStringLiteral("<p>shared word%1 number %2 第%3章</p>").arg(i).arg(i * 7919 % 100000).arg(i)});
    SearchOptions options;
    options.threads = 1;
    const QByteArray one = buildFullTextSearch(pages, options);
    for (int threads : {2, 5, 16}) {
        options.threads = threads;
        EXPECT_EQ(buildFullTextSearch(pages, options), one) << threads << " threads";
    }
    const ReadIndex index = readIndex(one);
    EXPECT_EQ(index.files, 3000u);
    EXPECT_GE(index.depth, 2u);
    const ReadEntry *shared = find(index, "shared");
    ASSERT_TRUE(shared);
    ASSERT_EQ(shared->hits.size(), 3000u);
    EXPECT_EQ(shared->hits.rbegin()->first, 5998u);
    EXPECT_EQ(shared->hits.rbegin()->second, std::vector<std::uint32_t>{2});
    for (const ReadEntry &e : index.entries) {
        const std::uint32_t leaf = leafFor(one, e.word);
        ASSERT_NE(leaf, 0u) << e.word;
        // The entry is in that leaf, or (a word whose text and title entries straddle
        // two leaves) in the next one.
        bool inLeaf = false;
        for (std::uint32_t node = leaf; node && !inLeaf; node = node == leaf ? u32(one, leaf) : 0) {
            const qsizetype end = node + 4096 - u16(one, node + 6);
            std::string word;
            for (qsizetype at = node + 8; at < end && !inLeaf;) {
                word = readWord(one, at, word);
                inLeaf = word == e.word;
                ++at;
                encint(one, at);
                at += 6;
                encint(one, at);
            }
        }
        EXPECT_TRUE(inLeaf) << e.word;
    }
}
