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
            // Captions come unescaped; readers would cut them at a quote.
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

QString SitemapObject::value(const QString &name) const {
    for (const auto &[key, v] : params) {
        if (key == name)
            return v;
    }
    return QString();
}

QList<SitemapObject> readSitemapObjects(const QByteArray &text) {
    // End tags are not visited by the scanner; where lists and objects end is found apart.
    struct End {
        qsizetype at;
        bool list;
    };
    QList<End> ends;
    for (qsizetype at = 0; (at = text.indexOf("</", at)) >= 0; at += 2) {
        const QByteArray name = text.mid(at + 2, 6).toLower();
        if (name.startsWith("ul"))
            ends.append({at, true});
        else if (name.startsWith("object"))
            ends.append({at, false});
    }
    QList<SitemapObject> objects;
    int depth = 0;
    qsizetype endsSeen = 0;
    bool inObject = false;
    forEachTag(text, QuoteRule::Sitemap, [&](const Tag &tag) {
        for (; endsSeen < ends.size() && ends[endsSeen].at < tag.whole.begin; ++endsSeen) {
            if (ends[endsSeen].list)
                depth = std::max(0, depth - 1);
            else
                inObject = false;
        }
        const QByteArray name = tag.name.toLower();
        const auto valueOf = [&](const TagAttribute *a) {
            return a ? text.mid(a->value.begin, a->value.end - a->value.begin) : QByteArray();
        };
        if (name == "ul") {
            ++depth;
        } else if (name == "object") {
            SitemapObject o;
            o.type = valueOf(tag.attribute("type")).trimmed().toLower();
            o.depth = depth;
            objects.append(o);
            inObject = true;
        } else if (name == "param" && inObject) {
            objects.last().params.append({decodeGbk(valueOf(tag.attribute("name"))).trimmed().toLower(),
                                          decodeEntities(decodeGbk(valueOf(tag.attribute("value"))))});
        }
    });
    return objects;
}

}  // namespace zelbrin::hhc
