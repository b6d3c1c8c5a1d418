#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace zelbrin::chm {
struct AnsiCodePage;
}

namespace zelbrin::hhc {

class Stager;

struct StagedSitemap {
    QByteArray text;       // the sitemap with every Local naming its stored page
    QString firstPage;     // staged name of the first page it names; empty if none
    QStringList missing;   // Local values that name no existing file
    QStringList dropped;   // Local values naming the page ".htm" of a catalog without document
};

// Stages the pages that the Locals of a contents or index file (text in the help file's
// code page) name, relative to the sitemap's own folder, and rewrites those Locals that do
// not name their page as they stand once stored (bytes outside them stay as they are, so
// the titles keep their bytes): a Local of a sitemap stored at the top of the help file is
// kept when a browser reaches the stored page through it; any other is rewritten to the
// stored name, from "/" when the sitemap lies in a folder. The help-project writer names a
// catalog without a document by the page name ".htm" alone; such a Local is left out, so
// the entry becomes a heading without a page.
StagedSitemap stageSitemap(const QByteArray &text, const QString &sitemapPath, const QString &storedName,
                           const QString &projectFolder, const chm::AnsiCodePage &codePage, Stager &stager);

// One <OBJECT> of a contents or index file.
struct SitemapObject {
    QByteArray type;  // "text/sitemap", "text/site properties"
    int depth = 0;    // the number of lists (<UL>) around it
    QList<QPair<QString, QString>> params;  // in order; names lower case, values decoded

    QString value(const QString &name) const;  // the first value of that name; empty if none
};

// The objects of a contents or index file in the code page, in order, with entities in
// values resolved.
QList<SitemapObject> readSitemapObjects(const QByteArray &text, const chm::AnsiCodePage &codePage);

}  // namespace zelbrin::hhc
