#include "helpproject.h"

#include "references.h"
#include "textencoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelbrin::hhc {
namespace {

QString unquoted(const QString &field) {
    const QString t = field.trimmed();
    if (t.size() >= 2 && t.startsWith(u'"') && t.endsWith(u'"'))
        return t.mid(1, t.size() - 2);
    return t;
}

// Lines of [ALIAS] and [MAP] may pull in header files ("#include name.h"); their lines
// are taken in place.
// A header is a small text file: a device, a FIFO or a huge file is refused before it can
// hang the compiler or fill its memory, and so is a header that includes itself or nests
// so deep, or fans out so wide, that the expansion could not be meant.
constexpr qint64 kMaxIncludeBytes = 1 << 20;
constexpr qint64 kMaxExpandedBytes = 16 << 20;
constexpr int kMaxIncludeDepth = 8;

struct IncludeExpansion {
    QStringList &out;
    QStringList &warnings;
    QString error;          // the first refusal; expansion stops there
    QStringList open;       // canonical paths of the headers being expanded, outermost first
    qint64 expandedBytes = 0;
};

// Reads a regular file of at most kMaxIncludeBytes without blocking on anything else.
std::optional<QByteArray> readHeader(const QString &file, QString *why) {
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    struct stat st {};
    QByteArray bytes;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *why = QStringLiteral("not a regular file");
    } else {
        // Room for the size the file has now, grown while it grows up to the limit: a
        // header is a few lines, and a buffer of the limit for each would cost more than
        // reading it.
        bytes.resize(qMin<qint64>(st.st_size, kMaxIncludeBytes) + 1);
        qint64 got = 0;
        while (true) {
            if (got == bytes.size()) {
                if (got > kMaxIncludeBytes)
                    break;
                bytes.resize(qMin<qint64>(2 * got, kMaxIncludeBytes + 1));
            }
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        bytes.truncate(got);
        if (got > kMaxIncludeBytes)
            *why = QStringLiteral("larger than %1 bytes").arg(kMaxIncludeBytes);
    }
    ::close(fd);
    if (!why->isEmpty())
        return std::nullopt;
    return bytes;
}

void expandIncludes(const QStringList &lines, const QString &folder, IncludeExpansion &x) {
    for (const QString &line : lines) {
        if (!x.error.isEmpty())
            return;
        const QString t = line.trimmed();
        if (!t.startsWith(QLatin1String("#include"), Qt::CaseInsensitive)) {
            x.expandedBytes += line.size();
            if (x.expandedBytes > kMaxExpandedBytes) {
                x.error = QStringLiteral("#include files expand to more than %1 bytes").arg(kMaxExpandedBytes);
                return;
            }
            x.out.append(line);
            continue;
        }
        const QString file = projectPath(t.mid(8), folder);
        // A NUL would cut the name short at the kernel and name another file.
        if (file.contains(QChar(0)) || !QFileInfo::exists(file)) {
            x.warnings.append(QStringLiteral("included file not found: %1").arg(file));
            continue;
        }
        const QString canonical = QFileInfo(file).canonicalFilePath();
        if (x.open.contains(canonical)) {
            x.error = QStringLiteral("#include cycle: %1 includes itself (through %2)")
                          .arg(file, x.open.join(QStringLiteral(" -> ")));
            return;
        }
        if (x.open.size() >= kMaxIncludeDepth) {
            x.error = QStringLiteral("#include nested deeper than %1 levels at %2").arg(kMaxIncludeDepth).arg(file);
            return;
        }
        QString why;
        const auto bytes = readHeader(file, &why);
        if (!bytes) {
            x.error = QStringLiteral("cannot include %1: %2").arg(file, why);
            return;
        }
        x.open.append(canonical);
        expandIncludes(decodeProjectText(*bytes).split(u'\n'), folderOf(file), x);
        x.open.removeLast();
    }
}

}  // namespace

WindowDefinition WindowDefinition::parse(const QString &line) {
    WindowDefinition w;
    const qsizetype eq = line.indexOf(u'=');
    w.name = line.left(eq).trimmed();
    const QString rest = eq < 0 ? QString() : line.mid(eq + 1);
    QString current;
    bool inQuote = false;
    int brackets = 0;
    for (QChar c : rest) {
        if (c == u'"')
            inQuote = !inQuote;
        else if (!inQuote && c == u'[')
            ++brackets;
        else if (!inQuote && c == u']')
            --brackets;
        if (c == u',' && !inQuote && brackets <= 0) {
            w.fields.append(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    w.fields.append(current);
    return w;
}

QString WindowDefinition::field(int i) const {
    return i < fields.size() ? unquoted(fields[i]) : QString();
}

void WindowDefinition::setField(int i, const QString &text) {
    while (fields.size() <= i)
        fields.append(QStringLiteral("\"\""));
    fields[i] = u'"' + text + u'"';
}

QString WindowDefinition::toLine() const {
    return name + u'=' + fields.join(u',');
}

QString HelpProject::option(const QString &key) const {
    for (const auto &kv : options) {
        if (kv.first.compare(key, Qt::CaseInsensitive) == 0)
            return kv.second;
    }
    return QString();
}

bool HelpProject::hasOption(const QString &key) const {
    for (const auto &kv : options) {
        if (kv.first.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

const WindowDefinition *HelpProject::defaultWindow() const {
    const QString name = option(QStringLiteral("Default Window"));
    for (const WindowDefinition &w : windows) {
        if (!name.isEmpty() && w.name.compare(name, Qt::CaseInsensitive) == 0)
            return &w;
    }
    return windows.isEmpty() ? nullptr : &windows.first();
}

QString decodeProjectText(const QByteArray &bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    return decodeGbk(bytes);
}

std::optional<HelpProject> readHelpProject(const QString &path, QString *error) {
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("help project not found: %1").arg(path);
        return std::nullopt;
    }
    HelpProject p = parseHelpProject(decodeProjectText(f.readAll()), path);
    if (!p.errors.isEmpty()) {
        if (error)
            *error = p.errors.join(u'\n');
        return std::nullopt;
    }
    return p;
}

HelpProject parseHelpProject(const QString &text, const QString &path) {
    HelpProject p;
    p.path = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    p.folder = folderOf(p.path);
    QString section;
    QStringList aliasLines, mapLines;
    for (QString line : text.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString t = line.trimmed();
        if (t.startsWith(u'[') && t.endsWith(u']')) {
            section = t.mid(1, t.size() - 2).trimmed().toUpper();
            continue;
        }
        if (t.isEmpty() || t.startsWith(u';'))
            continue;
        if (section == u"OPTIONS") {
            const qsizetype eq = t.indexOf(u'=');
            if (eq > 0)
                p.options.append({t.left(eq).trimmed(), t.mid(eq + 1).trimmed()});
        } else if (section == u"WINDOWS") {
            if (t.contains(u'='))
                p.windows.append(WindowDefinition::parse(t));
        } else if (section == u"FILES") {
            p.files.append(t);
        } else if (section == u"MERGE FILES") {
            p.mergeFiles.append(t);
        } else if (section == u"ALIAS") {
            aliasLines.append(t);
        } else if (section == u"MAP") {
            mapLines.append(t);
        } else if (!section.isEmpty()) {
            const QString w = QStringLiteral("section [%1] is not supported and was left out").arg(section);
            if (!p.warnings.contains(w))
                p.warnings.append(w);
        }
    }
    for (auto [lines, out] : {std::pair{&aliasLines, &p.aliases}, std::pair{&mapLines, &p.map}}) {
        IncludeExpansion x{*out, p.warnings};
        expandIncludes(*lines, p.folder, x);
        if (!x.error.isEmpty() && !p.errors.contains(x.error))
            p.errors.append(x.error);
    }
    return p;
}

std::optional<int> parseLanguage(const QString &value) {
    const QString token = value.trimmed().section(u' ', 0, 0, QString::SectionSkipEmpty);
    bool ok = false;
    int lcid = 0;
    if (token.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        lcid = token.mid(2).toInt(&ok, 16);
    else
        lcid = token.toInt(&ok, 10);
    if (!ok || lcid <= 0 || lcid > 0xFFFF)
        return std::nullopt;
    return lcid;
}

}  // namespace zelbrin::hhc
