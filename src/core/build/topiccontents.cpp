#include "topiccontents.h"

namespace zelbrin {
namespace {

void addPlace(QList<KeywordPlace> &places, const KeywordPlace &place) {
    // The same topic under one keyword once, however often the document marks it there.
    const QString page = place.local.section(u'#', 0, 0);
    for (const KeywordPlace &known : places)
        if (known.title == place.title && known.local.section(u'#', 0, 0) == page)
            return;
    places.append(place);
}

TopicKeyword *keywordIn(QList<TopicKeyword> &list, const QString &text) {
    for (TopicKeyword &keyword : list)
        if (keyword.text == text)
            return &keyword;
    list.append({text, {}, {}});
    return &list.last();
}

void addKeyword(QList<TopicKeyword> &list, const QStringList &levels, const KeywordPlace &place) {
    QList<TopicKeyword> *level = &list;
    TopicKeyword *keyword = nullptr;
    for (const QString &text : levels) {
        keyword = keywordIn(*level, text);
        level = &keyword->subKeywords;
    }
    if (keyword)
        addPlace(keyword->places, place);
}

}  // namespace

QList<TopicEntry> topicContents(const DocumentOutline &outline, const TopicSplit &split, int depth) {
    QList<TopicEntry> entries;
    // The open entries by level, with the level each was made at.
    QList<std::pair<int, QList<TopicEntry> *>> open{{0, &entries}};
    for (const OutlineHeading &heading : outline.headings) {
        const QString local = split.localOf(heading.anchor);
        if (heading.level > depth || local.isEmpty())
            continue;
        while (open.last().first >= heading.level)
            open.removeLast();
        QList<TopicEntry> *siblings = open.last().second;
        siblings->append({heading.text, local, {}});
        open.append({heading.level, &siblings->last().children});
    }
    return entries;
}

QList<TopicKeyword> topicKeywords(const DocumentOutline &outline, const TopicSplit &split,
                                  bool fromIndexEntries, bool fromHeadings) {
    QList<TopicKeyword> keywords;
    if (fromIndexEntries)
        for (const OutlineIndexEntry &entry : outline.indexEntries)
            if (const QString local = split.localOf(entry.anchor); !local.isEmpty())
                addKeyword(keywords, entry.levels, {split.titleAt(entry.anchor, outline), local});
    if (fromHeadings)
        for (const OutlineHeading &heading : outline.headings)
            if (const QString local = split.localOf(heading.anchor); !local.isEmpty())
                addKeyword(keywords, {heading.text}, {heading.text, local});
    return keywords;
}

void mergeKeywords(QList<TopicKeyword> &into, const QList<TopicKeyword> &more) {
    for (const TopicKeyword &keyword : more) {
        TopicKeyword *target = keywordIn(into, keyword.text);
        for (const KeywordPlace &place : keyword.places)
            addPlace(target->places, place);
        mergeKeywords(target->subKeywords, keyword.subKeywords);
    }
}

}  // namespace zelbrin
