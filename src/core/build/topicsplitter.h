#pragma once

#include "documentoutline.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace zelbrin {

// One page of a document that has been split at its headings.
struct TopicPage {
    QString fileName;  // beside the document's page; the first page keeps the document's name
    QString title;     // its <title>: the heading it begins with, or the document's title
    int heading = -1;  // the outline heading it begins with; -1 for what precedes the first
    QString anchor;    // that heading's anchor
    QByteArray html;
};

// Where an anchor of the document ended up.
struct TopicPlace {
    int page = -1;     // index into TopicSplit::pages
    int section = -1;  // the outline heading whose text holds it (the nearest one before it,
                       // of any level); -1 before the first heading
};

struct TopicSplit {
    QList<TopicPage> pages;
    QHash<QString, TopicPlace> anchors;  // every <a name> and id of the document

    // "page.htm#anchor", or just "page.htm" where the anchor begins its page (a split
    // heading); empty when the anchor is not in the document.
    QString localOf(const QString &anchor) const;
    // The title a reader sees for the place of anchor: its section's heading, else the
    // title of its page.
    QString titleAt(const QString &anchor, const DocumentOutline &outline) const;
};

// Cuts an office page (UTF-8 HTML, as the office worker writes it with an outline) into
// one page per heading of level splitLevel or above (0: no cut). What stands before the
// first such heading stays on the document's own page (pageFileName) under documentTitle;
// when nothing stands there, the first heading's page takes the document's name instead.
// Each page keeps the head of the document (style sheet, charset) with its own title,
// elements left open across a cut are closed and opened again, notes go with the page
// that refers to them, and every link to an anchor of the document leads to the page that
// holds it. Each page of a split document ends with a line of links to the pages before,
// above and after it: 上一页, 上一级, 下一页.
// Headings whose anchor the page lacks, or that stand out of order, are not cut at.
TopicSplit splitTopics(const QByteArray &page, const QString &pageFileName,
                       const QString &documentTitle, const DocumentOutline &outline, int splitLevel);

// The file name of the number-th page after the first: "guide.htm" -> "guide_part3.htm".
// A name that would grow beyond what Linux file systems hold is shortened with a hash.
QString topicPageFileName(const QString &pageFileName, int number);

// The office drops the bookmark of a heading that opens the document, so the page lacks
// the first heading's anchor when the document begins with it. Where the first heading
// element of the body holds the outline's first heading, the anchor is put back at its
// start; otherwise the page is returned as it is.
QByteArray withFirstHeadingAnchor(const QByteArray &page, const DocumentOutline &outline);

// The page with title as its <title> (one is added to the head when there is none).
QByteArray withPageTitle(const QByteArray &page, const QString &title);

}  // namespace zelbrin
