#include "lzxsection.h"

#include "lzxencoder.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
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

    int workers = threads > 0 ? threads : int(std::max(1u, std::thread::hardware_concurrency()));
    workers = int(std::min<qint64>(workers, std::max<qint64>(groupCount, 1)));
    if (progress)
        progress(0, total);
    if (workers <= 1) {
        lzx::GroupEncoder encoder;
        std::vector<uint8_t> buffer;
        qint64 done = 0;
        for (qint64 g = 0; g < groupCount; ++g) {
            done += encodeGroup(encoder, buffer, g);
            if (progress)
                progress(done, total);
        }
    } else {
        std::atomic<qint64> nextGroup{0};
        std::mutex mutex;
        std::condition_variable doneChanged;
        qint64 doneBytes = 0;
        qint64 doneGroups = 0;
        auto work = [&] {
            lzx::GroupEncoder encoder;
            std::vector<uint8_t> buffer;
            for (qint64 g = nextGroup.fetch_add(1); g < groupCount; g = nextGroup.fetch_add(1)) {
                const qint64 bytes = encodeGroup(encoder, buffer, g);
                std::lock_guard lock(mutex);
                doneBytes += bytes;
                ++doneGroups;
                doneChanged.notify_one();
            }
        };
        std::vector<std::thread> pool;
        pool.reserve(size_t(workers));
        for (int i = 0; i < workers; ++i)
            pool.emplace_back(work);
        {
            // Progress is reported here, on the calling thread, as groups finish.
            std::unique_lock lock(mutex);
            qint64 reported = 0;
            for (;;) {
                if (progress && doneBytes != reported) {
                    reported = doneBytes;
                    lock.unlock();
                    progress(reported, total);
                    lock.lock();
                    continue;
                }
                if (doneGroups == groupCount)
                    break;
                doneChanged.wait(lock);
            }
        }
        for (std::thread &t : pool)
            t.join();
    }

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
