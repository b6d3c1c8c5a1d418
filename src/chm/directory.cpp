#include "directory.h"

#include "binarywriter.h"

#include <algorithm>

namespace zelbrin::chm {

namespace {

constexpr int ListingHeaderSize = 0x14;  // "PMGL", free space, 0, previous, next
constexpr int IndexHeaderSize = 0x08;    // "PMGI", free space
constexpr int QuickRefStep = 1 + (1 << Directory::QuickRefDensity);

inline uchar foldAscii(uchar c) { return c >= 'A' && c <= 'Z' ? uchar(c + ('a' - 'A')) : c; }

// Room the quick-reference area takes at the chunk's end for count entries: the entry
// count, one offset for every QuickRefStep-th entry after the first, and one spare word,
// without which libmspack judges the area too small and ignores it.
int quickRefSize(int count) { return 2 + 2 * ((count + QuickRefStep - 1) / QuickRefStep); }

// Entries (already encoded) packed into chunks of one kind.
struct ChunkFill {
    QList<QByteArray> entries;
    QByteArray firstName;
    int bytes = 0;
};

QList<ChunkFill> packChunks(const QList<QByteArray> &encoded, const QList<QByteArray> &names, int headerSize,
                            bool *fits) {
    QList<ChunkFill> chunks;
    *fits = true;
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const int size = int(encoded[i].size());
        if (headerSize + size + quickRefSize(1) > Directory::ChunkSize) {
            *fits = false;
            return {};
        }
        if (chunks.isEmpty() || headerSize + chunks.last().bytes + size +
                                        quickRefSize(int(chunks.last().entries.size()) + 1) >
                                    Directory::ChunkSize) {
            chunks.append(ChunkFill{});
            chunks.last().firstName = names[i];
        }
        chunks.last().entries.append(encoded[i]);
        chunks.last().bytes += size;
    }
    return chunks;
}

// Writes the entries after the header, and the quick-reference area from the chunk's end.
QByteArray finishChunk(const char *signature, int headerSize, const ChunkFill &fill) {
    QByteArray chunk(Directory::ChunkSize, '\0');
    memcpy(chunk.data(), signature, 4);
    int at = headerSize;
    int wordAt = Directory::ChunkSize - 2;
    putLe16(chunk, wordAt, quint16(fill.entries.size()));
    for (qsizetype i = 0; i < fill.entries.size(); ++i) {
        if (i > 0 && i % QuickRefStep == 0) {
            wordAt -= 2;
            putLe16(chunk, wordAt, quint16(at - headerSize));
        }
        memcpy(chunk.data() + at, fill.entries[i].constData(), size_t(fill.entries[i].size()));
        at += int(fill.entries[i].size());
    }
    putLe32(chunk, 4, quint32(Directory::ChunkSize - at));
    return chunk;
}

}  // namespace

int compareEntryNames(const QByteArray &a, const QByteArray &b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const uchar x = foldAscii(uchar(a[i]));
        const uchar y = foldAscii(uchar(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

void appendEncInt(QByteArray &out, quint64 value) {
    char groups[10];
    int n = 0;
    do {
        groups[n++] = char(value & 0x7f);
        value >>= 7;
    } while (value != 0);
    while (n > 1)
        out.append(char(groups[--n] | 0x80));
    out.append(groups[0]);
}

bool buildDirectory(const QList<DirectoryEntry> &sortedEntries, Directory *directory) {
    QList<QByteArray> encoded;
    QList<QByteArray> names;
    encoded.reserve(sortedEntries.size());
    for (const DirectoryEntry &e : sortedEntries) {
        QByteArray bytes;
        appendEncInt(bytes, quint64(e.name.size()));
        bytes += e.name;
        appendEncInt(bytes, e.section);
        appendEncInt(bytes, e.offset);
        appendEncInt(bytes, e.length);
        encoded.append(bytes);
        names.append(e.name);
    }
    bool fits = true;
    const QList<ChunkFill> listing = packChunks(encoded, names, ListingHeaderSize, &fits);
    if (!fits || listing.isEmpty())
        return false;

    Directory d;
    const int listingCount = int(listing.size());
    for (int i = 0; i < listingCount; ++i) {
        QByteArray chunk = finishChunk("PMGL", ListingHeaderSize, listing[i]);
        putLe32(chunk, 8, 0);
        putLe32(chunk, 12, i == 0 ? 0xffffffffu : quint32(i - 1));
        putLe32(chunk, 16, i == listingCount - 1 ? 0xffffffffu : quint32(i + 1));
        d.chunks += chunk;
    }
    d.chunkCount = listingCount;
    d.lastListingChunk = listingCount - 1;

    // Index levels, bottom up, until one chunk covers the level below: each entry names
    // the first entry of a chunk of the level below and that chunk's number.
    QList<ChunkFill> below = listing;
    int belowFirst = 0;
    while (below.size() > 1) {
        QList<QByteArray> indexEncoded;
        QList<QByteArray> indexNames;
        for (qsizetype i = 0; i < below.size(); ++i) {
            QByteArray bytes;
            appendEncInt(bytes, quint64(below[i].firstName.size()));
            bytes += below[i].firstName;
            appendEncInt(bytes, quint64(belowFirst + i));
            indexEncoded.append(bytes);
            indexNames.append(below[i].firstName);
        }
        const QList<ChunkFill> level = packChunks(indexEncoded, indexNames, IndexHeaderSize, &fits);
        if (!fits)
            return false;
        belowFirst = d.chunkCount;
        for (const ChunkFill &fill : level)
            d.chunks += finishChunk("PMGI", IndexHeaderSize, fill);
        d.chunkCount += int(level.size());
        ++d.depth;
        below = level;
    }
    if (d.depth > 1)
        d.indexRootChunk = d.chunkCount - 1;
    *directory = d;
    return true;
}

}  // namespace zelbrin::chm
