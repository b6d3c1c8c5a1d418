#pragma once

#include "topiccontents.h"
#include "topicsettings.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace zelbrin {

class StructureModel;
class TreeNode;

// What a document's outline adds below its contents entry and to the index; locals are
// page file names beside the document's page (topiccontents.h).
struct DocumentTopics {
    QList<TopicEntry> contents;
    QList<TopicKeyword> keywords;
};
using DocumentTopicsMap = QHash<const TreeNode *, DocumentTopics>;

// The caption a node's contents entry shows: a branch its whole caption, a leaf the bare
// name of it. Its pages carry it as their title where topics are on.
QString contentsCaption(const TreeNode *node);

// Naming rule that ties a tree node to its page, and the texts of the help project
// (.hhp), contents (.hhc) and index (.hhk) files. Folder paths end with "/".

// The file-name part after the last "/", without its last extension. Only "/" separates:
// ":" and "\" are ordinary file-name characters here.
QString bareFileName(const QString &path);
// A caption as one folder name that stays inside its parent: "/", "\", NUL and control
// characters become "_", a leading or trailing blank becomes "_", "." and ".." become
// "_." and "_..", an empty caption "_", an over-long one is shortened with a hash.
// Plain names (Chinese included) are returned unchanged.
QString safeFolderName(const QString &caption);
// Mapped captions of the node's ancestors, top-level first, each followed by "/";
// empty for a top-level node.
QString catalogPath(const TreeNode *node);
// Page file name of a link: its bare name + ".htm", except that a link ending in ".html"
// (any letter case) keeps its own file name, because that page is copied under it.
QString pageFileName(const QString &link);

// Where every node's page lies below the HTML folder: what the conversion writes and what
// the contents and index files name. Worked out from the whole tree, because a page's name
// depends on the pages beside it. The same tree gives the same layout every time.
//
// A node's page lies in its catalog's folder (catalogPath) under pageFileName(link), with
// two exceptions, so that no page is lost and every name fits the help file:
// - Documents of different paths whose page names are the same (letter case aside) in one
//   folder: the first in tree order keeps the name, each later one gets "_2", "_3"... before
//   its extension, skipping names that other pages there have.
// - A folder whose names would exceed the help file's longest internal name (512 bytes of
//   UTF-8, with room for a page's pictures) is "~" + 16 hex digits of its path's hash, right
//   below the HTML folder; the folders below it grow from there.
// - A document that is split into topics (its settings applied to project's) claims the
//   names of its later pages (topicPageFileName: "<stem>_part<n>.htm"); another document
//   whose page would have such a name is numbered as above.
class PageLayout {
public:
    explicit PageLayout(const StructureModel &tree, const TopicSettings &project = {});

    // The folder (below the HTML folder, ending in "/") that holds the pages of node's
    // children; "" for the top level (node null).
    QString childFolder(const TreeNode *node) const;
    // The folder that holds node's own page.
    QString folderOf(const TreeNode *node) const;
    QString pageName(const TreeNode *node) const;
    QString pagePath(const TreeNode *node) const { return folderOf(node) + pageName(node); }

private:
    QHash<const TreeNode *, QString> folders_;  // of nodes with children
    QHash<const TreeNode *, QString> renamed_;  // pages that do not keep pageFileName(link)
};

// The .hhp text; projectDir ends with "/", defaultTopic may be empty.
QStringList helpProjectLines(const QString &projectDir, const QString &projectName,
                             const QString &defaultTopic);
// Appends the whole contents text and the whole index text to the two lists. A document
// with topics has their entries nested below its own; the keywords of every document
// follow the documents' own index entries, joined where they are the same.
void writeSitemaps(QStringList &contents, QStringList &index, const StructureModel &tree,
                   const QString &htmlFolder, const TopicSettings &project = {},
                   const DocumentTopicsMap &topics = {});
// The contents fragment of node's children and their descendants, lines joined with
// CR LF; appends the index entries of the leaves among them.
QString writeSitemapBranch(const TreeNode *node, QStringList &index, const PageLayout &layout,
                           const QString &htmlFolder, const DocumentTopicsMap &topics = {});

// Saves lines in GBK, CR LF after every line, no BOM. Throws BuildError when a line cannot be
// held by GBK or the file cannot be written (atomically: see atomicfile.h).
void saveGbkLines(const QString &path, const QStringList &lines);
// Throws BuildError naming the first caption (or linked document) whose text written into the
// contents or index file GBK cannot hold. Call before writing the sitemaps.
void checkGbkCaptions(const StructureModel &tree);
// The same for what documents' outlines add (headings, index entries), naming the first
// document, in tree order, and its text.
void checkGbkTopics(const StructureModel &tree, const DocumentTopicsMap &topics);

}  // namespace zelbrin
