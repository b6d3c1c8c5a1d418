// hhc end to end: the real program, its result unpacked with extract_chmLib and read as viewers read it.
#include "hhctesting.h"
#include "textencoding.h"
#include "workbenchproject.h"

#include "chmtables.h"
#include "compiler.h"
#include "readers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QDirIterator>
#include <QImage>
#include <QUrl>
#include <QtEndian>

#include <gtest/gtest.h>

#include <tuple>

using namespace hhctest;
using zelbrin::testing::ReadKeyword;
using zelbrin::testing::ReadTopic;
using zelbrin::testing::readKeywordListing;
using zelbrin::testing::readTopics;

namespace {

QString folderPart(const QString &path) {
    return path.left(path.lastIndexOf(u'/') + 1);
}

// The stored file that a link in a stored (GBK) page leads to (anchor removed).
QString linkTarget(const QString &unpacked, const QString &pageLocal, const QByteArray &link) {
    const QByteArray path = link.left(link.indexOf('#') < 0 ? link.size() : link.indexOf('#'));
    return QDir::cleanPath(unpacked + u'/' + folderPart(pageLocal) +
                           zelbrin::decodeGbk(QByteArray::fromPercentEncoding(path)));
}

QString stored(const QString &unpacked, const QString &local) {
    return QDir::cleanPath(unpacked + u'/' + QUrl::fromPercentEncoding(local.toUtf8()));
}

}  // namespace

TEST_F(WorkbenchProject, CompilesContentsWithGbkTitlesThatAllResolve) {
    const HhcRun run = runHhc(hhp);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_TRUE(QFileInfo(chm).isFile());
    // Nothing else appears beside the project (no temporary copy of the result).
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{name + QStringLiteral(".CHM")});

    const QString out = tmp.path() + QStringLiteral("/unpacked");
    ASSERT_TRUE(extractChm(chm, out));
    const QMap<int, QByteArray> system = systemRecords(out);
    // The window names the contents and index files, so #SYSTEM does not; both keep their names,
    // and the window records ASCII second names of them, which readers that take its names
    // for UTF-8 (kchmviewer, xchm) find too.
    EXPECT_FALSE(system.contains(0) || system.contains(1));
    const QByteArray windows = readFile(out + QStringLiteral("/#WINDOWS")), strings = readFile(out + QStringLiteral("/#STRINGS"));
    ASSERT_GE(windows.size(), 8 + 0x68);
    for (const auto &[field, own, second] : {std::tuple{0x60, ".hhc", "contents.hhc"}, std::tuple{0x64, ".hhk", "index.hhk"}}) {
        const quint32 at = qFromLittleEndian<quint32>(windows.constData() + 8 + field);
        ASSERT_LT(at, quint32(strings.size()));
        EXPECT_EQ(QByteArray(strings.constData() + at), second);
        EXPECT_EQ(readFile(out + u'/' + QLatin1String(second)), readFile(out + u'/' + name + QLatin1String(own)));
    }
    ASSERT_TRUE(system.contains(2) && system.contains(3));
    EXPECT_EQ(zelbrin::decodeGbk(system[3]), name);  // the title
    ASSERT_GE(system[4].size(), 4);
    EXPECT_EQ(qFromLittleEndian<quint32>(system[4].constData()), 0x0804u);  // Chinese (PRC)
    EXPECT_EQ(zelbrin::decodeGbk(system[16]), QStringLiteral("宋体,9,134"));  // the font in GB2312's character set

    const QList<SitemapEntry> contents = sitemapEntries(readFile(out + u'/' + name + QStringLiteral(".hhc")));
    QStringList names;
    for (const SitemapEntry &e : contents)
        names.append(e.name);
    EXPECT_EQ(names, (QStringList{QStringLiteral("指南"), QStringLiteral("简介"), QStringLiteral("附录"),
                                  QStringLiteral("数据"), QStringLiteral("说明"), QStringLiteral("空目录")}));
    QMap<QString, QString> local;
    for (const SitemapEntry &e : contents)
        local.insert(e.name, e.local);
    EXPECT_TRUE(local[QStringLiteral("指南")].isEmpty());
    EXPECT_TRUE(local[QStringLiteral("空目录")].isEmpty());  // a heading without a page
    const QMap<QString, QByteArray> markers{{QStringLiteral("简介"), "INTRO-MARKER"},
                                            {QStringLiteral("附录"), "APPENDIX-MARKER"},
                                            {QStringLiteral("数据"), "DATA-MARKER"},
                                            {QStringLiteral("说明"), "NOTES-MARKER"}};
    for (auto it = markers.begin(); it != markers.end(); ++it) {
        const QString l = local[it.key()];
        EXPECT_TRUE(readFile(stored(out, l)).contains(it.value())) << it.key().toStdString();
    }
    // Every page keeps the name it has below the project folder; the ".htm" the workbench
    // writes for an ".html" document names the file as it is.
    EXPECT_EQ(local[QStringLiteral("简介")], QStringLiteral("html/指南/简介.htm"));
    EXPECT_EQ(local[QStringLiteral("数据")], QStringLiteral("html/指南/附录/数据.htm"));
    EXPECT_EQ(local[QStringLiteral("说明")], QStringLiteral("html/说明.html"));

    const QList<SitemapEntry> index = sitemapEntries(readFile(out + u'/' + name + QStringLiteral(".hhk")));
    ASSERT_EQ(index.size(), 2);
    EXPECT_EQ(index[0].name, QStringLiteral("简介"));
    EXPECT_EQ(index[0].local, local[QStringLiteral("简介")]);
    EXPECT_EQ(index[1].name, QStringLiteral("数据"));
    EXPECT_EQ(index[1].local, local[QStringLiteral("数据")]);

    // The default topic is the window definition's: the page 简介.
    EXPECT_EQ(zelbrin::decodeGbk(system[2]), local[QStringLiteral("简介")]);

    // Every page is a topic with a title: its <title>, else its contents caption.
    QMap<QString, QString> titles;
    for (const ReadTopic &t : readTopics(out))
        titles.insert(zelbrin::decodeGbk(t.url), zelbrin::decodeGbk(t.title));
    for (const QString &caption : {QStringLiteral("简介"), QStringLiteral("附录"), QStringLiteral("数据"),
                                   QStringLiteral("说明")})
        EXPECT_EQ(titles.value(local[caption]), caption) << caption.toStdString();
    // The keyword index: each keyword once, readable, leading to its page.
    QString error;
    const QList<ReadKeyword> keywords =
        readKeywordListing(readFile(out + QStringLiteral("/$WWKeywordLinks/BTree")), &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    const QList<ReadTopic> topics = readTopics(out);
    QStringList read;
    for (const ReadKeyword &k : keywords) {
        read.append(k.text);
        ASSERT_EQ(k.topics.size(), 1);
        EXPECT_EQ(zelbrin::decodeGbk(topics.value(k.topics[0]).url), local[k.text]);
    }
    EXPECT_EQ(read, (QStringList{QStringLiteral("简介"), QStringLiteral("数据")}));  // in pinyin order
}

TEST_F(WorkbenchProject, EveryStoredFileReadsBackIdenticallyThroughEveryReader) {
    QList<zelbrin::chm::StoredFile> stored;
    zelbrin::hhc::CompileOptions options;
    options.storedFiles = &stored;
    const zelbrin::hhc::CompileResult result = zelbrin::hhc::compileHelpProject(hhp, options);
    ASSERT_TRUE(result.ok) << result.errors.join(u'\n').toStdString();
    QMap<QByteArray, QByteArray> expected;
    for (const zelbrin::chm::StoredFile &f : stored)
        expected.insert(f.name, f.data);
    EXPECT_EQ(zelbrin::chm::testing::compareWithReaders(chm, tmp.path(), expected), QString());
    EXPECT_EQ(expected.values().count(picture), 1);  // pictures go in as they came
    EXPECT_EQ(expected.values().count(chart), 1);
}

TEST_F(WorkbenchProject, PagesKeepPicturesStyleSheetsAndLinksBetweenFolders) {
    const HhcRun run = runHhc(hhp);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString out = tmp.path() + QStringLiteral("/unpacked");
    ASSERT_TRUE(extractChm(chm, out));
    QMap<QString, QString> local;
    for (const SitemapEntry &e : sitemapEntries(readFile(out + u'/' + name + QStringLiteral(".hhc"))))
        local.insert(e.name, e.local);
    const QString intro = local[QStringLiteral("简介")];
    const QString data = local[QStringLiteral("数据")];
    const QByteArray page = readFile(stored(out, intro));
    ASSERT_FALSE(page.isEmpty());

    const QString pic = linkTarget(out, intro, attributeNear(page, "id=\"pic\"", "src"));
    EXPECT_EQ(readFile(pic), picture);
    EXPECT_FALSE(QImage(pic).isNull());
    const QString css = linkTarget(out, intro, attributeNear(page, "rel=\"stylesheet\"", "href"));
    const QByteArray storedCss = readFile(css);
    ASSERT_TRUE(storedCss.startsWith("body { color: #202020; background: url(")) << storedCss.toStdString();
    const qsizetype open = storedCss.indexOf("url(") + 4;
    const QByteArray bg = storedCss.mid(open, storedCss.indexOf(')', open) - open);
    EXPECT_EQ(readFile(QDir::cleanPath(folderPart(css) + zelbrin::decodeGbk(bg))), background);

    // The link into the other catalog folder leads to the stored page of 数据, anchor kept.
    const QByteArray toData = attributeNear(page, "id=\"tofaq\"", "href");
    EXPECT_TRUE(toData.endsWith(QByteArray("#" + gbk(QStringLiteral("表1"))))) << toData.toStdString();
    EXPECT_EQ(linkTarget(out, intro, toData), stored(out, data));
    EXPECT_EQ(attributeNear(page, "id=\"ext\"", "href"), QByteArray("http://example.com/x.htm"));
    EXPECT_EQ(attributeNear(page, "id=\"anchor\"", "href"), QByteArray("#top"));
    // The GBK text around the links is as it was.
    EXPECT_TRUE(page.contains(gbk(QStringLiteral("<title>简介</title>"))));
    EXPECT_TRUE(page.contains(gbk(QStringLiteral("<p>这是简介页面 INTRO-MARKER</p>"))));
    EXPECT_TRUE(page.contains(gbk(QStringLiteral("\">数据</a> "))));

    const QByteArray dataPage = readFile(stored(out, data));
    EXPECT_EQ(linkTarget(out, data, attributeNear(dataPage, "id=\"back\"", "href")), stored(out, intro));
    EXPECT_EQ(readFile(linkTarget(out, data, attributeNear(dataPage, "id=\"chart\"", "src"))), chart);
    // The UTF-8 page is stored in GBK, and says so.
    EXPECT_TRUE(dataPage.contains(gbk(QStringLiteral("<p>数据 DATA-MARKER</p>"))));
    EXPECT_TRUE(dataPage.contains("<meta charset=\"gb2312\">")) << dataPage.constData();
}

TEST(HhcProgram, CompilesAHelpWorkshopProjectWithRelativePathsAndBackslashes) {
    // The contents file lies in a folder of its own: its Locals start from there.
    QTemporaryDir tmp;
    const QString p = tmp.path() + QStringLiteral("/ws/");
    writeFile(p + QStringLiteral("help.hhp"),
              "[OPTIONS]\r\nCompiled file=out\\guide.chm\r\nContents file=nav\\toc.hhc\r\nIndex file=idx.hhk\r\n"
              "Default topic=pages\\start.htm\r\nLanguage=0x804 Chinese (PRC)\r\nTitle=Guide\r\n"
              "Full-text search=Yes\r\n\r\n[FILES]\r\npages\\extra.htm\r\n\r\n[ALIAS]\r\nIDH_START=pages\\start.htm\r\n"
              "\r\n[MAP]\r\n#include ids.h\r\n");
    writeFile(p + QStringLiteral("ids.h"), "#define IDH_START 100\r\n");
    writeFile(p + QStringLiteral("nav/toc.hhc"),
              "<HTML><BODY><UL>\r\n<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Start\">"
              "<param name=\"Local\" value=\"..\\pages\\start.htm\"></OBJECT>\r\n"
              "<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Second\">"
              "<param name=\"Local\" value=\"../pages/sub%20dir/second%20page.htm#part\"></OBJECT>\r\n"
              "<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Web\">"
              "<param name=\"Local\" value=\"http://example.com/\"></OBJECT>\r\n</UL></BODY></HTML>\r\n");
    writeFile(p + QStringLiteral("idx.hhk"),
              "<HTML><BODY><UL>\r\n<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"start\">"
              "<param name=\"Local\" value=\"pages/start.htm\"></OBJECT>\r\n</UL></BODY></HTML>\r\n");
    // A keyword object of the help compiler: its keywords join the indexes, the object leaves the page.
    const QByteArray keywords = "<OBJECT type=\"application/x-oleobject\" classid=\"clsid:1e2a7bd0-dab9-11d0-b93a-00c04fc99f9e\">"
                                "<param name=\"Keyword\" value=\"beginning; opening\"><param name=\"ALink Name\" "
                                "value=\"first steps\"></OBJECT>";
    writeFile(p + QStringLiteral("pages/start.htm"),
              "<html><body>" + keywords + "START-MARKER <a id=\"s\" href=\"sub%20dir/second%20page.htm\">2</a>"
              "<img id=\"i\" src=\"..\\images\\logo.png\"></body></html>");
    writeFile(p + QStringLiteral("pages/sub dir/second page.htm"), "<html><body>SECOND-MARKER</body></html>");
    writeFile(p + QStringLiteral("pages/extra.htm"), "<html><body>EXTRA-MARKER</body></html>");
    const QByteArray logo = smallPng(0xffff0000);
    writeFile(p + QStringLiteral("images/logo.png"), logo);
    QDir().mkpath(p + QStringLiteral("out"));

    const HhcRun run = runHhc(p + QStringLiteral("help.hhp"));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString out = tmp.path() + QStringLiteral("/unpacked");
    ASSERT_TRUE(extractChm(p + QStringLiteral("out/guide.chm"), out));
    const QMap<int, QByteArray> system = systemRecords(out);
    EXPECT_EQ(system.value(3), QByteArray("Guide"));
    const QString start = zelbrin::decodeGbk(system.value(2));
    EXPECT_TRUE(readFile(stored(out, start)).contains("START-MARKER"));

    const QList<SitemapEntry> toc = sitemapEntries(readFile(out + QStringLiteral("/nav/toc.hhc")));
    ASSERT_EQ(toc.size(), 3);
    EXPECT_EQ(toc[0].local, u'/' + start);  // from the top, which every reader reads alike
    ASSERT_TRUE(toc[1].local.endsWith(QStringLiteral("#part")));
    const QString second = stored(out, toc[1].local.chopped(5));
    EXPECT_TRUE(readFile(second).contains("SECOND-MARKER"));
    EXPECT_EQ(toc[2].local, QStringLiteral("http://example.com/"));

    const QByteArray page = readFile(stored(out, start));
    EXPECT_EQ(page.indexOf("<OBJECT"), -1);
    QStringList indexed;
    for (const QString &index : {QStringLiteral("/$WWKeywordLinks/BTree"), QStringLiteral("/$WWAssociativeLinks/BTree")}) {
        for (const ReadKeyword &k : readKeywordListing(readFile(out + index)))
            indexed << k.text + u' ' + QString::fromLatin1(readTopics(out).value(k.topics.value(0)).url);
    }
    EXPECT_EQ(indexed, (QStringList{"beginning pages/start.htm", "opening pages/start.htm", "start pages/start.htm",
                                    "first steps pages/start.htm"}));
    EXPECT_EQ(linkTarget(out, start, attributeNear(page, "id=\"s\"", "href")), second);
    EXPECT_EQ(readFile(linkTarget(out, start, attributeNear(page, "id=\"i\"", "src"))), logo);
    // The file that only [FILES] names is stored as well.
    bool extraFound = false;
    for (QDirIterator it(out, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        extraFound = readFile(it.next()).contains("EXTRA-MARKER") || extraFound;
    EXPECT_TRUE(extraFound);
}

TEST(HhcProgram, HundredPagesCompileQuicklyAndCompletely) {
    QTemporaryDir tmp;
    const QString folder = tmp.path() + QStringLiteral("/大项目/");
    const QString html = folder + QStringLiteral("temp/html/");
    const QByteArray png = smallPng(0xff336699);
    QStringList contents;
    const QString text = QStringLiteral("<p>这是第%1页的正文。 Words for the full-text index, page %1.</p>");
    for (int c = 0; c < 10; ++c) {
        const QString catalog = QStringLiteral("第%1章").arg(c);
        contents.append(QStringLiteral("<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"%1\">"
                                       "<param name=\"ImageNumber\" value=\"1\"></OBJECT><UL>").arg(catalog));
        for (int k = 0; k < 10; ++k) {
            const int n = c * 10 + k;
            const QString page = QStringLiteral("页面%1").arg(n);
            writeFile(html + catalog + u'/' + page + QStringLiteral(".htm"),
                      gbk(QStringLiteral("<html><body>") + text.arg(n).repeated(20) +
                          QStringLiteral("<img src=\"%1.files/image001.png\"><a href=\"../第%2章/页面%3.htm\">下一章</a>"
                                         "PAGE-%4-END</body></html>")
                              .arg(page).arg((c + 1) % 10).arg(((c + 1) % 10) * 10).arg(n)));
            writeFile(html + catalog + u'/' + page + QStringLiteral(".files/image001.png"), png);
            contents << QStringLiteral("<LI> <OBJECT type=\"text/sitemap\">")
                     << QStringLiteral("<param name=\"Name\" value=\"%1\">").arg(page)
                     << QStringLiteral("<param name=\"Local\" value=\"%H%1/%2.htm\">").arg(catalog, page)
                     << QStringLiteral("<param name=\"ImageNumber\" value=\"11\"></OBJECT>");
        }
        contents.append(QStringLiteral("</UL></UL>"));
    }
    const QString hhp =
        writeWorkbenchProject(folder, QStringLiteral("大"), QStringLiteral("%H第0章/页面0.htm"), contents, {});
    QElapsedTimer timer;
    timer.start();
    const HhcRun run = runHhc(hhp);
    const qint64 ms = timer.elapsed();
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    RecordProperty("hhc_milliseconds_for_100_pages", int(ms));
    std::printf("hhc compiled 100 pages in %lld ms\n", static_cast<long long>(ms));
    EXPECT_LT(ms, 15000);

    const QString out = tmp.path() + QStringLiteral("/unpacked");
    ASSERT_TRUE(extractChm(folder + QStringLiteral("大.CHM"), out));
    const QList<SitemapEntry> entries = sitemapEntries(readFile(out + QStringLiteral("/大.hhc")));
    ASSERT_EQ(entries.size(), 110);
    int pages = 0;
    for (const SitemapEntry &e : entries) {
        if (e.local.isEmpty())
            continue;
        const int n = e.name.mid(2).toInt();
        const QByteArray page = readFile(stored(out, e.local));
        EXPECT_TRUE(page.contains(QStringLiteral("PAGE-%1-END").arg(n).toLatin1())) << e.local.toStdString();
        EXPECT_EQ(readFile(linkTarget(out, e.local, attributeNear(page, "image001", "src"))), png);
        ++pages;
    }
    EXPECT_EQ(pages, 100);
}

TEST_F(WorkbenchProject, WithoutAWindowDefaultTopicTheFirstContentsPageIsTheDefault) {
    QByteArray project = readFile(hhp);
    const QByteArray topic = "\"" + gbk(html + QStringLiteral("指南/简介.htm")) + "\"";
    ASSERT_TRUE(project.contains(topic));
    project.replace(topic, "\"\"");
    writeFile(hhp, project);
    const HhcRun run = runHhc(hhp);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString out = tmp.path() + QStringLiteral("/unpacked");
    ASSERT_TRUE(extractChm(chm, out));
    const QList<SitemapEntry> contents = sitemapEntries(readFile(out + u'/' + name + QStringLiteral(".hhc")));
    ASSERT_GE(contents.size(), 2);
    EXPECT_EQ(contents[1].name, QStringLiteral("简介"));  // contents[0] is the catalog 指南, no page
    EXPECT_EQ(zelbrin::decodeGbk(systemRecords(out).value(2)), contents[1].local);
}

TEST(HhcProgram, AnEmptyStructureTreeStillCompiles) {
    QTemporaryDir tmp;
    const QString folder = tmp.path() + QStringLiteral("/空/");
    const QString hhp = writeWorkbenchProject(folder, QStringLiteral("空项目"), QString(), {}, {});
    const HhcRun run = runHhc(hhp);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString out = tmp.path() + QStringLiteral("/unpacked");
    ASSERT_TRUE(extractChm(folder + QStringLiteral("空项目.CHM"), out));
    EXPECT_EQ(zelbrin::decodeGbk(systemRecords(out).value(3)), QStringLiteral("空项目"));
    EXPECT_TRUE(sitemapEntries(readFile(out + QStringLiteral("/空项目.hhc"))).isEmpty());
}

TEST(HhcProgram, CaptionsWithQuotesAndAngleBracketsAsTheWorkbenchWritesThem) {
    // The help-project writer puts captions in as they are, quotes and all; the folder
    // of a catalog's pages bears the caption too.
    QTemporaryDir tmp;
    const QString folder = tmp.path() + QStringLiteral("/proj/");
    const QString catalog = QStringLiteral("关于\"帮助\" <v2>");
    const QString page = QStringLiteral("%H") + catalog + QStringLiteral("/say \"hi\".htm");
    const QString hhp = writeWorkbenchProject(
        folder, QStringLiteral("引号"), QString(),
        {QStringLiteral("<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"") + catalog +
             QStringLiteral("\"><param name=\"ImageNumber\" value=\"1\"></OBJECT><UL>"),
         QStringLiteral("<LI> <OBJECT type=\"text/sitemap\">"),
         QStringLiteral("<param name=\"Name\" value=\"say \"hi\"\">"),
         QStringLiteral("<param name=\"Local\" value=\"") + page + QStringLiteral("\">"),
         QStringLiteral("<param name=\"ImageNumber\" value=\"11\"></OBJECT>"),
         QStringLiteral("</UL></UL>")},
        {QStringLiteral("<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"say \"hi\"\">"),
         QStringLiteral("<param name=\"Name\" value=\"%H") + catalog + QStringLiteral("/say \"hi\"\">"),
         QStringLiteral("<param name=\"Local\" value=\"") + page + QStringLiteral("\"></OBJECT>")});
    writeFile(folder + QStringLiteral("temp/html/") + catalog + QStringLiteral("/say \"hi\".htm"),
              "<html><body>QUOTE-MARKER</body></html>");

    const HhcRun run = runHhc(hhp);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString out = tmp.path() + QStringLiteral("/unpacked");
    ASSERT_TRUE(extractChm(folder + QStringLiteral("引号.CHM"), out));
    auto unescaped = [](QString s) {
        return s.replace(QStringLiteral("&quot;"), QStringLiteral("\""))
            .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    };
    const QList<SitemapEntry> contents = sitemapEntries(readFile(out + QStringLiteral("/引号.hhc")));
    ASSERT_EQ(contents.size(), 2);
    EXPECT_EQ(unescaped(contents[0].name), catalog);
    EXPECT_EQ(unescaped(contents[1].name), QStringLiteral("say \"hi\""));
    EXPECT_TRUE(readFile(stored(out, unescaped(contents[1].local))).contains("QUOTE-MARKER"));
    const QList<SitemapEntry> index = sitemapEntries(readFile(out + QStringLiteral("/引号.hhk")));
    ASSERT_EQ(index.size(), 1);
    EXPECT_EQ(unescaped(index[0].name), QStringLiteral("say \"hi\""));
    EXPECT_EQ(index[0].local, contents[1].local);
}
