#include "markup.h"

#include <algorithm>

namespace zelbrin::hhc {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

bool isAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equalsLower(const QByteArray &s, const char *lowerName) {
    qsizetype i = 0;
    for (; i < s.size() && lowerName[i]; ++i) {
        if (lower(s[i]) != lowerName[i])
            return false;
    }
    return i == s.size() && lowerName[i] == '\0';
}

bool startsWithLower(const QByteArray &s, qsizetype at, const char *lowerText) {
    for (qsizetype k = 0; lowerText[k]; ++k) {
        if (at + k >= s.size() || lower(s[at + k]) != lowerText[k])
            return false;
    }
    return true;
}

qsizetype indexOfLower(const QByteArray &s, const char *lowerText, qsizetype from, qsizetype to) {
    for (qsizetype i = from; i < to; ++i) {
        if (startsWithLower(s, i, lowerText))
            return i;
    }
    return -1;
}

qsizetype skipBlanks(const QByteArray &s, qsizetype i, qsizetype to) {
    while (i < to && isBlank(s[i]))
        ++i;
    return i;
}

bool isNameByte(char c) {
    return isAsciiAlpha(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == ':' || c == '.';
}

// Whether the quote at i can end a sitemap value: what follows it is the end of the tag
// ("/>", or ">" before a line end or the next tag) or another attribute ("name =").
// A caption such as 关于"帮助" <v2> holds quotes followed by blanks and by "<".
bool endsSitemapValue(const QByteArray &s, qsizetype i) {
    const qsizetype n = s.size();
    qsizetype j = i + 1;
    if (j < n && s[j] == '>')
        return j + 1 >= n || isBlank(s[j + 1]) || s[j + 1] == '<';
    if (j + 1 < n && s[j] == '/' && s[j + 1] == '>')
        return true;
    if (j < n && !isBlank(s[j]))
        return false;
    j = skipBlanks(s, j, n);
    if (j >= n || s[j] == '>' || (s[j] == '/' && j + 1 < n && s[j + 1] == '>'))
        return true;
    if (!isAsciiAlpha(s[j]))
        return false;
    while (j < n && isNameByte(s[j]))
        ++j;
    j = skipBlanks(s, j, n);
    return j < n && s[j] == '=';
}

// Where a quoted value that starts after the opening quote at `open` ends (the index of
// its closing quote, or the text's end).
qsizetype closingQuote(const QByteArray &s, qsizetype open, QuoteRule rule) {
    const char q = s[open];
    qsizetype close = s.indexOf(q, open + 1);
    if (rule == QuoteRule::Sitemap) {
        while (close >= 0 && close + 1 < s.size()) {
            if (endsSitemapValue(s, close))
                break;
            const qsizetype further = s.indexOf(q, close + 1);
            if (further < 0)
                break;
            close = further;
        }
    }
    return close < 0 ? s.size() : close;
}

// Parses the start tag whose "<" is at lt; returns the index after its ">".
qsizetype parseTag(const QByteArray &s, qsizetype lt, QuoteRule rule, Tag &tag) {
    const qsizetype n = s.size();
    qsizetype j = lt + 1;
    const qsizetype nameStart = j;
    while (j < n && !isBlank(s[j]) && s[j] != '>' && !(s[j] == '/' && j + 1 < n && s[j + 1] == '>'))
        ++j;
    tag.name = s.mid(nameStart, j - nameStart);
    tag.attributes.clear();
    for (;;) {
        while (j < n && (isBlank(s[j]) || s[j] == '/'))
            ++j;
        if (j >= n) {
            tag.whole = {lt, n};
            return n;
        }
        if (s[j] == '>') {
            tag.whole = {lt, j + 1};
            return j + 1;
        }
        TagAttribute attr;
        const qsizetype attrStart = j;
        while (j < n && !isBlank(s[j]) && s[j] != '=' && s[j] != '>' &&
               !(s[j] == '/' && j + 1 < n && s[j + 1] == '>'))
            ++j;
        if (j == attrStart) {  // a stray "=" or similar
            ++j;
            continue;
        }
        attr.name = s.mid(attrStart, j - attrStart);
        const qsizetype afterName = skipBlanks(s, j, n);
        if (afterName < n && s[afterName] == '=') {
            j = skipBlanks(s, afterName + 1, n);
            attr.hasValue = true;
            if (j < n && (s[j] == '"' || s[j] == '\'')) {
                const qsizetype close = closingQuote(s, j, rule);
                attr.value = {j + 1, close};
                j = close < n ? close + 1 : n;
            } else {
                const qsizetype start = j;
                while (j < n && !isBlank(s[j]) && s[j] != '>')
                    ++j;
                attr.value = {start, j};
            }
        } else {
            j = afterName;
        }
        tag.attributes.append(attr);
    }
}

bool isLinkAttribute(const Tag &tag, const QByteArray &name) {
    if (equalsLower(name, "src") || equalsLower(name, "href") || equalsLower(name, "background") ||
        equalsLower(name, "lowsrc") || equalsLower(name, "dynsrc"))
        return !equalsLower(tag.name, "base");  // rewriting a base would move every other link
    return equalsLower(name, "data") && equalsLower(tag.name, "object");
}

}  // namespace

const TagAttribute *Tag::attribute(const char *lowerName) const {
    for (const TagAttribute &a : attributes) {
        if (equalsLower(a.name, lowerName))
            return &a;
    }
    return nullptr;
}

void forEachTag(const QByteArray &s, QuoteRule rule, const std::function<void(const Tag &)> &visit,
                const std::function<void(const Tag &, Span)> &rawText) {
    const qsizetype n = s.size();
    qsizetype i = 0;
    Tag tag;
    while (i < n) {
        const qsizetype lt = s.indexOf('<', i);
        if (lt < 0 || lt + 1 >= n)
            return;
        if (s.mid(lt, 4) == "<!--") {
            if (startsWithLower(s, lt + 4, "[if")) {
                const qsizetype gt = s.indexOf('>', lt);
                i = gt < 0 ? n : gt + 1;
            } else {
                const qsizetype end = s.indexOf("-->", lt + 4);
                i = end < 0 ? n : end + 3;
            }
            continue;
        }
        const char c = s[lt + 1];
        if (c == '!' || c == '?' || c == '/') {
            const qsizetype gt = s.indexOf('>', lt);
            i = gt < 0 ? n : gt + 1;
            continue;
        }
        if (!isAsciiAlpha(c)) {
            i = lt + 1;
            continue;
        }
        i = parseTag(s, lt, rule, tag);
        visit(tag);
        const bool selfClosing = tag.whole.end >= 2 && s[tag.whole.end - 2] == '/';
        const char *raw = nullptr;
        for (const char *name : {"script", "style", "textarea", "xmp"}) {
            if (equalsLower(tag.name, name))
                raw = name;
        }
        if (raw && !selfClosing) {
            const QByteArray closing = QByteArray("</") + raw;
            qsizetype end = indexOfLower(s, closing.constData(), i, n);
            if (end < 0)
                end = n;
            if (rawText && tag.whole.end <= end)
                rawText(tag, {i, end});
            i = end;
        }
    }
}

QList<Span> findCssLinks(const QByteArray &s, Span range) {
    QList<Span> spans;
    const qsizetype to = range.end < 0 ? s.size() : std::min(range.end, s.size());
    qsizetype i = range.begin;
    auto quoted = [&](qsizetype open) -> qsizetype {  // adds the string's content; returns past it
        const char q = s[open];
        qsizetype close = s.indexOf(q, open + 1);
        if (close < 0 || close >= to)
            close = to;
        spans.append({open + 1, close});
        return close < to ? close + 1 : to;
    };
    while (i < to) {
        const char c = s[i];
        if (c == '/' && i + 1 < to && s[i + 1] == '*') {
            const qsizetype end = s.indexOf("*/", i + 2);
            i = (end < 0 || end >= to) ? to : end + 2;
        } else if (c == '"' || c == '\'') {
            const qsizetype close = s.indexOf(c, i + 1);
            i = (close < 0 || close >= to) ? to : close + 1;
        } else if ((c == 'u' || c == 'U') && startsWithLower(s, i, "url(") &&
                   (i == range.begin || !isAsciiAlpha(s[i - 1]))) {
            qsizetype j = skipBlanks(s, i + 4, to);
            if (j < to && (s[j] == '"' || s[j] == '\'')) {
                j = quoted(j);
                const qsizetype paren = s.indexOf(')', j);
                i = (paren < 0 || paren >= to) ? to : paren + 1;
            } else {
                qsizetype close = s.indexOf(')', j);
                if (close < 0 || close >= to)
                    close = to;
                qsizetype end = close;
                while (end > j && isBlank(s[end - 1]))
                    --end;
                spans.append({j, end});
                i = close < to ? close + 1 : to;
            }
        } else if (c == '@' && startsWithLower(s, i, "@import")) {
            const qsizetype j = skipBlanks(s, i + 7, to);
            if (j < to && (s[j] == '"' || s[j] == '\''))
                i = quoted(j);
            else
                i = j;  // the url(...) form is found on the next step
        } else {
            ++i;
        }
    }
    return spans;
}

QList<Span> findHtmlLinks(const QByteArray &html) {
    QList<Span> spans;
    forEachTag(
        html, QuoteRule::Html,
        [&](const Tag &tag) {
            for (const TagAttribute &a : tag.attributes) {
                if (!a.hasValue)
                    continue;
                if (isLinkAttribute(tag, a.name))
                    spans.append(a.value);
                else if (equalsLower(a.name, "style"))
                    spans.append(findCssLinks(html, a.value));
            }
        },
        [&](const Tag &tag, Span content) {
            if (equalsLower(tag.name, "style"))
                spans.append(findCssLinks(html, content));
        });
    return spans;
}

QByteArray applyEdits(const QByteArray &text, QList<Edit> edits) {
    std::sort(edits.begin(), edits.end(),
              [](const Edit &a, const Edit &b) { return a.span.begin < b.span.begin; });
    QByteArray out;
    out.reserve(text.size() + 64);
    qsizetype at = 0;
    for (const Edit &e : edits) {
        if (e.span.begin < at)
            continue;  // overlapping edits cannot both apply; keep the first
        out.append(text.constData() + at, e.span.begin - at);
        out.append(e.replacement);
        at = e.span.end;
    }
    out.append(text.constData() + at, text.size() - at);
    return out;
}

}  // namespace zelbrin::hhc
