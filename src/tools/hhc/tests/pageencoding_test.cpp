// Pages put into the help file's code page.
#include "codepage.h"
#include "gbk.h"
#include "pageencoding.h"

#include <gtest/gtest.h>

using namespace zelbrin::hhc;
using zelbrin::chm::ansiCodePage;

namespace {

QByteArray gbk(const QString &text) {
    return zelbrin::encodeGbk(text).value();
}

}  // namespace

TEST(PageEncoding, Utf8PagesBecomeGbkWithAMatchingDeclaration) {
    const auto &chinese = ansiCodePage(0x0804);
    // As LibreOffice writes them: declared UTF-8, in XHTML style.
    const QString office = QStringLiteral(
        "<!DOCTYPE html><html><head><meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\"/>"
        "<title>安装 &amp; 使用</title></head><body><p>欢迎 \U0001F600 née</p></body></html>");
    const ConvertedPage a = convertPage(office.toUtf8(), chinese);
    EXPECT_EQ(a.stored, gbk(QStringLiteral(
                            "<!DOCTYPE html><html><head><meta http-equiv=\"content-type\" content=\"text/html; "
                            "charset=gb2312\"/><title>安装 &amp; 使用</title></head><body><p>欢迎 &#128512; née</p>"
                            "</body></html>")));
    EXPECT_EQ(a.title, QStringLiteral("安装 & 使用"));
    EXPECT_EQ(a.text, office);

    // Undeclared UTF-8, with a byte-order mark or without: a declaration is added to the head.
    for (const QByteArray &start : {QByteArray(), QByteArray("\xEF\xBB\xBF")}) {
        const ConvertedPage b = convertPage(start + QStringLiteral("<html><head><title>\n 价格表 </title></head>"
                                                                   "<body>批量折扣</body></html>").toUtf8(),
                                            chinese);
        EXPECT_EQ(b.stored, gbk(QStringLiteral("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                                               "charset=gb2312\" /><title>\n 价格表 </title></head><body>批量折扣"
                                               "</body></html>")));
        EXPECT_EQ(b.title, QStringLiteral("价格表"));
    }

    // Traditional Chinese is GBK but not GB 2312: the page says gbk, which the Windows viewer
    // reads as the same code page and strict readers (xchm) decode.
    const ConvertedPage c = convertPage(QStringLiteral("<html><head><meta charset=\"utf-8\"></head>"
                                                       "<body>我的愛 \U0001F600</body></html>").toUtf8(),
                                        chinese);
    EXPECT_EQ(c.stored, gbk(QStringLiteral("<html><head><meta charset=\"gbk\"></head><body>我的愛 &#128512;"
                                           "</body></html>")));
}

TEST(PageEncoding, PagesWhoseBytesTheirCharsetDoesNotHoldDeclareWhatHoldsThem) {
    const auto &chinese = ansiCodePage(0x0804);
    const QByteArray head = "<html><head><meta http-equiv=Content-Type content=\"text/html; charset=";
    // Declared gb2312, written in GBK: the same bytes, declared gbk.
    const QByteArray lyric = gbk(QStringLiteral("<body>自我 歌詞</body></html>"));
    EXPECT_EQ(convertPage(head + "gb2312\">" + lyric, chinese).stored, head + "gbk\">" + lyric);
    // Bytes no GBK reader takes: stored as the viewer reads them, the faults as U+FFFD.
    const ConvertedPage broken = convertPage(head + "gb2312\"><body>\xB0\xA1\xFF\xFF</body>", chinese);
    EXPECT_EQ(broken.stored, head + "gb2312\"><body>\xB0\xA1&#65533;&#65533;</body>");
    EXPECT_EQ(broken.text, QStringLiteral("<html><head><meta http-equiv=Content-Type content=\"text/html; "
                                          "charset=gb2312\"><body>啊\uFFFD\uFFFD</body>"));
}

TEST(PageEncoding, PagesInTheCodePageOrAnotherDeclaredCharsetStayAsTheyAre) {
    const auto &chinese = ansiCodePage(0x0804);
    const QByteArray declared = gbk(QStringLiteral("<html><head><META HTTP-EQUIV=\"Content-Type\" "
                                                   "CONTENT=\"text/html; charset=GB2312\"><title>简介</title>"
                                                   "</head><body>这是简介</body></html>"));
    const ConvertedPage a = convertPage(declared, chinese);
    EXPECT_EQ(a.stored, declared);
    EXPECT_EQ(a.title, QStringLiteral("简介"));
    EXPECT_TRUE(a.text.contains(QStringLiteral("这是简介")));

    const QByteArray russian = "<html><head><meta charset=\"windows-1251\"><title>\xCF\xF0\xE8\xE2\xE5\xF2</title>";
    const ConvertedPage b = convertPage(russian, chinese);
    EXPECT_EQ(b.stored, russian);
    EXPECT_EQ(b.title, QStringLiteral("Привет"));

    // Undeclared and not UTF-8: GBK already; only the declaration is added.
    const QByteArray undeclared = gbk(QStringLiteral("<p>说明 NOTES</p>"));
    const ConvertedPage c = convertPage(undeclared, chinese);
    EXPECT_EQ(c.stored, "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\" />" + undeclared);
    EXPECT_TRUE(c.title.isEmpty());

    // Plain ASCII is the same in every code page.
    const QByteArray ascii = "<html><body>Page X</body></html>\r\n";
    EXPECT_EQ(convertPage(ascii, chinese).stored, ascii);

    // Another language's code page.
    const ConvertedPage d = convertPage(QStringLiteral("<html><head></head>Grüße 中</html>").toUtf8(),
                                        ansiCodePage(0x0407));
    EXPECT_EQ(d.stored, QByteArray("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                                   "charset=windows-1252\" /></head>Gr\xFC\xDF" "e &#20013;</html>"));
}
