#pragma once

#include "documentoutline.h"
#include "topicsplitter.h"

#include <QList>
#include <QString>

namespace zelbrin {

// What a document's outline adds to the contents and the index of the help file. Locals
// are page file names beside the document's page, with "#anchor" where the place lies
// inside a page; the writers of the contents and index files put the folder before them.

// An entry below the document's own contents entry.
struct TopicEntry {
    QString title;
    QString local;
    QList<TopicEntry> children;
};

// One entry per heading down to level depth (0: none), nested by level; a heading that
// is deeper than the one before it by more than one level nests under that one.
QList<TopicEntry> topicContents(const DocumentOutline &outline, const TopicSplit &split, int depth);

// A place that a keyword leads to, as the index's list of topics shows it.
struct KeywordPlace {
    QString title;
    QString local;
    bool operator==(const KeywordPlace &) const = default;
};

struct TopicKeyword {
    QString text;
    QList<KeywordPlace> places;         // none for a main entry used only with sub-entries
    QList<TopicKeyword> subKeywords;
};

// Keywords from the document's index entries (main entry with its sub-entries) and, when
// asked, from its headings; places that share a keyword are listed together, each page
// and title once.
QList<TopicKeyword> topicKeywords(const DocumentOutline &outline, const TopicSplit &split,
                                  bool fromIndexEntries, bool fromHeadings);

// Adds keywords to a list, joining those of the same text (for the keywords of several
// documents); keeps the order in which keywords first came.
void mergeKeywords(QList<TopicKeyword> &into, const QList<TopicKeyword> &more);

}  // namespace zelbrin
