#pragma once

#include <QByteArray>
#include <QList>

#include <functional>

namespace zelbrin::chm {

// The MSCompressed section's LZX stream and the reset table's frame offsets.
struct CompressedSection {
    QByteArray content;
    QList<quint64> frameStarts;  // where each 32 KB frame starts in content
    int verbatimBlocks = 0;
    int alignedBlocks = 0;
    int storedBlocks = 0;
};

// Compresses data, zero-padded to whole frames as readers decode whole frames. Reset
// groups are spread over threads (0: one per core); the result does not depend on how
// many. progress gets (done, data.size()) on the calling thread.
CompressedSection compressSection(const QByteArray &data, int threads,
                                  const std::function<void(qint64, qint64)> &progress);

}  // namespace zelbrin::chm
