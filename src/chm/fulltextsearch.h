#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace zelbrin::chm {

struct SearchPage {
    quint32 topic = 0;  // index into #TOPICS
    QString title;      // indexed as title words ("titles only" search)
    QString html;       // the page decoded to Unicode
};

struct SearchOptions {
    quint32 languageId = 0x0804;
    int threads = 0;   // 0: one per core
    int codePage = 0;  // the words' Windows code page; 0: the language's ANSI code page
};

// The bytes of /$FIftiMain: the full-text search index of the pages as HTML Help Workshop
// writes it, words in the language's ANSI code page (a word that the code page cannot hold
// is left out but keeps its location). A query of several ideographs is matched by the
// Windows viewer through their consecutive locations.
// The result does not depend on the thread count. Empty for a code page iconv lacks.
QByteArray buildFullTextSearch(const QList<SearchPage> &pages, const SearchOptions &options);

}  // namespace zelbrin::chm
