#include "pagecache.h"

#include "sealedfolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace zelbrin {
namespace {

// Changes whenever the way a key is made or an entry is laid out changes.
constexpr char kKeyVersion[] = "zelbrin-page 1";

}  // namespace

QString zelbrinCacheFolder() {
    const QString configured = qEnvironmentVariable("ZELBRIN_CACHE_DIR");
    if (!configured.isEmpty())
        return QDir(configured).absolutePath();
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/zelbrin");
}

PageCache::PageCache(PageCacheSettings settings)
    : settings_(std::move(settings)), pagesFolder_(settings_.folder + QStringLiteral("/pages")) {}

QString PageCache::entryFolder(const QByteArray &key) const {
    return pagesFolder_ + u'/' + QString::fromLatin1(key);
}

QByteArray PageCache::keyFor(const QString &source, const QString &route,
                             const QString &pageName) const {
    QFile file(source);
    QCryptographicHash content(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !content.addData(&file))
        return {};
    QCryptographicHash key(QCryptographicHash::Sha256);
    for (const QString &part : {QString::fromLatin1(kKeyVersion), settings_.officeIdentity, route,
                                QFileInfo(source).absoluteFilePath(), pageName}) {
        key.addData(part.toUtf8());
        key.addData(QByteArrayView("\n", 1));
    }
    key.addData(content.result());
    return key.result().toHex().left(40);
}

bool PageCache::fetch(const QByteArray &key, const QString &folder) const {
    const QString entry = entryFolder(key);
    if (!QFileInfo(entry).isDir())
        return false;
    if (!sealed::restore(entry, folder, key)) {
        sealed::discard(entry);
        return false;
    }
    // The entry's time says when it was last used: trim() keeps the recently used ones.
    ::utimensat(AT_FDCWD, QFile::encodeName(entry).constData(), nullptr, 0);
    return true;
}

void PageCache::store(const QByteArray &key, const QString &folder) const {
    if (QDir().mkpath(pagesFolder_))
        sealed::store(folder, entryFolder(key), key);
}

void PageCache::trim() const {
    sealed::sweepLeftovers(pagesFolder_);
    struct Kept {
        QString path;
        qint64 used;
        qint64 size;
    };
    std::vector<Kept> entries;
    qint64 total = 0;
    const QFileInfoList folders = QDir(pagesFolder_).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo &info : folders) {
        const qint64 size = sealed::contentSize(info.filePath());
        if (size < 0) {
            sealed::discard(info.filePath());
            continue;
        }
        entries.push_back({info.filePath(), info.lastModified().toMSecsSinceEpoch(), size});
        total += size;
    }
    std::sort(entries.begin(), entries.end(),
              [](const Kept &a, const Kept &b) { return a.used < b.used; });
    for (const Kept &entry : entries) {
        if (total <= settings_.limitBytes)
            break;
        sealed::discard(entry.path);
        total -= entry.size;
    }
}

}  // namespace zelbrin
