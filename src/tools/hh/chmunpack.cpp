#include "chmunpack.h"

#include "chmreader.h"
#include "interruption.h"
#include "leftovers.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
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
    int content = 0;  // entries that are pages, pictures or folders
    unsigned long tempCounter = 0;
    std::set<std::pair<dev_t, ino_t>> swept;  // folders cleared of what killed runs left
};

const std::string kTemporaryPrefix = ".hh-";

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
// through. The fresh file is removed on any failure, and by a second signal (interruption.h).
bool writeEntry(Context &ctx, ChmReader &reader, size_t entry, int dirFd, const std::string &name,
                std::string &why) {
    // The temporary files of an unpack that was killed are removed by the next unpack that
    // writes into their folder.
    struct stat folder {};
    if (::fstat(dirFd, &folder) == 0 && ctx.swept.insert({folder.st_dev, folder.st_ino}).second)
        leftovers::sweepFilesAt(dirFd, kTemporaryPrefix);
    std::string temp;
    Fd out;
    for (int attempt = 0; attempt < 100 && !out.valid(); ++attempt) {
        temp = leftovers::namePrefix(kTemporaryPrefix, ::getpid()) + std::to_string(++ctx.tempCounter);
        out = Fd(::openat(dirFd, temp.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!out.valid() && errno != EEXIST)
            break;
    }
    if (!out.valid()) {
        why = std::strerror(errno);
        return false;
    }
    interruption::TemporaryFile registered(dirFd, temp.c_str());
    // A test that interrupts an unpack at this moment needs hh to hold still here, however
    // busy the machine is; it resumes hh with SIGCONT.
    static const bool stopAtTemporaryFile = std::getenv("ZELBRIN_HH_STOP_AT_TEMPORARY_FILE");
    if (stopAtTemporaryFile)
        ::raise(SIGSTOP);
    std::string writeError;
    why = reader.extract(entry, [&](const unsigned char *data, size_t size) {
        if (interruption::requested())
            return false;
        if (writeAll(out.get(), data, size))
            return true;
        writeError = std::strerror(errno);
        return false;
    });
    if (why == "stopped")
        why = writeError.empty() ? "interrupted" : writeError;
    bool ok = why.empty();
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

void unpackEntry(Context &ctx, ChmReader &reader, size_t entry) {
    const std::string &path = reader.entries()[entry].name;
    switch (classifyEntry(path)) {
    case EntryKind::Internal:
        return;
    case EntryKind::Unsafe:
        ctx.err << "hh: skipped unsafe entry name \"" << path << "\"\n";
        return;
    case EntryKind::Content:
        break;
    }
    ++ctx.content;
    const bool isFolder = path.back() == '/';
    std::vector<std::string_view> parts = splitPath(std::string_view(path).substr(1));
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
            return;
        }
        current = std::move(next);
        dirFd = current.get();
    }
    if (isFolder)
        return;
    std::string why;
    if (!writeEntry(ctx, reader, entry, dirFd, std::string(parts.back()), why)) {
        ctx.err << "hh: cannot unpack \"" << path << "\": " << why << "\n";
        ++ctx.failures;
    }
}

// The whole help file; help files are small next to memory, and reading from memory lets
// the same reader run on a fuzzer's bytes.
bool readWholeFile(const std::string &path, std::vector<unsigned char> &bytes, std::string &why) {
    std::ifstream in(path, std::ios::binary);
    if (in)
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        why = std::strerror(errno);
        return false;
    }
    return true;
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
    std::vector<unsigned char> bytes;
    std::string why;
    if (!readWholeFile(chmPath, bytes, why)) {
        err << "hh: \"" << chmPath << "\" cannot be read (" << why << ")\n";
        return 1;
    }
    if (bytes.size() < 4 || std::memcmp(bytes.data(), "ITSF", 4) != 0) {
        err << "hh: \"" << chmPath << "\" is not a compiled help file\n";
        return 1;
    }
    ChmReader reader(bytes);
    if (!reader.ok()) {
        err << "hh: the compiled help file \"" << chmPath << "\" is damaged: " << reader.error() << "\n";
        return 1;
    }
    fs::create_directories(fs::path(dest), ec);
    Fd destFd(::open(dest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!destFd.valid()) {
        const int openError = errno;
        err << "hh: the destination folder \"" << dest << "\" cannot be created ("
            << (ec ? ec.message() : std::string(std::strerror(openError))) << ")\n";
        return 1;
    }
    Context ctx{err, destFd.get()};
    for (size_t i = 0; i < reader.entries().size() && !interruption::requested(); ++i)
        unpackEntry(ctx, reader, i);
    if (interruption::requested()) {
        err << "hh: interrupted by signal " << interruption::received() << "\n";
        return interruption::exitStatus();
    }
    if (ctx.content == 0) {
        err << "hh: the directory of \"" << chmPath << "\" lists no pages; the file is damaged or empty\n";
        return 1;
    }
    return ctx.failures == 0 ? 0 : 1;
}

}  // namespace zelbrin::hh
