// hhc's failures: broken projects and a compiler that fails in each of chmcmd's ways.
// A failed compilation exits non-zero, says why on standard error, leaves no .chm at the
// target (an older file there stays as it was) and removes its staging folder.
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
    for (const SitemapEntry &e : sitemapEntries(readFile(out + QStringLiteral("/contents.hhc"))))
        names.append(e.name);
    EXPECT_TRUE(names.contains(QStringLiteral("注意事项")));
    EXPECT_FALSE(names.contains(QStringLiteral("说明")));
}

TEST_F(WorkbenchProject, EveryWayChmcmdFailsIsAFailure) {
    ASSERT_EQ(runHhc(hhp).exitCode, 0);
    const QString good = tmp.path() + QStringLiteral("/good.chm");
    ASSERT_TRUE(QFile::copy(chm, good));
    const QString quotedGood = u'\'' + good + u'\'';
    const struct {
        const char *what;
        QString script;
        QStringList expected;  // on standard error
    } cases[] = {
        {"Error: line with exit code 0",
         QStringLiteral("cp %1 output.chm\necho \"Error: Can't find TOC file contents.hhc\"\nexit 0\n").arg(quotedGood),
         {QStringLiteral("Error: Can't find TOC file contents.hhc")}},
        {"exit code 217",
         QStringLiteral("cp %1 output.chm\necho 'Runtime error 217 at $0000000000424242'\nexit 217\n").arg(quotedGood),
         {QStringLiteral("Runtime error 217"), QStringLiteral("chmcmd failed with exit code 217")}},
        {"0-byte result", QStringLiteral(": > output.chm\nexit 0\n"), {QStringLiteral("the file is empty")}},
        {"no result", QStringLiteral("exit 0\n"), {QStringLiteral("no file was written")}},
        {"cut-short result", QStringLiteral("head -c 3000 %1 > output.chm\nexit 0\n").arg(quotedGood),
         {QStringLiteral("did not write a whole help file")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir scratch;
        const QString script = scratch.path() + QStringLiteral("/fake-chmcmd");
        writeFile(script, (QStringLiteral("#!/bin/sh\n") + c.script).toUtf8());
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString tmpDir = scratch.path() + QStringLiteral("/tmp");
        QDir().mkpath(tmpDir);
        QFile::remove(chm);
        ASSERT_TRUE(QFile::copy(good, chm));  // an older result, kept as it was
        const QByteArray older = [&] {
            QFile f(chm);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();

        QProcessEnvironment env = withTmpDir(tmpDir);
        env.insert(QStringLiteral("ZELBRIN_CHMCMD"), script);
        const HhcRun run = runHhc(hhp, env);
        EXPECT_NE(run.exitCode, 0);
        for (const QString &e : c.expected)
            EXPECT_TRUE(run.err.contains(e)) << run.err.toStdString();
        // Nothing half-written replaces it; the older file stays whole.
        QFile kept(chm);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), older);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QFileInfo(chm).fileName()});
        EXPECT_EQ(leftOver(tmpDir), QStringList());  // the staging folder is gone
    }
}

// chmcmd's full-text indexer crashes on some real pages; the help file is then compiled
// again without full-text search instead of failing.
TEST_F(WorkbenchProject, IndexerCrashIsRetriedWithoutFullTextSearch) {
    QTemporaryDir scratch;
    const QString script = scratch.path() + QStringLiteral("/indexer-crash-chmcmd");
    writeFile(script, QByteArray("#!/bin/sh\n"
                                 "for a; do project=$a; done\n"
                                 "if grep -q '^Full-text search=Yes' \"$project\"; then\n"
                                 "  echo 'An unhandled exception occurred at $0000000000490CA8:'\n"
                                 "  echo 'EAccessViolation: Access violation'\n"
                                 "  exit 217\n"
                                 "fi\n"
                                 "exec chmcmd \"$@\"\n"));
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = withTmpDir(scratch.path());
    env.insert(QStringLiteral("ZELBRIN_CHMCMD"), script);
    const HhcRun run = runHhc(hhp, env);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("compiled without full-text search"))) << run.err.toStdString();
    const QString out = tmp.path() + QStringLiteral("/unpacked");
    ASSERT_TRUE(extractChm(chm, out));
    EXPECT_TRUE(QFileInfo(out + QStringLiteral("/contents.hhc")).isFile());
}
