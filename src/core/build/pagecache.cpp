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

// Change whenever the way a key is made or an entry is laid out changes; a page's key and a
// failure's never coincide.
constexpr char kKeyVersion[] = "zelbrin-page 1";
constexpr char kFailureKeyVersion[] = "zelbrin-failure 1";
// The one file of a failure's entry: the reason on its first line, the detail after it.
constexpr char kFailureFile[] = "failure";

// The values of the attributes through which a page names its pictures (links to other
// documents are not its own and may lead anywhere).
QList<QByteArray> linkValues(const QByteArray &page) {
    QList<QByteArray> values;
    const QByteArray lower = page.toLower();
    for (const char *attribute : {"src", "background"}) {
        const QByteArray name = attribute;
        for (qsizetype at = lower.indexOf(name); at >= 0; at = lower.indexOf(name, at + 1)) {
            const char before = at > 0 ? lower[at - 1] : ' ';
            if (!(before == ' ' || before == '\t' || before == '\n' || before == '\r' || before == '"' ||
                  before == '\''))
                continue;
            qsizetype i = at + name.size();
            while (i < lower.size() && (lower[i] == ' ' || lower[i] == '\t' || lower[i] == '\n' || lower[i] == '\r'))
                ++i;
            if (i >= lower.size() || lower[i] != '=')
                continue;
            ++i;
            while (i < lower.size() && (lower[i] == ' ' || lower[i] == '\t' || lower[i] == '\n' || lower[i] == '\r'))
                ++i;
            if (i >= lower.size())
                break;
            qsizetype end = i;
            if (page[i] == '"' || page[i] == '\'') {
                end = page.indexOf(page[i], i + 1);
                if (end < 0)
                    break;
                ++i;
            } else {
                while (end < page.size() && !QByteArrayView(" \t\r\n>").contains(page[end]))
                    ++end;
            }
            values.append(page.mid(i, end - i));
        }
    }
    return values;
}

// True when a page in folder shows a picture inside folder that is not there: the office did
// not write it whole, or something removed part of it.
bool pageLacksCompanions(const QString &folder) {
    const QString root = QDir(folder).absolutePath() + u'/';
    const QFileInfoList pages =
        QDir(folder).entryInfoList({QStringLiteral("*.htm"), QStringLiteral("*.html")}, QDir::Files);
    for (const QFileInfo &info : pages) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            return true;
        for (QByteArray value : linkValues(file.readAll())) {
            value = value.trimmed().replace("&amp;", "&");
            const qsizetype cut = value.indexOf('#') >= 0 ? value.indexOf('#') : value.size();
            value = value.left(cut);
            if (value.indexOf('?') >= 0)
                value = value.left(value.indexOf('?'));
            const qsizetype colon = value.indexOf(':');
            if (value.isEmpty() || value.startsWith('/') || (colon >= 0 && (value.indexOf('/') < 0 || colon < value.indexOf('/'))))
                continue;  // an anchor, an absolute path or an address with a scheme
            const QString path = QDir::cleanPath(root + QString::fromUtf8(QByteArray::fromPercentEncoding(value)));
            if (path.startsWith(root) && !QFileInfo::exists(path))
                return true;
        }
    }
    return false;
}

// The entry's time says when it was last used: trim() keeps the recently used ones.
void touch(const QString &entry) {
    ::utimensat(AT_FDCWD, QFile::encodeName(entry).constData(), nullptr, 0);
}

// A key of parts and the bytes of source; empty when source cannot be read.
QByteArray makeKey(const QString &source, const QStringList &parts) {
    QFile file(source);
    QCryptographicHash content(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !content.addData(&file))
        return {};
    QCryptographicHash key(QCryptographicHash::Sha256);
    for (const QString &part : parts) {
        key.addData(part.toUtf8());
        key.addData(QByteArrayView("\n", 1));
    }
    key.addData(content.result());
    return key.result().toHex().left(40);
}

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
    return makeKey(source, {QString::fromLatin1(kKeyVersion), settings_.officeIdentity, route,
                            QFileInfo(source).absoluteFilePath(), pageName});
}

QByteArray PageCache::failureKeyFor(const QString &source, const QString &route) const {
    return makeKey(source, {QString::fromLatin1(kFailureKeyVersion), settings_.officeIdentity, route,
                            QFileInfo(source).absoluteFilePath()});
}

bool PageCache::storeFailure(const QByteArray &key, const DocumentFault &fault) const {
    return QDir().mkpath(pagesFolder_) &&
           sealed::storeFile(QLatin1String(kFailureFile), (fault.reason + u'\n' + fault.detail).toUtf8(),
                             entryFolder(key), key);
}

std::optional<DocumentFault> PageCache::fetchFailure(const QByteArray &key) const {
    const QString entry = entryFolder(key);
    if (!QFileInfo(entry).isDir())
        return std::nullopt;
    const std::optional<QByteArray> record = sealed::readFile(entry, QLatin1String(kFailureFile), key);
    if (!record) {
        sealed::discard(entry);
        return std::nullopt;
    }
    touch(entry);
    const QString text = QString::fromUtf8(*record);
    const qsizetype lineEnd = text.indexOf(u'\n');
    return DocumentFault{text.left(lineEnd), text.mid(lineEnd + 1)};
}

bool PageCache::fetch(const QByteArray &key, const QString &folder) const {
    const QString entry = entryFolder(key);
    if (!QFileInfo(entry).isDir())
        return false;
    if (!sealed::restore(entry, folder, key)) {
        sealed::discard(entry);
        return false;
    }
    touch(entry);
    return true;
}

bool PageCache::store(const QByteArray &key, const QString &folder) const {
    // A page without all of its pictures would lack them in every later build.
    if (pageLacksCompanions(folder))
        return false;
    return QDir().mkpath(pagesFolder_) && sealed::store(folder, entryFolder(key), key);
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
