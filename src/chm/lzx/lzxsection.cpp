#include "lzxsection.h"

#include "lzxencoder.h"
#include "parallelfor.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

namespace zelbrin::chm {

void SectionSource::append(const QByteArray &piece) {
    if (piece.isEmpty())
        return;
    pieces_.append(&piece);
    starts_.append(size_);
    size_ += piece.size();
}

void SectionSource::copy(qint64 offset, int size, uint8_t *dest) const {
    // The last piece that starts at or before offset.
    qsizetype i = std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin() - 1;
    while (size > 0) {
        if (i < 0 || i >= pieces_.size()) {
            std::memset(dest, 0, size_t(size));
            return;
        }
        const QByteArray &piece = *pieces_[i];
        const qint64 within = offset - starts_[i];
        const int n = int(std::min<qint64>(size, piece.size() - within));
        std::memcpy(dest, piece.constData() + within, size_t(n));
        dest += n;
        offset += n;
        size -= n;
        ++i;
    }
}

CompressedSection compressSection(const QByteArray &data, int threads,
                                  const std::function<void(qint64, qint64)> &progress) {
    SectionSource source;
    source.append(data);
    return compressSection(source, threads, progress);
}

CompressedSection compressSection(const SectionSource &source, int threads,
                                  const std::function<void(qint64, qint64)> &progress) {
    const qint64 total = source.size();
    const qint64 frames = (total + lzx::FrameSize - 1) / lzx::FrameSize;
    const qint64 groupCount = (frames + lzx::FramesPerGroup - 1) / lzx::FramesPerGroup;
    std::vector<lzx::EncodedGroup> groups(static_cast<size_t>(groupCount));

    // Encodes group g from a copy of its bytes, the last one padded.
    auto encodeGroup = [&](lzx::GroupEncoder &encoder, std::vector<uint8_t> &buffer, qint64 g) {
        const qint64 start = g * lzx::GroupSize;
        buffer.resize(lzx::GroupSize);
        source.copy(start, lzx::GroupSize, buffer.data());
        encoder.encode(buffer.data(), lzx::GroupSize, &groups[size_t(g)]);
        return std::min<qint64>(lzx::GroupSize, total - start);
    };

    const int workers = workerCount(threads, std::size_t(groupCount));
    std::vector<lzx::GroupEncoder> encoders(static_cast<std::size_t>(workers));
    std::vector<std::vector<uint8_t>> buffers(static_cast<std::size_t>(workers));
    std::atomic<qint64> done{0};
    qint64 reported = 0;
    if (progress)
        progress(0, total);
    // Progress is reported on the calling thread (worker 0), as groups finish.
    parallelFor(std::size_t(groupCount), workers, [&](std::size_t g, int worker) {
        done += encodeGroup(encoders[std::size_t(worker)], buffers[std::size_t(worker)], qint64(g));
        if (progress && worker == 0) {
            reported = done;
            progress(reported, total);
        }
    });
    if (progress && done != reported)
        progress(done, total);

    CompressedSection out;
    qint64 size = 0;
    for (const lzx::EncodedGroup &g : groups)
        size += qint64(g.bytes.size());
    out.content.reserve(size);
    for (const lzx::EncodedGroup &g : groups) {
        out.verbatimBlocks += g.blocks[lzx::BlockVerbatim];
        out.alignedBlocks += g.blocks[lzx::BlockAligned];
        out.storedBlocks += g.blocks[lzx::BlockUncompressed];
        for (int f = 0; f < g.frameCount && out.frameStarts.size() < frames; ++f)
            out.frameStarts.append(quint64(out.content.size()) + g.frameStarts[f]);
        out.content.append(reinterpret_cast<const char *>(g.bytes.data()), qsizetype(g.bytes.size()));
    }
    // A padding frame starts where the frames with data end.
    out.framesEnd = frames % lzx::FramesPerGroup && !groups.empty()
                        ? quint64(out.content.size()) - groups.back().bytes.size() + groups.back().frameStarts[1]
                        : quint64(out.content.size());
    return out;
}

}  // namespace zelbrin::chm
