#include "sitemap.h"

#include "gbk.h"
#include "markup.h"
#include "references.h"
#include "stager.h"

namespace zelbrin::hhc {

StagedSitemap stageSitemap(const QByteArray &text, const QString &projectFolder, Stager &stager) {
    StagedSitemap result;
    QList<Edit> edits;
    forEachTag(text, QuoteRule::Sitemap, [&](const Tag &tag) {
        if (tag.name.toLower() != "param")
            return;
        const TagAttribute *name = tag.attribute("name");
        const TagAttribute *value = tag.attribute("value");
        if (!name || !value)
            return;
        const QByteArray key = text.mid(name->value.begin, name->value.end - name->value.begin);
        const QByteArray raw = text.mid(value->value.begin, value->value.end - value->value.begin);
        if (key.trimmed().toLower() != "local") {
            // Captions come unescaped; chmcmd and the readers would cut them at a quote.
            if (raw.contains('"') || raw.contains('<') || raw.contains('>')) {
                QByteArray escaped = raw;
                escaped.replace('"', "&quot;").replace('<', "&lt;").replace('>', "&gt;");
                edits.append({value->value, escaped});
            }
            return;
        }
        if (raw.trimmed().isEmpty() || isExternalReference(raw))
            return;
        const auto found = resolveReference(raw, projectFolder, TextEncoding::Gbk, projectFolder);
        if (found) {
            const QString staged = stager.stage(found->path);
            if (result.firstPage.isEmpty())
                result.firstPage = staged;
            edits.append({value->value, staged.toLatin1() + found->suffix});
            return;
        }
        const QString fileName = referenceFileName(raw, TextEncoding::Gbk).toLower();
        if (fileName == u".htm" || fileName == u".html") {
            result.dropped.append(decodeGbk(raw.trimmed()));
            edits.append({tag.whole, QByteArray()});
        } else {
            result.missing.append(decodeGbk(raw.trimmed()));
        }
    });
    result.text = applyEdits(text, edits);
    return result;
}

}  // namespace zelbrin::hhc
