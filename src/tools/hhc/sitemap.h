#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace zelbrin::hhc {

class Stager;

struct StagedSitemap {
    QByteArray text;       // the sitemap with every Local naming its staged page
    QString firstPage;     // staged name of the first page it names; empty if none
    QStringList missing;   // Local values that name no existing file
    QStringList dropped;   // Local values naming the page ".htm" of a catalog without document
};

// Rewrites the Local values of a GBK contents or index file (bytes outside those values
// stay as they are, so the titles keep their GBK bytes) and stages the pages they name.
// Relative values are taken from projectFolder. The help-project writer names a catalog
// without a document by the page name ".htm" alone; such a Local is left out, so the entry
// becomes a heading without a page.
StagedSitemap stageSitemap(const QByteArray &gbkText, const QString &projectFolder, Stager &stager);

// One <OBJECT> of a contents or index file.
struct SitemapObject {
    QByteArray type;  // "text/sitemap", "text/site properties"
    int depth = 0;    // the number of lists (<UL>) around it
    QList<QPair<QString, QString>> params;  // in order; names lower case, values decoded

    QString value(const QString &name) const;  // the first value of that name; empty if none
};

// The objects of a GBK contents or index file, in order, with entities in values resolved.
QList<SitemapObject> readSitemapObjects(const QByteArray &gbkText);

}  // namespace zelbrin::hhc
