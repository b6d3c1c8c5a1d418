#include "references.h"

#include "textencoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sys/stat.h>

namespace zelbrin::hhc {
namespace {

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool hasDriveLetter(const QString &s) {
    return s.size() >= 2 && s[1] == u':' && s[0].isLetter() && s[0].unicode() < 128;
}

// Only references that stand for ASCII characters: those are what a file name in a link
// needs, and they mean the same in every encoding.
QByteArray decodeAsciiReferences(const QByteArray &s) {
    QByteArray out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size();) {
        const std::optional<CharacterReference> reference =
            s[i] == '&' ? characterReferenceAt(QByteArrayView(s), i) : std::nullopt;
        if (reference && reference->character < 0x80) {
            out.append(char(reference->character));
            i += reference->length;
        } else {
            out.append(s[i++]);
        }
    }
    return out;
}

std::optional<QString> decodeGbkStrictly(const QByteArray &bytes) {
    return decodeText(bytes, "CP936", Undecodable::Fail);
}

// A spelling of a reference, and whether a browser reads the reference that way: in the
// encoding of the text that holds it, with its escapes undone.
struct Decoding {
    QString text;
    bool asWritten = false;
};

QList<Decoding> decodings(const QByteArray &path, TextEncoding preferred) {
    QList<QByteArray> forms{path};
    auto addForm = [&](const QByteArray &b) {
        if (!forms.contains(b))
            forms.append(b);
    };
    const QByteArray unescaped = path.contains('&') ? decodeAsciiReferences(path) : path;
    addForm(unescaped);
    if (path.contains('%')) {
        addForm(QByteArray::fromPercentEncoding(path));
        addForm(QByteArray::fromPercentEncoding(unescaped));
    }
    QList<Decoding> texts;
    auto add = [&](const std::optional<QString> &t, bool asWritten) {
        for (const Decoding &d : std::as_const(texts)) {
            if (t && d.text == *t)
                return;
        }
        if (t)
            texts.append({*t, asWritten});
    };
    for (const QByteArray &b : forms) {
        add(preferred == TextEncoding::Gbk ? decodeGbkStrictly(b) : decodeUtf8Strictly(b), true);
        add(preferred == TextEncoding::Gbk ? decodeUtf8Strictly(b) : decodeGbkStrictly(b), false);
    }
    return texts;
}

// The file a spelling names; asWritten stays true only when the spelling names it without
// help: no "\" taken for "/", no ".html" for ".htm", no file-system path.
std::optional<QString> findFile(const QString &name, const QString &dir, const QString &rootDir,
                                QString *outside, bool *asWritten) {
    QStringList spellings{name};
    if (name.contains(u'\\'))
        spellings.append(QString(name).replace(u'\\', u'/'));
    for (const QString &s : spellings) {
        QList<std::pair<QString, bool>> candidates;
        if (s.startsWith(u'/')) {
            candidates.append({s, false});
            if (!rootDir.isEmpty())
                candidates.append({rootDir + s.mid(1), true});
        } else if (!hasDriveLetter(s)) {
            candidates.append({dir + s, true});
        }
        for (const auto &[c, direct] : candidates) {
            const QString clean = QDir::cleanPath(c);
            QStringList files{clean};
            if (clean.endsWith(u".htm", Qt::CaseInsensitive))
                files.append(clean + u'l');
            for (const QString &file : files) {
                if (!isRegularFile(file))
                    continue;
                if (rootDir.isEmpty() || liesInside(file, rootDir)) {
                    *asWritten = *asWritten && direct && s == name && file == clean;
                    return file;
                }
                if (outside && outside->isEmpty())
                    *outside = QFileInfo(file).canonicalFilePath();
            }
        }
    }
    return std::nullopt;
}

// "file:///x", "file://localhost/x" and "file:/x" as the path "/x"; none for another host.
std::optional<QByteArray> fileUrlPath(const QByteArray &v) {
    QByteArray rest = v.mid(5);
    if (rest.startsWith("//localhost/"))
        rest = rest.mid(11);
    else if (rest.startsWith("///"))
        rest = rest.mid(2);
    else if (rest.startsWith("//"))
        return std::nullopt;
    return rest;
}

// The longest file name that a link can name: the system's PATH_MAX, written with entities or
// percent escapes ("&#38;", "%E4") at most six times as long. And how many places where a
// link's anchor or query may begin are tried.
constexpr qsizetype kMaxNameBytes = 6 * 4096;
constexpr qsizetype kMaxCuts = 16;

bool isFileUrl(const QByteArray &v) {
    return v.size() > 5 && v.left(5).toLower() == "file:";
}

}  // namespace

bool isExternalReference(const QByteArray &raw) {
    const QByteArray v = raw.trimmed();
    if (isFileUrl(v))
        return !fileUrlPath(v);
    if (v.startsWith('#') || v.startsWith("//") || v.startsWith("\\\\"))
        return true;
    if (v.isEmpty() || !isAlpha(v[0]))
        return false;
    qsizetype i = 1;
    while (i < v.size() && (isAlpha(v[i]) || (v[i] >= '0' && v[i] <= '9') || v[i] == '+' ||
                            v[i] == '-' || v[i] == '.'))
        ++i;
    // One letter before ":" is a drive letter, a file name of another system.
    return i < v.size() && v[i] == ':' && i >= 2;
}

std::optional<ResolvedReference> resolveReference(const QByteArray &value, const QString &dir,
                                                   TextEncoding preferred, const QString &rootDir,
                                                   QString *outside) {
    QByteArray v = value.trimmed();
    if (v.isEmpty() || isExternalReference(v))
        return std::nullopt;
    const bool fileUrl = isFileUrl(v);
    if (fileUrl)
        v = *fileUrlPath(v);
    // The whole value first: "#" may belong to a file or folder name as the
    // help-project writer spells it. A name is at most kMaxNameBytes long and holds a few of
    // these at most; a value with thousands of them would otherwise cost thousands of
    // lookups of ever longer names.
    QList<qsizetype> cuts;
    if (v.size() <= kMaxNameBytes)
        cuts.append(v.size());
    for (qsizetype i = 0; i < v.size() && i <= kMaxNameBytes && cuts.size() <= kMaxCuts; ++i) {
        if ((v[i] == '#' && (i == 0 || v[i - 1] != '&')) || v[i] == '?')
            cuts.append(i);
    }
    for (qsizetype cut : cuts) {
        const QByteArray path = v.left(cut);
        if (path.isEmpty())
            continue;
        for (const Decoding &name : decodings(path, preferred)) {
            bool asWritten = name.asWritten && !fileUrl;
            if (auto found = findFile(name.text, dir, rootDir, outside, &asWritten))
                return ResolvedReference{*found, v.mid(cut), asWritten};
        }
    }
    return std::nullopt;
}

QString projectPath(const QString &value, const QString &dir) {
    QString v = value.trimmed();
    if (v.size() >= 2 && v.startsWith(u'"') && v.endsWith(u'"'))
        v = v.mid(1, v.size() - 2);
    v.replace(u'\\', u'/');
    if (v.isEmpty())
        return QString();
    if (v.startsWith(u'/') || hasDriveLetter(v))
        return QDir::cleanPath(v);
    return QDir::cleanPath(dir + v);
}

QString referenceFileName(const QByteArray &value, TextEncoding encoding) {
    const QByteArray v = value.trimmed();
    QString text = encoding == TextEncoding::Gbk ? decodeGbk(v) : QString::fromUtf8(v);
    text.replace(u'\\', u'/');
    return text.mid(text.lastIndexOf(u'/') + 1);
}

QString relativeStagedPath(const QString &fromDir, const QString &target) {
    const QStringList from = fromDir.split(u'/', Qt::SkipEmptyParts);
    const QStringList to = target.split(u'/', Qt::SkipEmptyParts);
    qsizetype common = 0;
    while (common < from.size() && common + 1 < to.size() && from[common] == to[common])
        ++common;
    QStringList parts;
    for (qsizetype i = common; i < from.size(); ++i)
        parts.append(QStringLiteral(".."));
    for (qsizetype i = common; i < to.size(); ++i)
        parts.append(to[i]);
    return parts.join(u'/');
}

QString folderOf(const QString &path) {
    return path.left(path.lastIndexOf(u'/') + 1);
}

bool liesInside(const QString &path, const QString &folder) {
    const QString file = QFileInfo(path).canonicalFilePath();
    QString root = QFileInfo(folder).canonicalFilePath();
    if (file.isEmpty() || root.isEmpty())
        return false;
    if (!root.endsWith(u'/'))
        root += u'/';
    return file.startsWith(root);
}

bool isRegularFile(const QString &path) {
    // The system would read the name only up to a NUL; what follows would name nothing.
    if (path.contains(QChar(0)))
        return false;
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace zelbrin::hhc
