#include "builderror.h"
#include "helpproject.h"
#include "structuretree.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelbrin;

namespace {

const QString kProject = QStringLiteral("/srv/Work/");
const QString kHtml = QStringLiteral("/srv/Work/temp/html/");
const QByteArray kFontGbk = "\xCB\xCE\xCC\xE5,9,0";  // 宋体,9,0

// Line lists compared as text, so that a failure shows readable lines.
std::string text(const QStringList &lines) { return lines.join('\n').toStdString(); }

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QByteArray crlf(std::initializer_list<QByteArray> lines) {
    QByteArray out;
    for (const QByteArray &l : lines)
        out += l + "\r\n";
    return out;
}

const QByteArray kContentsHead = crlf({
    "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\"><HTML><HEAD><meta name=\"GENERATOR\"><!-- Sitemap 1.0 "
    "--></HEAD><BODY><OBJECT type=\"text/site properties\">",
    "<param name=\"FrameName\" value=\"right\">",
    "<param name=\"ImageType\" value=\"Folder\">",
    "<param name=\"Window Styles\" value=\"519\">",
    "<param name=\"Foreground\" value=\"0x80000008\">",
    "<param name=\"Background\" value=\"0xFFFFFF\">",
    "<param name=\"Font\" value=\"" + kFontGbk + "\"></OBJECT>",
});
const QByteArray kIndexHead = crlf({
    "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\"><HTML><HEAD>",
    "<meta name=\"GENERATOR\" content=\"Microsoft&reg; HTML Help Workshop 4.1\">",
    "<!-- Sitemap 1.0 -->",
    "</HEAD><BODY><UL>",
});
const QByteArray kIndexTail = "</UL></BODY></HTML>\r\n";

QByteArray hhpBytes(const QByteArray &dir, const QByteArray &name, const QByteArray &topic) {
    return crlf({
        "[OPTIONS]",
        "Compatibility=1.1 or later",
        "Default Font=" + kFontGbk,
        "Compiled file=" + dir + name + ".CHM",
        "Contents file=" + dir + "temp/" + name + ".hhc",
        "index file=" + dir + "temp/" + name + ".hhk",
        "Default topic=" + name,
        "Default Window=win",
        "Full-text search=Yes",
        "Display compile progress=Yes",
        "Language=0x0804",
        "[WINDOWS]",
        "",
        "win=\"" + name + "\",\"" + dir + "temp/" + name + ".hhc\",\"" + dir + "temp/" + name + ".hhk\",\"" +
            topic + "\",\"\",\"\",\"\",\"\",\"\",463904,185,1063038,[47,69,672,548],0,0,,0,0,0,0",
        "[FILES]",
        "[MERGE FILES]",
    });
}

struct Sitemaps {
    QStringList contents, index;
    // The lines that follow the fixed head of each file.
    QStringList contentsBody() const { return contents.mid(7); }
    QStringList indexBody() const { return index.mid(4, index.size() - 5); }
};

Sitemaps write(const StructureModel &tree) {
    Sitemaps s;
    writeSitemaps(s.contents, s.index, tree, kHtml);
    return s;
}

QString pagePath(const StructureModel &tree, const TreeNode *node) { return kHtml + PageLayout(tree).pagePath(node); }

TreeNode *add(StructureModel &tree, TreeNode *parent, const QString &caption, const QString &link = {}) {
    return tree.append(parent, caption, link, link.isEmpty() ? ImageIndex::Catalog : ImageIndex::Page);
}

}  // namespace

TEST(HelpProject, WorkedExampleIsSavedByteForByte) {
    StructureModel tree;
    TreeNode *guide = add(tree, nullptr, "Guide");
    add(tree, guide, "Intro.doc", "/srv/Docs/Intro.doc");
    TreeNode *appendix = add(tree, guide, "Appendix", "/srv/Docs/Appendix.doc");
    add(tree, appendix, "Data.xls", "/srv/Docs/Tables/Data.xls");
    add(tree, nullptr, "Notes.txt", "/srv/Docs/Notes.txt");

    QTemporaryDir dir;
    Sitemaps s = write(tree);
    const QString hhc = dir.filePath("Manual.hhc"), hhk = dir.filePath("Manual.hhk"),
                  hhp = dir.filePath("Manual.hhp");
    saveGbkLines(hhc, s.contents);
    saveGbkLines(hhk, s.index);
    saveGbkLines(hhp, helpProjectLines(kProject, "Manual", kHtml + "Guide/Intro.htm"));

    EXPECT_EQ(readAll(hhp), hhpBytes("/srv/Work/", "Manual", "/srv/Work/temp/html/Guide/Intro.htm"));
    EXPECT_EQ(readAll(hhc),
              kContentsHead +
                  crlf({
                      "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Guide\"><param "
                      "name=\"ImageNumber\" value=\"1\"></OBJECT><UL>",
                      "<LI> <OBJECT type=\"text/sitemap\">",
                      "<param name=\"Name\" value=\"Intro\">",
                      "<param name=\"Local\" value=\"/srv/Work/temp/html/Guide/Intro.htm\">",
                      "<param name=\"ImageNumber\" value=\"11\"></OBJECT>",
                      "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Appendix\"><param "
                      "name=\"ImageNumber\" value=\"1\"><param name=\"Local\" "
                      "value=\"/srv/Work/temp/html/Guide/Appendix.htm\"></OBJECT><UL>",
                      "<LI> <OBJECT type=\"text/sitemap\">",
                      "<param name=\"Name\" value=\"Data\">",
                      "<param name=\"Local\" value=\"/srv/Work/temp/html/Guide/Appendix/Data.htm\">",
                      "<param name=\"ImageNumber\" value=\"11\"></OBJECT>",
                      "</UL>",
                      "</UL></UL>",
                      "<UL><LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Notes\">",
                      "<param name=\"Name\" value=\"Notes\">",
                      "<param name=\"Local\" value=\"/srv/Work/temp/html/Notes.htm\"></OBJECT></UL>",
                  }));
    EXPECT_EQ(readAll(hhk),
              kIndexHead +
                  crlf({
                      "<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Intro\">",
                      "<param name=\"Name\" value=\"/srv/Work/temp/html/Guide/Intro\">",
                      "<param name=\"Local\" value=\"/srv/Work/temp/html/Guide/Intro.htm\"></OBJECT>",
                      "<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Data\">",
                      "<param name=\"Name\" value=\"/srv/Work/temp/html/Guide/Appendix/Data\">",
                      "<param name=\"Local\" value=\"/srv/Work/temp/html/Guide/Appendix/Data.htm\"></OBJECT>",
                  }) +
                  kIndexTail);
    // The pages the conversion writes are the ones the contents name.
    EXPECT_EQ(pagePath(tree, appendix->child(0)), kHtml + "Guide/Appendix/Data.htm");
    EXPECT_EQ(pagePath(tree, appendix), kHtml + "Guide/Appendix.htm");
    EXPECT_EQ(pagePath(tree, tree.topLevel(1)), kHtml + "Notes.htm");
    // writeSitemapBranch hands back the block with CR LF after each line for the caller to trim.
    QStringList index;
    const QString block = writeSitemapBranch(appendix, index, PageLayout(tree), kHtml);
    EXPECT_EQ(block, "<LI> <OBJECT type=\"text/sitemap\">\r\n<param name=\"Name\" value=\"Data\">\r\n"
                     "<param name=\"Local\" value=\"/srv/Work/temp/html/Guide/Appendix/Data.htm\">\r\n"
                     "<param name=\"ImageNumber\" value=\"11\"></OBJECT>\r\n");
    EXPECT_EQ(index.size(), 3);
}

TEST(HelpProject, EmptyTreeGivesTheFixedLinesOnly) {
    StructureModel tree;
    QTemporaryDir dir;
    Sitemaps s = write(tree);
    saveGbkLines(dir.filePath("E.hhc"), s.contents);
    saveGbkLines(dir.filePath("E.hhk"), s.index);
    saveGbkLines(dir.filePath("E.hhp"), helpProjectLines("/p/", "E", QString()));
    EXPECT_EQ(readAll(dir.filePath("E.hhc")), kContentsHead);
    EXPECT_EQ(readAll(dir.filePath("E.hhk")), kIndexHead + kIndexTail);
    const QByteArray hhp = readAll(dir.filePath("E.hhp"));
    EXPECT_EQ(hhp, hhpBytes("/p/", "E", ""));
    EXPECT_TRUE(hhp.contains("\"/p/temp/E.hhk\",\"\",\"\",\"\",\"\",\"\",\"\",463904"));
    EXPECT_FALSE(hhp.startsWith("\xEF\xBB\xBF"));
}

TEST(HelpProject, bareFileName) {
    EXPECT_EQ(bareFileName("/srv/Docs/Intro.doc"), "Intro");
    EXPECT_EQ(bareFileName("report.final.doc"), "report.final");
    EXPECT_EQ(bareFileName("Notes"), "Notes");
    EXPECT_EQ(bareFileName(".profile"), "");
    EXPECT_EQ(bareFileName("/srv/Docs/"), "");
    EXPECT_EQ(bareFileName(""), "");
    EXPECT_EQ(bareFileName("/srv/my.docs/readme"), "readme");
    EXPECT_EQ(bareFileName("/srv/文档/说明书.doc"), "说明书");
    // Only "/" separates on this system: ":" and "\" belong to the file name.
    EXPECT_EQ(bareFileName("D:Intro.doc"), "D:Intro");
    EXPECT_EQ(bareFileName("Sub\\Page.doc"), "Sub\\Page");
}

TEST(HelpProject, LeavesAndBranchesWithAndWithoutLinksAtBothLevels) {
    StructureModel tree;
    add(tree, nullptr, "Empty");                                  // top-level leaf, no link
    TreeNode *blank = add(tree, nullptr, "v1.2", " \t ");         // branch, blank link
    add(tree, blank, "Version 2.0", "/d/Version 2.0.doc");        // child leaf
    add(tree, blank, "Sub/Page.doc", "/d/a.doc");                 // caption with a folder part
    add(tree, blank, "Same", "/d/a.xls");                         // same bare name as a.doc: its own page
    add(tree, blank, "Lonely");                                   // child catalog without children
    TreeNode *inner = add(tree, blank, "Inner", "  ");            // child branch, blank link
    add(tree, inner, "x.txt", "/d/x.txt");
    TreeNode *linked = add(tree, blank, "Linked", "/d/l.doc");    // child branch with link
    add(tree, linked, "A&B <\"q\">.doc", "/d/q.doc");

    Sitemaps s = write(tree);
    const QStringList expected = {
        "<UL><LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Empty\">",
        "<param name=\"Name\" value=\"Empty\">",
        "<param name=\"Local\" value=\"/srv/Work/temp/html/.htm\"></OBJECT></UL>",
        "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"v1.2\"><param name=\"ImageNumber\" "
        "value=\"1\"></OBJECT><UL>",
        "<LI> <OBJECT type=\"text/sitemap\">",
        "<param name=\"Name\" value=\"Version 2\">",
        "<param name=\"Local\" value=\"/srv/Work/temp/html/v1.2/Version 2.0.htm\">",
        "<param name=\"ImageNumber\" value=\"11\"></OBJECT>",
        "<LI> <OBJECT type=\"text/sitemap\">",
        "<param name=\"Name\" value=\"Page\">",
        "<param name=\"Local\" value=\"/srv/Work/temp/html/v1.2/a.htm\">",
        "<param name=\"ImageNumber\" value=\"11\"></OBJECT>",
        "<LI> <OBJECT type=\"text/sitemap\">",
        "<param name=\"Name\" value=\"Same\">",
        "<param name=\"Local\" value=\"/srv/Work/temp/html/v1.2/a_2.htm\">",
        "<param name=\"ImageNumber\" value=\"11\"></OBJECT>",
        "<LI> <OBJECT type=\"text/sitemap\">",
        "<param name=\"Name\" value=\"Lonely\">",
        "<param name=\"Local\" value=\"/srv/Work/temp/html/v1.2/.htm\">",
        "<param name=\"ImageNumber\" value=\"11\"></OBJECT>",
        "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Inner\"><param name=\"ImageNumber\" "
        "value=\"1\"></OBJECT><UL>",
        "<LI> <OBJECT type=\"text/sitemap\">",
        "<param name=\"Name\" value=\"x\">",
        "<param name=\"Local\" value=\"/srv/Work/temp/html/v1.2/Inner/x.htm\">",
        "<param name=\"ImageNumber\" value=\"11\"></OBJECT>",
        "</UL>",
        "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Linked\"><param name=\"ImageNumber\" "
        "value=\"1\"><param name=\"Local\" value=\"/srv/Work/temp/html/v1.2/l.htm\"></OBJECT><UL>",
        "<LI> <OBJECT type=\"text/sitemap\">",
        "<param name=\"Name\" value=\"A&B <\"q\">\">",
        "<param name=\"Local\" value=\"/srv/Work/temp/html/v1.2/Linked/q.htm\">",
        "<param name=\"ImageNumber\" value=\"11\"></OBJECT>",
        "</UL>",
        "</UL></UL>",
    };
    EXPECT_EQ(text(s.contentsBody()), text(expected));
    // Index: every leaf below the top level, depth first; none for the top-level leaf.
    const QStringList names = s.indexBody().filter("<LI> ");
    EXPECT_EQ(text(names), text({
                         "<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Version 2\">",
                         "<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Page\">",
                         "<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Same\">",
                         "<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Lonely\">",
                         "<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"x\">",
                         "<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"A&B <\"q\">\">",
                     }));
    EXPECT_EQ(s.indexBody().size(), 18);
    EXPECT_EQ(s.indexBody()[10], "<param name=\"Name\" value=\"/srv/Work/temp/html/v1.2/Lonely\">");
    EXPECT_EQ(s.indexBody()[11], "<param name=\"Local\" value=\"/srv/Work/temp/html/v1.2/.htm\"></OBJECT>");
    EXPECT_EQ(s.indexBody()[13], "<param name=\"Name\" value=\"/srv/Work/temp/html/v1.2/Inner/x\">");
}

TEST(HelpProject, TopLevelBranchWithLinkNamesItsPage) {
    StructureModel tree;
    TreeNode *top = add(tree, nullptr, "Top", " /d/top.doc ");
    add(tree, top, "c.doc", "/d/c.doc");
    Sitemaps s = write(tree);
    // The link is tested trimmed but its bare name is taken as it stands.
    EXPECT_EQ(s.contentsBody()[0],
              "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Top\"><param "
              "name=\"ImageNumber\" value=\"1\"><param name=\"Local\" value=\"/srv/Work/temp/html/top.htm\"></OBJECT><UL>");
    EXPECT_EQ(pagePath(tree, top), kHtml + "top.htm");
}

TEST(HelpProject, CaptionsThatAreNoPlainFolderNameStayInsideTheHtmlFolder) {
    EXPECT_EQ(safeFolderName("Guide"), "Guide");
    EXPECT_EQ(safeFolderName("使用指南"), "使用指南");
    EXPECT_EQ(safeFolderName("v1.2 (draft): *new*"), "v1.2 (draft): *new*");
    EXPECT_EQ(safeFolderName("..."), "...");
    EXPECT_EQ(safeFolderName(".."), "_..");
    EXPECT_EQ(safeFolderName("."), "_.");
    EXPECT_EQ(safeFolderName(""), "_");
    EXPECT_EQ(safeFolderName("/"), "_");
    EXPECT_EQ(safeFolderName("../../etc"), ".._.._etc");
    EXPECT_EQ(safeFolderName("a\\b"), "a_b");
    EXPECT_EQ(safeFolderName(QString("a") + QChar(0) + "b\tc\nd"), "a_b_c_d");
    EXPECT_EQ(safeFolderName("  x y "), "__x y_");
    EXPECT_EQ(safeFolderName(QStringLiteral("\u3000标题")), "_标题");
    // Names the file system would refuse as too long are cut, and stay distinct.
    const QString longA = QString(200, QChar(0x4E2D)) + "A", longB = QString(200, QChar(0x4E2D)) + "B";
    EXPECT_LE(safeFolderName(longA).toUtf8().size(), 255);
    EXPECT_NE(safeFolderName(longA), safeFolderName(longB));
    EXPECT_TRUE(safeFolderName(longA).startsWith(QString(80, QChar(0x4E2D))));

    StructureModel tree;
    TreeNode *up = add(tree, nullptr, "..");
    TreeNode *abs = add(tree, up, "/etc");
    TreeNode *dot = add(tree, abs, ".");
    TreeNode *leaf = add(tree, dot, "passwd", "/d/passwd.doc");
    TreeNode *other = add(tree, up, "../..");
    add(tree, other, "x", "/d/x.doc");
    EXPECT_EQ(catalogPath(leaf), "_../_etc/_./");
    EXPECT_EQ(catalogPath(up), "");
    const QString page = pagePath(tree, leaf);
    EXPECT_EQ(page, kHtml + "_../_etc/_./passwd.htm");
    EXPECT_TRUE(QDir::cleanPath(page).startsWith(kHtml));
    EXPECT_TRUE(QDir::cleanPath(pagePath(tree, other->child(0))).startsWith(kHtml));

    // Contents and index name the mapped paths; the titles keep the captions.
    Sitemaps s = write(tree);
    const QString all = s.contents.join('\n') + s.index.join('\n');
    EXPECT_TRUE(all.contains("value=\"" + page + "\""));
    EXPECT_TRUE(all.contains("value=\"" + kHtml + "_../_etc/_./passwd\""));
    EXPECT_TRUE(all.contains("value=\"" + kHtml + "_../.._../x.htm\""));
    EXPECT_TRUE(all.contains("<param name=\"Name\" value=\"/etc\">"));
    EXPECT_TRUE(all.contains("<param name=\"Name\" value=\"..\">"));
    int checked = 0;
    for (const QString &line : s.contents + s.index) {
        const qsizetype at = line.indexOf("name=\"Local\" value=\"/");
        if (at >= 0) {
            const qsizetype from = at + 20;
            ++checked;
            const QString value = line.mid(from, line.indexOf('"', from) - from);
            EXPECT_TRUE(QDir::cleanPath(value).startsWith(kHtml)) << value.toStdString();
        }
    }
    EXPECT_EQ(checked, 4);  // two leaves, each in the contents and in the index
}

TEST(HelpProject, HtmlLinksKeepTheirOwnFileName) {
    EXPECT_EQ(pageFileName("/d/page.html"), "page.html");
    EXPECT_EQ(pageFileName("/d/PAGE.HTML"), "PAGE.HTML");
    EXPECT_EQ(pageFileName("/d/Mixed.HtMl"), "Mixed.HtMl");
    EXPECT_EQ(pageFileName("/d/page.htm"), "page.htm");
    EXPECT_EQ(pageFileName("/d/page.HTM"), "page.htm");
    EXPECT_EQ(pageFileName("/d/page.html.doc"), "page.html.htm");
    EXPECT_EQ(pageFileName("/d/report.doc"), "report.htm");
    EXPECT_EQ(pageFileName(""), ".htm");

    StructureModel tree;
    TreeNode *cat = add(tree, nullptr, "Web", "/d/home.HTML");
    TreeNode *leaf = add(tree, cat, "page.html", "/d/page.html");
    add(tree, nullptr, "top.html", "/d/top.html");
    EXPECT_EQ(pagePath(tree, leaf), kHtml + "Web/page.html");
    Sitemaps s = write(tree);
    EXPECT_TRUE(s.contentsBody()[0].endsWith("<param name=\"Local\" value=\"" + kHtml + "home.HTML\"></OBJECT><UL>"));
    EXPECT_EQ(s.contentsBody()[3], "<param name=\"Local\" value=\"" + kHtml + "Web/page.html\">");
    EXPECT_EQ(s.contentsBody().last(), "<param name=\"Local\" value=\"" + kHtml + "top.html\"></OBJECT></UL>");
    EXPECT_EQ(s.indexBody()[1], "<param name=\"Name\" value=\"" + kHtml + "Web/page\">");
    EXPECT_EQ(s.indexBody()[2], "<param name=\"Local\" value=\"" + kHtml + "Web/page.html\"></OBJECT>");
}

TEST(HelpProject, ChineseIsWrittenInGbk) {
    StructureModel tree;
    TreeNode *cat = add(tree, nullptr, "指南");
    add(tree, cat, "简介.doc", "/d/简介.doc");
    QTemporaryDir dir;
    Sitemaps s = write(tree);
    ASSERT_NO_THROW(checkGbkCaptions(tree));
    saveGbkLines(dir.filePath("m.hhc"), s.contents);
    const QByteArray bytes = readAll(dir.filePath("m.hhc"));
    EXPECT_TRUE(bytes.contains("value=\"\xD6\xB8\xC4\xCF\">"));                          // 指南
    EXPECT_TRUE(bytes.contains("/html/\xD6\xB8\xC4\xCF/\xBC\xF2\xBD\xE9.htm\">\r\n"));  // 指南/简介.htm
    EXPECT_FALSE(bytes.contains("\xE6\x8C\x87"));                                       // no UTF-8
}

TEST(HelpProject, TextGbkCannotHoldIsABuildError) {
    StructureModel tree;
    TreeNode *cat = add(tree, nullptr, "Fine");
    add(tree, cat, "ok.doc", "/😀/ok.doc");  // the folder of a link is never written
    add(tree, cat, "😀/ok2.doc", "/d/ok2.doc");  // nor the folder part of a leaf's caption
    EXPECT_NO_THROW(checkGbkCaptions(tree));

    TreeNode *bad = add(tree, cat, "ทดสอบ");
    add(tree, bad, "leaf", "/d/leaf.doc");
    add(tree, nullptr, "Later 😀");
    try {
        checkGbkCaptions(tree);
        ADD_FAILURE() << "no error";
    } catch (const BuildError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("目录名称“ทดสอบ”含有GBK编码无法表示的字符"));
    }
    tree.setCaption(bad, "ok");
    try {
        checkGbkCaptions(tree);
        ADD_FAILURE() << "no error";
    } catch (const BuildError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("目录名称“Later 😀”含有GBK编码无法表示的字符"));
    }
    tree.setLink(bad->child(0), "/d/😀.doc");
    try {
        checkGbkCaptions(tree);
        ADD_FAILURE() << "no error";
    } catch (const BuildError &e) {
        EXPECT_TRUE(e.message().contains("/d/😀.doc"));
    }

    // So are the headings and index entries of documents, deep down included.
    tree.setLink(bad->child(0), "/d/leaf.doc");
    tree.setCaption(tree.topLevel(1), "Later");
    DocumentTopicsMap topics;
    topics[bad->child(0)].contents = {{"1 概述", "leaf.htm", {{"1.1 ทดสอบ", "leaf.htm#a", {}}}}};
    EXPECT_NO_THROW(checkGbkCaptions(tree));
    try {
        checkGbkTopics(tree, topics);
        ADD_FAILURE() << "no error";
    } catch (const BuildError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("文档“/d/leaf.doc”的标题或索引项“1.1 ทดสอบ”含有GBK编码无法表示的字符"));
    }
    topics[bad->child(0)].contents = {};
    topics[bad->child(0)].keywords = {{"主条目", {}, {{"次条目", {{"😀", "leaf.htm#x"}}, {}}}}};
    try {
        checkGbkTopics(tree, topics);
        ADD_FAILURE() << "no error";
    } catch (const BuildError &e) {
        EXPECT_TRUE(e.message().endsWith(QStringLiteral("“😀”含有GBK编码无法表示的字符")));
    }

    // saveGbkLines refuses instead of writing "?", and keeps the old file.
    QTemporaryDir dir;
    const QString path = dir.filePath("x.hhc");
    saveGbkLines(path, {"old"});
    EXPECT_THROW(saveGbkLines(path, {"a", "b 😀"}), BuildError);
    EXPECT_EQ(readAll(path), "old\r\n");
    try {
        saveGbkLines(dir.filePath("missing/x.hhc"), {"a"});
        ADD_FAILURE() << "no error";
    } catch (const BuildError &e) {
        EXPECT_TRUE(e.message().contains(dir.filePath("missing/x.hhc")));
    }
}

// A document's topics nest below its own entry, at the top level and below a catalog; the
// keywords of two documents join where they are the same, after the documents' own index
// entries; texts from documents are escaped. A split document claims its later pages'
// names, and another document whose page would have one of them is numbered.
TEST(HelpProject, TopicsNestBelowTheirDocumentAndKeywordsJoin) {
    StructureModel tree;
    TreeNode *manual = add(tree, nullptr, "手册.docx", "/d/手册.docx");
    TreeNode *catalog = add(tree, nullptr, "目录");
    TreeNode *guide = add(tree, catalog, "guide.docx", "/d/guide.docx");
    TreeNode *part = add(tree, catalog, "guide_part2.docx", "/e/guide_PART2.docx");
    guide->topics.splitLevel = 1;

    DocumentTopicsMap topics;
    topics[manual].contents = {{"1 安装", "手册.htm#a1", {{"1.1 \"要求\"", "手册.htm#a2", {}}}}};
    topics[manual].keywords = {{"安装", {{"1 安装", "手册.htm#a1"}}, {{"步骤", {{"1 安装", "手册.htm#a1"}}, {}}}}};
    topics[guide].contents = {{"Start", "guide_part2.htm", {}}};
    topics[guide].keywords = {{"安装", {{"Start", "guide_part2.htm"}}, {}}};

    Sitemaps s;
    writeSitemaps(s.contents, s.index, tree, kHtml, {}, topics);
    EXPECT_EQ(text(s.contentsBody()),
              text({
                  "<UL><LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"手册\">",
                  "<param name=\"Name\" value=\"手册\">",
                  "<param name=\"Local\" value=\"/srv/Work/temp/html/手册.htm\"></OBJECT><UL>",
                  "<LI> <OBJECT type=\"text/sitemap\">",
                  "<param name=\"Name\" value=\"1 安装\">",
                  "<param name=\"Local\" value=\"/srv/Work/temp/html/手册.htm#a1\">",
                  "<param name=\"ImageNumber\" value=\"11\"></OBJECT>",
                  "<UL>",
                  "<LI> <OBJECT type=\"text/sitemap\">",
                  "<param name=\"Name\" value=\"1.1 &quot;要求&quot;\">",
                  "<param name=\"Local\" value=\"/srv/Work/temp/html/手册.htm#a2\">",
                  "<param name=\"ImageNumber\" value=\"11\"></OBJECT>",
                  "</UL>",
                  "</UL></UL>",
                  "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"目录\"><param name=\"ImageNumber\" "
                  "value=\"1\"></OBJECT><UL>",
                  "<LI> <OBJECT type=\"text/sitemap\">",
                  "<param name=\"Name\" value=\"guide\">",
                  "<param name=\"Local\" value=\"/srv/Work/temp/html/目录/guide.htm\">",
                  "<param name=\"ImageNumber\" value=\"11\"></OBJECT>",
                  "<UL>",
                  "<LI> <OBJECT type=\"text/sitemap\">",
                  "<param name=\"Name\" value=\"Start\">",
                  "<param name=\"Local\" value=\"/srv/Work/temp/html/目录/guide_part2.htm\">",
                  "<param name=\"ImageNumber\" value=\"11\"></OBJECT>",
                  "</UL>",
                  "<LI> <OBJECT type=\"text/sitemap\">",
                  "<param name=\"Name\" value=\"guide_part2\">",
                  "<param name=\"Local\" value=\"/srv/Work/temp/html/目录/guide_PART2_2.htm\">",
                  "<param name=\"ImageNumber\" value=\"11\"></OBJECT>",
                  "</UL></UL>",
              }));
    EXPECT_EQ(text(s.indexBody().mid(6)),
              text({
                  "<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"安装\">",
                  "<param name=\"Name\" value=\"1 安装\">",
                  "<param name=\"Local\" value=\"/srv/Work/temp/html/手册.htm#a1\">",
                  "<param name=\"Name\" value=\"Start\">",
                  "<param name=\"Local\" value=\"/srv/Work/temp/html/目录/guide_part2.htm\"></OBJECT>",
                  "<UL>",
                  "<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"步骤\">",
                  "<param name=\"Local\" value=\"/srv/Work/temp/html/手册.htm#a1\"></OBJECT>",
                  "</UL>",
              }));
    // Not split, the other document keeps its own name.
    guide->topics.splitLevel.reset();
    EXPECT_EQ(PageLayout(tree).pageName(part), "guide_PART2.htm");
    EXPECT_EQ(PageLayout(tree, {1, 0, false, false}).pageName(part), "guide_PART2_2.htm");
}
