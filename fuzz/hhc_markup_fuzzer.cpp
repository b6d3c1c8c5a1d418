// hhc's page scanner: tags, links in HTML and style sheets, and the edits that rewrite them.
#include "fuzzsupport.h"
#include "markup.h"

using namespace zelbrin;
using namespace zelbrin::hhc;

namespace {

void checkSpan(const Span &s, qsizetype from, qsizetype to, const char *what) {
    fuzz::check(from <= s.begin && s.begin <= s.end && s.end <= to, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype n = text.size();
    for (QuoteRule rule : {QuoteRule::Html, QuoteRule::Sitemap}) {
        forEachTag(
            text, rule,
            [&](const Tag &tag) {
                checkSpan(tag.whole, 0, n, "a tag lies inside the text");
                for (const TagAttribute &a : tag.attributes)
                    if (a.hasValue)
                        checkSpan(a.value, tag.whole.begin, tag.whole.end, "a value lies inside its tag");
            },
            [&](const Tag &tag, Span content) {
                checkSpan(content, tag.whole.end, n, "raw content follows its tag");
            });
    }

    QList<Edit> edits;
    for (const Span &s : findHtmlLinks(text)) {
        checkSpan(s, 0, n, "an HTML link lies inside the text");
        edits.append({s, QByteArrayLiteral("x")});
    }
    for (const Span &s : findCssLinks(text))
        checkSpan(s, 0, n, "a style sheet link lies inside the text");
    const QByteArray edited = applyEdits(text, edits);
    fuzz::check(!edits.isEmpty() || edited == text, "no edits keep the text");
    return 0;
}
