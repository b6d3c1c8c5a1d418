// hh's reader of compiled help files: the directory, the name of every entry as the
// unpacker judges it, and the content of every entry.
#include "chmreader.h"
#include "chmunpack.h"
#include "fuzzsupport.h"

#include <filesystem>

using namespace zelbrin;
using namespace zelbrin::hh;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // One reader for the names and the contents: opening one is most of the work for a
    // small input.
    ChmReader reader(std::span<const unsigned char>(data, size));
    if (!reader.ok())
        return 0;
    for (const ChmEntry &entry : reader.entries()) {
        if (classifyEntry(entry.name) != EntryKind::Content)
            continue;
        // What the unpacker writes lies inside the destination folder.
        const std::filesystem::path target =
            (std::filesystem::path("/dest") / ("." + entry.name)).lexically_normal();
        const std::string text = target.string();
        fuzz::check(text.size() > 6 && text.compare(0, 6, "/dest/") == 0,
                    "a content entry stays inside the destination");
    }
    // As readWholeChm: every entry in order, the first damaged one ends the reading.
    const ChmReader::Sink discard = [](const unsigned char *, size_t) { return true; };
    for (size_t i = 0; i < reader.entries().size(); ++i)
        if (!reader.extract(i, discard).empty())
            break;
    return 0;
}
