#include "chmunpack.h"

#include <chm_lib.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zelbrin::hh {

namespace {

std::vector<std::string_view> splitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        const size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) {
            parts.push_back(path.substr(start));
            return parts;
        }
        parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
}

bool oddComponent(std::string_view c) {
    if (c.empty() || c == "." || c == "..")
        return true;
    for (unsigned char ch : c)
        if (ch < 0x20 || ch == 0x7f || ch == '\\')
            return true;
    return false;
}

// A file descriptor that closes itself.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd &&o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd &operator=(Fd &&o) noexcept {
        if (this != &o) {
            reset();
            fd_ = o.fd_;
            o.fd_ = -1;
        }
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

struct Context {
    std::ostream &err;
    int destFd;
    int failures = 0;
    int written = 0;
    unsigned long tempCounter = 0;
};

// Enters (creating when missing) one folder below dirFd, refusing symbolic links and
// anything that is not a folder.
Fd enterFolder(int dirFd, const std::string &name) {
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    Fd fd(::openat(dirFd, name.c_str(), flags));
    if (!fd.valid() && errno == ENOENT) {
        if (::mkdirat(dirFd, name.c_str(), 0777) != 0 && errno != EEXIST)
            return Fd();
        fd = Fd(::openat(dirFd, name.c_str(), flags));
    }
    return fd;
}

bool writeAll(int fd, const unsigned char *data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Writes the entry into a fresh file beside its final name, then renames it over that
// name: whatever lay there (a symbolic or hard link included) is replaced, never written
// through.
bool writeEntry(Context &ctx, chmFile *h, chmUnitInfo *ui, int dirFd, const std::string &name,
                std::string &why) {
    std::string temp;
    Fd out;
    for (int attempt = 0; attempt < 100 && !out.valid(); ++attempt) {
        temp = ".hh-" + std::to_string(::getpid()) + "-" + std::to_string(++ctx.tempCounter);
        out = Fd(::openat(dirFd, temp.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!out.valid() && errno != EEXIST)
            break;
    }
    if (!out.valid()) {
        why = std::strerror(errno);
        return false;
    }
    std::vector<unsigned char> buffer(64 * 1024);
    LONGUINT64 offset = 0;
    bool ok = true;
    while (offset < ui->length) {
        const LONGINT64 want =
            static_cast<LONGINT64>(std::min<LONGUINT64>(buffer.size(), ui->length - offset));
        const LONGINT64 got = chm_retrieve_object(h, ui, buffer.data(), offset, want);
        if (got <= 0) {
            why = "the archive data cannot be read";
            ok = false;
            break;
        }
        if (!writeAll(out.get(), buffer.data(), static_cast<size_t>(got))) {
            why = std::strerror(errno);
            ok = false;
            break;
        }
        offset += static_cast<LONGUINT64>(got);
    }
    if (::close(out.release()) != 0 && ok) {
        why = std::strerror(errno);
        ok = false;
    }
    if (ok && ::renameat(dirFd, temp.c_str(), dirFd, name.c_str()) != 0) {
        why = std::strerror(errno);
        ok = false;
    }
    if (!ok)
        ::unlinkat(dirFd, temp.c_str(), 0);
    return ok;
}

int onEntry(chmFile *h, chmUnitInfo *ui, void *context) {
    auto &ctx = *static_cast<Context *>(context);
    const std::string_view path(ui->path);
    switch (classifyEntry(path)) {
    case EntryKind::Internal:
        return CHM_ENUMERATOR_CONTINUE;
    case EntryKind::Unsafe:
        ctx.err << "hh: skipped unsafe entry name \"" << path << "\"\n";
        return CHM_ENUMERATOR_CONTINUE;
    case EntryKind::Content:
        break;
    }
    const bool isFolder = path.back() == '/';
    std::vector<std::string_view> parts = splitPath(path.substr(1));
    if (isFolder)
        parts.pop_back();
    Fd current;
    int dirFd = ctx.destFd;
    const size_t folderCount = isFolder ? parts.size() : parts.size() - 1;
    for (size_t i = 0; i < folderCount; ++i) {
        Fd next = enterFolder(dirFd, std::string(parts[i]));
        if (!next.valid()) {
            ctx.err << "hh: skipped \"" << path << "\": \"" << parts[i]
                    << "\" in the destination is not a plain folder (" << std::strerror(errno)
                    << ")\n";
            ++ctx.failures;
            return CHM_ENUMERATOR_CONTINUE;
        }
        current = std::move(next);
        dirFd = current.get();
    }
    if (isFolder)
        return CHM_ENUMERATOR_CONTINUE;
    std::string why;
    if (!writeEntry(ctx, h, ui, dirFd, std::string(parts.back()), why)) {
        ctx.err << "hh: cannot write \"" << path << "\": " << why << "\n";
        ++ctx.failures;
    } else {
        ++ctx.written;
    }
    return CHM_ENUMERATOR_CONTINUE;
}

}  // namespace

EntryKind classifyEntry(std::string_view path) {
    if (path.substr(0, 2) == "::")
        return EntryKind::Internal;
    if (path.empty() || path.front() != '/')
        return EntryKind::Unsafe;
    if (path == "/")
        return EntryKind::Internal;
    std::string_view rest = path.substr(1);
    if (rest.front() == '#' || rest.front() == '$')
        return EntryKind::Internal;
    if (rest.back() == '/')
        rest.remove_suffix(1);
    for (std::string_view c : splitPath(rest))
        if (oddComponent(c))
            return EntryKind::Unsafe;
    return EntryKind::Content;
}

int unpackChm(const std::string &chmPath, const std::string &dest, std::ostream &err) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (chmPath.empty() || !fs::exists(fs::path(chmPath), ec)) {
        err << "hh: the compiled help file \"" << chmPath << "\" does not exist\n";
        return 1;
    }
    if (!fs::is_regular_file(fs::path(chmPath), ec)) {
        err << "hh: \"" << chmPath << "\" is not a compiled help file\n";
        return 1;
    }
    if (dest.empty()) {
        err << "hh: no destination folder given\n";
        return 1;
    }
    chmFile *h = chm_open(chmPath.c_str());
    if (!h) {
        err << "hh: \"" << chmPath << "\" is not a compiled help file\n";
        return 1;
    }
    fs::create_directories(fs::path(dest), ec);
    Fd destFd(::open(dest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!destFd.valid()) {
        const int openError = errno;
        chm_close(h);
        err << "hh: the destination folder \"" << dest << "\" cannot be created ("
            << (ec ? ec.message() : std::string(std::strerror(openError))) << ")\n";
        return 1;
    }
    Context ctx{err, destFd.get()};
    const int enumerated = chm_enumerate(h, CHM_ENUMERATE_ALL, &onEntry, &ctx);
    chm_close(h);
    if (!enumerated) {
        err << "hh: the directory of \"" << chmPath << "\" is damaged; unpacking stopped\n";
        return 1;
    }
    return ctx.failures == 0 ? 0 : 1;
}

}  // namespace zelbrin::hh
