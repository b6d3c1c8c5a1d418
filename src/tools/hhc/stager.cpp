#include "stager.h"

#include "interruption.h"
#include "markup.h"
#include "references.h"
#include "textencoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace zelbrin::hhc {
namespace {

bool isAsciiName(const QString &name) {
    if (name.isEmpty() || name.startsWith(u'.'))
        return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                        u == '.' || u == '_' || u == '-';
        if (!ok)
            return false;
    }
    return true;
}

QString safeExtension(const QString &name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0)
        return QString();
    const QString ext = name.mid(dot);
    return (ext.size() <= 10 && isAsciiName(ext.mid(1))) ? ext : QString();
}

enum class Kind { Page, StyleSheet, Other };

Kind kindOf(const QString &path) {
    const QString ext = path.mid(path.lastIndexOf(u'.') + 1).toLower();
    if (ext == u"htm" || ext == u"html" || ext == u"xhtml" || ext == u"shtml" || ext == u"stm" ||
        ext == u"hta")
        return Kind::Page;
    if (ext == u"css")
        return Kind::StyleSheet;
    return Kind::Other;
}

// A stored name as a link's text: what a browser would read otherwise escaped.
QString linkText(QString path) {
    return path.replace(u'%', QStringLiteral("%25"))
        .replace(u'#', QStringLiteral("%23"))
        .replace(u'?', QStringLiteral("%3F"))
        .replace(u' ', QStringLiteral("%20"))
        .replace(u'"', QStringLiteral("%22"));
}

QString chopSlash(const QString &folder) {
    return (folder.size() > 1 && folder.endsWith(u'/')) ? folder.left(folder.size() - 1) : folder;
}

}  // namespace

Stager::Stager(const QString &projectFolder, const chm::AnsiCodePage &codePage)
    : projectFolder_(chopSlash(QDir::cleanPath(projectFolder))), codePage_(codePage) {
    folders_.insert(projectFolder_, QString());
    reserveName(QString(), QStringLiteral("_ext"));
}

void Stager::reserveName(const QString &stagedParent, const QString &name) {
    usedNames_[stagedParent].insert(name.toLower());
}

bool Stager::keepsName(const QString &stagedParent, const QString &name) const {
    if (name.isEmpty() || usedNames_.value(stagedParent).contains(name.toLower()))
        return false;
    if (stagedParent.isEmpty() && (name.startsWith(u'#') || name.startsWith(u'$') || name.startsWith(u':')))
        return false;
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c == u'\\')
            return false;
    }
    return chm::encodeAnsi(name, codePage_).has_value();
}

QString Stager::uniqueName(const QString &stagedParent, const QString &wanted, bool folder) {
    if (keepsName(stagedParent, wanted)) {
        reserveName(stagedParent, wanted);
        return wanted;
    }
    const QString ext = folder ? QString() : safeExtension(wanted);
    for (;;) {
        const QString name = (folder ? u"d" : u"f") + QString::number(++counter_) + ext;
        if (keepsName(stagedParent, name)) {
            reserveName(stagedParent, name);
            return name;
        }
    }
}

QString Stager::stagedFolder(const QString &sourceFolder) {
    auto it = folders_.constFind(sourceFolder);
    if (it != folders_.constEnd())
        return *it;
    QString result;
    if (sourceFolder.isEmpty() || sourceFolder == u"/") {
        result = QStringLiteral("_ext");
    } else {
        const qsizetype slash = sourceFolder.lastIndexOf(u'/');
        const QString parent = stagedFolder(slash <= 0 ? QStringLiteral("/") : sourceFolder.left(slash));
        const QString name = uniqueName(parent, sourceFolder.mid(slash + 1), true);
        result = parent.isEmpty() ? name : parent + u'/' + name;
    }
    folders_.insert(sourceFolder, result);
    return result;
}

QString Stager::stage(const QString &sourcePath) {
    auto it = staged_.constFind(sourcePath);
    if (it != staged_.constEnd())
        return *it;
    if (!liesInside(sourcePath, projectFolder_)) {
        noteOutside(QFileInfo(sourcePath).canonicalFilePath());
        return QString();
    }
    const qsizetype slash = sourcePath.lastIndexOf(u'/');
    return addEntry(sourcePath, stagedFolder(slash <= 0 ? QStringLiteral("/") : sourcePath.left(slash)));
}

QString Stager::stageAtTop(const QString &sourcePath) {
    auto it = staged_.constFind(sourcePath);
    return it != staged_.constEnd() ? *it : addEntry(sourcePath, QString());
}

QString Stager::reserveTopName(const QString &wanted) {
    const qsizetype dot = wanted.lastIndexOf(u'.');
    const QString stem = dot < 0 ? wanted : wanted.left(dot), ext = dot < 0 ? QString() : wanted.mid(dot);
    QString name = wanted;
    for (int n = 2; !keepsName(QString(), name); ++n)
        name = stem + u'-' + QString::number(n) + ext;
    reserveName(QString(), name);
    return name;
}

QString Stager::addEntry(const QString &sourcePath, const QString &folder) {
    const QString name = uniqueName(folder, sourcePath.mid(sourcePath.lastIndexOf(u'/') + 1), false);
    const QString staged = folder.isEmpty() ? name : folder + u'/' + name;
    staged_.insert(sourcePath, staged);
    Entry e;
    e.source = sourcePath;
    e.staged = staged;
    entries_.append(e);
    return staged;
}

QStringList Stager::stagedFiles() const {
    QStringList names;
    names.reserve(entries_.size());
    for (const Entry &e : entries_)
        names.append(e.staged);
    return names;
}

bool Stager::planPage(qsizetype i, bool styleSheet, QStringList &errors, QStringList &warnings) {
    const QString source = entries_[i].source;
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        errors.append(QStringLiteral("cannot read %1: %2").arg(source, in.errorString()));
        return false;
    }
    const QByteArray text = in.readAll();
    const TextEncoding encoding = decodeUtf8Strictly(text).has_value() ? TextEncoding::Utf8 : TextEncoding::Gbk;
    const QString sourceDir = folderOf(source);
    const QString stagedDir = folderOf(entries_[i].staged);
    QList<Edit> edits;
    const QList<Span> links = styleSheet ? findCssLinks(text) : findHtmlLinks(text);
    for (const Span &span : links) {
        const QByteArray value = text.mid(span.begin, span.end - span.begin);
        if (value.trimmed().isEmpty() || isExternalReference(value))
            continue;
        QString outside;
        const auto found = resolveReference(value, sourceDir, encoding, projectFolder_ + u'/', &outside);
        if (!found && !outside.isEmpty()) {
            noteOutside(outside);
            continue;
        }
        if (!found) {
            const QString shown = encoding == TextEncoding::Utf8 ? QString::fromUtf8(value) : decodeGbk(value);
            warnings.append(QStringLiteral("%1: no file for link \"%2\"").arg(source, shown));
            continue;
        }
        const QString staged = stage(found->path);
        if (found->asWritten && staged == QDir(projectFolder_).relativeFilePath(found->path))
            continue;  // it names the stored file as it stands
        const QString target = linkText(relativeStagedPath(stagedDir, staged));
        const QByteArray rewritten =
            (encoding == TextEncoding::Utf8 ? target.toUtf8() : chm::encodeAnsiLossy(target, codePage_)) + found->suffix;
        if (rewritten != value)
            edits.append({span, rewritten});
    }
    // stage() above may have grown the list: index it afresh.
    entries_[i].rewritten = true;
    entries_[i].size = text.size();
    entries_[i].edits = edits;
    return true;
}

void Stager::noteOutside(const QString &file) {
    if (!outside_.contains(file))
        outside_.append(file);
}

bool Stager::plan(QStringList &errors, QStringList &warnings) {
    bool ok = true;
    // Pages stage the files they link while they are planned, so the list grows.
    for (qsizetype i = 0; i < entries_.size(); ++i) {
        const Kind kind = kindOf(entries_[i].source);
        if (kind != Kind::Other) {
            ok = planPage(i, kind == Kind::StyleSheet, errors, warnings) && ok;
        } else {
            const QFileInfo info(entries_[i].source);
            if (!info.isReadable()) {
                errors.append(QStringLiteral("cannot read %1").arg(entries_[i].source));
                ok = false;
            }
            entries_[i].size = info.size();
        }
        totalBytes_ += entries_[i].size;
    }
    for (const Entry &e : std::as_const(entries_)) {
        const QString given = QDir(projectFolder_).relativeFilePath(e.source);
        if (e.staged != given && !given.startsWith(QLatin1String("../")))
            warnings.append(QStringLiteral("%1 is stored as %2: the help file cannot hold its name as it is (code page "
                                           "%3, or another file of that name without regard to case)")
                                .arg(given, e.staged).arg(codePage_.number));
    }
    for (const QString &file : std::as_const(outside_))
        warnings.append(QStringLiteral("%1 lies outside the project folder and is not embedded; "
                                       "links to it stay as written").arg(file));
    return ok;
}

bool Stager::isPage(qsizetype i) const {
    return kindOf(entries_[i].source) == Kind::Page;
}

std::optional<QByteArray> Stager::stagedBytes(qsizetype i, QString *error) const {
    const Entry &e = entries_[i];
    QFile in(e.source);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(e.source, in.errorString());
        return std::nullopt;
    }
    QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot read %1: %2").arg(e.source, in.errorString());
        return std::nullopt;
    }
    if (bytes.size() != e.size) {
        *error = QStringLiteral("%1 changed or vanished during the compilation").arg(e.source);
        return std::nullopt;
    }
    return e.rewritten ? applyEdits(bytes, e.edits) : bytes;
}

}  // namespace zelbrin::hhc
