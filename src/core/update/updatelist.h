#pragma once

// The update list ("Down.dll", INI text with a section "FileList") and the rules that
// compare the installed list with the downloaded one.
#include <QByteArray>
#include <QDateTime>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace zelbrin {

// Folders that the list's placeholders stand for; each ends with "/".
struct UpdateFolders {
    QString programFolder;                               // %APPDIR%
    QString systemFolder = QStringLiteral("/usr/lib/");  // %SYSDIR% and %WINDIR%
    QString dataFolder = QStringLiteral("/usr/lib/drivers/lfte/");  // %DATDIR%
};

struct ListEntry {
    QString path;    // expanded; empty when the placeholder is unknown
    QString middle;  // not used by the comparison
    QDateTime date;
};

// "%APPDIR%\sub\file" -> program folder + "sub\file"; placeholders are compared exactly.
QString expandDirPlaceholder(const QString &text, const UpdateFolders &folders);
// Date and time at fixed positions ("2010-09-25 10:20:30"); unreadable fields take
// defaults (year 1888, others 8), an impossible date gives 1888-08-08 08:08:08.
QDateTime parseListDate(const QString &text);
// "key=path/middle/date".
ListEntry parseListEntry(const QString &line, const UpdateFolders &folders);

// The lines "key=value" of one section of INI text, in file order, as the Windows profile
// functions give them: keys and values trimmed, a value's surrounding quotes removed,
// comments skipped, the section name matched without regard to letter case. A repeated
// key gives the value of its first occurrence. Any bytes are accepted; text is GBK.
QStringList readIniSection(const QByteArray &content, const QString &section);
// The same from a file; a missing or unreadable file gives no lines.
QStringList readIniSectionFile(const QString &path, const QString &section);

// True when an update is available: some path of the downloaded list is missing from the
// local one or carries another day (the time of day does not count).
bool compareUpdateLists(const QStringList &localLines, const QStringList &downloadedLines,
                        const UpdateFolders &folders);
bool compareUpdateListFiles(const QString &localListPath, const QString &downloadedListPath,
                        const UpdateFolders &folders);

struct ProxySettings {
    bool enabled = false;
    QString host;
    int port = 8080;
};

// "host:port": host is the text before the first ":" when that is not empty, port the
// decimal number after it (8080 otherwise).
ProxySettings parseProxyServer(const QString &serverText, bool enabled);
// The server text of a proxy URL: scheme, user information and path removed.
QString proxyServerText(const QString &proxyUrl);
// The user's proxy from http_proxy (else HTTP_PROXY); enabled when set and not empty.
ProxySettings readProxySettings(const QProcessEnvironment &environment);

// The page where a new release can be downloaded: the value "Page" (an http or https
// address) of the section "Download" of the downloaded update list, else of the installed
// one; empty when neither names one.
QString downloadPage(const QString &downloadedListPath, const QString &localListPath);

// Where the update check keeps its files.
struct UpdatePaths {
    QString programFolder;   // ends with "/"
    QString downloadFolder;  // ends with "/"
    QString localList;       // program folder + "Down.dll"
    QString downloadedList;  // download folder + "Down.dll"
    UpdateFolders folders;
};

// Program folder + "DownLoad/" when the program folder is writable, otherwise the
// user's cache folder + "/DownLoad/".
QString defaultDownloadFolder(const QString &programFolder);
UpdatePaths makeUpdatePaths(const QString &programFolder, const QString &downloadFolder);

}  // namespace zelbrin
