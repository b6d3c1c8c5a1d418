#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The binary keyword index ($WWKeywordLinks), which the help viewer's Index tab shows.
namespace zelbrin::chm {

// One keyword of a list in which sub-keywords name their parent by its place, so that an
// index nested thousands of levels deep takes memory and time in proportion to its size.
struct Keyword {
    QString name;           // the keyword as its own level shows it
    QList<quint32> topics;  // the topics (#TOPICS numbers) it leads to, in order, each once
    QStringList seeAlso;    // the keywords a "See Also" entry points to instead
    qsizetype parent = -1;  // the keyword it is a sub-keyword of: an earlier place in the list; -1 at the top
    bool placeholder = false;  // stands only for its level: an entry (without topics) only when keywords lie below it
};

// Merges keywords of the same path (the same name below the same parent; their topics
// joined, each topic once) and sorts them as the language sorts text, every sub-keyword
// right after its parent. A sub-keyword whose parent is no keyword of its own gets the
// parent as an entry without topics. In the result, parent is a place in the result.
QList<Keyword> mergeKeywords(const QList<Keyword> &keywords, const QString &locale);

struct KeywordIndexFiles {
    QByteArray btree;     // $WWKeywordLinks/BTree
    QByteArray data;      // $WWKeywordLinks/Data
    QByteArray map;       // $WWKeywordLinks/Map
    QByteArray property;  // $WWKeywordLinks/Property
    QStringList shortened;  // keywords whose topics did not fit a block and were cut short
};

// The B-tree of sorted keywords (as mergeKeywords leaves them): 2048-byte listing blocks
// chained in order, then levels of index blocks up to the root. Keywords are UTF-16.
KeywordIndexFiles writeKeywordIndex(const QList<Keyword> &sorted, quint32 lcid, int codePage);

}  // namespace zelbrin::chm
