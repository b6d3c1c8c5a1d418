#pragma once

#include "container.h"
#include "helpproject.h"
#include "sitemap.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace zelbrin::chm {
struct AnsiCodePage;
}

namespace zelbrin::hhc {

struct HelpFilePage {
    QString name;    // its staged name
    QString title;   // its <title>; empty when it has none
    QString source;  // the file it was staged from
};

// The staged help project, from which the help file's own files are made.
struct StagedProject {
    const HelpProject *project = nullptr;
    quint32 lcid = 0x0804;
    QList<HelpFilePage> pages;  // every page, in staging order
    QString contentsName;       // staged names of the contents and index files; empty if none
    QString indexName;
    QList<SitemapObject> contents;
    QList<SitemapObject> index;
    QList<WindowDefinition> windows;  // with staged names
    QString defaultTopic;             // staged name
    QStringList aliases;              // "ID=staged name"
    QString compiledFile;             // the path of the help file being made
    bool fullTextSearch = false;
};

struct InternalFiles {
    QList<chm::StoredFile> files;  // #SYSTEM, #WINDOWS, #STRINGS, #TOPICS, #URLTBL, #URLSTR, ...
    QStringList topicTitles;       // the title of every page, by topic number (= page order)
    QStringList warnings;
};

// The files the help viewer reads to open the help file: #SYSTEM, the window definitions,
// the topic table with every page's title (its <title>, else its caption in the contents,
// else its file name), the keyword index made from the index file as the Windows compiler
// reads it (the first Name of an entry is the keyword, each further Name and Local pair a
// topic; nested lists make sub-keywords) and the context numbers of [MAP] and [ALIAS].
InternalFiles writeInternalFiles(const StagedProject &staged, const chm::AnsiCodePage &codePage);

}  // namespace zelbrin::hhc
