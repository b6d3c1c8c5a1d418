#include "fileops.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace zelbrin {
namespace {

namespace fs = std::filesystem;

fs::path toPath(const QString &path) { return fs::path(QFile::encodeName(path).toStdString()); }

// A listed entry below the copied folder, relative to it.
struct Entry {
    fs::path relative;
    bool folder;
};

std::vector<std::string> sortedNames(const fs::path &dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().native());
    std::sort(names.begin(), names.end());
    return names;
}

bool isPlainFolder(const fs::file_status &status, const std::string &name) {
    return status.type() == fs::file_type::directory && !name.starts_with('.') &&
           (status.permissions() & fs::perms::owner_write) != fs::perms::none;
}

// Files and plain folders below dir, parents before their content. Symbolic links, special
// files (a pipe would block the copy) and folders that are hidden or read-only are left out.
void listTree(const fs::path &dir, const fs::path &relative, std::vector<Entry> &out) {
    for (const std::string &name : sortedNames(dir)) {
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(dir / name, ec);
        if (ec)
            continue;
        if (isPlainFolder(status, name)) {
            out.push_back({relative / name, true});
            listTree(dir / name, relative / name, out);
        } else if (status.type() == fs::file_type::regular) {
            out.push_back({relative / name, false});
        }
    }
}

// Makes target a real folder; a symbolic link standing there is replaced, so nothing
// copied below it can land outside the destination.
void makeFolder(const fs::path &target) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (status.type() == fs::file_type::symlink)
        fs::remove(target, ec);
    else if (fs::exists(status))
        return;
    fs::create_directory(target, ec);
}

void copyListed(const fs::path &source, const fs::path &dest, const std::vector<Entry> &entries) {
    for (const Entry &entry : entries) {
        const fs::path target = dest / entry.relative;
        std::error_code ec;
        if (entry.folder) {
            makeFolder(target);
            continue;
        }
        if (fs::symlink_status(target, ec).type() == fs::file_type::symlink)
            fs::remove(target, ec);
        fs::copy_file(source / entry.relative, target, fs::copy_options::overwrite_existing, ec);
    }
}

}  // namespace

void deleteDirectory(const QString &path) {
    QString p = path;
    while (p.size() > 1 && p.endsWith(u'/'))
        p.chop(1);  // with a trailing "/" a symbolic link would be resolved
    if (p.isEmpty() || p == u"/")
        return;
    std::error_code ec;
    fs::remove_all(toPath(p), ec);
}

void copySubfolders(const QString &source, const QString &dest) {
    const fs::path from = toPath(source), to = toPath(dest);
    struct Subfolder {
        std::string name;
        std::vector<Entry> entries;
    };
    std::vector<Subfolder> subfolders;
    for (const std::string &name : sortedNames(from)) {
        // The build folder of a project beside its documents is never carried along.
        if (name == "temp")
            continue;
        std::error_code ec;
        if (!isPlainFolder(fs::symlink_status(from / name, ec), name) || ec)
            continue;
        Subfolder sub{name, {}};
        listTree(from / name, {}, sub.entries);
        subfolders.push_back(std::move(sub));
    }
    for (const Subfolder &sub : subfolders) {
        makeFolder(to / sub.name);
        copyListed(from / sub.name, to / sub.name, sub.entries);
    }
}

void copyFolderTree(const QString &source, const QString &dest) {
    const fs::path from = toPath(source), to = toPath(dest);
    std::error_code ec;
    if (fs::symlink_status(from, ec).type() != fs::file_type::directory)
        return;
    std::vector<Entry> entries;
    listTree(from, {}, entries);
    if (!fs::exists(to, ec))
        fs::create_directory(to, ec);
    copyListed(from, to, entries);
}

QString executableFolder() { return QCoreApplication::applicationDirPath() + u'/'; }

}  // namespace zelbrin
