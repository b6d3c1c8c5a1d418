#include "pagekeywords.h"

#include "codepage.h"
#include "markup.h"
#include "textencoding.h"

namespace zelbrin::hhc {

PageKeywords readPageKeywords(QByteArray &page, const chm::AnsiCodePage &codePage) {
    PageKeywords found;
    // Cheap test first: nearly every page has no keyword object.
    if (!page.contains("x-oleobject") && !page.contains("X-OLEOBJECT") && !page.contains("x-OleObject"))
        return found;
    const QByteArray lower = page.toLower();
    qsizetype objectEnd = -1;  // where the keyword object being read ends
    QList<Edit> removals;
    forEachTag(page, QuoteRule::Html, [&](const Tag &tag) {
        const QByteArray name = tag.name.toLower();
        auto valueOf = [&](const char *attribute) {
            const TagAttribute *a = tag.attribute(attribute);
            return a ? page.mid(a->value.begin, a->value.end - a->value.begin) : QByteArray();
        };
        if (name == "object") {
            objectEnd = -1;
            if (valueOf("type").trimmed().toLower() != "application/x-oleobject")
                return;
            const qsizetype close = lower.indexOf("</object", tag.whole.end);
            objectEnd = close < 0 ? page.size() : close;
            if (valueOf("classid").trimmed().toLower() == "clsid:1e2a7bd0-dab9-11d0-b93a-00c04fc99f9e" && close >= 0) {
                const qsizetype gt = page.indexOf('>', close);
                removals.append({{tag.whole.begin, gt < 0 ? page.size() : gt + 1}, QByteArray()});
            }
            return;
        }
        if (name != "param" || objectEnd < 0 || tag.whole.begin > objectEnd)
            return;
        const QByteArray param = valueOf("name").trimmed().toLower();
        QStringList *into = param == "keyword" ? &found.keywords : param == "alink name" ? &found.associative : nullptr;
        if (!into)
            return;
        for (const QString &k : decodeCharacterReferences(chm::decodeAnsi(valueOf("value"), codePage)).split(u';')) {
            const QString keyword = k.simplified();
            if (!keyword.isEmpty() && (into == &found.associative || !into->contains(keyword)))
                into->append(keyword);
        }
    });
    if (!removals.isEmpty())
        page = applyEdits(page, removals);
    return found;
}

}  // namespace zelbrin::hhc
