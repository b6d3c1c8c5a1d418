// The help file's own files, read back the way viewers read them.
#include "codepage.h"
#include "keywordindex.h"
#include "systemfiles.h"
#include "topics.h"

#include "chmtables.h"

#include <QMap>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace zelbrin::chm;
using zelbrin::testing::ReadKeyword;
using zelbrin::testing::readKeywordListing;
using namespace zelbrin::testing::chmtables;

namespace {

// The listing block a lookup of text reaches through the index blocks from the root.
quint32 lookUp(const QByteArray &btree, const QString &text) {
    const quint32 root = u32(btree, 0x1E);
    const quint32 lastListing = u32(btree, 0x1A);
    quint32 block = root;
    while (block > lastListing) {
        const qsizetype start = 0x4C + qsizetype(block) * 2048;
        quint32 child = u32(btree, start + 4);
        qsizetype at = start + 8;
        for (int e = 0; e < u16(btree, start + 2); ++e) {
            const QString key = utf16At(btree, at);
            const quint32 pairs = u32(btree, at + 12);
            at += 16 + 4 * pairs;
            if (key <= text)
                child = u32(btree, at);
            at += 4;
        }
        block = child;
    }
    return block;
}

}  // namespace

TEST(KeywordIndex, ManyKeywordsSpanListingBlocksUnderAnIndexAndReadBackInOrder) {
    QList<Keyword> keywords;
    for (int i = 2999; i >= 0; --i)
        keywords.append({QStringLiteral("关键词%1").arg(i, 4, 10, QChar(u'0')), {quint32(i), quint32(i + 1)}, {}});
    keywords.append({QStringLiteral("关键词0007"), {8, 3000}, {}});  // the same keyword again
    keywords.append({QStringLiteral("子项"), {5}, {}, keywords.size() - 1});
    const QList<Keyword> sorted = mergeKeywords(keywords, QStringLiteral("zh_CN"));
    ASSERT_EQ(sorted.size(), 3001);
    EXPECT_EQ(sorted[7].topics, (QList<quint32>{7, 8, 3000}));
    EXPECT_EQ(sorted[8].name, QStringLiteral("子项"));  // right after its parent
    EXPECT_EQ(sorted[8].parent, 7);

    const KeywordIndexFiles files = writeKeywordIndex(sorted, 0x0804, 936);
    const QByteArray &b = files.btree;
    ASSERT_EQ(b.size() % 2048, 0x4C);
    EXPECT_EQ(b.left(2), QByteArray(";)"));
    EXPECT_GE(u16(b, 0x2A), 2);                       // at least one level of index blocks
    EXPECT_EQ(u32(b, 0x26), quint32((b.size() - 0x4C) / 2048));
    EXPECT_EQ(u32(b, 0x2C), 3001u);
    EXPECT_EQ(u32(b, 0x30), 936u);
    EXPECT_EQ(u32(b, 0x34), 0x0804u);

    QString error;
    const QList<ReadKeyword> read = readKeywordListing(b, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(read.size(), 3001);
    EXPECT_EQ(read[0].text, QStringLiteral("关键词0000"));
    EXPECT_EQ(read[8].text, QStringLiteral("关键词0007, 子项"));
    EXPECT_EQ(read[8].topics, QList<quint32>{5});
    EXPECT_EQ(read[3000].topics, (QList<quint32>{2999, 3000}));
    EXPECT_EQ(files.data.size(), 3001 * 13);
    EXPECT_EQ(u16(files.map, 0), u32(b, 0x1A) + 1);  // one map record per listing block

    // A lookup through the index blocks ends in the listing block that holds the keyword.
    for (int i : {0, 1, 1234, 2998, 2999}) {
        const QString key = QStringLiteral("关键词%1").arg(i, 4, 10, QChar(u'0'));
        const quint32 block = lookUp(b, key);
        QList<QString> inBlock;
        qsizetype at = 0x4C + qsizetype(block) * 2048 + 12;
        for (int e = 0; e < u16(b, 0x4C + qsizetype(block) * 2048 + 2); ++e) {
            inBlock.append(utf16At(b, at));
            at += 16 + 4 * u32(b, at + 12) + 8;
        }
        EXPECT_TRUE(inBlock.contains(key)) << i;
    }
}

TEST(KeywordIndex, AKeywordWithTooManyTopicsForABlockIsCutShortAndReported) {
    Keyword k{QStringLiteral("everywhere"), {}, {}};
    for (quint32 t = 0; t < 900; ++t)
        k.topics.append(t);
    const KeywordIndexFiles files = writeKeywordIndex({k}, 0x0409, 1252);
    EXPECT_EQ(files.shortened, QStringList{QStringLiteral("everywhere")});
    QString error;
    const QList<ReadKeyword> read = readKeywordListing(files.btree, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(read.size(), 1);
    EXPECT_GT(read[0].topics.size(), 400);
    EXPECT_LT(read[0].topics.size(), 900);
}

TEST(TopicTables, StringsStayInsideTheirBlockAndTopicsLeadToTheirAddresses) {
    StringTable strings;
    QList<quint32> offsets;
    for (int i = 0; i < 600; ++i)
        offsets.append(strings.add(QByteArray("title number ") + QByteArray::number(i)));
    EXPECT_EQ(strings.add("title number 5"), offsets[5]);  // each text once
    for (quint32 o : offsets) {
        const qsizetype end = strings.data().indexOf('\0', o);
        EXPECT_EQ(o / 4096, quint32(end / 4096));
    }
    TopicTable topics(strings);
    for (int i = 0; i < 400; ++i)
        topics.add("html/page" + QByteArray::number(i) + ".htm", "Page " + QByteArray::number(i), i % 2 == 0);
    const QByteArray tbl = topics.urlTable();
    const auto read = zelbrin::testing::readTopics(topics.topics(), tbl, topics.urlStrings(), strings.data());
    ASSERT_EQ(read.size(), 400);
    for (int i : {0, 340, 341, 399}) {
        const quint32 urlEntry = u32(topics.topics(), i * 16 + 8);
        EXPECT_NE(urlEntry % 4096, 4092u);  // the last four bytes of a block stay unused
        EXPECT_EQ(u32(tbl, urlEntry + 4), quint32(i));
        EXPECT_EQ(read[i].url, "html/page" + QByteArray::number(i) + ".htm");
        EXPECT_EQ(read[i].title, "Page " + QByteArray::number(i));
    }
}

TEST(SystemFiles, WindowsRecordsTheirTextsAtTheOffsetsReadersUse) {
    StringTable strings;
    WindowInfo w;
    w.name = "win";
    w.caption = encodeAnsi(QStringLiteral("用户手册"), ansiCodePage(0x0804)).value();
    w.contents = "contents.hhc";
    w.index = "index.hhk";
    w.defaultTopic = "html/f1.htm";
    w.navigationStyle = 463904;
    const QByteArray windows = writeWindows({w}, strings);
    ASSERT_EQ(windows.size(), 8 + 196);
    auto text = [&](qsizetype field) { return QByteArray(strings.data().constData() + u32(windows, 8 + field)); };
    EXPECT_EQ(text(0x08), "win");
    EXPECT_EQ(text(0x14), w.caption);
    EXPECT_EQ(text(0x60), "contents.hhc");
    EXPECT_EQ(text(0x64), "index.hhk");
    EXPECT_EQ(text(0x68), "html/f1.htm");
    EXPECT_EQ(u32(windows, 8 + 0x10), 463904u);

    SystemInfo info;
    info.title = w.caption;
    info.contentsFile = "contents.hhc";
    info.defaultTopic = "html/f1.htm";
    const QByteArray system = writeSystem(info);
    EXPECT_EQ(u32(system, 0), 3u);
    QMap<int, QByteArray> records;
    for (qsizetype at = 4; at + 4 <= system.size(); at += 4 + u16(system, at + 2))
        records.insert(u16(system, at), system.mid(at + 4, u16(system, at + 2)));
    EXPECT_EQ(records.value(3), w.caption + '\0');
    EXPECT_EQ(records.value(0), QByteArray("contents.hhc", 13));
    ASSERT_EQ(records.value(4).size(), 36);
    EXPECT_EQ(u32(records.value(4), 0), 0x0804u);
}

TEST(CodePages, TextGoesIntoTheLanguagesCodePageWithReferencesForTheRest) {
    const AnsiCodePage &chinese = ansiCodePage(0x0804);
    EXPECT_EQ(chinese.number, 936);
    EXPECT_EQ(ansiCodePage(0x0404).number, 950);
    EXPECT_EQ(ansiCodePage(0x0419).number, 1251);
    EXPECT_EQ(ansiCodePage(0x0809).number, 1252);
    const QString text = QStringLiteral("中文 € \U0001F600 ü");
    EXPECT_FALSE(encodeAnsi(text, chinese));
    const QByteArray encoded = encodeAnsiWithReferences(text, chinese);
    EXPECT_EQ(decodeCharset(encoded, "gb2312"), QStringLiteral("中文 € &#128512; ü"));
    EXPECT_EQ(encodeAnsiLossy(QStringLiteral("Привет 中"), ansiCodePage(0x0419)), QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2 ?"));
}
