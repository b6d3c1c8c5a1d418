#include "documentoutline.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace zelbrin {

QString outlineFilePath(const QString &pagePath) {
    return pagePath + QStringLiteral(".outline.json");
}

QByteArray writeOutline(const DocumentOutline &outline) {
    QJsonArray headings;
    for (const OutlineHeading &h : outline.headings)
        headings.append(QJsonObject{{QStringLiteral("level"), h.level},
                                    {QStringLiteral("text"), h.text},
                                    {QStringLiteral("anchor"), h.anchor}});
    QJsonArray entries;
    for (const OutlineIndexEntry &e : outline.indexEntries)
        entries.append(QJsonObject{{QStringLiteral("levels"), QJsonArray::fromStringList(e.levels)},
                                   {QStringLiteral("anchor"), e.anchor}});
    const QJsonObject root{{QStringLiteral("version"), DocumentOutline::kVersion},
                           {QStringLiteral("kind"), outline.kind},
                           {QStringLiteral("headings"), headings},
                           {QStringLiteral("index"), entries}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<DocumentOutline> readOutline(const QByteArray &bytes) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("version")).toInt() != DocumentOutline::kVersion)
        return std::nullopt;
    DocumentOutline outline;
    outline.kind = root.value(QStringLiteral("kind")).toString();
    for (const QJsonValue &value : root.value(QStringLiteral("headings")).toArray()) {
        const QJsonObject h = value.toObject();
        OutlineHeading heading{h.value(QStringLiteral("level")).toInt(),
                               normalizedHeadingText(h.value(QStringLiteral("text")).toString()),
                               h.value(QStringLiteral("anchor")).toString()};
        if (heading.level >= 1 && !heading.text.isEmpty() && !heading.anchor.isEmpty())
            outline.headings.append(heading);
    }
    for (const QJsonValue &value : root.value(QStringLiteral("index")).toArray()) {
        const QJsonObject e = value.toObject();
        OutlineIndexEntry entry;
        for (const QJsonValue &level : e.value(QStringLiteral("levels")).toArray())
            if (const QString text = level.toString().trimmed(); !text.isEmpty())
                entry.levels.append(text);
        entry.anchor = e.value(QStringLiteral("anchor")).toString();
        if (!entry.levels.isEmpty() && !entry.anchor.isEmpty())
            outline.indexEntries.append(entry);
    }
    return outline;
}

QStringList splitIndexEntryText(const QString &text) {
    QStringList levels;
    QString level;
    const auto finish = [&] {
        if (const QString trimmed = level.trimmed(); !trimmed.isEmpty())
            levels.append(trimmed);
        level.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size() && text[i + 1] == u':') {
            level += u':';
            ++i;
        } else if (c == u':') {
            finish();
        } else {
            level += c;
        }
    }
    finish();
    return levels;
}

QString normalizedHeadingText(const QString &text) {
    return text.simplified();
}

}  // namespace zelbrin
