#include "lzxsection.h"

#include "lzxencoder.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace zelbrin::chm {

CompressedSection compressSection(const QByteArray &data, int threads,
                                  const std::function<void(qint64, qint64)> &progress) {
    const qint64 total = data.size();
    const qint64 frames = (total + lzx::FrameSize - 1) / lzx::FrameSize;
    QByteArray padded = data;
    padded.append(QByteArray(frames * lzx::FrameSize - total, '\0'));
    const auto *bytes = reinterpret_cast<const uint8_t *>(padded.constData());
    const qint64 groupCount = (frames + lzx::FramesPerGroup - 1) / lzx::FramesPerGroup;

    std::vector<lzx::EncodedGroup> groups(static_cast<size_t>(groupCount));
    std::atomic<qint64> nextGroup{0};
    std::mutex mutex;
    std::condition_variable doneChanged;
    qint64 doneBytes = 0;
    qint64 doneGroups = 0;

    auto work = [&] {
        lzx::GroupEncoder encoder;
        for (;;) {
            const qint64 g = nextGroup.fetch_add(1);
            if (g >= groupCount)
                return;
            const qint64 start = g * lzx::GroupSize;
            const int size = int(std::min<qint64>(lzx::GroupSize, padded.size() - start));
            encoder.encode(bytes + start, size, &groups[size_t(g)]);
            std::lock_guard lock(mutex);
            doneBytes += size;
            ++doneGroups;
            doneChanged.notify_one();
        }
    };

    int workers = threads > 0 ? threads : int(std::max(1u, std::thread::hardware_concurrency()));
    workers = int(std::min<qint64>(workers, std::max<qint64>(groupCount, 1)));
    if (workers <= 1) {
        // Inline, reporting after each group.
        lzx::GroupEncoder encoder;
        for (qint64 g = 0; g < groupCount; ++g) {
            const qint64 start = g * lzx::GroupSize;
            const int size = int(std::min<qint64>(lzx::GroupSize, padded.size() - start));
            encoder.encode(bytes + start, size, &groups[size_t(g)]);
            if (progress)
                progress(std::min(start + size, total), total);
        }
    } else {
        std::vector<std::thread> pool;
        pool.reserve(size_t(workers));
        for (int i = 0; i < workers; ++i)
            pool.emplace_back(work);
        {
            std::unique_lock lock(mutex);
            qint64 reported = -1;
            for (;;) {
                if (progress && doneBytes != reported) {
                    reported = doneBytes;
                    const qint64 done = std::min(doneBytes, total);
                    lock.unlock();
                    progress(done, total);
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
        for (int f = 0; f < g.frameCount; ++f)
            out.frameStarts.append(quint64(out.content.size()) + g.frameStarts[f]);
        out.content.append(reinterpret_cast<const char *>(g.bytes.data()), qsizetype(g.bytes.size()));
    }
    if (progress && groupCount == 0)
        progress(0, 0);
    return out;
}

}  // namespace zelbrin::chm
