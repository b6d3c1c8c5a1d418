#pragma once

#include <QByteArray>
#include <QList>

namespace zelbrin::chm {

// One name of the archive's directory and where its bytes lie.
struct DirectoryEntry {
    QByteArray name;
    quint64 section = 0;  // 0: uncompressed, 1: MSCompressed
    quint64 offset = 0;   // within the section's uncompressed bytes
    quint64 length = 0;
};

// The order readers binary-search the listing in: byte-wise after folding ASCII letters
// to lower case (CHMLib compares with strcasecmp, libmspack by lower-cased code point).
int compareEntryNames(const QByteArray &a, const QByteArray &b);

// The directory as it follows the ITSP header: listing chunks, then index chunks.
struct Directory {
    static constexpr int ChunkSize = 0x1000;
    static constexpr int QuickRefDensity = 2;  // a quick reference every 1 + (1 << 2) entries
    QByteArray chunks;
    int chunkCount = 0;
    int lastListingChunk = 0;
    int indexRootChunk = -1;  // -1: a single listing chunk, no index
    int depth = 1;            // 1: listing only; each index level adds one
};

// Lays out entries, already sorted by compareEntryNames, into chunks. Fails (returns
// false) only for a name too long to fit a chunk.
bool buildDirectory(const QList<DirectoryEntry> &sortedEntries, Directory *directory);

// Appends value as the format's variable-length integer: 7 bits a byte, most significant
// group first, the high bit set on every byte but the last.
void appendEncInt(QByteArray &out, quint64 value);

}  // namespace zelbrin::chm
