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
    // Besides one word per ideograph (what the Windows viewer looks up, matching a query of
    // several ideographs through consecutive locations), each run of ideographs is also
    // stored from every position on, up to this many ideographs, with its pages but without
    // locations: readers that only match a word's beginning (CHMLib-based search) then find
    // words of that length too.
    int ideographRunPrefix = 6;
};

// The bytes of /$FIftiMain: the full-text search index of the pages, words in the
// language's ANSI code page (a word that the code page cannot hold is left out).
// The result does not depend on the thread count. Empty for a code page iconv lacks.
QByteArray buildFullTextSearch(const QList<SearchPage> &pages, const SearchOptions &options);

}  // namespace zelbrin::chm
