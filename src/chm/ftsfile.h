#pragma once

#include <QByteArray>

#include <cstdint>
#include <string>
#include <vector>

namespace zelbrin::chm {

// One word of the full-text index as the B-tree lists it: words in reader order, and for
// a word found both in page text and in titles the text entry first, as hhc writes them.
struct FtsEntry {
    std::string word;             // in the code page
    bool title = false;           // the title context
    std::uint32_t documents = 0;  // pages holding it
    std::uint32_t wlcOffset = 0;  // of its location codes, from the start of the code block
    std::uint32_t wlcSize = 0;
};

struct FtsFileInfo {
    std::uint32_t files = 0;  // pages indexed
    int documentRoot = 0;     // roots of the scale-root codes
    int countRoot = 0;
    int locationRoot = 0;
    std::uint32_t codePage = 1252;
    std::uint32_t languageId = 0x409;
    std::uint64_t wordsIndexed = 0;  // occurrences, duplicates included
    std::uint64_t wordBytes = 0;     // their total length
};

// Orders words as the readers walk the tree: bytes compared unsigned, ASCII capitals (which
// only occur as trail bytes of double-byte characters) as if lower case, like strcasecmp.
bool ftsWordLess(const std::string &a, const std::string &b);

// Lays out /$FIftiMain: the 1024-byte header, the location codes (wlc), the 4096-byte leaf
// nodes and, above them, index nodes up to a single root.
QByteArray writeFtsFile(const std::vector<FtsEntry> &entries, const QByteArray &wlc, const FtsFileInfo &info);

}  // namespace zelbrin::chm
