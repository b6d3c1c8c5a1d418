#include "sitemap.h"

#include "codepage.h"
#include "markup.h"
#include "references.h"
#include "stager.h"
#include "textencoding.h"

#include <QDir>

namespace zelbrin::hhc {

namespace {

// A stored name as a Local's value: what would end the value or the name escaped.
QString localText(QString path) {
    return path.replace(u'&', QStringLiteral("&amp;"))
        .replace(u'"', QStringLiteral("&quot;"))
        .replace(u'<', QStringLiteral("&lt;"))
        .replace(u'>', QStringLiteral("&gt;"))
        .replace(u'%', QStringLiteral("%25"))
        .replace(u'#', QStringLiteral("%23"))
        .replace(u'?', QStringLiteral("%3F"));
}

}  // namespace

StagedSitemap stageSitemap(const QByteArray &text, const QString &sitemapPath, const QString &storedName,
                           const QString &projectFolder, const chm::AnsiCodePage &codePage, Stager &stager) {
    StagedSitemap result;
    QList<Edit> edits;
    const bool atTop = !storedName.contains(u'/');
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
        const auto found = resolveReference(raw, folderOf(sitemapPath), TextEncoding::Gbk, projectFolder);
        if (found) {
            const QString staged = stager.stage(found->path);
            if (result.firstPage.isEmpty())
                result.firstPage = staged;
            if (atTop && found->asWritten && staged == QDir(projectFolder).relativeFilePath(found->path))
                return;
            const QString local = (atTop ? QString() : QStringLiteral("/")) + localText(staged);
            edits.append({value->value, chm::encodeAnsiLossy(local, codePage) + found->suffix});
            return;
        }
        const QString fileName = referenceFileName(raw, TextEncoding::Gbk).toLower();
        if (fileName == u".htm" || fileName == u".html") {
            result.dropped.append(chm::decodeAnsi(raw.trimmed(), codePage));
            edits.append({tag.whole, QByteArray()});
        } else {
            result.missing.append(chm::decodeAnsi(raw.trimmed(), codePage));
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

QList<SitemapObject> readSitemapObjects(const QByteArray &text, const chm::AnsiCodePage &codePage) {
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
            objects.last().params.append(
                {chm::decodeAnsi(valueOf(tag.attribute("name")), codePage).trimmed().toLower(),
                 decodeCharacterReferences(chm::decodeAnsi(valueOf(tag.attribute("value")), codePage))});
        }
    });
    return objects;
}

}  // namespace zelbrin::hhc
