#pragma once

#include "markup.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace zelbrin::hhc {

// Plans the files of a help project as the help file stores them. A GBK contents file can
// only point at ASCII names, so every file gets an ASCII name: the folder tree below the
// project folder is mirrored, names of [A-Za-z0-9._-] are kept, others become d<n>
// (folders) and f<n>.<ext> (files). Only files inside the project folder's tree are
// staged (judged on canonical paths): a help file is published, and a link to /etc/passwd
// must not publish that file.
// Links to other files stay as written, with one warning per file. A file reached through
// a path outside the folder that canonically lies inside goes below "_ext". Names are
// unique within a folder without regard to case, as help viewers look them up. Pages and
// style sheets are stored with their links rewritten to the new names; every file that
// they link is staged as well, and so on.
class Stager {
public:
    // projectFolder ends in "/".
    explicit Stager(const QString &projectFolder);

    // Keeps a name in the staging root for the compiler's own files.
    void reserveRootName(const QString &name);
    // The staged name (relative to the staging root) of a source file, given on first use;
    // empty for a file outside the project folder, which is left out and warned about.
    QString stage(const QString &sourcePath);

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
    bool planPage(qsizetype i, bool styleSheet, QStringList &errors, QStringList &warnings);
    void noteOutside(const QString &file);

    QString projectFolder_;  // without trailing "/" unless it is "/"
    QHash<QString, QString> staged_;           // source file -> staged name
    QHash<QString, QString> folders_;          // source folder -> staged folder
    QHash<QString, QSet<QString>> usedNames_;  // staged folder -> lower-case names
    QList<Entry> entries_;
    QStringList outside_;  // files left out for lying outside the project folder
    qint64 totalBytes_ = 0;
    int counter_ = 0;
};

}  // namespace zelbrin::hhc
