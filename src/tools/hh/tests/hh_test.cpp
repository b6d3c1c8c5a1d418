#include "chmreader.h"
#include "chmunpack.h"
#include "testchm.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <mspack.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace zelbrin::testing;
using zelbrin::hh::classifyEntry;
using zelbrin::hh::EntryKind;

namespace {

struct HhRun {
    int exitCode = -1;
    QString err;
};

HhRun runHh(const QStringList &args, int timeoutMs = 30000) {
    QProcess p;
    p.start(binProgram("hh"), args);
    HhRun r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every file below root, by its path relative to root.
QStringList filesBelow(const QString &root) {
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

struct HhTest : ::testing::Test {
    QTemporaryDir tmp;
    QMap<QString, QByteArray> pages = defaultChmPages();
    QMap<QString, QByteArray> sitemaps;
    QString chm;

    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        chm = tmp.path() + "/my help/test file.chm";
        const QString error = makeTestChm(tmp.path() + "/project", chm, pages, &sitemaps);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    }
};

}  // namespace

TEST(HhEntryNames, InternalUnsafeAndContent) {
    EXPECT_EQ(classifyEntry("/index.htm"), EntryKind::Content);
    EXPECT_EQ(classifyEntry("/aa/x.htm"), EntryKind::Content);
    EXPECT_EQ(classifyEntry("/aa/"), EntryKind::Content);
    EXPECT_EQ(classifyEntry("/aa/#in name.htm"), EntryKind::Content);
    EXPECT_EQ(classifyEntry("/"), EntryKind::Internal);
    EXPECT_EQ(classifyEntry("/#SYSTEM"), EntryKind::Internal);
    EXPECT_EQ(classifyEntry("/$WWKeywordLinks/BTree"), EntryKind::Internal);
    EXPECT_EQ(classifyEntry("::DataSpace/NameList"), EntryKind::Internal);
    for (const char *bad : {"/../x.htm", "/aa/../../x.htm", "/aa/..", "//etc/passwd", "/aa//x.htm",
                            "/./x.htm", "/aa\\x.htm", "x.htm", "", "/a\x01.htm", "/..\\x.htm"})
        EXPECT_EQ(classifyEntry(bad), EntryKind::Unsafe) << bad;
}

TEST_F(HhTest, UnpacksPagesPicturesContentsAndIndexByteForByte) {
    const QString dest = tmp.path() + "/out folder/with blanks";
    const HhRun r = runHh({"-decompile", dest, chm});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (auto it = pages.begin(); it != pages.end(); ++it)
        EXPECT_EQ(readFile(dest + u'/' + it.key()), it.value()) << it.key().toStdString();
    for (auto it = sitemaps.begin(); it != sitemaps.end(); ++it)
        EXPECT_EQ(readFile(dest + u'/' + it.key()), it.value()) << it.key().toStdString();
    // The archive's own bookkeeping stays inside it.
    for (const QString &f : filesBelow(dest)) {
        EXPECT_FALSE(f.startsWith(u'#') || f.startsWith(u'$') || f.startsWith("::"))
            << f.toStdString();
        EXPECT_FALSE(f.contains(".hh-")) << "temporary file left: " << f.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(dest + "/::DataSpace"));

    // Unpacking again over the first result replaces the files.
    QFile::remove(dest + "/aa/x.htm");
    {
        QFile f(dest + "/index.htm");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("stale");
    }
    ASSERT_EQ(runHh({"-decompile", dest, chm}).exitCode, 0);
    EXPECT_EQ(readFile(dest + "/index.htm"), pages["index.htm"]);
    EXPECT_EQ(readFile(dest + "/aa/x.htm"), pages["aa/x.htm"]);
}

TEST_F(HhTest, HostileEntryNamesAreSkippedAndReported) {
    ASSERT_TRUE(patchChmEntryName(chm, "/aa/x.htm", "/../x.htm"));
    ASSERT_TRUE(patchChmEntryName(chm, "/bb/y.htm", "/bb\\y.htm"));
    ASSERT_TRUE(patchChmEntryName(chm, "/cc/z.htm", "//c/z.htm"));
    const QString parent = tmp.path() + "/outer";
    const QString dest = parent + "/inner";
    const HhRun r = runHh({"-decompile", dest, chm});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("/../x.htm")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("/bb\\y.htm")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("//c/z.htm")) << r.err.toStdString();
    // Nothing lands beside the destination; the harmless entries are all there.
    EXPECT_EQ(filesBelow(parent).filter(QRegularExpression("^[^/]*$")), QStringList());
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/x.htm"));
    EXPECT_FALSE(QFileInfo::exists(dest + "/c/z.htm"));
    EXPECT_EQ(readFile(dest + "/index.htm"), pages["index.htm"]);
    EXPECT_EQ(readFile(dest + "/pics/pic.gif"), pages["pics/pic.gif"]);
    EXPECT_EQ(readFile(dest + "/contents.hhc"), sitemaps["contents.hhc"]);
}

TEST_F(HhTest, LinksInsideTheDestinationAreNotFollowed) {
    const QString dest = tmp.path() + "/dest";
    const QString outside = tmp.path() + "/outside";
    ASSERT_TRUE(QDir().mkpath(dest));
    ASSERT_TRUE(QDir().mkpath(outside));
    {
        QFile f(outside + "/victim.htm");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    ASSERT_TRUE(QFile::link(outside + "/victim.htm", dest + "/index.htm"));
    ASSERT_TRUE(QFile::link(outside, dest + "/aa"));
    const HhRun r = runHh({"-decompile", dest, chm});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("/aa/x.htm")) << r.err.toStdString();
    EXPECT_EQ(readFile(outside + "/victim.htm"), QByteArray("keep me"));
    EXPECT_EQ(filesBelow(outside), QStringList{"victim.htm"});
    // The file link was replaced by the page itself; the rest was unpacked.
    EXPECT_FALSE(QFileInfo(dest + "/index.htm").isSymLink());
    EXPECT_EQ(readFile(dest + "/index.htm"), pages["index.htm"]);
    EXPECT_EQ(readFile(dest + "/bb/y.htm"), pages["bb/y.htm"]);
}

TEST_F(HhTest, FailuresGiveAnExitCodeAndAMessage) {
    const QString dest = tmp.path() + "/out";
    HhRun r = runHh({"-decompile", dest, tmp.path() + "/missing.chm"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("does not exist")) << r.err.toStdString();

    const QString text = tmp.path() + "/plain.chm";
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is no compiled help file\n");
    }
    r = runHh({"-decompile", dest, text});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("not a compiled help file")) << r.err.toStdString();

    r = runHh({"-decompile", text + "/sub", chm});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("cannot be created")) << r.err.toStdString();

    r = runHh({"-decompile", "", chm});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_FALSE(r.err.isEmpty());

    // Arguments are never split at blanks: one argument too many is a usage error.
    r = runHh({"-decompile", tmp.path() + "/out", "folder", chm});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("usage")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/out"));
}

namespace {

// Where the structures that the damage tests change lie in a help file, as libmspack
// reads them: the LZX section's control data and reset table, the first listing chunk.
struct ChmLayout {
    qsizetype controlData = -1;
    qsizetype resetTable = -1;
    qsizetype listingChunk = -1;
    qsizetype chunkSize = 0;
    quint32 firstListing = 0;
};

ChmLayout layoutOf(const QString &path) {
    ChmLayout at;
    // libmspack's own file access checks the header's second class id, which chmcmd
    // writes wrongly; a copy with the standard one tells the same offsets.
    const QString copy = path + ".layout";
    QFile::remove(copy);
    QFile::copy(path, copy);
    QFile f(copy);
    if (f.open(QIODevice::ReadWrite) && f.seek(0x28))
        f.write("\x11", 1);
    f.close();
    mschm_decompressor *d = mspack_create_chm_decompressor(nullptr);
    mschmd_header *h = d->open(d, QFile::encodeName(copy).constData());
    if (h) {
        at.chunkSize = qsizetype(h->chunk_size);
        at.firstListing = h->first_pmgl;
        at.listingChunk = qsizetype(h->dir_offset) + qsizetype(h->first_pmgl) * at.chunkSize;
        for (mschmd_file *f = h->sysfiles; f; f = f->next)
            if (std::strstr(f->filename, "/ResetTable"))
                at.resetTable = qsizetype(h->sec0.offset + f->offset);
            else if (std::strstr(f->filename, "/ControlData"))
                at.controlData = qsizetype(h->sec0.offset + f->offset);
        d->close(d, h);
    }
    mspack_destroy_chm_decompressor(d);
    QFile::remove(copy);
    return at;
}

std::string readInMemory(const QByteArray &bytes) {
    return zelbrin::hh::readWholeChm(
        {reinterpret_cast<const unsigned char *>(bytes.constData()), size_t(bytes.size())});
}

void putLe32(QByteArray &b, qsizetype at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}

void writeBytes(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

}  // namespace

// Each damage once crashed hh inside CHMLib, made it loop for ever or report success
// with nothing unpacked.
TEST_F(HhTest, DamagedHelpFilesFailFastNamingTheDamageAndLeaveNoTemporaryFile) {
    const QByteArray good = readFile(chm);
    const ChmLayout at = layoutOf(chm);
    ASSERT_GT(at.resetTable, 0);
    ASSERT_GT(at.controlData, 0);
    ASSERT_GT(at.listingChunk, 0);
    const struct {
        const char *what;
        std::function<void(QByteArray &)> damage;
        const char *message;
    } cases[] = {
        // CHMLib crashed in LZXreset on this one.
        {"flipped LZX control byte", [&](QByteArray &b) { b[at.controlData + 8] = char(b[at.controlData + 8] ^ 0xFF); },
         "structure is damaged"},
        // CHMLib unpacked wrong bytes and reported success on this one: the reset table's
        // first frame (after its 0x28-byte header) pointing elsewhere. What the reader meets
        // there depends on the compressed bytes, which change with the compile time.
        {"flipped reset-table entry", [&](QByteArray &b) { b[at.resetTable + 0x28] = char(b[at.resetTable + 0x28] ^ 0xFF); },
         "LZX|data ends early"},
        {"listing chunk pointing to itself",
         [&](QByteArray &b) { putLe32(b, at.listingChunk + 16, at.firstListing); }, "comes back to chunk"},
        {"empty directory",
         [&](QByteArray &b) {
             putLe32(b, at.listingChunk + 4, quint32(at.chunkSize));  // free space: the whole chunk
             b[at.listingChunk + at.chunkSize - 2] = 0;             // entry count
             b[at.listingChunk + at.chunkSize - 1] = 0;
         },
         "lists no files"},
        {"truncated file", [&](QByteArray &b) { b.truncate(b.size() / 2); }, "truncated"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray bytes = good;
        c.damage(bytes);
        const QString damaged = tmp.path() + "/damaged.chm";
        writeBytes(damaged, bytes);
        const QString dest = tmp.path() + "/out-" + QString::fromLatin1(c.what).replace(' ', '-');
        QElapsedTimer clock;
        clock.start();
        const HhRun r = runHh({"-decompile", dest, damaged}, 10000);
        EXPECT_LT(clock.elapsed(), 10000);
        EXPECT_GT(r.exitCode, 0) << "exit " << r.exitCode << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QRegularExpression(c.message))) << r.err.toStdString();
        EXPECT_EQ(filesBelow(dest).filter(".hh-"), QStringList());
        // The reader that a fuzz target drives finds the same damage in memory.
        EXPECT_NE(readInMemory(bytes), "");
    }
    EXPECT_EQ(readInMemory(good), "");
}

// Ended by a signal while it writes a page, hh removes the file it was writing. hh stops
// itself at each temporary file it makes, so the signal always lands mid-page.
TEST(HhSignals, InterruptedUnpackLeavesNoTemporaryFile) {
    QTemporaryDir tmp;
    QMap<QString, QByteArray> pages = defaultChmPages();
    QByteArray big;
    for (int i = 0; big.size() < (1 << 20); ++i)
        big += "<p>line " + QByteArray::number(i * 7919 % 100003) + " of a long page</p>\r\n";
    pages["big/page.htm"] = big;
    const QString chm = tmp.path() + "/big.chm";
    const QString error = makeTestChm(tmp.path() + "/project", chm, pages);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        const QString dest = tmp.path() + QStringLiteral("/out-%1").arg(signal);
        QProcess hh;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ZELBRIN_HH_STOP_AT_TEMPORARY_FILE", "1");
        hh.setProcessEnvironment(env);
        hh.start(binProgram("hh"), {"-decompile", dest, chm});
        ASSERT_TRUE(hh.waitForStarted());
        // hh stops itself once its first temporary file exists; the small pages come
        // first, so it is resumed once per page until it holds the big one.
        const QString bigFolder = dest + "/big";
        for (;;) {
            siginfo_t info{};
            ASSERT_EQ(::waitid(P_PID, id_t(hh.processId()), &info, WSTOPPED | WEXITED | WNOWAIT), 0);
            ASSERT_EQ(info.si_code, CLD_STOPPED);
            if (!filesBelow(bigFolder).filter(".hh-").isEmpty())
                break;
            ::kill(pid_t(hh.processId()), SIGCONT);
        }
        ::kill(pid_t(hh.processId()), signal);
        ::kill(pid_t(hh.processId()), SIGCONT);
        ASSERT_TRUE(hh.waitForFinished(60000));
        EXPECT_EQ(hh.exitStatus(), QProcess::NormalExit);
        const QByteArray err = hh.readAllStandardError();
        EXPECT_EQ(hh.exitCode(), 128 + signal) << err.constData();
        EXPECT_TRUE(err.contains("\"/big/page.htm\": interrupted")) << err.constData();
        EXPECT_EQ(filesBelow(dest).filter(".hh-"), QStringList());
    }

    // Killed outright (SIGKILL), hh leaves its temporary file: the next unpack into that
    // folder removes it once its process is gone, and leaves those of running ones alone.
    QProcess gone;
    gone.start("true");
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 dead = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    const QString dest = tmp.path() + "/out-killed";
    const QString stale = QStringLiteral("big/.hh-%1-3").arg(dead);
    const QString live = QStringLiteral("big/.hh-%1-1").arg(QCoreApplication::applicationPid());
    for (const QString &name : {stale, live}) {
        ASSERT_TRUE(QDir().mkpath(dest + "/big"));
        QFile file(dest + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QProcess hh;
    hh.start(binProgram("hh"), {"-decompile", dest, chm});
    ASSERT_TRUE(hh.waitForFinished(60000));
    EXPECT_EQ(hh.exitCode(), 0) << hh.readAllStandardError().constData();
    EXPECT_EQ(filesBelow(dest).filter(".hh-"), QStringList{live});
}
