#pragma once

#include <string>
#include <sys/types.h>

// Temporary folders and files that carry their owner's process id in their name
// ("PREFIX<pid>-..."), so that what a killed program left behind can be told from what a
// running one still uses. Qt-free.
namespace zelbrin::leftovers {

// "PREFIX<pid>-": the start of the name of a leftover that process pid owns.
std::string namePrefix(const std::string &prefix, pid_t pid);

// Removes every entry of folder named PREFIX<pid>-... whose process no longer exists and
// that belongs to the current user. Entries of live processes and of other users stay.
void sweep(const std::string &folder, const std::string &prefix);
// The same for the files (not folders) of the folder open as dirFd.
void sweepFilesAt(int dirFd, const std::string &prefix);
// Removes the entries of folder named PREFIX<pid>-... of this one process (ours), alive or not.
void removeOf(const std::string &folder, const std::string &prefix, pid_t pid);

}  // namespace zelbrin::leftovers
