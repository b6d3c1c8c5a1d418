#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace zelbrin {

// What the office worker reports beside a page when asked for it: the document's
// headings (for a workbook its sheets, for a presentation its slides, all as level 1)
// and its index entries, each with the anchor (<a name>) that marks its place in the
// page. Written as a small JSON file beside the page (outlineFilePath).
struct OutlineHeading {
    int level = 1;   // 1 for the top level; Writer knows up to 10
    QString text;    // numbering label, a blank, then the heading's text; never empty
    QString anchor;  // <a name> in the page, right at the heading's start
};

struct OutlineIndexEntry {
    QStringList levels;  // main entry first, then the sub-entries ("主条目:次条目")
    QString anchor;
};

struct DocumentOutline {
    static constexpr int kVersion = 1;

    QString kind;  // officeprotocol's kWriter, kCalc or kImpress
    QList<OutlineHeading> headings;
    QList<OutlineIndexEntry> indexEntries;
};

// The side file of a page: "<page>.outline.json" in the page's folder.
QString outlineFilePath(const QString &pagePath);

QByteArray writeOutline(const DocumentOutline &outline);
// None when the bytes are not an outline of a version this program reads; entries with
// an empty text or anchor are dropped.
std::optional<DocumentOutline> readOutline(const QByteArray &bytes);

// The levels of an index entry as Word writes them: separated by ":", where "\:" stands
// for a colon inside a level. Blanks around each level go; empty levels are dropped.
QStringList splitIndexEntryText(const QString &text);
// Runs of white space (tabs, line breaks) become one blank; the ends are trimmed.
QString normalizedHeadingText(const QString &text);

}  // namespace zelbrin
