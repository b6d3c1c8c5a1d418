#pragma once

#include <QString>
#include <QStringList>

namespace zelbrin {

class StructureModel;
class TreeNode;

// Naming rule that ties a tree node to its page, and the texts of the help project
// (.hhp), contents (.hhc) and index (.hhk) files. Folder paths end with "/".

// The file-name part after the last "/", without its last extension. Only "/" separates:
// ":" and "\" are ordinary file-name characters here.
QString BareFileName(const QString &path);
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
// htmlFolder + catalogPath(node) + pageFileName(node->link): where the conversion writes
// the node's page and what the contents and index files name.
QString pagePath(const QString &htmlFolder, const TreeNode *node);

// The .hhp text; projectDir ends with "/", defaultTopic may be empty.
QStringList helpProjectLines(const QString &projectDir, const QString &projectName,
                             const QString &defaultTopic);
// Appends the whole contents text and the whole index text to the two lists.
void WriteSitemaps(QStringList &contents, QStringList &index, const StructureModel &tree,
                   const QString &htmlFolder);
// The contents fragment of node's children and their descendants, lines joined with
// CR LF; appends the index entries of the leaves among them. catalogPath is the folder
// path of node's children below htmlFolder (mapped captions, ending with "/").
QString WriteSitemapBranch(const TreeNode *node, QStringList &index, const QString &catalogPath,
                           const QString &htmlFolder);

// Saves lines in GBK, CR LF after every line, no BOM. Throws BuildError when a line cannot be
// held by GBK or the file cannot be written (atomically: see atomicfile.h).
void saveGbkLines(const QString &path, const QStringList &lines);
// Throws BuildError naming the first caption (or linked document) whose text written into the
// contents or index file GBK cannot hold. Call before writing the sitemaps.
void checkGbkCaptions(const StructureModel &tree);

}  // namespace zelbrin
