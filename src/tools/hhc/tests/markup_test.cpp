// The byte-level pieces of hhc: scanning pages and sitemaps, resolving references,
// reading help projects.
#include "codepage.h"
#include "helpproject.h"
#include "markup.h"
#include "references.h"
#include "sitemap.h"
#include "textencoding.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace zelbrin;
using namespace zelbrin::hhc;

namespace {

QList<QByteArray> linkValues(const QByteArray &html) {
    QList<QByteArray> values;
    for (const Span &s : findHtmlLinks(html))
        values.append(html.mid(s.begin, s.end - s.begin));
    return values;
}

QByteArray gbk(const QString &text) {
    return encodeGbk(text).value();
}

void writeFile(const QString &path, const QByteArray &bytes = "x") {
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

TEST(HtmlLinks, FindsLinkAttributesInEveryQuotingStyle) {
    const QByteArray html =
        "<HTML><body background=bg.gif><A HREF=\"a.htm#x\">a</A><img src='p.png' alt=\"src=no.png\">"
        "<link rel=stylesheet href=s.css><base href=\"http://x/\"><object data=\"o.swf\"></object>"
        "<a name=top title=\"href=x\">t</a><img\nsrc = \"spaced.png\" /></body></HTML>";
    EXPECT_EQ(linkValues(html), (QList<QByteArray>{"bg.gif", "a.htm#x", "p.png", "s.css", "o.swf",
                                                     "spaced.png"}));
}

TEST(HtmlLinks, SkipsCommentsAndScriptsButScansWordConditionalMarkup) {
    const QByteArray html =
        "<!-- <img src=\"dead.png\"> --><script>var s='<img src=\"js.png\">';</script>"
        "<!--[if gte vml 1]><v:imagedata src=\"x.files/image001.png\" o:title=\"\"/><![endif]-->"
        "<![if !vml]><img src=\"x.files/image002.gif\"><![endif]>"
        "<style>body{background:url( \"bg.png\" )} @import 'more.css'; /* url(no.png) */</style>"
        "<p style=\"background-image:url(cell.png)\">";
    EXPECT_EQ(linkValues(html), (QList<QByteArray>{"x.files/image001.png", "x.files/image002.gif",
                                                     "bg.png", "more.css", "cell.png"}));
}

TEST(HtmlLinks, GbkBytesInsideAndAroundValuesAreScannedSafely) {
    // 0x81 0x5C is one GBK character whose second byte is a backslash.
    const QByteArray name = gbk(QStringLiteral("产品")) + "\x81\x5C.htm";
    const QByteArray html = "<p>" + gbk(QStringLiteral("说明")) + "\x81\x5C</p><a href=\"" + name + "\">x</a>";
    EXPECT_EQ(linkValues(html), QList<QByteArray>{name});
}

TEST(CssLinks, FindsUrlAndImportForms) {
    const QByteArray css = "@import url(base.css);\n@import \"print.css\";\n"
                           "h1{background:URL('h.png') no-repeat}\n.x{content:\"url(no.png)\"}";
    QList<QByteArray> values;
    for (const Span &s : findCssLinks(css))
        values.append(css.mid(s.begin, s.end - s.begin));
    EXPECT_EQ(values, (QList<QByteArray>{"base.css", "print.css", "h.png"}));
}

TEST(ApplyEdits, ReplacesOnlyTheGivenRangesAndKeepsOtherBytes) {
    const QByteArray text = "a\xFF<x src=\"old\">\x81\x5C<y href=\"z\">";
    const QList<Span> spans = findHtmlLinks(text);
    ASSERT_EQ(spans.size(), 2);
    const QByteArray out = applyEdits(text, {{spans[1], "new2"}, {spans[0], "n"}});
    EXPECT_EQ(out, QByteArray("a\xFF<x src=\"n\">\x81\x5C<y href=\"new2\">"));
}

TEST(SitemapTags, QuotesInsideCaptionsDoNotHideTheLocalValue) {
    const QByteArray text = "<param name=\"Name\" value=\"say \"hi\"\"><param name=\"Local\" value=\"a b.htm\">";
    QList<QByteArray> values;
    forEachTag(text, QuoteRule::Sitemap, [&](const Tag &t) {
        const TagAttribute *v = t.attribute("value");
        ASSERT_NE(v, nullptr);
        values.append(text.mid(v->value.begin, v->value.end - v->value.begin));
    });
    EXPECT_EQ(values, (QList<QByteArray>{"say \"hi\"", "a b.htm"}));
}

TEST(References, ExternalOnesAreRecognised) {
    for (const char *v : {"http://x.org/a", "mailto:a@b", "ms-its:x.chm::/a.htm", "mk:@MSITStore:x.chm::/a",
                          "#top", "//host/a", "javascript:void(0)"})
        EXPECT_TRUE(isExternalReference(v)) << v;
    for (const char *v : {"a.htm", "C:\\docs\\a.htm", "/abs/a.htm", "../a.htm#b", ""})
        EXPECT_FALSE(isExternalReference(v)) << v;
}

TEST(References, ResolveEncodingsSeparatorsAnchorsAndHtmlCopies) {
    QTemporaryDir dir;
    const QString root = dir.path() + u'/';
    const QString chinese = QStringLiteral("产品/附录/常见问题.htm");
    writeFile(root + chinese);
    writeFile(root + QStringLiteral("C#手册/a b.htm"));
    writeFile(root + QStringLiteral("copied.html"));
    writeFile(root + QStringLiteral("x&y.png"));
    const QString page = root + QStringLiteral("产品/");

    auto resolve = [&](const QByteArray &v, TextEncoding e, const QString &from) {
        const auto r = resolveReference(v, from, e, root);
        return r ? r->path + u'|' + QString::fromLatin1(r->suffix) : QString();
    };
    const QString faq = root + chinese;
    EXPECT_EQ(resolve(gbk(QStringLiteral("附录/常见问题.htm#q1")), TextEncoding::Gbk, page), faq + u"|#q1");
    EXPECT_EQ(resolve(QStringLiteral("附录\\常见问题.htm").toUtf8(), TextEncoding::Utf8, page), faq + u'|');
    EXPECT_EQ(resolve(QUrl::toPercentEncoding(QStringLiteral("附录/常见问题.htm"), "/"), TextEncoding::Gbk, page),
              faq + u'|');
    EXPECT_EQ(resolve(gbk(root + QStringLiteral("C#手册/a b.htm")), TextEncoding::Gbk, page),
              root + QStringLiteral("C#手册/a b.htm|"));
    EXPECT_EQ(resolve("../copied.htm?x=1", TextEncoding::Gbk, page), root + QStringLiteral("copied.html|?x=1"));
    EXPECT_EQ(resolve("../x&amp;y.png", TextEncoding::Utf8, page), root + QStringLiteral("x&y.png|"));
    EXPECT_EQ(resolve("/copied.html", TextEncoding::Utf8, page), root + QStringLiteral("copied.html|"));
    EXPECT_EQ(resolve("missing.htm", TextEncoding::Gbk, page), QString());
    EXPECT_EQ(resolve("../", TextEncoding::Gbk, page), QString());  // a folder is no file
    // The system reads a name only up to a NUL: what follows it must not ride along.
    EXPECT_EQ(resolve(QByteArray("../copied.html\0/x/y", 20), TextEncoding::Gbk, page), QString());
    // A hostile link with tens of thousands of places where a query may begin resolves at once.
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(resolve("../copied.htm" + QByteArray("x?").repeated(50000), TextEncoding::Gbk, page), QString());
    EXPECT_EQ(resolve("../copied.htm?" + QByteArray("x?").repeated(50000), TextEncoding::Gbk, page),
              root + QStringLiteral("copied.html|?") + QByteArray("x?").repeated(50000));
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST(References, RelativeStagedPaths) {
    EXPECT_EQ(relativeStagedPath(QStringLiteral("html/d1/d2"), QStringLiteral("html/d3/f1.htm")),
              QStringLiteral("../../d3/f1.htm"));
    EXPECT_EQ(relativeStagedPath(QString(), QStringLiteral("html/a.png")), QStringLiteral("html/a.png"));
    EXPECT_EQ(relativeStagedPath(QStringLiteral("html/"), QStringLiteral("html/a.png")), QStringLiteral("a.png"));
    EXPECT_EQ(relativeStagedPath(QStringLiteral("a/b"), QStringLiteral("top.css")), QStringLiteral("../../top.css"));
}

TEST(HelpProjectText, OptionsWindowsFilesAndBackslashes) {
    const QString text = QStringLiteral(
        "[OPTIONS]\r\nCompiled file=out\\help.chm\r\nLanguage=0x804 Chinese (PRC)\r\n"
        "default window=main\r\n; a comment\r\n[WINDOWS]\r\n\r\n"
        "other=\"Other\",\"a.hhc\",,\"x.htm\",,,,,,0x0,,0x0,[0,0,10,10],,,,,,,0\r\n"
        "main=\"产品手册, 第二版\",\"toc.hhc\",\"idx.hhk\",\"pages\\start.htm\",\"\",,,,,0x63520,185,"
        "0x104e,[47,69,672,548],0,0,,0,0,0,0\r\n[FILES]\r\npages\\a.htm\r\n[INFOTYPES]\r\nx\r\n");
    const HelpProject p = parseHelpProject(text, QStringLiteral("/work/p/help.hhp"));
    EXPECT_EQ(p.folder, QStringLiteral("/work/p/"));
    EXPECT_EQ(projectPath(p.option(QStringLiteral("COMPILED FILE")), p.folder), QStringLiteral("/work/p/out/help.chm"));
    EXPECT_EQ(p.files, QStringList{QStringLiteral("pages\\a.htm")});
    ASSERT_EQ(p.windows.size(), 2);
    const WindowDefinition *w = p.defaultWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->name, QStringLiteral("main"));
    EXPECT_EQ(w->field(WindowDefinition::Caption), QStringLiteral("产品手册, 第二版"));
    EXPECT_EQ(w->field(WindowDefinition::DefaultTopic), QStringLiteral("pages\\start.htm"));
    EXPECT_EQ(w->fields.size(), 20);
    WindowDefinition copy = *w;
    copy.setField(WindowDefinition::DefaultTopic, QStringLiteral("html/f1.htm"));
    EXPECT_EQ(copy.toLine(), QStringLiteral("main=\"产品手册, 第二版\",\"toc.hhc\",\"idx.hhk\",\"html/f1.htm\",\"\",,,,,"
                                            "0x63520,185,0x104e,[47,69,672,548],0,0,,0,0,0,0"));
    EXPECT_EQ(p.warnings.size(), 1);  // [INFOTYPES]
    EXPECT_EQ(parseLanguage(p.option(QStringLiteral("language"))), 0x804);
}

TEST(HelpProjectText, LanguageInDecimalOrHexadecimal) {
    EXPECT_EQ(parseLanguage(QStringLiteral("2052")), 0x804);
    EXPECT_EQ(parseLanguage(QStringLiteral("0x0804")), 0x804);
    EXPECT_FALSE(parseLanguage(QStringLiteral("Chinese")));
}

TEST(SitemapTags, QuotesFollowedByBlanksOrBracketsStayInTheValue) {
    const QByteArray text = "<param name=\"Name\" value=\"关于\"帮助\" <v2>\"><param name=\"ImageNumber\" value=\"1\">\r\n"
                            "<param name=\"Local\" value=\"/h/关于\"帮助\" <v2>/say \"hi\".htm\">\r\n"
                            "<param value=\"a\" name=\"Name\"><param name = \"x\" value = \"<\"y\">\" />";
    QList<QByteArray> values;
    forEachTag(text, QuoteRule::Sitemap, [&](const Tag &t) {
        const TagAttribute *v = t.attribute("value");
        ASSERT_NE(v, nullptr);
        values.append(text.mid(v->value.begin, v->value.end - v->value.begin));
    });
    EXPECT_EQ(values, (QList<QByteArray>{"关于\"帮助\" <v2>", "1", "/h/关于\"帮助\" <v2>/say \"hi\".htm", "a",
                                         "<\"y\">"}));
}

TEST(SitemapObjects, CaptionsReadCharacterReferencesAsThePagesDo) {
    // HTML reads &#128; to &#159; as the windows-1252 characters there, and so does the
    // Windows viewer: a caption "1&#150;2" shows the en dash, as page text and titles do.
    const QList<SitemapObject> objects = readSitemapObjects(
        "<OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"1&#150;2\"></OBJECT>", chm::ansiCodePage(0x0804));
    ASSERT_EQ(objects.size(), 1);
    EXPECT_EQ(objects[0].value(QStringLiteral("name")), QStringLiteral("1\u20132"));
}
