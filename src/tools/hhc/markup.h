#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Byte-level scanners for HTML, sitemaps and style sheets. Pages may be GBK or UTF-8;
// both keep every byte of markup (< > = quotes blanks) below 0x40, where no GBK trail
// byte lies, so scanning the raw bytes is safe and the rest of a page stays untouched.
namespace zelbrin::hhc {

// A byte range [begin, end) of a text.
struct Span {
    qsizetype begin = 0;
    qsizetype end = 0;
};

struct TagAttribute {
    QByteArray name;  // as written
    bool hasValue = false;
    Span value;       // without the quotes
};

struct Tag {
    QByteArray name;  // as written
    Span whole;       // from "<" to one past ">"
    QList<TagAttribute> attributes;
    const TagAttribute *attribute(const char *lowerName) const;
};

enum class QuoteRule {
    Html,     // a quoted value ends at its closing quote
    Sitemap,  // a quote belongs to the value unless the tag or another attribute follows
              // it: sitemap writers put captions with quotes in unescaped
};

// Calls visit for every start tag. Plain comments, <!...>, <?...> and end tags are skipped;
// the markup inside conditional comments (<!--[if ...]>) is scanned like any other, since
// Word puts pictures there. The raw content of script, style, textarea and xmp elements is
// not scanned as markup; rawText is called with a style element's content.
void forEachTag(const QByteArray &text, QuoteRule rule, const std::function<void(const Tag &)> &visit,
                const std::function<void(const Tag &, Span)> &rawText = {});

// The values that name other files: src, href, background, lowsrc, dynsrc, object data,
// and url(...) / @import inside style elements and style attributes.
QList<Span> findHtmlLinks(const QByteArray &html);
// url(...) and @import references of a style sheet, within range (the whole text by default).
QList<Span> findCssLinks(const QByteArray &css, Span range = {0, -1});

struct Edit {
    Span span;
    QByteArray replacement;
};
// Applies non-overlapping edits (in any order); bytes outside them are kept as they are.
QByteArray applyEdits(const QByteArray &text, QList<Edit> edits);

}  // namespace zelbrin::hhc
