#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// How a file name written in a project, a sitemap or a page is found on disk.
namespace zelbrin::hhc {

// A URL with a scheme (http:, mailto:, ms-its:, mk:@MSITStore:, javascript:, a file: URL
// of another host), a network path (//host) or a bare anchor (#x): left as it is everywhere.
// A file: URL of this machine is a file name like any other.
bool isExternalReference(const QByteArray &value);

// The bytes of a reference decode as the text of the file that holds them.
enum class TextEncoding { Gbk, Utf8 };

struct ResolvedReference {
    QString path;       // absolute, clean path of an existing regular file
    QByteArray suffix;  // "#anchor" or "?query" exactly as written, possibly empty
    // A browser reading the value in the encoding of its text, relative to dir (or, for
    // "/...", to rootDir), reaches this file: it need not be rewritten once the file is
    // stored under its own name. False when only "\" as a separator, the other encoding,
    // the ".html" for ".htm" rule or a file-system path found it.
    bool asWritten = false;
};

// Finds the file that value names, relative to dir (a folder path ending in "/") unless
// it is absolute. The value may be entity- and percent-encoded, use "\" as separator,
// end in "#anchor" or "?query" (a file whose name holds "#" is found as well), and be
// written in either encoding (the preferred one is tried first). A name ending in ".htm"
// also finds the ".html" file of that name, because the help-project writer names a
// copied ".html" page by its bare name + ".htm". rootDir serves values starting with "/"
// that are no file-system path: inside a help file "/" is the root of the project.
// rootDir also bounds what is found: a file outside its folder tree (judged on canonical
// paths, so a symbolic link leading out counts as outside) is not found, and the first
// such file is put into outside, when given, so that the caller can say why.
std::optional<ResolvedReference> resolveReference(const QByteArray &value, const QString &dir,
                                                   TextEncoding preferred,
                                                   const QString &rootDir = QString(),
                                                   QString *outside = nullptr);

// A project file value (already decoded text) as an absolute clean path: "\" becomes "/",
// surrounding quotes and blanks go, relative values are taken from dir.
QString projectPath(const QString &value, const QString &dir);

// The file-name part of a reference's path, decoded; used to recognise the page name
// ".htm" that the help-project writer gives a catalog without a document.
QString referenceFileName(const QByteArray &value, TextEncoding encoding);

// The relative path from a staged folder (relative to the staging root, "" for the root,
// no trailing "/") to a staged file (relative to the staging root).
QString relativeStagedPath(const QString &fromDir, const QString &target);

QString folderOf(const QString &path);  // with its trailing "/"

bool isRegularFile(const QString &path);
// True when path (an existing file) lies inside folder's tree, both taken canonically.
bool liesInside(const QString &path, const QString &folder);

}  // namespace zelbrin::hhc
