#include "container.h"
#include "ftsreader.h"
#include "fulltextsearch.h"
#include "pythonsearch.h"

#include "gbk.h"

#include <QSet>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <span>

using namespace zelbrin;
using namespace zelbrin::chm;
using namespace zelbrin::chm::testing;

namespace {

std::span<const unsigned char> bytesOf(const QByteArray &data) {
    return {reinterpret_cast<const unsigned char *>(data.constData()), std::size_t(data.size())};
}

hh::FtsIndex readIndex(const QByteArray &data) {
    std::string error;
    const auto index = hh::readFullTextIndex(bytesOf(data), error);
    EXPECT_TRUE(index) << error;
    return index.value_or(hh::FtsIndex());
}

using Hits = std::map<std::uint32_t, std::vector<std::uint32_t>>;

// The documents and locations of a word (context 1: titles); nothing when it is not listed.
std::optional<Hits> hitsOf(const hh::FtsIndex &index, const std::string &word, bool title = false) {
    for (const hh::FtsWord &w : index.words) {
        if (w.word != word || w.title != title)
            continue;
        Hits hits;
        for (const hh::FtsDocumentHits &d : w.documents)
            hits[d.document] = d.locations;
        return hits;
    }
    return std::nullopt;
}

std::string gbk(const QString &text) {
    return encodeGbk(text).value_or(QByteArray()).toStdString();
}

// The documents holding the characters of text at consecutive locations: how the Windows
// viewer matches a query of several ideographs.
QSet<std::uint32_t> phraseDocuments(const hh::FtsIndex &index, const QString &text) {
    std::vector<Hits> parts;
    for (QChar c : text)
        parts.push_back(hitsOf(index, gbk(c)).value_or(Hits()));
    QSet<std::uint32_t> found;
    for (const auto &[document, locations] : parts.front())
        for (std::uint32_t start : locations) {
            bool all = true;
            for (std::size_t k = 1; k < parts.size() && all; ++k) {
                const auto hits = parts[k].find(document);
                all = hits != parts[k].end() &&
                      std::binary_search(hits->second.begin(), hits->second.end(), std::uint32_t(start + k));
            }
            if (all)
                found.insert(document);
        }
    return found;
}

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

TEST(FullTextSearch, WordsTitlesAndDoubleByteCharactersInGbk) {
    const QList<SearchPage> pages = {
        {2, QStringLiteral("Installation Guide"),
         QStringLiteral("<p>Install the manual. Installation, installation!</p><p>用户手册，计算机</p>")},
        {0, QStringLiteral("用户"), QStringLiteral("<p>drag and drop</p>")},
        {5, QString(), QStringLiteral("<p>カタカナ \U00020B9F café ＡＢ１２Traymond提示“α”</p>")},
    };
    SearchOptions options;
    options.threads = 2;
    const QByteArray fts = buildFullTextSearch(pages, options);
    const hh::FtsIndex index = readIndex(fts);
    EXPECT_EQ(index.header.files, 3u);
    EXPECT_EQ(index.header.depth, 1u);
    EXPECT_EQ(index.header.codePage, 936u);
    EXPECT_EQ(index.header.languageId, 0x804u);
    for (std::size_t i = 1; i < index.words.size(); ++i) {
        const hh::FtsWord &a = index.words[i - 1], &b = index.words[i];
        EXPECT_TRUE(a.word < b.word || (a.word == b.word && !a.title && b.title)) << b.word;
    }

    // Title words come first, the page text continues the locations.
    EXPECT_EQ(hitsOf(index, "installation"), (Hits{{2, {5, 6}}}));
    EXPECT_EQ(hitsOf(index, "installation", true), (Hits{{2, {0}}}));
    EXPECT_EQ(hitsOf(index, "install"), (Hits{{2, {2}}}));
    EXPECT_EQ(hitsOf(index, "drop"), (Hits{{0, {4}}}));
    // Every character GBK writes in two bytes is a word with its location, punctuation,
    // full-width letters and digits, pinyin and Greek letters included; nothing longer.
    EXPECT_EQ(hitsOf(index, gbk(QStringLiteral("用"))), (Hits{{2, {7}}}));
    EXPECT_EQ(hitsOf(index, gbk(QStringLiteral("，"))), (Hits{{2, {11}}}));
    EXPECT_EQ(hitsOf(index, gbk(QStringLiteral("机"))), (Hits{{2, {14}}}));
    EXPECT_EQ(hitsOf(index, gbk(QStringLiteral("用")), true), (Hits{{0, {0}}}));
    EXPECT_EQ(hitsOf(index, gbk(QStringLiteral("カ"))), (Hits{{5, {0, 2}}}));
    // U+20B9F has no GBK code: it is left out but keeps its place.
    EXPECT_EQ(hitsOf(index, "caf"), (Hits{{5, {5}}}));
    EXPECT_EQ(hitsOf(index, gbk(QStringLiteral("é"))), (Hits{{5, {6}}}));
    EXPECT_EQ(hitsOf(index, gbk(QStringLiteral("Ａ"))), (Hits{{5, {7}}}));
    EXPECT_EQ(hitsOf(index, gbk(QStringLiteral("２"))), (Hits{{5, {10}}}));
    EXPECT_EQ(hitsOf(index, "traymond"), (Hits{{5, {11}}}));
    EXPECT_EQ(hitsOf(index, gbk(QStringLiteral("α"))), (Hits{{5, {15}}}));
    EXPECT_EQ(hitsOf(index, gbk(QStringLiteral("”"))), (Hits{{5, {16}}}));
    for (const hh::FtsWord &w : index.words)
        EXPECT_TRUE(w.word.size() <= 2 || (unsigned char)w.word[0] < 0x80) << w.word;
    // The header's counts: occurrences, the bytes of words of up to two bytes and of longer
    // ones, and the furthest location of a word met before ("installation" at 6).
    EXPECT_EQ(index.header.wordsIndexed, 36u);
    EXPECT_EQ(index.header.shortWordBytes, 2u * 24);
    EXPECT_EQ(index.header.longWordBytes, 12u * 3 + 5 + 7 + 3 + 6 + 4 + 3 + 4 + 3 + 8);
    EXPECT_EQ(index.header.furthestRepeat, 6u);

    // A language with a single-byte code page keeps only what it can hold, and reads
    // full-width letters as Latin ones.
    options.languageId = 0x409;
    const hh::FtsIndex western = readIndex(buildFullTextSearch(pages, options));
    EXPECT_EQ(western.header.codePage, 1252u);
    for (const hh::FtsWord &e : western.words)
        for (char c : e.word)
            EXPECT_TRUE((unsigned char)c < 0x80) << e.word;
    EXPECT_TRUE(hitsOf(western, "cafe"));
    EXPECT_TRUE(hitsOf(western, "ab12traymond"));

    // No pages: a valid index without words.
    const hh::FtsIndex empty = readIndex(buildFullTextSearch({}, options));
    EXPECT_EQ(empty.header.files, 0u);
    EXPECT_EQ(empty.header.leafCount, 1u);
    EXPECT_TRUE(empty.words.empty());
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
    const hh::FtsIndex index = readIndex(one);
    EXPECT_EQ(index.header.files, 3000u);
    EXPECT_EQ(index.header.depth, 3u);
    const auto shared = hitsOf(index, "shared");
    ASSERT_TRUE(shared);
    ASSERT_EQ(shared->size(), 3000u);
    EXPECT_EQ(shared->rbegin()->first, 5998u);
    EXPECT_EQ(shared->rbegin()->second, std::vector<std::uint32_t>{2});
    for (std::size_t i = 0; i < index.words.size(); ++i) {
        // The reader descends to the word's leaf, or (a word whose text and title entries
        // straddle two leaves) to the one before it.
        const hh::FtsWord &w = index.words[i];
        const auto leaf = hh::leafFor(bytesOf(one), w.word);
        ASSERT_TRUE(leaf) << w.word;
        EXPECT_TRUE(*leaf == w.leaf || (i > 0 && index.words[i - 1].word == w.word && *leaf == index.words[i - 1].leaf))
            << w.word;
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
    const hh::FtsIndex index = readIndex(fts);
    EXPECT_EQ(index.header.depth, 2u);  // deep enough to need an index node, not deeper
    QList<StoredFile> files = searchTables(tables);
    files.append({"/$FIftiMain", fts});
    QTemporaryDir tmp;
    const QString chmPath = tmp.path() + "/search.chm";
    ASSERT_EQ(writeContainer(chmPath, files), QString());

    // Per sampled page: a word, an ideograph of a run, and its title word. CHMLib matches the
    // beginnings of words, so every page holding such a beginning counts. Four ideographs of
    // a run, which CHMLib cannot look up, lie at consecutive locations of exactly the pages
    // that hold them.
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
        const auto holding = [&](const QString &part) {
            return pagesWith([&](int q) {
                return std::any_of(runsOf[q].begin(), runsOf[q].end(), [&](const QString &r) { return r.contains(part); });
            });
        };
        queries.append({encodeGbk(run.mid(1, 1)).value(), false});
        expected << holding(run.mid(1, 1));
        exact << false;  // CHMLib compares bytes case-insensitively, so a few other characters match too
        QSet<QByteArray> phrasePages;
        for (std::uint32_t document : phraseDocuments(index, run.left(4)))
            phrasePages.insert(tables[qsizetype(document)].first);
        EXPECT_EQ(phrasePages, holding(run.left(4))) << run.left(4).toStdString();
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
