#include "htmltokens.h"

#include <QString>

#include <cctype>

namespace zelbrin {
namespace {

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == ':' || c == '_';
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isVoidElement(const QByteArray &name) {
    static const QList<QByteArray> names{"area", "base", "br",    "col",   "embed", "hr",   "img",
                                         "input", "link", "meta", "param", "source", "track", "wbr"};
    return names.contains(name);
}

// Elements whose content is text up to their own end tag.
bool isRawTextElement(const QByteArray &name) {
    return name == "script" || name == "style" || name == "textarea" || name == "title" ||
           name == "xmp";
}

// One past the '>' that ends the tag starting at from; quoted attribute values may hold '>'.
qsizetype tagEnd(const QByteArray &page, qsizetype from) {
    char quote = 0;
    bool afterEquals = false;
    for (qsizetype i = from; i < page.size(); ++i) {
        const char c = page[i];
        if (quote) {
            if (c == quote)
                quote = 0;
            continue;
        }
        if (afterEquals && (c == '"' || c == '\'')) {
            quote = c;
            afterEquals = false;
            continue;
        }
        if (c == '>')
            return i + 1;
        if (c == '=')
            afterEquals = true;
        else if (!isSpace(c))
            afterEquals = false;
    }
    return page.size();
}

qsizetype indexOfNoCase(const QByteArray &page, const QByteArray &needle, qsizetype from) {
    const qsizetype last = page.size() - needle.size();
    for (qsizetype i = from; i <= last; ++i)
        if (qstrnicmp(page.constData() + i, needle.constData(), size_t(needle.size())) == 0)
            return i;
    return -1;
}

}  // namespace

QList<HtmlToken> scanHtml(const QByteArray &page) {
    QList<HtmlToken> tokens;
    qsizetype textStart = 0;
    const auto flushText = [&](qsizetype upTo) {
        if (upTo > textStart)
            tokens.append({HtmlToken::Kind::Text, textStart, upTo, {}, false});
    };
    qsizetype i = 0;
    const qsizetype n = page.size();
    while (i < n) {
        if (page[i] != '<' || i + 1 >= n) {
            ++i;
            continue;
        }
        const char next = page[i + 1];
        HtmlToken token;
        token.begin = i;
        if (page.mid(i, 4) == "<!--") {
            const qsizetype close = page.indexOf("-->", i + 4);
            token.kind = HtmlToken::Kind::Other;
            token.end = close < 0 ? n : close + 3;
        } else if (next == '!' || next == '?') {
            token.kind = HtmlToken::Kind::Other;
            token.end = tagEnd(page, i + 2);
        } else if (const bool isEnd = next == '/' && i + 2 < n;
                   std::isalpha(static_cast<unsigned char>(page[isEnd ? i + 2 : i + 1]))) {
            const qsizetype nameBegin = isEnd ? i + 2 : i + 1;
            qsizetype e = nameBegin;
            while (e < n && isNameChar(page[e]))
                ++e;
            token.kind = isEnd ? HtmlToken::Kind::EndTag : HtmlToken::Kind::StartTag;
            token.name = page.mid(nameBegin, e - nameBegin).toLower();
            token.end = tagEnd(page, e);
            token.isVoid = !isEnd && (isVoidElement(token.name) ||
                                      (page[token.end - 2] == '/' && page[token.end - 1] == '>'));
        } else {
            ++i;
            continue;
        }
        flushText(i);
        tokens.append(token);
        i = textStart = token.end;
        if (token.kind == HtmlToken::Kind::StartTag && !token.isVoid && isRawTextElement(token.name)) {
            const qsizetype close = indexOfNoCase(page, "</" + token.name, i);
            i = close < 0 ? n : close;
            flushText(i);
            textStart = i;
        }
    }
    flushText(n);
    return tokens;
}

AttributeSpan findAttribute(const QByteArray &page, const HtmlToken &tag, const QByteArray &name) {
    if (tag.kind != HtmlToken::Kind::StartTag)
        return {};
    qsizetype i = tag.begin + 1 + tag.name.size();
    const qsizetype end = tag.end - 1;  // the closing '>'
    while (i < end) {
        while (i < end && (isSpace(page[i]) || page[i] == '/'))
            ++i;
        const qsizetype nameBegin = i;
        while (i < end && !isSpace(page[i]) && page[i] != '=' && page[i] != '>' && page[i] != '/')
            ++i;
        const QByteArray attribute = page.mid(nameBegin, i - nameBegin);
        while (i < end && isSpace(page[i]))
            ++i;
        AttributeSpan value{i, i};
        if (i < end && page[i] == '=') {
            ++i;
            while (i < end && isSpace(page[i]))
                ++i;
            if (i < end && (page[i] == '"' || page[i] == '\'')) {
                const char quote = page[i];
                const qsizetype close = page.indexOf(quote, i + 1);
                value = {i + 1, close < 0 || close > end ? end : close};
                i = value.end + 1;
            } else {
                value.begin = i;
                while (i < end && !isSpace(page[i]) && page[i] != '>')
                    ++i;
                value.end = i;
            }
        }
        if (attribute.isEmpty())
            break;
        if (qstricmp(attribute.constData(), name.constData()) == 0)
            return value;
    }
    return {};
}

QByteArray attributeValue(const QByteArray &page, const HtmlToken &tag, const QByteArray &name) {
    const AttributeSpan span = findAttribute(page, tag, name);
    return span.begin < 0 ? QByteArray() : decodeEntities(page.mid(span.begin, span.end - span.begin));
}

QByteArray decodeEntities(const QByteArray &text) {
    if (!text.contains('&'))
        return text;
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype semicolon = text[i] == '&' ? text.indexOf(';', i) : -1;
        if (semicolon < 0 || semicolon - i > 10) {
            out += text[i];
            continue;
        }
        const QByteArray entity = text.mid(i + 1, semicolon - i - 1);
        QByteArray replacement;
        if (entity == "amp")
            replacement = "&";
        else if (entity == "lt")
            replacement = "<";
        else if (entity == "gt")
            replacement = ">";
        else if (entity == "quot")
            replacement = "\"";
        else if (entity == "apos")
            replacement = "'";
        else if (entity.startsWith('#')) {
            bool ok = false;
            const uint code = entity.startsWith("#x") || entity.startsWith("#X")
                                  ? entity.mid(2).toUInt(&ok, 16)
                                  : entity.mid(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
                const char32_t c = code;
                replacement = QString::fromUcs4(&c, 1).toUtf8();
            }
        }
        if (replacement.isEmpty()) {
            out += text[i];
            continue;
        }
        out += replacement;
        i = semicolon;
    }
    return out;
}

QByteArray escapeHtmlText(const QByteArray &utf8) {
    QByteArray out;
    for (char c : utf8) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace zelbrin
