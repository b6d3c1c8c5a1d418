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
    writeFile(p + QStringLiteral("help.hhp"),
              QByteArray("[OPTIONS]\r\nCompiled file=help.chm\r\nDefault topic=start.htm\r\n\r\n"
                         "[FILES]\r\nstart.htm\r\n\r\n[MAP]\r\n#include self.h") + '\0' + "x\r\n");
    const HhcRun run = runHhc(p + QStringLiteral("help.hhp"));
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QLatin1String("included file not found"))) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(QLatin1String("Broken filename"))) << run.err.toStdString();
}

// Contents and index files nested ten thousand levels deep: each compiles in about the time
// its size takes (the index once grew with the cube of its depth and ignored signals).
TEST(HhcHostileProject, DeeplyNestedContentsAndIndexCompileInTimeToTheirSize) {
    QTemporaryDir tmp;
    const QString p = tmp.path() + QStringLiteral("/ws/");
    writeFile(p + QStringLiteral("p.htm"), "<html><head><title>p</title></head><body>page</body></html>");
    constexpr int kDepth = 10000;
    QByteArray sitemap = "<HTML><BODY>\r\n";
    for (int i = 0; i < kDepth; ++i)
        sitemap += "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"level " + QByteArray::number(i) +
                   "\"><param name=\"Local\" value=\"p.htm\"></OBJECT>\r\n";
    sitemap += QByteArray("</UL>").repeated(kDepth) + "</BODY></HTML>\r\n";
    writeFile(p + QStringLiteral("deep.hhc"), sitemap);
    writeFile(p + QStringLiteral("deep.hhk"), sitemap);
    for (const char *option : {"Contents file=deep.hhc", "Index file=deep.hhk"}) {
        SCOPED_TRACE(option);
        writeFile(p + QStringLiteral("help.hhp"), QByteArray("[OPTIONS]\r\nCompiled file=help.chm\r\n") + option +
                                                      "\r\nDefault topic=p.htm\r\n\r\n[FILES]\r\np.htm\r\n");
        QElapsedTimer clock;
        clock.start();
        const HhcRun run = runHhc(p + QStringLiteral("help.hhp"));
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_LT(clock.elapsed(), 60000);  // seconds, where it took hours
        EXPECT_LT(QFileInfo(p + QStringLiteral("help.chm")).size(), 4 << 20);
        EXPECT_TRUE(extractChm(p + QStringLiteral("help.chm"), tmp.path() + QStringLiteral("/out")));
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

// Ended while compiling, hhc stops at once with 128 + the signal and leaves nothing: no
// help file, no temporary file. Staging folders that earlier versions of hhc left when
// they were killed are swept at the next start; one of a running process stays.
TEST(HhcHostileProject, InterruptedCompileEndsAndLeavesNothing) {
    QTemporaryDir tmp;
    const QString folder = tmp.path() + QStringLiteral("/big/");
    // Enough pages that reading them takes far longer than a signal takes to arrive.
    QStringList contents;
    for (int n = 0; n < 3000; ++n) {
        writeFile(folder + QStringLiteral("temp/html/p%1.htm").arg(n),
                  QStringLiteral("<html><body>第%1页 page %1</body></html>").arg(n).toUtf8());
        contents << QStringLiteral("<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"页%1\">"
                                   "<param name=\"Local\" value=\"%H/p%1.htm\"></OBJECT>").arg(n);
    }
    const QString hhp = writeWorkbenchProject(folder, QStringLiteral("大"), QString(), contents, {});
    const QString chm = folder + QStringLiteral("大.CHM");
    const QString tmpDir = tmp.path() + QStringLiteral("/tmp");
    QDir().mkpath(tmpDir);
    QProcess gone;
    gone.start(QStringLiteral("true"));
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 dead = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    const QString stale = QStringLiteral("zelbrin-hhc-%1-AbC123").arg(dead);
    const QString live = QStringLiteral("zelbrin-hhc-%1-XyZ789").arg(QCoreApplication::applicationPid());
    ASSERT_TRUE(QDir().mkpath(tmpDir + u'/' + stale + QStringLiteral("/pages")));
    ASSERT_TRUE(QDir().mkpath(tmpDir + u'/' + live));

    // The first progress line comes as hhc starts to read the pages. The last round ends it
    // while it compresses and writes the help file: it then either says that it wrote the
    // file, which stands, or that it did not, and none stands.
    const struct {
        int signal;
        const char *line;
    } rounds[] = {{SIGTERM, "hhc: read"}, {SIGINT, "hhc: read"}, {SIGHUP, "hhc: read"}, {SIGTERM, "hhc: writing"}};
    for (const auto &[signal, line] : rounds) {
        SCOPED_TRACE(line);
        SCOPED_TRACE(signal);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmpDir);
        QProcess hhc;
        hhc.setProcessEnvironment(env);
        hhc.start(qEnvironmentVariable("ZELBRIN_BIN_DIR") + QStringLiteral("/hhc"), {hhp});
        ASSERT_TRUE(hhc.waitForStarted());
        QByteArray printed;
        while (!printed.contains(line) && hhc.state() == QProcess::Running) {
            hhc.waitForReadyRead(1000);
            printed += hhc.readAllStandardOutput();
        }
        ASSERT_TRUE(printed.contains(line)) << hhc.readAllStandardError().constData();
        ::kill(pid_t(hhc.processId()), signal);
        ASSERT_TRUE(hhc.waitForFinished(120000));
        printed += hhc.readAllStandardOutput();
        const QByteArray err = hhc.readAllStandardError();
        EXPECT_EQ(hhc.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(QDir(tmpDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{live});
        if (hhc.exitCode() == 0 && QByteArray(line) == "hhc: writing") {
            EXPECT_TRUE(printed.contains("hhc: wrote")) << err.constData();
            EXPECT_TRUE(QFileInfo::exists(chm));
            QFile::remove(chm);
        } else {
            EXPECT_EQ(hhc.exitCode(), 128 + signal) << err.constData();
            EXPECT_TRUE(err.contains("was not compiled")) << err.constData();
            EXPECT_FALSE(QFileInfo::exists(chm));
        }
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // What a killed hhc left beside the help file goes at the next compile; what a running
    // one writes stays.
    const QString staleTemp = QStringLiteral("大.CHM.tmp-%1-AbC123").arg(dead);
    const QString liveTemp = QStringLiteral("大.CHM.tmp-%1-XyZ789").arg(QCoreApplication::applicationPid());
    writeFile(folder + staleTemp, "half a help file");
    writeFile(folder + liveTemp, "half a help file");
    const HhcRun run = runHhc(hhp);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), (QStringList{QStringLiteral("大.CHM"), liveTemp}));
}
