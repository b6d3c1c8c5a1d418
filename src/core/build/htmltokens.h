#pragma once

#include <QByteArray>
#include <QList>

namespace zelbrin {

// A light scan of an HTML page into tags and the text between them, enough to cut the
// office's pages apart and mend their links; positions are byte offsets into the page.
struct HtmlToken {
    enum class Kind { Text, StartTag, EndTag, Other };  // Other: comments, <!DOCTYPE>, <?...>
    Kind kind = Kind::Text;
    qsizetype begin = 0;
    qsizetype end = 0;   // one past the last byte
    QByteArray name;     // lower-case tag name of a start or end tag
    bool isVoid = false; // a start tag that opens nothing (<br>, <img/>, <hr>, "/>")
};

QList<HtmlToken> scanHtml(const QByteArray &page);

// The span of an attribute's value inside a start tag, quotes excluded; begin < 0 when
// the tag has no such attribute (names compare without regard to A-Z case).
struct AttributeSpan {
    qsizetype begin = -1;
    qsizetype end = -1;
};
AttributeSpan findAttribute(const QByteArray &page, const HtmlToken &tag, const QByteArray &name);
QByteArray attributeValue(const QByteArray &page, const HtmlToken &tag, const QByteArray &name);

// &amp;, &lt;, &gt;, &quot;, &#39; and numeric references resolved; others kept.
QByteArray decodeEntities(const QByteArray &text);
QByteArray escapeHtmlText(const QByteArray &utf8);

}  // namespace zelbrin
