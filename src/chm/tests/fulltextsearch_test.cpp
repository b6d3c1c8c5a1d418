#include "container.h"
#include "fulltextsearch.h"
#include "ftsfile.h"
#include "pythonsearch.h"

#include "gbk.h"

#include <QSet>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace zelbrin;
using namespace zelbrin::chm;
using namespace zelbrin::chm::testing;

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
                std::vector<std::uint32_t> &locations = e.hits[document];
                for (std::uint64_t n = bits.scaleRoot(roots[1]); n > 0; --n)
                    locations.push_back(location += std::uint32_t(bits.scaleRoot(roots[2])));
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
    return encodeGbk(text).value_or(QByteArray()).toStdString();
}

using Hits = std::map<std::uint32_t, std::vector<std::uint32_t>>;

}  // namespace

namespace {

QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

// The tables CHMLib's search reads besides /$FIftiMain: #TOPICS (each topic's title and
// URL), #STRINGS, #URLTBL and #URLSTR.
QList<StoredFile> searchTables(const QList<QPair<QByteArray, QByteArray>> &urlAndTitle) {
    QByteArray topics, strings(1, '\0'), urltbl, urlstr(1, '\0');
    for (qsizetype i = 0; i < urlAndTitle.size(); ++i) {
        topics += le32(0) + le32(quint32(strings.size())) + le32(quint32(urltbl.size())) + le32(6);
        strings += urlAndTitle[i].second + '\0';
        urltbl += le32(0) + le32(quint32(i)) + le32(quint32(urlstr.size()));
        urlstr += le32(0) + le32(0) + urlAndTitle[i].first + '\0';
    }
    return {{"/#TOPICS", topics}, {"/#STRINGS", strings}, {"/#URLTBL", urltbl}, {"/#URLSTR", urlstr}};
}

// Deterministic words: syllables for Latin words, common characters for Chinese runs.
struct Generator {
    quint32 state;
    quint32 next(quint32 n) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % n;
    }
    QString latinWord() {
        static const char *syllables[] = {"ka", "lo", "mi", "ten", "sor", "vel", "dra", "pin", "qu", "ex", "ba", "zu"};
        QString w;
        for (quint32 n = 2 + next(3); n > 0; --n)
            w += QLatin1String(syllables[next(12)]);
        return w;
    }
    QString chineseRun() {
        static const QString pool = QStringLiteral(
            "的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产种面"
            "而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点从业本去把性好应开"
            "它合还因由其些然前外天政四日那社义事平形相全表间样与关各重新线内数正心反你明看原又么利比或但质气第向道命此变条只");
        QString run;
        for (quint32 n = 3 + next(10); n > 0; --n)
            run += pool[qsizetype(next(quint32(pool.size())))];
        return run;
    }
};

}  // namespace

TEST(FullTextSearch, WordsTitlesAndIdeographRunsInGbk) {
    const QList<SearchPage> pages = {
        {2, QStringLiteral("Installation Guide"),
         QStringLiteral("<p>Install the manual. Installation, installation!</p><p>用户手册</p><p>计算机程序设计语言</p>")},
        {0, QStringLiteral("用户"), QStringLiteral("<p>drag and drop</p>")},
        {5, QString(), QStringLiteral("<p>カタカナ \U00020B9F café</p>")},
    };
    SearchOptions options;
    options.threads = 2;
    options.ideographRunPrefix = 6;
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
    // One word per ideograph, with its location, and each run from every position on (at
    // most six ideographs), with its pages only.
    EXPECT_EQ(find(index, gbk(QStringLiteral("用")))->hits, (Hits{{2, {7}}}));
    EXPECT_EQ(find(index, gbk(QStringLiteral("册")))->hits, (Hits{{2, {10}}}));
    EXPECT_EQ(find(index, gbk(QStringLiteral("用")), 1)->hits, (Hits{{0, {0}}}));
    EXPECT_EQ(find(index, gbk(QStringLiteral("用户手册")))->hits, (Hits{{2, {}}}));
    EXPECT_EQ(find(index, gbk(QStringLiteral("户手册")))->hits, (Hits{{2, {}}}));
    EXPECT_EQ(find(index, gbk(QStringLiteral("手册")))->hits, (Hits{{2, {}}}));
    EXPECT_EQ(find(index, gbk(QStringLiteral("用户")), 1)->hits, (Hits{{0, {}}}));
    EXPECT_FALSE(find(index, gbk(QStringLiteral("册手"))));
    EXPECT_EQ(find(index, gbk(QStringLiteral("计算机程序设")))->hits, (Hits{{2, {}}}));
    EXPECT_FALSE(find(index, gbk(QStringLiteral("计算机程序设计"))));
    EXPECT_EQ(find(index, gbk(QStringLiteral("语")))->hits, (Hits{{2, {18}}}));
    EXPECT_EQ(find(index, gbk(QStringLiteral("カタカナ")))->hits, (Hits{{5, {}}}));
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

    // No pages: a valid index without words.
    const ReadIndex empty = readIndex(buildFullTextSearch({}, options));
    EXPECT_EQ(empty.files, 0u);
    EXPECT_EQ(empty.leaves, 1u);
    EXPECT_TRUE(empty.entries.empty());
}

// Three levels of nodes: the same bytes on any thread count, every word reachable from the
// root, and CHMLib's search (which keeps its read position from level to level) finds words
// under any root entry.
TEST(FullTextSearch, LargeIndexIsTheSameOnAnyThreadCountAndEveryWordIsReachable) {
    QList<SearchPage> pages;
    QList<QPair<QByteArray, QByteArray>> tables;
    auto longWord = [](quint32 i) { return QStringLiteral("%1").arg(i, 6, 10, QChar(u'0')).repeated(15); };
    for (quint32 i = 0; i < 3000; ++i) {
        pages.append({i * 2, QStringLiteral("Page %1").arg(i),
                      QStringLiteral("<p>shared word%1 number %2 第%3章 %4</p>")
                          .arg(i).arg(i * 7919 % 100000).arg(i).arg(longWord(i))});
        tables.append({QStringLiteral("page%1.htm").arg(i).toLatin1(), QByteArray("Page")});
        tables.append({QByteArray("unused.htm"), QByteArray("Unused")});  // the odd topics
    }
    SearchOptions options;
    options.threads = 1;
    const QByteArray one = buildFullTextSearch(pages, options);
    for (int threads : {2, 5, 16}) {
        options.threads = threads;
        EXPECT_EQ(buildFullTextSearch(pages, options), one) << threads << " threads";
    }
    const ReadIndex index = readIndex(one);
    EXPECT_EQ(index.files, 3000u);
    EXPECT_EQ(index.depth, 3u);
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

    QList<StoredFile> files = searchTables(tables);
    files.append({"/$FIftiMain", one});
    QTemporaryDir tmp;
    const QString chmPath = tmp.path() + "/deep.chm";
    ASSERT_EQ(writeContainer(chmPath, files), QString());
    QList<SearchQuery> queries;
    QList<QByteArray> expected;
    for (quint32 i = 0; i < 3000; i += 97) {
        queries.append({longWord(i).toLatin1(), false});
        expected << QStringLiteral("page%1.htm").arg(i).toLatin1();
    }
    queries.append({longWord(2999).toLatin1(), false});
    expected << QByteArray("page2999.htm");
    QString error;
    const QList<QList<QByteArray>> found = searchWithPythonChm(chmPath, queries, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    for (qsizetype i = 0; i < queries.size(); ++i)
        EXPECT_EQ(found[i], QList<QByteArray>{expected[i]}) << queries[i].text.toStdString();
}

// The index read by the reader that matters on Linux: CHMLib's search through python3-chm,
// on a tree two levels deep, with words in GBK.
TEST(FullTextSearch, CHMLibSearchFindsEveryPageByItsWordsAndIdeographs) {
    Generator gen{7};
    QList<SearchPage> pages;
    QList<QPair<QByteArray, QByteArray>> tables;
    QList<QStringList> latinOf, runsOf;
    for (quint32 i = 0; i < 400; ++i) {
        QStringList latin, runs;
        QString html = QStringLiteral("<html><body><p>");
        for (int w = 0; w < 150; ++w) {
            latin << gen.latinWord();
            html += latin.back() + (w % 40 == 39 ? QStringLiteral("</p><p>") : QStringLiteral(" "));
            if (w % 50 == 25) {
                runs << gen.chineseRun();
                html += runs.back() + QStringLiteral("，");
            }
        }
        html += QStringLiteral("</p></body></html>");
        const QString title = QStringLiteral("第%1页 Title%2").arg(i).arg(i);
        pages.append({i, title, html});
        latinOf << latin;
        runsOf << runs;
        tables.append({QStringLiteral("page%1.htm").arg(i).toLatin1(), encodeGbk(title).value()});
    }
    const QByteArray fts = buildFullTextSearch(pages, SearchOptions());
    EXPECT_EQ(u16(fts, 0x18), 2u);  // deep enough to need an index node, not deeper
    QList<StoredFile> files = searchTables(tables);
    files.append({"/$FIftiMain", fts});
    QTemporaryDir tmp;
    const QString chmPath = tmp.path() + "/search.chm";
    ASSERT_EQ(writeContainer(chmPath, files), QString());

    // Per sampled page: a word, one, two and four ideographs of a run, and its title word.
    // CHMLib matches the beginnings of words, so every page holding such a beginning counts.
    QList<SearchQuery> queries;
    QList<QSet<QByteArray>> expected;
    QList<bool> exact;
    auto pagesWith = [&](const std::function<bool(int)> &holds) {
        QSet<QByteArray> urls;
        for (int p = 0; p < pages.size(); ++p)
            if (holds(p))
                urls.insert(tables[p].first);
        return urls;
    };
    for (int p = 0; p < pages.size(); p += 9) {
        const QString word = latinOf[p][p % 150];
        queries.append({word.toLatin1(), false});
        expected << pagesWith([&](int q) {
            return std::any_of(latinOf[q].begin(), latinOf[q].end(), [&](const QString &w) { return w.startsWith(word); });
        });
        exact << true;
        const QString run = runsOf[p][p % runsOf[p].size()];
        for (const QString &part : {run.mid(1, 1), run.mid(1, 2), run.left(4)}) {
            queries.append({encodeGbk(part).value(), false});
            expected << pagesWith([&](int q) {
                return std::any_of(runsOf[q].begin(), runsOf[q].end(), [&](const QString &r) { return r.contains(part); });
            });
            exact << false;  // CHMLib compares bytes case-insensitively, so a few other characters match too
        }
        const QString titleWord = QStringLiteral("title%1").arg(p);
        queries.append({titleWord.toLatin1(), true});
        expected << pagesWith([&](int q) { return QStringLiteral("title%1").arg(q).startsWith(titleWord); });
        exact << true;
    }
    queries.append({latinOf[0][0].toLatin1(), true});  // no title holds a text word
    expected << QSet<QByteArray>{};
    exact << true;

    QString error;
    const QList<QList<QByteArray>> found = searchWithPythonChm(chmPath, queries, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    QStringList wrong;
    for (qsizetype i = 0; i < queries.size(); ++i) {
        const QSet<QByteArray> got(found[i].begin(), found[i].end());
        if (exact[i] ? got != expected[i] : !got.contains(expected[i]))
            wrong << QStringLiteral("%1: %2 pages found, %3 expected")
                         .arg(decodeGbk(queries[i].text)).arg(got.size()).arg(expected[i].size());
        EXPECT_FALSE(expected[i].isEmpty() && !queries[i].titlesOnly) << queries[i].text.toStdString();
    }
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(u'\n').toStdString();
}
