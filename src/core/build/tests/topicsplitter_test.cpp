// The topic splitter on the shapes of page that the office writes but the real manuals of
// the end-to-end tests (src/tools/office-worker/tests) do not all show.
#include "documentoutline.h"
#include "topiccontents.h"
#include "topicsplitter.h"

#include <gtest/gtest.h>

using namespace zelbrin;

namespace {

QByteArray page(const QByteArray &body) {
    return "<!DOCTYPE html>\n<html>\n<head>\n\t<meta http-equiv=\"content-type\" content=\"text/html; "
           "charset=utf-8\"/>\n\t<title></title>\n</head>\n<body lang=\"zh-CN\">\n" +
           body + "</body>\n</html>\n";
}

// The body of a split page: from after <body ...> to before the navigation line.
QByteArray bodyOf(const TopicPage &topic) {
    const qsizetype from = topic.html.indexOf('>', topic.html.indexOf("<body")) + 1;
    const qsizetype to = topic.html.indexOf("\n<hr/>\n<p class=\"zelbrin-nav\">");
    return topic.html.mid(from, to - from);
}

DocumentOutline outline(QList<OutlineHeading> headings, QList<OutlineIndexEntry> entries = {}) {
    return {QStringLiteral("writer"), std::move(headings), std::move(entries)};
}

}  // namespace

TEST(TopicSplitter, CutsInsideSectionsAndListsAndClosesWhatIsOpen) {
    const QByteArray source = page(
        "<p>前言</p>\n"
        "<div id=\"Section1\">\n"
        "<ol>\n\t<li><p><a name=\"h1\"></a>第一章</p>\n</ol>\n<p>正文一 <a href=\"#h2\">见第二章</a></p>\n"
        "<ol>\n\t<li><p><a name=\"_Toc5\"></a><a name=\"h2\"></a>第二章</p>\n</ol>\n"
        "<p>正文二<a class=\"sdfootnoteanc\" name=\"sdfootnote1anc\" href=\"#sdfootnote1sym\"><sup>1</sup></a></p>\n"
        "<h2><a name=\"h3\"></a>小节</h2><p>小节正文</p>\n"
        "</div>\n"
        "<h1><a name=\"h4\"></a>附录 &amp; 索引</h1><p>附录正文</p>\n"
        "<div id=\"sdfootnote1\"><p><a class=\"sdfootnotesym\" name=\"sdfootnote1sym\" "
        "href=\"#sdfootnote1anc\">1</a>注释</p></div>\n");
    const DocumentOutline headings = outline({{1, "1. 第一章", "h1"},
                                              {1, "2. 第二章", "h2"},
                                              {2, "2.1 小节", "h3"},
                                              {1, "附录 & 索引", "h4"}});
    const TopicSplit split = splitTopics(source, QStringLiteral("手册 #1.htm"), QStringLiteral("手册"), headings, 1);
    ASSERT_EQ(split.pages.size(), 4);
    EXPECT_EQ(bodyOf(split.pages[0]), "\n<p>前言</p>\n");
    EXPECT_EQ(bodyOf(split.pages[1]),
              "<div id=\"Section1\">\n<ol>\n\t<li><p><a name=\"h1\"></a>第一章</p>\n</ol>\n"
              "<p>正文一 <a href=\"手册%20%231_part2.htm#h2\">见第二章</a></p>\n</div>");
    // The note goes with its call; the level-2 heading stays inside its chapter.
    EXPECT_EQ(bodyOf(split.pages[2]),
              "<div id=\"Section1\"><ol>\n\t<li><p><a name=\"_Toc5\"></a><a name=\"h2\"></a>第二章</p>\n</ol>\n"
              "<p>正文二<a class=\"sdfootnoteanc\" name=\"sdfootnote1anc\" href=\"#sdfootnote1sym\"><sup>1</sup></a></p>\n"
              "<h2><a name=\"h3\"></a>小节</h2><p>小节正文</p>\n</div>\n\n"
              "<div id=\"sdfootnote1\"><p><a class=\"sdfootnotesym\" name=\"sdfootnote1sym\" "
              "href=\"#sdfootnote1anc\">1</a>注释</p></div>");
    EXPECT_EQ(bodyOf(split.pages[3]), "<h1><a name=\"h4\"></a>附录 &amp; 索引</h1><p>附录正文</p>\n\n");
    EXPECT_TRUE(split.pages[3].html.contains("<title>附录 &amp; 索引</title>"));
    EXPECT_TRUE(split.pages[3].html.contains("<a href=\"手册%20%231_part2.htm\" title=\"2. 第二章\">上一页</a> | "
                                             "<a href=\"手册%20%231.htm\" title=\"手册\">上一级</a></p>"));
    EXPECT_EQ(split.localOf(QStringLiteral("h2")), QStringLiteral("手册 #1_part2.htm"));
    EXPECT_EQ(split.localOf(QStringLiteral("h3")), QStringLiteral("手册 #1_part2.htm#h3"));
    EXPECT_EQ(split.titleAt(QStringLiteral("sdfootnote1sym"), headings), QStringLiteral("2. 第二章"));

    // Contents two levels deep, and down to one.
    const QList<TopicEntry> contents = topicContents(headings, split, 2);
    ASSERT_EQ(contents.size(), 3);
    ASSERT_EQ(contents[1].children.size(), 1);
    EXPECT_EQ(contents[1].children[0].local, QStringLiteral("手册 #1_part2.htm#h3"));
    EXPECT_TRUE(topicContents(headings, split, 1)[1].children.isEmpty());
    EXPECT_TRUE(topicContents(headings, split, 0).isEmpty());
}

TEST(TopicSplitter, LeavesWhatItCannotCutAndMergesAnEmptyStart) {
    const QByteArray source = page("<p><br/></p>\n<h1><a name=\"a\"></a>甲</h1><p>一</p>\n"
                                   "<h1><a name=\"c\"></a>丙</h1><p>三</p>\n<h1><a name=\"b\"></a>乙</h1>\n");
    // 丙 stands before 乙 in the page but after it in the outline; 丁 is not in the page.
    const DocumentOutline headings = outline({{1, "甲", "a"}, {1, "乙", "b"}, {1, "丙", "c"}, {1, "丁", "d"}});
    const TopicSplit split = splitTopics(source, QStringLiteral("p.htm"), QStringLiteral("文档"), headings, 1);
    ASSERT_EQ(split.pages.size(), 2);
    // Nothing to read before the first heading: its page is the document's own.
    EXPECT_EQ(split.pages[0].fileName, QStringLiteral("p.htm"));
    EXPECT_EQ(split.pages[0].title, QStringLiteral("甲"));
    EXPECT_EQ(split.pages[1].title, QStringLiteral("乙"));
    EXPECT_EQ(split.localOf(QStringLiteral("a")), QStringLiteral("p.htm"));
    EXPECT_EQ(split.localOf(QStringLiteral("c")), QStringLiteral("p.htm#c"));
    EXPECT_TRUE(split.localOf(QStringLiteral("d")).isEmpty());
    EXPECT_FALSE(split.pages[1].html.contains("上一级"));
    EXPECT_EQ(topicContents(headings, split, 2).size(), 3);

    // Off, the page is the office's with the title it is given.
    const TopicSplit whole = splitTopics(source, QStringLiteral("p.htm"), QStringLiteral("<文档>"), headings, 0);
    ASSERT_EQ(whole.pages.size(), 1);
    QByteArray expected = source;
    expected.replace("<title></title>", "<title>&lt;文档&gt;</title>");
    EXPECT_EQ(whole.pages[0].html, expected);
    EXPECT_EQ(whole.localOf(QStringLiteral("c")), QStringLiteral("p.htm#c"));
    EXPECT_EQ(withPageTitle("<html><head></head><body></body></html>", QStringLiteral("标题")),
              "<html><head><title>标题</title></head><body></body></html>");

    // The first heading's anchor, which the office leaves out when the document opens with
    // it, goes back where that heading's text stands first; nowhere else.
    const DocumentOutline opening = outline({{1, "1 安装", "h1"}, {1, "卸载", "h2"}});
    const QByteArray bare = page("<h1 class=\"w\"><font>安 装</font></h1><p>一</p><h1><a name=\"h2\"></a>卸载</h1>");
    QByteArray mended = bare;
    mended.replace("<h1 class=\"w\">", "<h1 class=\"w\"><a name=\"h1\"></a>");
    EXPECT_EQ(withFirstHeadingAnchor(bare, opening), mended);
    EXPECT_EQ(withFirstHeadingAnchor(mended, opening), mended);
    EXPECT_EQ(withFirstHeadingAnchor(page("<h2>目录</h2><h1>安装</h1>"), opening), page("<h2>目录</h2><h1>安装</h1>"));
    EXPECT_EQ(splitTopics(withFirstHeadingAnchor(bare, opening), "p.htm", "文档", opening, 1).pages.size(), 2);
}

TEST(TopicSplitter, NamesPagesAndReadsOutlinesAndIndexEntries) {
    EXPECT_EQ(topicPageFileName(QStringLiteral("guide.htm"), 3), QStringLiteral("guide_part3.htm"));
    const QString longName = QString(84, QChar(0x6587)) + QStringLiteral(".htm");  // 256 bytes
    const QString shortened = topicPageFileName(longName, 12);
    EXPECT_LE(shortened.toUtf8().size(), 255);
    EXPECT_TRUE(shortened.endsWith(QStringLiteral("_part12.htm")));
    EXPECT_NE(shortened, topicPageFileName(QString(84, QChar(0x5B57)) + QStringLiteral(".htm"), 12));

    EXPECT_EQ(splitIndexEntryText(QStringLiteral(" 主条目 : 次条目 ")), (QStringList{"主条目", "次条目"}));
    EXPECT_EQ(splitIndexEntryText(QStringLiteral("时间\\:日期::秒")), (QStringList{"时间:日期", "秒"}));
    EXPECT_TRUE(splitIndexEntryText(QStringLiteral(" : ")).isEmpty());

    DocumentOutline written = outline({{2, "第一章", "h1"}}, {{{"主条目", "次条目"}, "x1"}});
    const std::optional<DocumentOutline> read = readOutline(writeOutline(written));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->headings[0].text, QStringLiteral("第一章"));
    EXPECT_EQ(read->headings[0].level, 2);
    EXPECT_EQ(read->indexEntries[0].levels, (QStringList{"主条目", "次条目"}));
    EXPECT_FALSE(readOutline("{\"version\": 2, \"headings\": []}").has_value());
    EXPECT_FALSE(readOutline("not json").has_value());
    const auto partial = readOutline(
        "{\"version\": 1, \"headings\": [{\"level\": 1, \"text\": \"\\t\", \"anchor\": \"a\"}, "
        "{\"level\": 0, \"text\": \"x\", \"anchor\": \"b\"}], \"index\": [{\"levels\": [\" \"], \"anchor\": \"c\"}]}");
    ASSERT_TRUE(partial.has_value());
    EXPECT_TRUE(partial->headings.isEmpty());
    EXPECT_TRUE(partial->indexEntries.isEmpty());
}
