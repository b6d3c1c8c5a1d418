#pragma once

#include "topicsettings.h"

#include <QObject>
#include <QString>

namespace zelbrin {

class StructureModel;
class UserPrompts;

extern const QString kApplicationTitle;  // "Zelbrin"

// The one help project: its structure tree, which project file holds it, the working
// directory, the settings for splitting documents into topics, and whether it is open and
// has unsaved changes. A window shows it and edits its tree; the command-line builder
// opens one and builds it.
class Project : public QObject {
    Q_OBJECT
public:
    enum class SaveOutcome {
        Written,      // the file was written; file name, modified flag and caption updated
        NoFileName,   // unnamed project and no target: nothing written
        Declined,     // overwrite question answered No
        InvalidName,  // project name is not an XML name; error shown, nothing written
        Failed,       // the write failed; error shown, old file untouched
    };
    enum class OpenOutcome {
        Read,         // the tree was replaced by the file's content
        NotAProject,  // missing file or extension other than .zlp: nothing changed
        Unreadable,   // exists but is empty, not well-formed XML or not readable
        TooDeep,      // nests deeper than kMaxTreeDepth: nothing changed
    };

    explicit Project(QObject *parent = nullptr);
    ~Project() override;

    // The structure tree, the one copy of the project's content.
    StructureModel &tree() { return *tree_; }
    const StructureModel &tree() const { return *tree_; }

    // Full path of the project file; empty while the project is unnamed.
    const QString &fileName() const { return fileName_; }
    // The folder whose documents are placed into the tree; kept across New and Close.
    const QString &workCatalog() const { return workCatalog_; }
    bool isModified() const { return modified_; }
    // False at start and after close(): no project to edit.
    bool isOpen() const { return open_; }
    // Splitting, contents and keywords for every document that does not choose its own.
    const TopicSettings &topics() const { return topics_; }
    void setTopics(const TopicSettings &topics) { topics_ = topics; }

    // The project file's name without folder and its last four characters (".zlp").
    QString name() const { return nameOf(fileName_); }
    static QString nameOf(const QString &path);
    // Folder of the project file with its trailing "/"; empty while unnamed.
    QString directory() const;
    // The window's caption: the application title, with " - 未命名" for a new project and
    // " - " and the name for a named one.
    QString caption() const;

    OpenOutcome open(const QString &path);
    // Writes the project file: to target (asking before an existing file is replaced) or,
    // without one, to fileName(). Failures are told through prompts.
    SaveOutcome save(UserPrompts &prompts, const QString &target = {});
    // A new, unnamed project with an empty tree, modified from the start.
    void create() { startOver(true); }
    // No project open; the working directory stays.
    void close() { startOver(false); }
    void setModified(bool modified) { modified_ = modified; }
    // Names the project's file without writing it.
    void setFileName(const QString &path);
    // Takes the folder as the working directory when it is an existing directory; any other
    // path is ignored without a word.
    void setWorkCatalog(const QString &folder);

signals:
    void captionChanged(const QString &caption);
    void workCatalogChanged(const QString &folder);

private:
    void startOver(bool open);

    StructureModel *tree_;
    QString fileName_;
    QString workCatalog_;
    bool modified_ = false;
    bool open_ = false;
    TopicSettings topics_;
};

// True when name matches the Name production of XML 1.0 (fifth edition).
bool isXmlName(const QString &name);

}  // namespace zelbrin
