#include "container.h"
#include "directory.h"
#include "lzxsection.h"
#include "readers.h"
#include "testdata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace zelbrin::chm;

namespace {

QMap<QByteArray, QByteArray> asMap(const QList<StoredFile> &files) {
    QMap<QByteArray, QByteArray> map;
    for (const StoredFile &f : files)
        map.insert(f.name, f.data);
    return map;
}

// Writes files and reads them back with every reader; depth gets the directory's
// depth (1: listing chunks only, 2: one index level, ...).
void roundTrip(const QList<StoredFile> &files, const ContainerOptions &options = {}, int *depth = nullptr) {
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString chm = scratch.filePath("t.chm");
    ASSERT_EQ(writeContainer(chm, files, options), QString());
    EXPECT_EQ(zelbrin::chm::testing::compareWithReaders(chm, scratch.path(), asMap(files)).toStdString(), "");
    if (depth) {
        QFile f(chm);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray header = f.read(0x78 + 0x1c);
        *depth = qFromLittleEndian<qint32>(header.constData() + 0x78 + 0x18);
    }
}

}  // namespace

TEST(ChmContainer, SmallFilesAndFrameBoundariesReadBackEverywhere) {
    // Sizes around the 32 KB frames and the 64 KB reset groups, an empty file, and a
    // file kept uncompressed between compressed ones.
    QList<StoredFile> files{
        {"/#SYSTEM", testdata::html(300, 1)},
        {"/empty.htm", {}},
        {"/frame.htm", testdata::html(0x8000, 2)},
        {"/group.bin", testdata::random(0x10000, 3)},
        {"/pics/photo.jpg", testdata::random(5000, 4), false},
        {"/after.htm", testdata::html(0x10001, 5)},
        {"/one.txt", "x"},
    };
    roundTrip(files);
    roundTrip({{"/only.htm", "<html></html>"}});
    roundTrip({{"/stored.gif", testdata::random(70000, 6), false}});
    // Compressed sections of whole frames, and one byte short of them: 7-Zip checks the
    // reset table's entry count against the length with its own rounding.
    for (int size : {0x8000, 0x10000, 0x7fff, 0x17fff})
        roundTrip({{"/whole.htm", testdata::html(size, quint32(size))}});
}

TEST(ChmContainer, EveryKindOfBlockReadsBack) {
    // Group by group: page text then noise (a compressed block, then a stored one),
    // noise then text, fixed-size records (aligned offsets pay), text alone.
    const QList<StoredFile> files{
        {"/a.htm", testdata::html(0x8000, 1)},   {"/a.jpg", testdata::random(0x8000, 2)},
        {"/b.jpg", testdata::random(0x8000, 3)}, {"/b.htm", testdata::html(0x8000, 4)},
        {"/c.dat", testdata::records(0x10000, 5)}, {"/d.htm", testdata::html(0x10000, 6)},
    };
    QByteArray section;
    for (const StoredFile &f : files)
        section += f.data;
    const CompressedSection compressed = compressSection(section, 1, {});
    EXPECT_GE(compressed.verbatimBlocks, 2);
    EXPECT_GE(compressed.alignedBlocks, 1);
    EXPECT_GE(compressed.storedBlocks, 2);
    EXPECT_EQ(compressed.frameStarts.size(), 8);
    roundTrip(files);
}

TEST(ChmContainer, RepeatsAfterLongNoiseAreStillFound) {
    // 48 KB of noise lets the encoder pass positions over; the repeat after it must still
    // be found, within a few bytes of its start.
    const QByteArray noise = testdata::random(0xC000, 8);
    const QByteArray section = noise + noise.left(0x4000);
    const CompressedSection compressed = compressSection(section, 1, {});
    EXPECT_LT(compressed.content.size(), 0xC000 + 0x400);
    roundTrip({{"/noise.jpg", section}});
}

TEST(ChmContainer, LargeDirectoriesWithPunctuatedNames) {
    // 5,000 names with the punctuation that sorts differently when folded to upper case
    // ("_", "[", "^", "`"): many listing chunks. Long folder names make the index itself
    // outgrow a chunk, so it takes two levels.
    QList<StoredFile> files;
    const char punctuation[] = "_-~!$#()[]^`{}+=,;'@%&.";
    for (int i = 0; i < 5000; ++i) {
        const char p = punctuation[i % (sizeof punctuation - 1)];
        const QByteArray folder = QByteArray("/Dir") + char('A' + i % 7) + '/' + QByteArray(120, char('a' + i % 5));
        const QByteArray name = folder + (i % 3 ? "/" : "/sub/") + p + QByteArray::number(i) +
                                (i % 2 ? "_Page.htm" : "a.HTM");
        files.append({name, testdata::html(20 + i % 400, i), i % 50 != 0});
    }
    int depth = 0;
    roundTrip(files, {}, &depth);
    EXPECT_EQ(depth, 3);
    int smallDepth = 0;
    roundTrip(files.mid(0, 40), {}, &smallDepth);
    EXPECT_EQ(smallDepth, 2);
}

TEST(ChmContainer, MegabytesOfPagesAndNoise) {
    QList<StoredFile> files;
    for (int i = 0; i < 60; ++i)
        files.append({"/html/page" + QByteArray::number(i) + ".htm", testdata::html(20000 + i * 997, 100 + i)});
    files.append({"/noise.bin", testdata::random(1500000, 7)});
    files.append({"/zeros.bin", QByteArray(300000, '\0')});
    roundTrip(files, {.threads = 2});
}

TEST(ChmContainer, OutputDoesNotDependOnThreads) {
    QList<StoredFile> files;
    for (int i = 0; i < 30; ++i)
        files.append({"/p" + QByteArray::number(i) + ".htm", testdata::html(30000, i)});
    QTemporaryDir scratch;
    QByteArray first;
    for (int threads : {1, 3, 0}) {
        const QString chm = scratch.filePath(QString("t%1.chm").arg(threads));
        qint64 lastDone = -1;
        qint64 lastTotal = -1;
        ContainerOptions options{.threads = threads, .progress = [&](qint64 done, qint64 total) {
                                     EXPECT_GE(done, lastDone);
                                     lastDone = done;
                                     lastTotal = total;
                                 }};
        ASSERT_EQ(writeContainer(chm, files, options), QString());
        EXPECT_EQ(lastDone, 30 * 30000);
        EXPECT_EQ(lastTotal, 30 * 30000);
        QFile f(chm);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        bytes.replace(0x10, 4, QByteArray(4, '\0'));  // the header's time stamp
        if (first.isEmpty())
            first = bytes;
        else
            EXPECT_TRUE(bytes == first) << "threads " << threads;
    }
}

TEST(ChmContainer, FailuresLeaveNothingBehind) {
    QTemporaryDir scratch;
    // A folder that cannot be written (a file stands where it should be).
    const QString notFolder = scratch.filePath("plain");
    QFile(notFolder).open(QIODevice::WriteOnly);
    const QString target = notFolder + "/t.chm";
    EXPECT_TRUE(writeContainer(target, {{"/a.htm", "a"}}).contains(target));

    // The disk refuses bytes half-way: the file size limit stands in for a full disk.
    const QString chm = scratch.filePath("t.chm");
    {
        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldSignal = signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 20000;
        setrlimit(RLIMIT_FSIZE, &small);
        const QString message = writeContainer(chm, {{"/noise.bin", testdata::random(100000, 1)}});
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, oldSignal);
        EXPECT_TRUE(message.contains(chm)) << message.toStdString();
    }
    EXPECT_EQ(QDir(scratch.path()).entryList(QDir::Files), QStringList{"plain"});

    // Names readers could not tell apart, or could not store.
    EXPECT_FALSE(writeContainer(chm, {{"/a.htm", "1"}, {"/A.htm", "2"}}).isEmpty());
    EXPECT_FALSE(writeContainer(chm, {{"a.htm", "1"}}).isEmpty());
    EXPECT_FALSE(writeContainer(chm, {{"/" + QByteArray(600, 'a'), "1"}}).isEmpty());
    EXPECT_EQ(QDir(scratch.path()).entryList(QDir::Files), QStringList{"plain"});
}

TEST(ChmDirectory, NamesSortAsReadersSearch) {
    // Letters compare folded to lower case, so "_" (0x5F) sorts before letters.
    EXPECT_LT(compareEntryNames("/_a", "/b"), 0);
    EXPECT_GT(compareEntryNames("/B", "/_"), 0);
    EXPECT_EQ(compareEntryNames("/Abc", "/aBC"), 0);
    EXPECT_LT(compareEntryNames("/a", "/a/"), 0);
    EXPECT_LT(compareEntryNames("/#SYSTEM", "/$FIftiMain"), 0);
    EXPECT_LT(compareEntryNames("/zz", "::DataSpace/NameList"), 0);
    QByteArray encoded;
    appendEncInt(encoded, 0x7f);
    appendEncInt(encoded, 0x80);
    appendEncInt(encoded, 0x3fff);
    EXPECT_EQ(encoded, QByteArray::fromHex("7f8100ff7f"));
}
