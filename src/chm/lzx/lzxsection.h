#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <functional>

namespace zelbrin::chm {

// The MSCompressed section's LZX stream and the reset table's frame offsets.
struct CompressedSection {
    QByteArray content;
    QList<quint64> frameStarts;  // where each 32 KB frame that holds data starts in content
    quint64 framesEnd = 0;       // where the frames that hold data end (a padding frame may follow)
    int verbatimBlocks = 0;
    int alignedBlocks = 0;
    int storedBlocks = 0;
};

// The uncompressed section: pieces laid end to end, read without joining them.
class SectionSource {
public:
    void append(const QByteArray &piece);  // piece must outlive the source
    qint64 size() const { return size_; }
    // Copies size bytes from offset; past the end come zeros.
    void copy(qint64 offset, int size, uint8_t *dest) const;

private:
    QList<const QByteArray *> pieces_;
    QList<qint64> starts_;
    qint64 size_ = 0;
};

// Compresses the source, zero-padded to whole reset groups: readers decode whole frames,
// and libmspack decodes the frame after one that a file ends at, as long as it lies in
// the reset group. Reset groups are spread over threads (0: one per core); the result
// does not depend on how many. progress gets (done, source.size()) on the calling thread.
CompressedSection compressSection(const SectionSource &source, int threads,
                                  const std::function<void(qint64, qint64)> &progress);
CompressedSection compressSection(const QByteArray &data, int threads,
                                  const std::function<void(qint64, qint64)> &progress);

}  // namespace zelbrin::chm
