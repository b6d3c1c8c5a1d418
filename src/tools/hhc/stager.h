#pragma once

#include "markup.h"

#include "codepage.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace zelbrin::hhc {

// Plans the files of a help project as the help file stores them. Every file keeps the
// name the project gives it: its path below the project folder (UTF-8 in the help file's
// directory, the code page in #URLSTR). A name that the code page cannot hold, or that
// another file already has without regard to case (help viewers look names up so), or
// that would pass for one of the help file's own files ("#...", "$..." at the top), is
// replaced by d<n> (folders) and f<n>.<ext> (files). Only files inside the project folder's
// tree are staged (judged on canonical paths): a help file is published, and a link to
// /etc/passwd must not publish that file. Links to other files stay as written, with one
// warning per file. A file reached through a path outside the folder that canonically
// lies inside goes below "_ext". Pages and style sheets are stored as they are, except for
// links that name their file only through a spelling a browser would not follow (a "\"
// separator, the other encoding, ".htm" for an ".html" file, a file-system path), which
// are rewritten to the stored name; every file that they link is staged as well, and so on.
class Stager {
public:
    // projectFolder ends in "/"; codePage is the help file's.
    Stager(const QString &projectFolder, const chm::AnsiCodePage &codePage);

    // The staged name (relative to the staging root) of a source file, given on first use;
    // empty for a file outside the project folder, which is left out and warned about.
    QString stage(const QString &sourcePath);
    // Stages a file that lies outside the project folder at the top of the help file under
    // its own file name (the contents or index file that the project names there).
    QString stageAtTop(const QString &sourcePath);
    // Keeps a name at the top of the help file for a second copy of a staged file: wanted,
    // or "wanted-2", "wanted-3"... (before the extension) when a staged file has it.
    QString reserveTopName(const QString &wanted);

    // Reads every staged page and style sheet, stages the files they link (and so on)
    // and works out how their links change. Nothing is written yet, so a missing or
    // unreadable file is known before any copying. Returns false on such errors.
    bool plan(QStringList &errors, QStringList &warnings);
    qint64 totalBytes() const { return totalBytes_; }  // of all staged files, once planned

    qsizetype fileCount() const { return entries_.size(); }
    const QString &stagedName(qsizetype i) const { return entries_[i].staged; }
    const QString &sourcePath(qsizetype i) const { return entries_[i].source; }
    bool isPage(qsizetype i) const;  // an HTML page, as opposed to a style sheet, picture and so on
    // The bytes of planned file i as the help file stores them: pages and style sheets with
    // their links rewritten. Nothing, and the reason in error, when the file cannot be read
    // or has changed since it was planned.
    std::optional<QByteArray> stagedBytes(qsizetype i, QString *error) const;

    QStringList stagedFiles() const;  // staged names, in staging order

private:
    struct Entry {
        QString source;
        QString staged;
        bool rewritten = false;  // a page or style sheet: written with edits applied
        qint64 size = 0;         // when planned
        QList<Edit> edits;
    };
    QString stagedFolder(const QString &sourceFolder);  // sourceFolder without trailing "/"
    QString uniqueName(const QString &stagedParent, const QString &wanted, bool folder);
    bool keepsName(const QString &stagedParent, const QString &name) const;
    void reserveName(const QString &stagedParent, const QString &name);
    bool planPage(qsizetype i, bool styleSheet, QStringList &errors, QStringList &warnings);
    void noteOutside(const QString &file);
    QString addEntry(const QString &sourcePath, const QString &folder);

    QString projectFolder_;  // without trailing "/" unless it is "/"
    const chm::AnsiCodePage &codePage_;
    QHash<QString, QString> staged_;           // source file -> staged name
    QHash<QString, QString> folders_;          // source folder -> staged folder
    QHash<QString, QSet<QString>> usedNames_;  // staged folder -> lower-case names
    QList<Entry> entries_;
    QStringList outside_;  // files left out for lying outside the project folder
    qint64 totalBytes_ = 0;
    int counter_ = 0;
};

}  // namespace zelbrin::hhc
