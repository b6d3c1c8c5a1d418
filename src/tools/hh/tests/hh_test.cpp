#include "chmunpack.h"
#include "testchm.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelbrin::testing;
using zelbrin::hh::classifyEntry;
using zelbrin::hh::EntryKind;

namespace {

struct HhRun {
    int exitCode = -1;
    QString err;
};

HhRun runHh(const QStringList &args) {
    QProcess p;
    p.start(binProgram("hh"), args);
    HhRun r;
    if (!p.waitForFinished(30000))
        return r;
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
