#pragma once

#include "topicsettings.h"

#include <QString>

namespace zelbrin {

class ProjectWindow;
class TreeNode;
struct BuildEnvironment;
struct BuildReport;

extern const QString kApplicationTitle;  // "Zelbrin"

// The one help project: which project file is open, the working directory, the
// modified and closed flags, and the page a compiled help file opens first.
// The structure tree itself lives in the window (ProjectWindow) it belongs to.
class TZLPProject {
public:
    enum class SaveOutcome {
        Written,      // the file was written; FileName, Modified and caption updated
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

    explicit TZLPProject(ProjectWindow &window);

    QString FileName;
    QString WorkCatalog;
    bool Modified = false;
    bool Closed = true;
    QString DefaultTopic;
    // Splitting, contents and keywords for every document that does not choose its own.
    TopicSettings Topics;

    OpenOutcome Open(const QString &path);
    SaveOutcome Save(const QString &target = {});
    void NewProject();
    void CloseProject();
    void SetModified(bool value) { Modified = value; }
    void SetWorkCatalog(const QString &folder);
    QString GetProjectName() const { return ExtractProjectName(FileName); }
    // Folder of FileName with its trailing "/"; empty while unnamed.
    QString ProjectDirectory() const;
    static QString ExtractProjectName(const QString &path);

    // One build of the project file's directory: converts every linked document,
    // writes the help project, runs hhc and opens the result. Throws BuildError.
    BuildReport Compile(BuildEnvironment &env);
    // Writes the help project, contents and index files and runs hhc on them.
    // Returns the compiled help file, or "" when hhc is not in the program folder.
    QString WriteHelpProject(BuildEnvironment &env);

    ProjectWindow &window() { return window_; }

private:
    ProjectWindow &window_;
};

// True when name matches the Name production of XML 1.0 (fifth edition).
bool isXmlName(const QString &name);

}  // namespace zelbrin
