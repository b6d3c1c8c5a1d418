// hhc's failures: missing, truncated and damaged projects. A failed compilation exits 1,
// says why on standard error, leaves no .chm at the target (an older file there stays as
// it was) and leaves no temporary file behind.
#include "hhctesting.h"
#include "workbenchproject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace hhctest;

namespace {

// An environment whose temporary folder the test owns, so a left-over staging folder shows.
QProcessEnvironment withTmpDir(const QString &tmpDir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), tmpDir);
    return env;
}

QStringList leftOver(const QString &dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

}  // namespace

TEST(HhcFailures, MissingProjectFileAndWrongArguments) {
    QProcess noArgs;
    noArgs.start(qEnvironmentVariable("ZELBRIN_BIN_DIR") + QStringLiteral("/hhc"), {});
    ASSERT_TRUE(noArgs.waitForFinished(10000));
    EXPECT_EQ(noArgs.exitCode(), 2);
    EXPECT_TRUE(noArgs.readAllStandardError().contains("usage: hhc PROJECT.hhp"));

    QTemporaryDir tmp;
    const HhcRun run = runHhc(tmp.path() + QStringLiteral("/none.hhp"));
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains(QStringLiteral("help project not found: ") + tmp.path() + QStringLiteral("/none.hhp")))
        << run.err.toStdString();
}

TEST_F(WorkbenchProject, MissingContentsFileFailsAndLeavesNothing) {
    const QString hhcFile = folder + QStringLiteral("temp/") + name + QStringLiteral(".hhc");
    ASSERT_TRUE(QFile::remove(hhcFile));
    QTemporaryDir scratch;
    const HhcRun run = runHhc(hhp, withTmpDir(scratch.path()));
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains(QStringLiteral("contents file not found: ") + hhcFile)) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(chm));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList());
    EXPECT_EQ(leftOver(scratch.path()), QStringList());
}

TEST_F(WorkbenchProject, MissingPageFailsNamingThePageAndKeepsAnOlderChm) {
    ASSERT_EQ(runHhc(hhp).exitCode, 0);
    const QByteArray older = readFile(chm);
    ASSERT_FALSE(older.isEmpty());
    const QString page = html + QStringLiteral("指南/附录/数据.htm");
    ASSERT_TRUE(QFile::remove(page));
    const HhcRun run = runHhc(hhp);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains(QStringLiteral("page named in the contents file not found: ") + page))
        << run.err.toStdString();
    EXPECT_EQ(readFile(chm), older);  // the earlier result stays whole; nothing half-written
}

TEST_F(WorkbenchProject, CompilingAgainReplacesTheOldChm) {
    ASSERT_EQ(runHhc(hhp).exitCode, 0);
    const QByteArray first = readFile(chm);
    const QString hhcFile = folder + QStringLiteral("temp/") + name + QStringLiteral(".hhc");
    QByteArray contents = readFile(hhcFile);
    contents.replace(gbk(QStringLiteral("value=\"说明\"")), gbk(QStringLiteral("value=\"注意事项\"")));
    writeFile(hhcFile, contents);

    const HhcRun run = runHhc(hhp);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_NE(readFile(chm), first);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{name + QStringLiteral(".CHM")});
    const QString out = tmp.path() + QStringLiteral("/unpacked");
    ASSERT_TRUE(extractChm(chm, out));
    QStringList names;
    for (const SitemapEntry &e : sitemapEntries(readFile(out + u'/' + name + QStringLiteral(".hhc"))))
        names.append(e.name);
    EXPECT_TRUE(names.contains(QStringLiteral("注意事项")));
    EXPECT_FALSE(names.contains(QStringLiteral("说明")));
}

TEST_F(WorkbenchProject, TruncatedOrDamagedInputFailsAndKeepsTheOlderChm) {
    ASSERT_EQ(runHhc(hhp).exitCode, 0);
    const QByteArray older = readFile(chm);
    const QString hhcFile = folder + QStringLiteral("temp/") + name + QStringLiteral(".hhc");
    const QByteArray contents = readFile(hhcFile), project = readFile(hhp);
    const qsizetype local = contents.indexOf(gbk(QStringLiteral("指南/简介.htm")));
    const qsizetype contentsLine = project.indexOf("Contents file=");
    ASSERT_GT(local, 0);
    ASSERT_GT(contentsLine, 0);
    const struct {
        const char *what;
        QString file;
        QByteArray bytes;
        QString expected;
    } cases[] = {
        {"contents file cut inside a page name", hhcFile, contents.left(local + 4),
         QStringLiteral("page named in the contents file not found: ")},
        {"help project cut inside the contents file's name", hhp, project.left(contentsLine + 30),
         QStringLiteral("contents file not found: ")},
        {"help project that is no text at all", hhp, smallPng(0xff000000),
         QStringLiteral("is not a help project")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(c.file, c.bytes);
        QTemporaryDir scratch;
        QProcessEnvironment env = withTmpDir(scratch.path());
        const HhcRun run = runHhc(hhp, env);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(c.expected)) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("was not compiled"))) << run.err.toStdString();
        EXPECT_EQ(readFile(chm), older);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QFileInfo(chm).fileName()});
        EXPECT_EQ(leftOver(scratch.path()), QStringList());
        writeFile(hhcFile, contents);
        writeFile(hhp, project);
    }
}
