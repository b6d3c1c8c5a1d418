#include "sealedfolder.h"

#include "leftovers.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cstdio>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace zelbrin::sealed {
namespace {

namespace fs = std::filesystem;

constexpr char kHeader[] = "zelbrin-sealed 1\n";
constexpr qint64 kChunk = 256 * 1024;
constexpr qint64 kLongestManifest = 16 * 1024 * 1024;
// Names of half-written and half-removed folders beside the sealed ones; the pid in the
// name tells a later sweep whether their writer is still at work.
const std::string kPartialPrefix = ".partial-";
const std::string kDiscardedPrefix = ".discarded-";

fs::path toPath(const QString &path) { return fs::path(QFile::encodeName(path).toStdString()); }

QString uniqueSibling(const QString &path, const std::string &prefix) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const QString parent = QFileInfo(path).path();
    return parent + u'/' + QString::fromStdString(leftovers::namePrefix(prefix, ::getpid())) +
           QString::number(random(), 36);
}

struct Entry {
    QString relative;
    bool folder;
};

void listTree(const QString &root, const QString &relative, const QStringList &excluded,
              QList<Entry> &out) {
    QDir dir(relative.isEmpty() ? root : root + u'/' + relative);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                          QDir::Name);
    for (const QFileInfo &info : entries) {
        const QString path = relative.isEmpty() ? info.fileName() : relative + u'/' + info.fileName();
        if (excluded.contains(path) || info.isSymLink())
            continue;
        if (info.isDir()) {
            out.append({path, true});
            listTree(root, path, excluded, out);
        } else if (info.isFile()) {
            out.append({path, false});
        }
    }
}

// Copies a file, hashing what it writes; false when it cannot be read or written whole.
bool copyHashing(const QString &from, const QString &to, qint64 *size, QByteArray *digest) {
    QFile in(from), out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QCryptographicHash hash(QCryptographicHash::Sha1);
    qint64 total = 0;
    while (true) {
        const QByteArray chunk = in.read(kChunk);
        if (chunk.isEmpty()) {
            if (in.error() != QFileDevice::NoError)
                return false;
            break;
        }
        hash.addData(chunk);
        if (out.write(chunk) != chunk.size())
            return false;
        total += chunk.size();
    }
    if (!out.flush())
        return false;
    *size = total;
    *digest = hash.result().toHex();
    return true;
}

// A relative path from a manifest that stays inside its folder.
bool isInside(const QString &relative) {
    if (relative.isEmpty() || relative.startsWith(u'/'))
        return false;
    for (const QString &part : relative.split(u'/'))
        if (part.isEmpty() || part == u"." || part == u"..")
            return false;
    return true;
}

struct Manifest {
    QByteArray label;
    QList<Entry> entries;
    QList<qint64> sizes;       // per entry; files only
    QList<QByteArray> digests;
};

QByteArray readManifestBytes(const QString &folder) {
    QFile file(folder + u'/' + QLatin1String(kManifestName));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLongestManifest)
        return {};
    return file.readAll();
}

bool parseManifest(const QByteArray &bytes, Manifest *manifest) {
    // The last line seals everything before it.
    const qsizetype endLine = bytes.lastIndexOf("end ");
    if (!bytes.startsWith(kHeader) || endLine < 0 || !bytes.endsWith('\n'))
        return false;
    const QByteArray body = bytes.left(endLine);
    if (QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex() !=
        bytes.mid(endLine + 4).trimmed())
        return false;
    const QList<QByteArray> lines = body.mid(qsizetype(sizeof kHeader) - 1).split('\n');
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split(' ');
        if (fields[0] == "label" && fields.size() == 2) {
            manifest->label = QByteArray::fromHex(fields[1]);
        } else if (fields[0] == "d" && fields.size() == 2) {
            const QString relative = QUrl::fromPercentEncoding(fields[1]);
            if (!isInside(relative))
                return false;
            manifest->entries.append({relative, true});
            manifest->sizes.append(0);
            manifest->digests.append(QByteArray());
        } else if (fields[0] == "f" && fields.size() == 4) {
            const QString relative = QUrl::fromPercentEncoding(fields[3]);
            bool ok = false;
            const qint64 size = fields[1].toLongLong(&ok);
            if (!ok || size < 0 || !isInside(relative))
                return false;
            manifest->entries.append({relative, false});
            manifest->sizes.append(size);
            manifest->digests.append(fields[2]);
        } else {
            return false;
        }
    }
    return true;
}

QByteArray manifestStart(const QByteArray &label) {
    return QByteArray(kHeader) + "label " + label.toHex() + '\n';
}

QByteArray fileLine(qint64 size, const QByteArray &digest, const QString &relative) {
    return "f " + QByteArray::number(size) + ' ' + digest + ' ' + QUrl::toPercentEncoding(relative, "/") + '\n';
}

// Ends a folder written at partial: when it is whole, its manifest goes in last and the
// folder is renamed into place; otherwise it is removed. True when destination holds a
// sealed folder afterwards.
bool seal(const QString &partial, const QString &destination, QByteArray manifest, bool whole) {
    if (whole) {
        manifest += "end " + QCryptographicHash::hash(manifest, QCryptographicHash::Sha1).toHex() + '\n';
        QFile file(partial + u'/' + QLatin1String(kManifestName));
        whole = file.open(QIODevice::WriteOnly) && file.write(manifest) == manifest.size() &&
                file.flush();
    }
    std::error_code ec;
    if (whole) {
        fs::rename(toPath(partial), toPath(destination), ec);
        if (ec) {
            // Another process stored it first, or a damaged folder stands in the way: ours
            // is as good as theirs, and better than a damaged one.
            discard(destination);
            ec.clear();
            fs::rename(toPath(partial), toPath(destination), ec);
        }
        if (!ec)
            return true;
    }
    fs::remove_all(toPath(partial), ec);
    return QFileInfo(destination + u'/' + QLatin1String(kManifestName)).isFile();
}

}  // namespace

bool store(const QString &source, const QString &destination, const QByteArray &label,
           const QStringList &excluded) {
    QList<Entry> entries;
    listTree(source, {}, excluded, entries);
    const QString partial = uniqueSibling(destination, kPartialPrefix);
    if (!QDir().mkpath(partial))
        return false;
    QByteArray manifest = manifestStart(label);
    bool whole = true;
    for (const Entry &entry : std::as_const(entries)) {
        if (entry.folder) {
            whole = QDir().mkpath(partial + u'/' + entry.relative);
            manifest += "d " + QUrl::toPercentEncoding(entry.relative, "/") + '\n';
        } else {
            qint64 size = 0;
            QByteArray digest;
            whole = copyHashing(source + u'/' + entry.relative, partial + u'/' + entry.relative,
                                &size, &digest);
            manifest += fileLine(size, digest, entry.relative);
        }
        if (!whole)
            break;
    }
    return seal(partial, destination, manifest, whole);
}

bool storeFile(const QString &name, const QByteArray &content, const QString &destination,
               const QByteArray &label) {
    if (!isInside(name) || name.contains(u'/'))
        return false;
    const QString partial = uniqueSibling(destination, kPartialPrefix);
    if (!QDir().mkpath(partial))
        return false;
    QFile file(partial + u'/' + name);
    const bool whole = file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
    file.close();
    const QByteArray manifest = manifestStart(label) +
        fileLine(content.size(), QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex(), name);
    return seal(partial, destination, manifest, whole);
}

bool restore(const QString &sealedFolder, const QString &destination, const QByteArray &label) {
    Manifest manifest;
    if (!parseManifest(readManifestBytes(sealedFolder), &manifest) || manifest.label != label)
        return false;
    if (!QDir().mkpath(destination))
        return false;
    for (qsizetype i = 0; i < manifest.entries.size(); ++i) {
        const Entry &entry = manifest.entries[i];
        const QString target = destination + u'/' + entry.relative;
        if (entry.folder) {
            if (!QDir().mkpath(target))
                return false;
            continue;
        }
        qint64 size = 0;
        QByteArray digest;
        if (!copyHashing(sealedFolder + u'/' + entry.relative, target, &size, &digest) ||
            size != manifest.sizes[i] || digest != manifest.digests[i])
            return false;
    }
    return true;
}

std::optional<QByteArray> readFile(const QString &sealedFolder, const QString &name,
                                   const QByteArray &label) {
    Manifest manifest;
    if (!parseManifest(readManifestBytes(sealedFolder), &manifest) || manifest.label != label)
        return std::nullopt;
    for (qsizetype i = 0; i < manifest.entries.size(); ++i) {
        if (manifest.entries[i].folder || manifest.entries[i].relative != name)
            continue;
        QFile file(sealedFolder + u'/' + name);
        if (!file.open(QIODevice::ReadOnly) || file.size() != manifest.sizes[i])
            return std::nullopt;
        const QByteArray content = file.readAll();
        if (content.size() != manifest.sizes[i] ||
            QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex() != manifest.digests[i])
            return std::nullopt;
        return content;
    }
    return std::nullopt;
}

qint64 contentSize(const QString &sealedFolder) {
    Manifest manifest;
    if (!parseManifest(readManifestBytes(sealedFolder), &manifest))
        return -1;
    qint64 total = 0;
    for (qint64 size : std::as_const(manifest.sizes))
        total += size;
    return total;
}

void discard(const QString &sealedFolder) {
    std::error_code ec;
    const fs::path away = toPath(uniqueSibling(sealedFolder, kDiscardedPrefix));
    fs::rename(toPath(sealedFolder), away, ec);
    fs::remove_all(ec ? toPath(sealedFolder) : away, ec);
}

void sweepLeftovers(const QString &folder) {
    const std::string path = QFile::encodeName(folder).toStdString();
    leftovers::sweep(path, kPartialPrefix);
    leftovers::sweep(path, kDiscardedPrefix);
}

}  // namespace zelbrin::sealed
