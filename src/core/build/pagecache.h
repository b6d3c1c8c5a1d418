#pragma once

#include "officesession.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace zelbrin {

// Converted pages kept between builds, so that a document is converted only once for as
// long as it, the converter and the office stay the same; and, for as long, what made a
// document fail through its own fault, so that it is not tried again.
struct PageCacheSettings {
    // The cache's folder; empty turns the cache off.
    QString folder;
    // What besides the document shapes its page: the converter's and the office's version.
    QString officeIdentity;
    // The most the kept pages may take; the ones used longest ago go first.
    qint64 limitBytes = 1024LL * 1024 * 1024;

    bool enabled() const { return !folder.isEmpty(); }
};

// The folder for what Zelbrin keeps between builds: $ZELBRIN_CACHE_DIR when set, else
// "zelbrin" in the user's cache folder (XDG_CACHE_HOME, normally ~/.cache).
QString zelbrinCacheFolder();

// One entry per page: the page and its companion files (pictures, a presentation's slide
// folder), as a sealed folder (sealedfolder.h), so that concurrent builds and damage never
// hand out half a page. Every member may be called from several threads at once.
class PageCache {
public:
    explicit PageCache(PageCacheSettings settings);

    // The entry key of the page that route makes of source under the file name pageName;
    // empty when source cannot be read (route names a page with its outline apart from one
    // without: "word+outline"). The key covers the document's bytes and path (links
    // to pictures beside it are resolved against its folder), the route, the page name (the
    // companion files are named after it) and the office identity.
    QByteArray keyFor(const QString &source, const QString &route, const QString &pageName) const;
    // Copies the entry's files into folder (created); false when there is none. A damaged
    // entry is removed and counts as none.
    bool fetch(const QByteArray &key, const QString &folder) const;
    // Keeps the files of folder (a page and its companions) as the entry of key, when the
    // page is whole: every file inside folder that the page links is there. False when
    // nothing was kept.
    bool store(const QByteArray &key, const QString &folder) const;

    // The entry key of why route cannot convert source; empty when source cannot be read.
    // It covers what keyFor() covers but the page name, which has no say in whether a
    // document converts.
    QByteArray failureKeyFor(const QString &source, const QString &route) const;
    // Keeps fault as the entry of key, beside the pages and trimmed with them.
    bool storeFailure(const QByteArray &key, const DocumentFault &fault) const;
    // The fault kept under key; nullopt when there is none. A damaged entry is removed and
    // counts as none.
    std::optional<DocumentFault> fetchFailure(const QByteArray &key) const;

    // Removes the entries used longest ago until the rest fit into the limit, and what
    // killed builds left half written.
    void trim() const;

    const PageCacheSettings &settings() const { return settings_; }

private:
    QString entryFolder(const QByteArray &key) const;

    PageCacheSettings settings_;
    QString pagesFolder_;
};

}  // namespace zelbrin
