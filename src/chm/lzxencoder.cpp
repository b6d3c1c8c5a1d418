#include "lzxencoder.h"

#include "bitwriter.h"

namespace zelbrin::chm::lzx {

namespace {

constexpr uint32_t BlockUncompressed = 3;

}  // namespace

struct GroupEncoder::State {};

GroupEncoder::GroupEncoder() : state_(std::make_unique<State>()) {}
GroupEncoder::~GroupEncoder() = default;

void GroupEncoder::encode(const uint8_t *data, int size, EncodedGroup *out) {
    out->bytes.clear();
    out->frameCount = size / FrameSize;
    BitWriter bits(out->bytes);
    bits.put(0, 1);  // no E8 translation
    bits.put(BlockUncompressed, 3);
    bits.put(uint32_t(size), 24);
    // Readers skip 1 to 16 bits to reach the byte stream, never 0.
    if (bits.atWordBoundary())
        bits.put(0, 16);
    bits.alignToWord();
    const uint8_t repeats[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    bits.putBytes(repeats, sizeof repeats);
    for (int f = 0; f < out->frameCount; ++f) {
        out->frameStarts[f] = uint32_t(bits.byteSize());
        bits.putBytes(data + f * FrameSize, FrameSize);
    }
    out->frameStarts[0] = 0;
}

}  // namespace zelbrin::chm::lzx
