#include "pageencoding.h"

#include "codepage.h"
#include "markup.h"

#include <QStringDecoder>

#include <algorithm>

namespace zelbrin::hhc {
namespace {

// Where a page says what charset it is in, and where a declaration can go.
struct Declarations {
    QList<Span> charsets;      // the charset names in <meta> tags and the XML declaration
    QByteArray declared;       // the first of them, lower case; empty when none
    qsizetype insertAt = 0;    // after <head>, else after <html>, else the start
};

// The charset name inside a content type such as "text/html; charset=utf-8".
std::optional<Span> charsetIn(const QByteArray &text, Span value) {
    const QByteArray v = text.mid(value.begin, value.end - value.begin).toLower();
    const qsizetype at = v.indexOf("charset");
    if (at < 0)
        return std::nullopt;
    qsizetype i = at + 7;
    while (i < v.size() && (v[i] == ' ' || v[i] == '='))
        ++i;
    qsizetype end = i;
    while (end < v.size() && v[end] != ';' && v[end] != ' ' && v[end] != '"' && v[end] != '\'')
        ++end;
    if (end == i)
        return std::nullopt;
    return Span{value.begin + i, value.begin + end};
}

Declarations findDeclarations(const QByteArray &page) {
    Declarations d;
    // Declarations belong in the head; the body can be long and is not scanned.
    qsizetype headEnd = page.size();
    for (const char *marker : {"<body", "<BODY", "<Body"}) {
        const qsizetype at = page.indexOf(marker);
        if (at >= 0)
            headEnd = std::min(headEnd, at);
    }
    const QByteArray head = page.left(headEnd);
    if (head.trimmed().startsWith("<?xml")) {
        const qsizetype end = head.indexOf("?>");
        const qsizetype enc = head.indexOf("encoding=");
        if (end > 0 && enc > 0 && enc < end && enc + 10 < end) {
            const char quote = head[enc + 9];
            const qsizetype close = head.indexOf(quote, enc + 10);
            if ((quote == '"' || quote == '\'') && close > 0 && close < end)
                d.charsets.append({enc + 10, close});
        }
        d.insertAt = end > 0 ? end + 2 : 0;
    }
    qsizetype afterHtml = -1, afterHead = -1;
    forEachTag(head, QuoteRule::Html, [&](const Tag &tag) {
        const QByteArray name = tag.name.toLower();
        if (name == "html" && afterHtml < 0)
            afterHtml = tag.whole.end;
        else if (name == "head" && afterHead < 0)
            afterHead = tag.whole.end;
        if (name != "meta")
            return;
        if (const TagAttribute *charset = tag.attribute("charset"); charset && charset->hasValue) {
            d.charsets.append(charset->value);
        } else if (const TagAttribute *content = tag.attribute("content"); content && content->hasValue) {
            const TagAttribute *equiv = tag.attribute("http-equiv");
            if (equiv && head.mid(equiv->value.begin, equiv->value.end - equiv->value.begin).toLower() ==
                             "content-type") {
                if (const auto span = charsetIn(head, content->value))
                    d.charsets.append(*span);
            }
        }
    });
    if (afterHead >= 0)
        d.insertAt = afterHead;
    else if (afterHtml >= 0)
        d.insertAt = afterHtml;
    if (!d.charsets.isEmpty()) {
        const Span first = d.charsets.first();
        d.declared = page.mid(first.begin, first.end - first.begin).trimmed().toLower();
    }
    return d;
}

bool isUtf8Name(const QByteArray &charset) {
    return charset == "utf-8" || charset == "utf8" || charset.startsWith("utf-16") || charset == "unicode";
}

std::optional<QString> strictUtf8(const QByteArray &bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString titleOf(const QString &text) {
    const qsizetype open = text.indexOf(QLatin1String("<title"), 0, Qt::CaseInsensitive);
    if (open < 0)
        return QString();
    const qsizetype start = text.indexOf(u'>', open);
    const qsizetype close = start < 0 ? -1 : text.indexOf(QLatin1String("</title"), start, Qt::CaseInsensitive);
    if (close < 0)
        return QString();
    return decodeEntities(text.mid(start + 1, close - start - 1)).simplified();
}

QByteArray declaration(const char *charset) {
    return QByteArray("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=") + charset + "\" />";
}

// The page with every charset declaration naming charset, or one added.
QByteArray declaring(const QByteArray &page, const Declarations &d, const char *charset) {
    QList<Edit> edits;
    for (const Span &s : d.charsets)
        edits.append({s, charset});
    if (d.charsets.isEmpty())
        edits.append({{d.insertAt, d.insertAt}, declaration(charset)});
    return applyEdits(page, edits);
}

// A page in UTF-8 stored in charset, under charset's own name when its standard holds every
// character, else under the wider name the Windows viewer reads the same (gbk beside
// gb2312); what neither holds becomes a numeric character reference. Every byte stored is
// then one the declared charset defines, for the readers that take the name at its word.
// Nothing when iconv does not know the charset.
std::optional<QByteArray> storedIn(const QByteArray &utf8Page, const char *charset) {
    const Declarations d = findDeclarations(utf8Page);
    const QString text = QString::fromUtf8(declaring(utf8Page, d, charset));
    const std::optional<QByteArray> stored = chm::encodeStrictlyWithReferences(text, charset);
    const char *wider = chm::widerCharset(charset);
    if (!stored || !wider || stored == chm::encodeStrictlyWithReferences(text, wider))
        return stored;  // nothing the wider charset holds beyond the declared one
    return chm::encodeStrictlyWithReferences(QString::fromUtf8(declaring(utf8Page, d, wider)), wider);
}

}  // namespace

ConvertedPage convertPage(const QByteArray &original, const chm::AnsiCodePage &codePage) {
    ConvertedPage result;
    QByteArray page = original;
    bool unicode = false;
    if (page.startsWith("\xEF\xBB\xBF")) {
        page = page.mid(3);
        unicode = true;
    } else if (page.startsWith("\xFF\xFE") || page.startsWith("\xFE\xFF")) {
        auto decoder = QStringDecoder(page.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        page = QString(decoder.decode(page.mid(2))).toUtf8();
        unicode = true;
    }
    const Declarations d = findDeclarations(page);
    const bool ascii = std::all_of(page.cbegin(), page.cend(), [](char c) { return uchar(c) < 0x80; });
    if (ascii && d.declared.isEmpty() && !unicode) {  // the same bytes in every ANSI code page
        result.stored = original;
        result.text = QString::fromLatin1(original);
        result.title = titleOf(result.text);
        return result;
    }
    std::optional<QString> utf8;
    if (unicode || isUtf8Name(d.declared) || d.declared.isEmpty())
        utf8 = strictUtf8(page);
    if (!d.declared.isEmpty() && !isUtf8Name(d.declared) && !unicode) {
        // Declared in a charset the viewer reads as it is: kept byte for byte when they are
        // all that charset's, else declared wider (gbk for gb2312 bytes that are GBK) or, as
        // a last resort, stored again from what the viewer reads.
        result.text = chm::decodeCharset(original, d.declared)
                          .value_or(chm::decodeCharset(original, codePage.iconvName).value_or(QString()));
        const char *wider = chm::widerCharset(d.declared);
        if (chm::decodesStrictly(original, d.declared) || !chm::decodeCharset(original, d.declared))
            result.stored = original;
        else if (wider && chm::decodesStrictly(original, wider))
            result.stored = declaring(original, d, wider);
        else
            result.stored = storedIn(result.text.toUtf8(), d.declared.constData()).value_or(original);
    } else if (!utf8 && d.declared.isEmpty() && !unicode) {
        // Undeclared, not UTF-8: in the code page already.
        result.text = chm::decodeCharset(original, codePage.iconvName).value_or(QString());
        const char *wider = chm::widerCharset(codePage.htmlCharset);
        if (chm::decodesStrictly(original, codePage.htmlCharset))
            result.stored = declaring(original, d, codePage.htmlCharset);
        else if (wider && chm::decodesStrictly(original, wider))
            result.stored = declaring(original, d, wider);
        else
            result.stored = storedIn(result.text.toUtf8(), codePage.htmlCharset).value_or(original);
    } else {
        // UTF-8 (a page that says so but is not reads as the viewer reads it, faults replaced).
        result.text = utf8 ? *utf8 : QString::fromUtf8(page);
        result.stored = storedIn(utf8 ? page : result.text.toUtf8(), codePage.htmlCharset)
                            .value_or(chm::encodeAnsiWithReferences(result.text, codePage));
    }
    result.title = titleOf(result.text);
    return result;
}

}  // namespace zelbrin::hhc
