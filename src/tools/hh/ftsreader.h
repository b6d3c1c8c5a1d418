#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace zelbrin::hh {

// The header of /$FIftiMain, the full-text search index, field by field.
struct FtsHeader {
    std::uint32_t files = 0;       // 0x04: documents indexed
    std::uint32_t root = 0;        // 0x08 (and its copy at 0x14): the root node
    std::uint32_t leafCount = 0;   // 0x10
    std::uint16_t depth = 0;       // 0x18: levels of nodes, leaves included
    std::uint8_t documentRoot = 0;  // 0x1F, 0x21, 0x23: roots of the scale-root codes
    std::uint8_t countRoot = 0;
    std::uint8_t locationRoot = 0;
    std::uint32_t nodeSize = 0;       // 0x2E
    std::uint32_t hasTitles = 0;      // 0x32: 1 when titles are indexed
    std::uint32_t furthestRepeat = 0;  // 0x36: the largest location of a word that occurred before
    std::uint32_t field3A = 0;         // 0x3A: not understood
    std::uint32_t longestWord = 0;     // 0x3E: bytes
    std::uint32_t wordsIndexed = 0;    // 0x42: occurrences
    std::uint32_t distinctWords = 0;   // 0x46
    std::uint32_t longWordBytes = 0;   // 0x4A: bytes of the occurrences of words longer than two bytes
    std::uint32_t shortWordBytes = 0;  // 0x4E: and of words of one or two
    std::uint32_t entryBytes = 0;      // 0x52: bytes of the words listed
    std::uint32_t unusedBytes = 0;     // 0x56: free in the nodes and padding after codes
    std::uint32_t lastDocument = 0;    // 0x5E
    std::uint32_t codePage = 0;        // 0x7A
    std::uint32_t languageId = 0;      // 0x7E
};

struct FtsDocumentHits {
    std::uint32_t document = 0;            // topic number
    std::vector<std::uint32_t> locations;  // word positions in the document, titles first
};

struct FtsWord {
    std::string word;  // bytes in the header's code page
    bool title = false;
    std::vector<FtsDocumentHits> documents;
    std::uint32_t leaf = 0;  // the leaf node listing it
};

struct FtsIndex {
    bool empty = false;  // a file of no bytes: what HTML Help Workshop stores when search is off
    FtsHeader header;
    std::vector<FtsWord> words;  // along the chain of leaves
};

// Decodes /$FIftiMain: the header, the leaves along their chain and each word's documents
// and locations. Every offset, length and code is checked against the file, so a damaged
// index is reported in error, never read past.
std::optional<FtsIndex> readFullTextIndex(std::span<const unsigned char> data, std::string &error);

// The leaf a reader descends to when it looks up word: from the root, in each index node
// the child of the first entry whose word is not below it. Nothing when the descent leaves
// the tree.
std::optional<std::uint32_t> leafFor(std::span<const unsigned char> data, const std::string &word);

}  // namespace zelbrin::hh
