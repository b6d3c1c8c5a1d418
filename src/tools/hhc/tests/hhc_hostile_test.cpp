// hhc on hostile projects (include files that would hang it or fill its memory, pages
// that link files outside the project) and ended by a signal.
#include "hhctesting.h"
#include "workbenchproject.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace hhctest;

TEST(HhcHostileProject, BadIncludesAreRefusedWithAMessage) {
    QTemporaryDir tmp;
    const QString p = tmp.path() + QStringLiteral("/ws/");
    writeFile(p + QStringLiteral("start.htm"), "<html><body>START</body></html>");
    ASSERT_EQ(::mkfifo(QFile::encodeName(p + QStringLiteral("fifo.h")).constData(), 0600), 0);
    writeFile(p + QStringLiteral("self.h"), QByteArray("#include self.h\r\n").repeated(10));
    writeFile(p + QStringLiteral("huge.h"), QByteArray(2 << 20, ' '));
    for (int i = 0; i < 12; ++i)
        writeFile(p + QStringLiteral("d%1.h").arg(i), QStringLiteral("#include d%1.h\r\n").arg(i + 1).toLatin1());
    writeFile(p + QStringLiteral("d12.h"), "#define DEEP 1\r\n");
    const struct {
        const char *include;
        const char *message;
    } cases[] = {
        {"/dev/zero", "not a regular file"},
        {"fifo.h", "not a regular file"},
        {"self.h", "includes itself"},
        {"huge.h", "larger than 1048576 bytes"},
        {"d0.h", "nested deeper than 8 levels"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.include);
        writeFile(p + QStringLiteral("help.hhp"),
                  QByteArray("[OPTIONS]\r\nCompiled file=help.chm\r\nDefault topic=start.htm\r\n\r\n"
                             "[FILES]\r\nstart.htm\r\n\r\n[MAP]\r\n#include ") + c.include + "\r\n");
        QElapsedTimer clock;
        clock.start();
        const HhcRun run = runHhc(p + QStringLiteral("help.hhp"));
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(c.message))) << run.err.toStdString();
        EXPECT_LT(clock.elapsed(), 10000);
        EXPECT_FALSE(QFileInfo::exists(p + QStringLiteral("help.chm")));
    }
}

// A help file is published: nothing outside the project folder may ride along, however a
// page or the project names it. Links to such files stay as written, each file is warned
// about once, and files inside the folder (a file: URL included) are embedded as before.
TEST(HhcHostileProject, FilesOutsideTheProjectFolderAreNotEmbedded) {
    QTemporaryDir tmp;
    const QString p = tmp.path() + QStringLiteral("/ws/");
    writeFile(p + QStringLiteral("help.hhp"),
              "[OPTIONS]\r\nCompiled file=help.chm\r\nContents file=toc.hhc\r\nDefault topic=pages/start.htm\r\n"
              "\r\n[FILES]\r\n/etc/passwd\r\n");
    writeFile(p + QStringLiteral("toc.hhc"),
              "<HTML><BODY><UL>\r\n<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Start\">"
              "<param name=\"Local\" value=\"pages/start.htm\"></OBJECT>\r\n</UL></BODY></HTML>\r\n");
    const QByteArray links[] = {
        "<a id=\"abs\" href=\"/etc/passwd\">a</a>",
        "<a id=\"rel\" href=\"../../../../../../../../../../etc/hostname\">b</a>",
        "<img id=\"proc\" src=\"/proc/self/environ\">",
        "<a id=\"url\" href=\"file:///etc/passwd\">c</a>",
        "<a id=\"sym\" href=\"linked.txt\">d</a>",
    };
    QByteArray page = "<html><body>START-MARKER";
    for (const QByteArray &l : links)
        page += l;
    page += "<a id=\"inside\" href=\"file://" + QFile::encodeName(p) + "pages/inside.htm\">e</a></body></html>";
    writeFile(p + QStringLiteral("pages/start.htm"), page);
    writeFile(p + QStringLiteral("pages/inside.htm"), "<html><body>INSIDE-MARKER</body></html>");
    ASSERT_TRUE(QFile::link(QStringLiteral("/etc/hostname"), p + QStringLiteral("pages/linked.txt")));

    const HhcRun run = runHhc(p + QStringLiteral("help.hhp"));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.count(QStringLiteral("lies outside the project folder")), 3) << run.err.toStdString();
    for (const char *file : {"/etc/passwd lies outside", "/etc/hostname lies outside", "/environ lies outside"})
        EXPECT_TRUE(run.err.contains(QLatin1String(file))) << file << "\n" << run.err.toStdString();

    const QString out = tmp.path() + QStringLiteral("/unpacked");
    ASSERT_TRUE(extractChm(p + QStringLiteral("help.chm"), out));
    EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/_ext")));
    const QByteArray passwd = readFile(QStringLiteral("/etc/passwd"));
    QDirIterator it(out, QDir::Files, QDirIterator::Subdirectories);
    QByteArray stored;
    while (it.hasNext()) {
        const QString f = it.next();
        EXPECT_NE(readFile(f), passwd) << f.toStdString();
        if (readFile(f).contains("START-MARKER"))
            stored = readFile(f);
    }
    for (const QByteArray &l : links)
        EXPECT_TRUE(stored.contains(l)) << l.constData();
    const QByteArray inside = attributeNear(stored, "id=\"inside\"", "href");
    EXPECT_FALSE(inside.startsWith("file:")) << inside.constData();
    bool found = false;
    QDirIterator pages(out, QDir::Files, QDirIterator::Subdirectories);
    while (pages.hasNext())
        found = found || readFile(pages.next()).contains("INSIDE-MARKER");
    EXPECT_TRUE(found);
}

// Ended while compiling, hhc removes its staging copy; one left by a killed hhc is swept
// at the next start, one of a running process stays.
TEST_F(WorkbenchProject, InterruptedCompileRemovesItsStagingFolder) {
    QTemporaryDir scratch;
    const QString tmpDir = scratch.path() + QStringLiteral("/tmp");
    const QString marker = scratch.path() + QStringLiteral("/compiling");
    QDir().mkpath(tmpDir);
    // A compiler that does not end by itself: the signal always lands while it runs.
    const QString script = scratch.path() + QStringLiteral("/hanging-chmcmd");
    writeFile(script, "#!/bin/sh\ntouch '" + QFile::encodeName(marker) + "'\nexec sleep 600\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess gone;
    gone.start(QStringLiteral("true"));
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 dead = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    const QString stale = QStringLiteral("zelbrin-hhc-%1-AbC123").arg(dead);
    const QString live = QStringLiteral("zelbrin-hhc-%1-XyZ789").arg(QCoreApplication::applicationPid());
    ASSERT_TRUE(QDir().mkpath(tmpDir + u'/' + stale + QStringLiteral("/pages")));
    ASSERT_TRUE(QDir().mkpath(tmpDir + u'/' + live));

    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        QFile::remove(marker);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmpDir);
        env.insert(QStringLiteral("ZELBRIN_CHMCMD"), script);
        QProcess hhc;
        hhc.setProcessEnvironment(env);
        hhc.start(qEnvironmentVariable("ZELBRIN_BIN_DIR") + QStringLiteral("/hhc"), {hhp});
        ASSERT_TRUE(hhc.waitForStarted());
        while (!QFileInfo::exists(marker) && hhc.state() == QProcess::Running)
            hhc.waitForFinished(20);
        ASSERT_TRUE(QFileInfo::exists(marker)) << hhc.readAllStandardError().constData();
        ::kill(pid_t(hhc.processId()), signal);
        ASSERT_TRUE(hhc.waitForFinished(30000));
        EXPECT_EQ(hhc.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(hhc.exitCode(), 128 + signal) << hhc.readAllStandardError().constData();
        EXPECT_EQ(QDir(tmpDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{live});
        EXPECT_FALSE(QFileInfo::exists(chm));
    }
}
