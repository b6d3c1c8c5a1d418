#pragma once

#include <QString>

namespace zelbrin {

// The build folder "temp" in the project directory, and the lock that keeps two builds of
// projects in one folder apart. The folder carries a mark of its maker (kBuildFolderMark),
// so that a build removes what an earlier build left (killed, or kept with --keep-temp)
// and never a folder of that name that the user made.
class BuildFolder {
public:
    // Takes the project directory's lock, removes the build folder an earlier build left and
    // makes an empty, marked one. Throws BuildError, with nothing of the user's touched, when
    // another build holds the lock (naming that build), when a "temp" that this program did
    // not make stands there, or when the project directory cannot be written.
    BuildFolder(const QString &projectDirectory, const QString &projectFile);
    // Releases the lock; the folder stays unless remove() was called.
    ~BuildFolder();
    BuildFolder(const BuildFolder &) = delete;
    BuildFolder &operator=(const BuildFolder &) = delete;

    // Project directory + "temp", without a trailing "/".
    const QString &path() const { return path_; }
    // Deletes the build folder with everything in it.
    void remove();

    // True when folder is a real folder that a build made (it holds the mark).
    static bool madeByBuild(const QString &folder);

private:
    QString path_;
    int lockFd_ = -1;
};

// Name of the mark inside a build folder.
inline constexpr char kBuildFolderMark[] = ".zelbrin-build";

}  // namespace zelbrin
