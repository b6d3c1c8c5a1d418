#pragma once

#include <QByteArray>

#include <cstdint>
#include <string>
#include <vector>

namespace zelbrin::chm {

// One word of the full-text index as the B-tree lists it: words in byte order, and for a
// word found both in page text and in titles the text entry first, as HTML Help Workshop
// writes them.
struct FtsEntry {
    std::string word;             // in the code page
    bool title = false;           // the title context
    std::uint32_t documents = 0;  // pages holding it
    std::uint32_t wlcOffset = 0;  // of its location codes in the code block
    std::uint32_t wlcSize = 0;
};

struct FtsFileInfo {
    std::uint32_t files = 0;  // pages indexed
    int documentRoot = 0;     // roots of the scale-root codes
    int countRoot = 0;
    int locationRoot = 0;
    std::uint32_t codePage = 1252;
    std::uint32_t languageId = 0x409;
    std::uint64_t wordsIndexed = 0;    // occurrences, duplicates included
    std::uint64_t shortWordBytes = 0;  // the total length of the occurrences of words of 1-2 bytes
    std::uint64_t longWordBytes = 0;   // and of longer words
    std::uint32_t furthestRepeat = 0;  // the largest location of a word that occurred before
    std::uint64_t paddingBytes = 0;    // zero bytes after the codes of words in wlc
};

// Lays out /$FIftiMain as HTML Help Workshop does: the 1024-byte header, then per 4096-byte
// leaf node the location codes (wlc) of its words followed by the node, and above the
// leaves index nodes up to a single root. wlc holds the entries' codes in entry order.
QByteArray writeFtsFile(const std::vector<FtsEntry> &entries, const QByteArray &wlc, const FtsFileInfo &info);

}  // namespace zelbrin::chm
