#include "codepage.h"
#include "pagetext.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

using namespace zelbrin::chm;

namespace {

std::string wordsOf(const PageWords &words) {
    QStringList list;
    for (std::size_t i = 0; i < words.words.size(); ++i)
        list << (words.words[i].length ? words.word(i).toString() : QStringLiteral("<overlong>"));
    return list.join(u' ').toStdString();
}

}  // namespace

TEST(PageText, VisibleWordsOfTrickyHtml) {
    const QString html = QString::fromUtf8(
        "<!DOCTYPE html><html><head><title>Hidden Title</title>"
        "<style type=\"text/css\">p { font-family: \"Arial\" }</style>"
        "<script>var secret = '<p>nope</p>';</script></head>\n"
        "<body><!-- a comment --><!--[if gte mso 9]><xml><w:Word>hidden</w:Word></xml><![endif]-->"
        "<p class='x>y' title=\"a > b\">Hello&nbsp;World&#33; It&#8217;s caf&eacute; d&#xE9;j&agrave; "
        "vu, the users' GUIDE.</p>"
        "<p>Instal<span lang=\"en-US\">lation</span><o:p></o:p> e-mail C# my_var _ 3.14 v1.2.3 x86 1,000 2024.</p>"
        "<p>Stra&szlig;e &AElig;sir na&#239;ve Ｆｕｌｌ&#150;width Сервер</p>"
        "<div>用户手册<b>安装</b>，Windows系统 中\n文 中 文<br>表</div><p>foo<br>bar<img src=a.png alt=hidden>baz</p>"
        "<![if !vml]><span>shown</span><![endif]><noscript>never</noscript>"
        "<p>a &lt; b &amp;&amp c &unknown; &#; &#x110000; x&#x20B9F;y</p><p>") +
        QString(120, u'z') + QStringLiteral(" end</p><!-- unterminated comment <p>gone");
    PageWords words;
    appendVisibleWords(html, words);
    EXPECT_EQ(wordsOf(words),
              "hello world its cafe deja vu the users guide instal lation e mail c# my_var _ 3.14 v1 2.3 x86 1000 2024 "
              "strasse aesir naive full width сервер 用 户 手 册 安 装 windows 系 统 中 文 中 文 表 foo bar baz "
              "shown a b c unknown x \U00020B9F y <overlong> end");
    // In GBK every character it writes in two bytes is a word of its own, as it is.
    words.clear();
    appendVisibleWords(html, words, CodePageCharacters::of("CP936"));
    EXPECT_EQ(wordsOf(words),
              "hello world it ’ s caf é d é j à vu the users guide instal lation e mail c# my_var _ 3.14 v1 2.3 x86 "
              "1000 2024 strasse aesir naive Ｆ ｕ ｌ ｌ – width С е р в е р 用 户 手 册 安 装 ， windows 系 统 中 文 中 文 "
              "表 foo bar baz shown a b c unknown x \U00020B9F y <overlong> end");
}

TEST(PageText, PlainTitleWords) {
    PageWords words;
    appendPlainWords(QStringLiteral("User's Guide — 用户指南 (2nd Édition)"), words);
    EXPECT_EQ(wordsOf(words), "users guide 用 户 指 南 2nd edition");
    words.clear();
    appendPlainWords(QStringLiteral("User's Guide — 用户指南 (2nd Édition)"), words, CodePageCharacters::of("CP936"));
    EXPECT_EQ(wordsOf(words), "users guide — 用 户 指 南 2nd edition");
    words.clear();
    appendPlainWords(QString(), words);
    EXPECT_TRUE(words.words.empty());
}
