#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace zelbrin::hh {

// How an entry of the archive's directory is treated when unpacking.
enum class EntryKind {
    Content,   // a page, picture, contents or index file, or a folder holding them
    Internal,  // the archive's own bookkeeping ("#...", "$...", "::DataSpace/...", "/")
    Unsafe,    // a name that could leave the destination or is otherwise odd
};

EntryKind classifyEntry(std::string_view path);

// Unpacks the content entries of the compiled help file chmPath into dest (created
// when missing). Nothing is written outside dest: unsafe names are skipped, folders
// are entered without following symbolic links, and files are replaced by renaming a
// fresh file over them, so a link already lying in dest is never written through.
// Messages go to err. Returns 0 when every content entry was unpacked (unsafe ones
// being skipped and reported), 1 otherwise (a damaged file named with its damage, a help
// file without pages), 128 + the signal when interrupted (interruption.h).
int unpackChm(const std::string &chmPath, const std::string &dest, std::ostream &err);

}  // namespace zelbrin::hh
