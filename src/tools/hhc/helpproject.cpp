#include "helpproject.h"

#include "gbk.h"
#include "references.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
void expandIncludes(const QStringList &lines, const QString &folder, int depth, QStringList &out,
                    QStringList &warnings) {
    for (const QString &line : lines) {
        const QString t = line.trimmed();
        if (!t.startsWith(QLatin1String("#include"), Qt::CaseInsensitive)) {
            out.append(line);
            continue;
        }
        const QString file = projectPath(t.mid(8), folder);
        QFile f(file);
        if (depth > 8 || !f.open(QIODevice::ReadOnly)) {
            warnings.append(QStringLiteral("included file not found: %1").arg(file));
            continue;
        }
        const QString text = decodeProjectText(f.readAll());
        expandIncludes(text.split(u'\n'), folderOf(file), depth + 1, out, warnings);
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
    return parseHelpProject(decodeProjectText(f.readAll()), path);
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
    expandIncludes(aliasLines, p.folder, 0, p.aliases, p.warnings);
    expandIncludes(mapLines, p.folder, 0, p.map, p.warnings);
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
