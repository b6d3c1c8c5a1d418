#include "leftovers.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zelbrin::leftovers {
namespace {

namespace fs = std::filesystem;

bool processExists(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// The pid in "PREFIX<pid>-...", 0 when the name has no such form.
pid_t ownerOf(const std::string &name, const std::string &prefix) {
    if (name.compare(0, prefix.size(), prefix) != 0)
        return 0;
    size_t i = prefix.size();
    long pid = 0;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9' && pid < 1L << 30)
        pid = pid * 10 + (name[i++] - '0');
    return i > prefix.size() && i < name.size() && name[i] == '-' ? pid_t(pid) : 0;
}

void removeWhere(const std::string &folder, const std::string &prefix,
                 const std::function<bool(pid_t)> &owned) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const pid_t pid = ownerOf(name, prefix);
        struct stat st {};
        if (pid <= 0 || ::lstat(it->path().c_str(), &st) != 0 || st.st_uid != ::geteuid() || !owned(pid))
            continue;
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

}  // namespace

std::string namePrefix(const std::string &prefix, pid_t pid) {
    return prefix + std::to_string(pid) + "-";
}

void sweep(const std::string &folder, const std::string &prefix) {
    removeWhere(folder, prefix, [](pid_t pid) { return !processExists(pid); });
}

void sweepFilesAt(int dirFd, const std::string &prefix) {
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    std::vector<std::string> gone;
    while (const dirent *entry = ::readdir(dir)) {
        const pid_t pid = ownerOf(entry->d_name, prefix);
        struct stat st {};
        if (pid > 0 && ::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode) &&
            st.st_uid == ::geteuid() && !processExists(pid))
            gone.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    for (const std::string &name : gone)
        ::unlinkat(dirFd, name.c_str(), 0);
}

void removeOf(const std::string &folder, const std::string &prefix, pid_t pid) {
    removeWhere(folder, prefix, [pid](pid_t owner) { return owner == pid; });
}

}  // namespace zelbrin::leftovers
