#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace zelbrin::hh {

// One file listed in a compiled help file's directory.
struct ChmEntry {
    std::string name;     // as stored: "/index.htm", "/#SYSTEM", "::DataSpace/..."
    uint64_t length = 0;  // bytes, as the directory states
};

// A compiled help file read from bytes in memory with libmspack's CHM decompressor, which
// walks the directory chunks in order (a "next" pointer cannot make it loop) and checks
// the LZX data as it decodes. On top of it the reader refuses a file shorter than its
// header says and a directory whose chunk chain is broken, so damage is reported, not
// unpacked around.
class ChmReader {
public:
    // bytes must outlive the reader. On failure error() names what is wrong.
    explicit ChmReader(std::span<const unsigned char> bytes);
    ~ChmReader();
    ChmReader(const ChmReader &) = delete;
    ChmReader &operator=(const ChmReader &) = delete;

    bool ok() const { return error_.empty(); }
    const std::string &error() const { return error_; }
    // Every file of the directory, the help file's own bookkeeping included, in the order
    // in which they are stored (the fastest order to extract them in).
    const std::vector<ChmEntry> &entries() const { return entries_; }

    // Streams the content of entries()[i] to sink in pieces. Returns "" on success, else
    // what went wrong; sink returns false to stop (the text is then "stopped").
    using Sink = std::function<bool(const unsigned char *data, size_t size)>;
    std::string extract(size_t i, const Sink &sink);

private:
    struct Library;
    std::unique_ptr<Library> lib_;
    std::vector<ChmEntry> entries_;
    std::vector<const void *> files_;  // libmspack's record of each entry
    std::string error_;
};

// Reads the directory and every file of the help file in bytes, throwing the content
// away: what a fuzz target runs. Returns the first problem, "" when the whole file reads.
std::string readWholeChm(std::span<const unsigned char> bytes);

}  // namespace zelbrin::hh
