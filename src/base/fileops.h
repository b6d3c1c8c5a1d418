#pragma once

#include <QString>

namespace zelbrin {

// File helpers of the build. Failures are ignored: a folder or file that cannot be
// deleted, created or copied is simply left as it is.
//
// A "plain folder" is a real directory (not a symbolic link) whose name does not begin
// with "." and that its owner may write. Symbolic links are never followed nor copied,
// so a copy never reaches outside its source and never loops.

// Deletes the folder with everything in it (a trailing "/" is allowed). A symbolic link
// given here is removed itself, never what it points to.
void deleteDirectory(const QString &path);

// Copies every plain subfolder of source, except one named exactly "temp", with its whole
// content into dest (both end with "/"). The entries to copy are listed before copying
// begins, so a dest inside source receives the source as it was then and the copy ends.
void copySubfolders(const QString &source, const QString &dest);

// Copies source's files and plain subfolders into dest, recursively, replacing files that
// are there (both without a trailing "/"). Listed before copying, like copySubfolders.
void copyFolderTree(const QString &source, const QString &dest);

// Folder of the running executable, ending with "/".
QString executableFolder();

}  // namespace zelbrin
