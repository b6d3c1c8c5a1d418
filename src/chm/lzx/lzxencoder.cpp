#include "lzxencoder.h"

#include "bitwriter.h"
#include "lzxblock.h"
#include "lzxparse.h"

#include <algorithm>
#include <iterator>

namespace zelbrin::chm::lzx {

namespace {

// One block of the group as planned: frames [firstFrame, endFrame), compressed or stored.
struct PlannedBlock {
    int firstFrame = 0;
    int endFrame = 0;
    bool stored = false;
    BlockTrees trees;
};

// A stored block: header, 1-16 bits to the word, the repeated offsets, the bytes.
uint64_t storedBits(int frames) { return 3 + 24 + 16 + 12 * 8 + uint64_t(frames) * FrameSize * 8; }

}  // namespace

struct GroupEncoder::State {
    Parser parser;
    ParsedGroup parsed;
    PlannedBlock whole;
    PlannedBlock split[FramesPerGroup];
};

GroupEncoder::GroupEncoder() : state_(std::make_unique<State>()) {}
GroupEncoder::~GroupEncoder() = default;

void GroupEncoder::encode(const uint8_t *data, int size, EncodedGroup *out) {
    State &s = *state_;
    ParsedGroup &parsed = s.parsed;
    s.parser.parse(data, size, &parsed);
    const int frames = parsed.frameCount;
    const Item *items = parsed.items.data();
    const TreeLengths reset;

    // Plan a compressed or stored block for frames [first, end) after previous lengths.
    auto plan = [&](PlannedBlock &block, int first, int end, const TreeLengths &previous) {
        block.firstFrame = first;
        block.endFrame = end;
        const size_t from = parsed.frameStartItem[first];
        planCompressedBlock(items + from, parsed.frameStartItem[end] - from, previous, &block.trees);
        block.stored = storedBits(end - first) < block.trees.bits;
        return block.stored ? storedBits(end - first) : block.trees.bits;
    };
    // One block for the group, or one per frame when new trees pay for themselves.
    std::vector<const PlannedBlock *> blocks;
    const uint64_t wholeBits = plan(s.whole, 0, frames, reset);
    blocks.push_back(&s.whole);
    if (frames > 1) {
        uint64_t splitBits = plan(s.split[0], 0, 1, reset);
        splitBits += plan(s.split[1], 1, 2, s.split[0].stored ? reset : s.split[0].trees.lengths);
        if (splitBits < wholeBits)
            blocks = {&s.split[0], &s.split[1]};
    }

    out->bytes.clear();
    std::fill(std::begin(out->blocks), std::end(out->blocks), 0);
    out->frameCount = frames;
    out->frameStarts[0] = 0;
    BitWriter bits(out->bytes);
    bits.put(0, 1);  // no E8 translation
    const TreeLengths *previous = &reset;
    for (const PlannedBlock *block : blocks) {
        if (block->firstFrame > 0) {
            bits.alignToWord();
            out->frameStarts[block->firstFrame] = uint32_t(bits.byteSize());
        }
        const int blockSize = (block->endFrame - block->firstFrame) * FrameSize;
        ++out->blocks[block->stored ? BlockUncompressed : block->trees.type];
        if (block->stored) {
            bits.put(BlockUncompressed, 3);
            bits.put(uint32_t(blockSize), 24);
            // Readers skip 1 to 16 bits to reach the byte stream, never 0.
            if (bits.atWordBoundary())
                bits.put(0, 16);
            bits.alignToWord();
            // The offsets the next block's matches expect.
            const uint32_t *r = parsed.repeatsAfterFrame[block->endFrame - 1];
            for (int i = 0; i < NumRepeats; ++i) {
                const uint8_t le[4] = {uint8_t(r[i]), uint8_t(r[i] >> 8), uint8_t(r[i] >> 16), uint8_t(r[i] >> 24)};
                bits.putBytes(le, 4);
            }
            for (int f = block->firstFrame; f < block->endFrame; ++f) {
                if (f > block->firstFrame)
                    out->frameStarts[f] = uint32_t(bits.byteSize());
                bits.putBytes(data + f * FrameSize, FrameSize);
            }
            continue;
        }
        writeBlockHeader(bits, block->trees, blockSize, *previous);
        previous = &block->trees.lengths;
        for (int f = block->firstFrame; f < block->endFrame; ++f) {
            if (f > block->firstFrame) {
                bits.alignToWord();
                out->frameStarts[f] = uint32_t(bits.byteSize());
            }
            for (size_t i = parsed.frameStartItem[f]; i < parsed.frameStartItem[f + 1]; ++i)
                writeItem(bits, block->trees, items[i]);
        }
    }
    bits.alignToWord();
}

}  // namespace zelbrin::chm::lzx
