#include "builderror.h"
#include "wordhtml.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelbrin;

namespace {

QByteArray stripped(QByteArray text, const QByteArray &open = "<!--", const QByteArray &close = "-->") {
    stripDelimited(text, open, close);
    return text;
}

QByteArray replaced(QByteArray text, const QByteArray &pattern, const QByteArray &replacement) {
    replaceAll(text, pattern, replacement);
    return text;
}

struct PageFixture : ::testing::Test {
    QTemporaryDir dir;

    QString write(const QString &name, const QByteArray &bytes) {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    void touch(const QString &name) { write(name, "png"); }
    QByteArray cleaned(const QString &path) {
        cleanWordHtml(path);
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    // A page with one picture reference per name given ("002.jpg"), lines ending in eol.
    static QByteArray pictures(std::initializer_list<const char *> names, const char *eol = "\n") {
        QByteArray text;
        for (const char *n : names)
            text += QByteArray("<img src=\"doc.files/image") + n + "\" v:shapes=\"_x\">" + eol;
        return text;
    }
};

}  // namespace

TEST(stripDelimited, DeletesSpansLineBreaksIncluded) {
    EXPECT_EQ(stripped("a<!--[if gte mso 9]>\r\n<xml>x</xml>\r\n<![endif]-->b"), "ab");
    EXPECT_EQ(stripped("<style><!--\r\np {}\r\n--></style><script><!-- x() --></script>"),
              "<style></style><script></script>");
    EXPECT_EQ(stripped("no markers"), "no markers");
    EXPECT_EQ(stripped(""), "");
}

TEST(stripDelimited, UnpairedAndNestedMarkers) {
    // A close before the first open goes by itself.
    EXPECT_EQ(stripped("a-->b<!--c-->d"), "abd");
    // An open without any close after it stays, with everything behind it.
    EXPECT_EQ(stripped("x-->y<!--z"), "xy<!--z");
    EXPECT_EQ(stripped("a<!--b-->c<!--d"), "ac<!--d");
    // A span ends at the first close: the outer close and what precedes it stay.
    EXPECT_EQ(stripped("<!-- a <!-- b --> c -->"), " c -->");
    // Markers that meet only after a deletion are found too.
    EXPECT_EQ(stripped("<!<!--y-->--z-->w"), "w");
    EXPECT_EQ(stripped("--<!--y-->><!--q-->w"), "w");
    // The loop ends as soon as either marker is missing.
    EXPECT_EQ(stripped("--<!--y-->>w"), "-->w");
}

TEST(stripDelimited, MarkersAreLoweredTextIsNot) {
    EXPECT_EQ(stripped("x<a1>y<A2>", "<A", ">"), "xy<A2>");
    // An empty marker would match forever; nothing happens.
    EXPECT_EQ(stripped("a<!--b-->", "", "-->"), "a<!--b-->");
    EXPECT_EQ(stripped("a<!--b-->", "<!--", ""), "a<!--b-->");
}

TEST(stripDelimited, NeverMatchesOnTheSecondByteOfAGbkCharacter) {
    // 0xB0 0x3C is no character (0x3C cannot be a trail byte): the "<" counts.
    EXPECT_EQ(stripped("\xB0<!--x-->"), "\xB0");
    // B0 40 is one character: a marker starting with "@" must not be found inside it.
    EXPECT_EQ(stripped("\xB0@1~", "@", "~"), "\xB0@1~");
    EXPECT_EQ(stripped("\xB0\xA1@1~", "@", "~"), "\xB0\xA1");
}

TEST(replaceAll, LeftToRightWithoutOverlapOrRescan) {
    EXPECT_EQ(replaced("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(replaced("aaa", "aa", "b"), "ba");
    EXPECT_EQ(replaced("aXa", "a", "aa"), "aaXaa");
    EXPECT_EQ(replaced("<![if !vml]>x<![endif]>", "<![endif]>", ""), "<![if !vml]>x");
    EXPECT_EQ(replaced("abc", "", "x"), "abc");
    EXPECT_EQ(replaced("", "a", "x"), "");
    EXPECT_EQ(replaced("abc", "abcd", "x"), "abc");
}

TEST(replaceAll, GbkCharactersAreWholes) {
    // 啊啊 is B0A1 B0A1: the bytes A1 B0 occur across the two characters only.
    EXPECT_EQ(replaced("\xB0\xA1\xB0\xA1", "\xA1\xB0", "x"), "\xB0\xA1\xB0\xA1");
    EXPECT_EQ(replaced("\xB0\xA1\xB0\xA1", "\xB0\xA1", "x"), "xx");
    EXPECT_EQ(replaced("\x81" "AA", "A", "x"), "\x81" "Ax");
    EXPECT_EQ(replaced("\x81\x7F" "A", "\x7F", "x"), "\x81xA");  // 0x7F is never a trail byte
    // Far from any byte below 0x40 the character walk still holds.
    const QByteArray run = QByteArray("\xB0\xA1").repeated(500);
    EXPECT_EQ(gbkIndexOf(run + "\xB0" "A" "A", "A"), run.size() + 2);
    EXPECT_EQ(gbkIndexOf("A" + run + "\xA1\xB0", "\xA1\xB0"), run.size() + 1);
    EXPECT_EQ(gbkIndexOf("x" + run, "\xA1\xB0"), -1);
}

TEST_F(PageFixture, RemovesCommentsAndConditionalMarkers) {
    const QString page = write("doc.htm",
                               "<html>\n<head><!--[if gte mso 9]><xml>\n<o:x/>\n</xml><![endif]-->\n"
                               "<style><!-- p {} --></style></head>\n"
                               "<body><![if !vml]><img src=a.gif><![endif]>"
                               "<![if !mso]>m<![endif]><![if !mso & !vml]>n<![endif]>\n"
                               "<![IF !VML]>caps<![ENDIF]>\n"
                               "\xD6\xB8\xC4\xCF</body></html>");
    EXPECT_EQ(cleaned(page), "<html>\r\n<head>\r\n<style></style></head>\r\n"
                             "<body><img src=a.gif>mn\r\n"
                             "<![IF !VML]>caps<![ENDIF]>\r\n"
                             "\xD6\xB8\xC4\xCF</body></html>\r\n");
}

TEST_F(PageFixture, LineEndsBecomeCrLf) {
    EXPECT_EQ(cleaned(write("a.htm", "abc\ndef")), "abc\r\ndef\r\n");
    EXPECT_EQ(cleaned(write("b.htm", "a\rb\r\n\nc\r\r\n")), "a\r\nb\r\n\r\nc\r\n\r\n");
    EXPECT_EQ(cleaned(write("c.htm", "")), "");
    EXPECT_EQ(cleaned(write("d.htm", "\n")), "\r\n");
    // A span across lines takes its line breaks with it.
    EXPECT_EQ(cleaned(write("e.htm", "a<!--\nb\n-->c\n")), "ac\r\n");
}

TEST_F(PageFixture, PictureReferencesAreRenumbered) {
    touch("doc.files/2.png");
    const QString page = write("doc.htm", pictures({"002.jpg", "012.jpg", "004.jpg"}));
    // 2.png exists: 2 becomes 1, and so does the tail of 12; no 4.png: 4 stays.
    EXPECT_EQ(cleaned(page), "<img src=\"doc.files/image001.png\" v:shapes=\"_x\">\r\n"
                             "<img src=\"doc.files/image011.png\" v:shapes=\"_x\">\r\n"
                             "<img src=\"doc.files/image004.jpg\" v:shapes=\"_x\">\r\n");
    // The tail must follow the number directly and match exactly.
    const QByteArray other = "<img src=\"image002.JPG\" v:shapes=\"a\"><img src=\"image002.jpg\">\r\n";
    EXPECT_EQ(cleaned(write("doc.htm", other)), other);
}

TEST_F(PageFixture, RenumberingNeedsPictureTwoAndStopsAtTheFirstGap) {
    touch("doc.files/2.png");
    touch("doc.files/4.png");
    touch("doc.files/8.png");
    EXPECT_EQ(cleaned(write("doc.htm", pictures({"004.jpg"}))), pictures({"004.jpg"}, "\r\n"));
    // 6 is missing from the text, so 8 is never looked at.
    EXPECT_EQ(cleaned(write("doc.htm", pictures({"002.jpg", "004.jpg", "008.jpg"}))),
              pictures({"001.png", "003.png", "008.jpg"}, "\r\n"));
    EXPECT_EQ(cleaned(write("doc.htm", pictures({"002.jpg", "006.jpg", "008.jpg"}))),
              pictures({"001.png", "006.jpg", "008.jpg"}, "\r\n"));
    // Without its candidate file a number stays, and the walk goes on.
    EXPECT_EQ(cleaned(write("doc.htm", pictures({"002.jpg", "004.jpg", "006.jpg", "008.jpg"}))),
              pictures({"001.png", "003.png", "006.jpg", "007.png"}, "\r\n"));
}

TEST_F(PageFixture, TenBecomesZeroNine) {
    touch("doc.files/10.png");
    const QString page = write("doc.htm", pictures({"002.jpg", "004.jpg", "006.jpg", "008.jpg", "010.jpg"}));
    EXPECT_EQ(cleaned(page), pictures({"002.jpg", "004.jpg", "006.jpg", "008.jpg", "009.png"}, "\r\n"));
}

TEST_F(PageFixture, PictureFolderIsTheNameBeforeTheFirstHtm) {
    const QByteArray two = pictures({"002.jpg"});
    const QByteArray one = pictures({"001.png"}, "\r\n");
    const QByteArray unchanged = pictures({"002.jpg"}, "\r\n");
    // A name in capitals has no ".htm": its picture folder is ".files/" in its own folder.
    touch("upper/PAGE.files/2.png");
    EXPECT_EQ(cleaned(write("upper/PAGE.HTML", two)), unchanged);
    touch("upper/.files/2.png");
    EXPECT_EQ(cleaned(write("upper/PAGE.HTML", two)), one);
    touch("x.files/2.png");
    EXPECT_EQ(cleaned(write("x.html", two)), one);
    touch("a.files/2.png");
    EXPECT_EQ(cleaned(write("a.htm.htm", two)), one);
    // The picture must be a file.
    QDir().mkpath(dir.filePath("d.files/2.png"));
    EXPECT_EQ(cleaned(write("d.htm", two)), unchanged);
}

TEST_F(PageFixture, UnreadableOrUnwritablePageIsABuildError) {
    const QString missing = dir.filePath("missing.htm");
    try {
        cleanWordHtml(missing);
        ADD_FAILURE() << "no error";
    } catch (const BuildError &e) {
        EXPECT_TRUE(e.message().contains(missing));
    }
    EXPECT_THROW(cleanWordHtml(dir.path()), BuildError);  // a folder is no page
    // A file that can be read but not replaced: /proc takes no new files, even from root.
    if (!QFile::exists("/proc/version"))
        GTEST_SKIP() << "no /proc";
    try {
        cleanWordHtml("/proc/version");
        ADD_FAILURE() << "no error";
    } catch (const BuildError &e) {
        EXPECT_TRUE(e.message().contains("/proc/version"));
    }
}
