#pragma once

#include "container.h"
#include "helpproject.h"
#include "pagekeywords.h"
#include "sitemap.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace zelbrin::chm {
struct AnsiCodePage;
}

namespace zelbrin::hhc {

// A file that is a topic of the help file.
struct HelpFilePage {
    QString name;    // its stored name
    QString title;   // its <title>; empty when it has none
    QString source;  // the file it was staged from
    PageKeywords keywords;
    bool isSitemap = false;  // a contents or index file that a window names: a topic without a title
};

// The project's contents or index file as the help file stores it.
struct StagedSitemapFile {
    QString stored;          // its stored name; empty when the project has none
    QString written;         // its name as #SYSTEM and the windows record it
    bool recorded = false;   // #SYSTEM names it (no window does)
    QList<SitemapObject> objects;
};

// The staged help project, from which the help file's own files are made.
struct StagedProject {
    const HelpProject *project = nullptr;
    quint32 lcid = 0x0804;
    QList<HelpFilePage> topicFiles;  // the files that are topics, in topic order
    StagedSitemapFile contents;
    StagedSitemapFile index;
    QList<WindowDefinition> windows;  // with names as the help file records them
    QString defaultTopic;
    QStringList aliases;              // "ID=name"
    QString compiledFile;             // the path of the help file being made
    bool fullTextSearch = false;
    bool binaryContents = false;      // Binary TOC=Yes: #TOCIDX is stored
};

struct InternalFiles {
    // In the order the help compiler stores them: #SYSTEM, #WINDOWS, #IVB, the keyword
    // indexes, $OBJINST, #IDXHDR, #TOCIDX, #TOPICS, #URLTBL, #URLSTR, #STRINGS, #ITBITS.
    QList<chm::StoredFile> files;
    QStringList topicTitles;           // the title of every topic, by topic number
    QHash<QString, quint32> topicOf;  // a file's topic, by stored name
    QStringList warnings;
};

// The files the help viewer reads to open the help file: #SYSTEM, the window definitions,
// the topic table with every topic's title (for a page the contents name, the contents'
// caption; else its <title>), the binary contents' layout, the keyword index made from the
// index file as the Windows compiler reads it (the first Name of an entry is the keyword,
// each further Name and Local pair a topic; nested lists make sub-keywords) and from the
// pages' keyword objects, the associative index from their ALink names, and the context
// numbers of [MAP] and [ALIAS].
InternalFiles writeInternalFiles(const StagedProject &staged, const chm::AnsiCodePage &codePage);

}  // namespace zelbrin::hhc
