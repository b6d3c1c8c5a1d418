#include "updatelist.h"

#include "textencoding.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace zelbrin {

namespace {

// The text before the first "/" and the text after it; without one, the part before is
// empty and the part after is the whole text.
std::pair<QString, QString> splitAtSlash(const QString &text) {
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0)
        return {QString(), text};
    return {text.left(slash), text.mid(slash + 1)};
}

int fieldOr(const QString &text, qsizetype from, qsizetype length, int fallback) {
    const QString field = text.mid(from, length);
    if (field.isEmpty())
        return fallback;
    for (QChar c : field)
        if (c < u'0' || c > u'9')
            return fallback;
    bool ok = false;
    const int value = field.toInt(&ok, 10);
    return ok ? value : fallback;
}

QString foldAsciiCase(const QString &text) {
    QString folded = text;
    for (QChar &c : folded)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    return folded;
}

QByteArray trimmedBytes(const QByteArray &b) {
    qsizetype start = 0, end = b.size();
    while (start < end && (b[start] == ' ' || b[start] == '\t'))
        ++start;
    while (end > start && (b[end - 1] == ' ' || b[end - 1] == '\t' || b[end - 1] == '\r'))
        --end;
    return b.mid(start, end - start);
}

}  // namespace

QString expandDirPlaceholder(const QString &text, const UpdateFolders &folders) {
    const QString placeholder = text.left(8);
    QString folder;
    if (placeholder == QLatin1String("%APPDIR%"))
        folder = folders.programFolder;
    else if (placeholder == QLatin1String("%SYSDIR%") || placeholder == QLatin1String("%WINDIR%"))
        folder = folders.systemFolder;
    else if (placeholder == QLatin1String("%DATDIR%"))
        folder = folders.dataFolder;
    else
        return {};
    return folder + text.mid(9);
}

QDateTime parseListDate(const QString &text) {
    const QDate date(fieldOr(text, 0, 4, 1888), fieldOr(text, 5, 2, 8), fieldOr(text, 8, 2, 8));
    const QTime time(fieldOr(text, 11, 2, 8), fieldOr(text, 14, 2, 8), fieldOr(text, 17, 2, 8));
    if (!date.isValid() || !time.isValid())
        return QDateTime(QDate(1888, 8, 8), QTime(8, 8, 8));
    return QDateTime(date, time);
}

ListEntry parseListEntry(const QString &line, const UpdateFolders &folders) {
    const qsizetype eq = line.indexOf(u'=');
    const QString value = eq < 0 ? QString() : line.mid(eq + 1);
    const auto [pathText, rest] = splitAtSlash(value);
    const auto [middle, dateText] = splitAtSlash(rest);
    return {expandDirPlaceholder(pathText, folders), middle, parseListDate(dateText)};
}

QStringList readIniSection(const QByteArray &content, const QString &section) {
    QList<QByteArray> keys;
    QList<QByteArray> values;
    bool inSection = false;
    bool sectionSeen = false;
    for (QByteArray raw : content.split('\n')) {
        // A NUL ends the usable text of a line, as it does for the C string it becomes.
        const qsizetype nul = raw.indexOf('\0');
        if (nul >= 0)
            raw.truncate(nul);
        const QByteArray line = trimmedBytes(raw);
        if (line.isEmpty())
            continue;
        if (line.startsWith('[')) {
            if (inSection)
                break;  // only the first section of that name counts
            const qsizetype close = line.indexOf(']');
            const QByteArray name = trimmedBytes(line.mid(1, close < 0 ? -1 : close - 1));
            inSection = !sectionSeen &&
                        decodeGbk(name).compare(section, Qt::CaseInsensitive) == 0;
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection || line.startsWith(';'))
            continue;
        const qsizetype eq = line.indexOf('=');
        QByteArray key = trimmedBytes(eq < 0 ? line : line.left(eq));
        QByteArray value = eq < 0 ? QByteArray() : trimmedBytes(line.mid(eq + 1));
        if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                                  (value.front() == '\'' && value.back() == '\'')))
            value = value.mid(1, value.size() - 2);
        keys << key;
        values << value;
    }
    QStringList lines;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        qsizetype first = i;
        for (qsizetype j = 0; j < i; ++j)
            if (qstricmp(keys[j].constData(), keys[i].constData()) == 0) {
                first = j;
                break;
            }
        lines << decodeGbk(keys[i]) + u'=' + decodeGbk(values[first]);
    }
    return lines;
}

QStringList readIniSectionFile(const QString &path, const QString &section) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // An update list is small; a huge file is not one.
    return readIniSection(file.read(16 * 1024 * 1024), section);
}

bool compareUpdateLists(const QStringList &localLines, const QStringList &downloadedLines,
                        const UpdateFolders &folders) {
    QList<ListEntry> local;
    for (const QString &line : localLines)
        local << parseListEntry(line, folders);
    for (const QString &line : downloadedLines) {
        const ListEntry d = parseListEntry(line, folders);
        const QString path = foldAsciiCase(d.path);
        const ListEntry *match = nullptr;
        for (const ListEntry &l : local)
            if (foldAsciiCase(l.path) == path) {
                match = &l;
                break;
            }
        if (!match || match->date.date() != d.date.date())
            return true;
    }
    return false;
}

bool compareUpdateListFiles(const QString &localListPath, const QString &downloadedListPath,
                        const UpdateFolders &folders) {
    const QString section = QStringLiteral("FileList");
    return compareUpdateLists(readIniSectionFile(localListPath, section),
                              readIniSectionFile(downloadedListPath, section), folders);
}

ProxySettings parseProxyServer(const QString &serverText, bool enabled) {
    ProxySettings settings;
    settings.enabled = enabled;
    const qsizetype colon = serverText.indexOf(u':');
    if (colon <= 0)
        return settings;
    settings.host = serverText.left(colon);
    bool ok = false;
    const int port = serverText.mid(colon + 1).toInt(&ok, 10);
    settings.port = ok ? port : 8080;
    return settings;
}

QString proxyServerText(const QString &proxyUrl) {
    QString text = proxyUrl.trimmed();
    const qsizetype scheme = text.indexOf(QLatin1String("://"));
    if (scheme >= 0)
        text = text.mid(scheme + 3);
    const qsizetype slash = text.indexOf(u'/');
    if (slash >= 0)
        text.truncate(slash);
    const qsizetype at = text.lastIndexOf(u'@');
    if (at >= 0)
        text = text.mid(at + 1);
    return text;
}

ProxySettings readProxySettings(const QProcessEnvironment &environment) {
    QString url = environment.value(QStringLiteral("http_proxy"));
    if (url.isEmpty())
        url = environment.value(QStringLiteral("HTTP_PROXY"));
    if (url.isEmpty())
        return {};
    return parseProxyServer(proxyServerText(url), true);
}

QString downloadPage(const QString &downloadedListPath, const QString &localListPath) {
    for (const QString &list : {downloadedListPath, localListPath}) {
        for (const QString &line : readIniSectionFile(list, QStringLiteral("Download"))) {
            const qsizetype eq = line.indexOf(u'=');
            const QString value = line.mid(eq + 1).trimmed();
            if (line.left(eq).trimmed().compare(QLatin1String("Page"), Qt::CaseInsensitive) == 0 &&
                (value.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
                 value.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)))
                return value;
        }
    }
    return {};
}

QString defaultDownloadFolder(const QString &programFolder) {
    const QFileInfo info(programFolder);
    if (info.isDir() && info.isWritable())
        return programFolder + QStringLiteral("DownLoad/");
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/DownLoad/");
}

UpdatePaths makeUpdatePaths(const QString &programFolder, const QString &downloadFolder) {
    UpdatePaths paths;
    paths.programFolder = programFolder;
    paths.downloadFolder = downloadFolder;
    paths.localList = programFolder + QStringLiteral("Down.dll");
    paths.downloadedList = downloadFolder + QStringLiteral("Down.dll");
    paths.folders.programFolder = programFolder;
    return paths;
}

}  // namespace zelbrin
