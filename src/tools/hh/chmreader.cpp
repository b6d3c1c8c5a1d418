#include "chmreader.h"

#include <mspack.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zelbrin::hh {
namespace {

// libmspack reaches files only through an mspack_system; this one serves the help file
// from memory (under any name opened for reading) and hands written data to a sink.
struct MemorySystem {
    mspack_system base{};
    std::span<const unsigned char> bytes;
    const ChmReader::Sink *sink = nullptr;
    bool sinkStopped = false;
};

struct MemoryFile {
    mspack_file base{};
    MemorySystem *system = nullptr;
    size_t position = 0;
    bool output = false;
};

// libmspack's warnings ("ResetTable is corrupt", ...) say more than its error codes.
thread_local std::string g_lastWarning;

// libmspack insists on the two class ids of the ITSF header, which other readers ignore and
// which Free Pascal's chmcmd writes wrongly (the first one twice). The reader is shown the
// standard ones, so that those help files read as they do everywhere else.
constexpr size_t kClassIdsAt = 0x18;
constexpr unsigned char kClassIds[32] = {
    0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11, 0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC,
    0x11, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11, 0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};

MemorySystem *systemOf(mspack_system *s) { return reinterpret_cast<MemorySystem *>(s); }
MemoryFile *fileOf(mspack_file *f) { return reinterpret_cast<MemoryFile *>(f); }

mspack_file *openFile(mspack_system *self, const char *, int mode) {
    auto *f = new MemoryFile;
    f->system = systemOf(self);
    f->output = mode != MSPACK_SYS_OPEN_READ;
    return &f->base;
}

void closeFile(mspack_file *file) { delete fileOf(file); }

int readFile(mspack_file *file, void *buffer, int bytes) {
    MemoryFile *f = fileOf(file);
    const std::span<const unsigned char> all = f->system->bytes;
    if (bytes < 0 || f->output)
        return -1;
    const size_t n = std::min(size_t(bytes), all.size() - std::min(f->position, all.size()));
    std::memcpy(buffer, all.data() + f->position, n);
    for (size_t i = std::max(f->position, kClassIdsAt); i < std::min(f->position + n, kClassIdsAt + 32); ++i)
        static_cast<unsigned char *>(buffer)[i - f->position] = kClassIds[i - kClassIdsAt];
    f->position += n;
    return int(n);
}

int writeFile(mspack_file *file, void *buffer, int bytes) {
    MemoryFile *f = fileOf(file);
    MemorySystem *sys = f->system;
    if (bytes < 0 || !f->output || !sys->sink)
        return -1;
    if (!(*sys->sink)(static_cast<const unsigned char *>(buffer), size_t(bytes))) {
        sys->sinkStopped = true;
        return -1;
    }
    return bytes;
}

int seekFile(mspack_file *file, off_t offset, int mode) {
    MemoryFile *f = fileOf(file);
    const off_t size = off_t(f->system->bytes.size());
    const off_t base = mode == MSPACK_SYS_SEEK_START ? 0
                       : mode == MSPACK_SYS_SEEK_CUR ? off_t(f->position)
                                                     : size;
    if (offset > size || offset < -size || base + offset < 0 || base + offset > size)
        return -1;
    const off_t to = base + offset;
    f->position = size_t(to);
    return 0;
}

off_t tellFile(mspack_file *file) { return off_t(fileOf(file)->position); }

void message(mspack_file *, const char *format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_lastWarning = text;
}

void *allocate(mspack_system *, size_t bytes) { return std::malloc(bytes); }
void release(void *p) { std::free(p); }
void copy(void *src, void *dest, size_t bytes) { std::memmove(dest, src, bytes); }

std::string explain(int code) {
    switch (code) {
    case MSPACK_ERR_OK:
        return "no error";
    case MSPACK_ERR_READ:
    case MSPACK_ERR_SEEK:
        return "the data ends early or points outside the file";
    case MSPACK_ERR_WRITE:
        return "the content could not be written";
    case MSPACK_ERR_NOMEMORY:
        return "out of memory";
    case MSPACK_ERR_SIGNATURE:
        return "it is not a compiled help file (no ITSF signature)";
    case MSPACK_ERR_DATAFORMAT:
        return "its structure is damaged";
    case MSPACK_ERR_DECRUNCH:
        return "its compressed (LZX) data is damaged";
    default:
        return "libmspack error " + std::to_string(code);
    }
}

std::string describe(int code) {
    std::string text = explain(code);
    if (!g_lastWarning.empty())
        text += " (libmspack: " + g_lastWarning + ")";
    return text;
}

uint32_t le32(const unsigned char *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The listing chunks are chained by "next" pointers; a chain that leaves the directory,
// comes back to a chunk or does not end at the last listing chunk is damage.
std::string checkChunkChain(std::span<const unsigned char> bytes, const mschmd_header &chm) {
    constexpr size_t kNextField = 16;
    uint32_t chunk = chm.first_pmgl;
    std::vector<bool> seen(chm.num_chunks, false);
    for (;;) {
        if (chunk >= chm.num_chunks)
            return "its directory chunk chain leads outside the directory (chunk " + std::to_string(chunk) + ")";
        if (seen[chunk])
            return "its directory chunk chain comes back to chunk " + std::to_string(chunk);
        seen[chunk] = true;
        const uint64_t at = uint64_t(chm.dir_offset) + uint64_t(chunk) * chm.chunk_size;
        if (at + kNextField + 4 > bytes.size())
            return "its directory chunk " + std::to_string(chunk) + " lies outside the file";
        const uint32_t next = le32(bytes.data() + at + kNextField);
        if (next == 0xFFFFFFFFu)
            return chunk == chm.last_pmgl ? std::string()
                                          : "its directory chunk chain does not end at its last listing chunk";
        chunk = next;
    }
}

}  // namespace

struct ChmReader::Library {
    MemorySystem system;
    mschm_decompressor *decompressor = nullptr;
    mschmd_header *chm = nullptr;
    ~Library() {
        if (decompressor) {
            if (chm)
                decompressor->close(decompressor, chm);
            mspack_destroy_chm_decompressor(decompressor);
        }
    }
};

ChmReader::ChmReader(std::span<const unsigned char> bytes) : lib_(std::make_unique<Library>()) {
    MemorySystem &sys = lib_->system;
    sys.base = {openFile, closeFile, readFile, writeFile, seekFile, tellFile, message,
                allocate, release, copy, nullptr};
    sys.bytes = bytes;
    g_lastWarning.clear();
    lib_->decompressor = mspack_create_chm_decompressor(&sys.base);
    if (!lib_->decompressor) {
        error_ = "libmspack cannot be started";
        return;
    }
    lib_->chm = lib_->decompressor->open(lib_->decompressor, "help file");
    if (!lib_->chm) {
        error_ = describe(lib_->decompressor->last_error(lib_->decompressor));
        return;
    }
    const mschmd_header &chm = *lib_->chm;
    if (uint64_t(chm.length) > bytes.size()) {
        error_ = "it is truncated: its header states " + std::to_string(chm.length) +
                 " bytes, the file has " + std::to_string(bytes.size());
        return;
    }
    error_ = checkChunkChain(bytes, chm);
    if (!error_.empty())
        return;
    std::vector<mschmd_file *> files;
    for (mschmd_file *f = chm.files; f; f = f->next)
        files.push_back(f);
    for (mschmd_file *f = chm.sysfiles; f; f = f->next)
        files.push_back(f);
    if (files.empty()) {
        error_ = "its directory lists no files";
        return;
    }
    std::stable_sort(files.begin(), files.end(), [](const mschmd_file *a, const mschmd_file *b) {
        return a->section->id != b->section->id ? a->section->id < b->section->id : a->offset < b->offset;
    });
    for (mschmd_file *f : files) {
        entries_.push_back({f->filename, uint64_t(std::max<off_t>(f->length, 0))});
        files_.push_back(f);
    }
}

ChmReader::~ChmReader() = default;

std::string ChmReader::extract(size_t i, const Sink &sink) {
    if (!ok() || i >= files_.size())
        return "no such entry";
    auto *file = const_cast<mschmd_file *>(static_cast<const mschmd_file *>(files_[i]));
    if (file->length < 0)
        return "its directory states a negative length";
    lib_->system.sink = &sink;
    lib_->system.sinkStopped = false;
    g_lastWarning.clear();
    const int code = lib_->decompressor->extract(lib_->decompressor, file, "content");
    lib_->system.sink = nullptr;
    if (code == MSPACK_ERR_OK)
        return {};
    if (lib_->system.sinkStopped)
        return "stopped";
    return describe(code);
}

std::string readWholeChm(std::span<const unsigned char> bytes) {
    ChmReader reader(bytes);
    if (!reader.ok())
        return reader.error();
    const ChmReader::Sink discard = [](const unsigned char *, size_t) { return true; };
    for (size_t i = 0; i < reader.entries().size(); ++i) {
        const std::string why = reader.extract(i, discard);
        if (!why.empty())
            return reader.entries()[i].name + ": " + why;
    }
    return {};
}

}  // namespace zelbrin::hh
