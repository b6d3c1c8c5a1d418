#pragma once

// Constants and tables of the LZX format for the 64 KB window help files use.
#include <bit>
#include <cstdint>

namespace zelbrin::chm::lzx {

// The framing help files use: 32 KB frames, a 64 KB window, and a full reset (E8 header,
// repeated offsets, tree lengths) every two frames. Each reset group is encoded alone.
constexpr int FrameSize = 0x8000;
constexpr int FramesPerGroup = 2;
constexpr int GroupSize = FrameSize * FramesPerGroup;
constexpr int WindowBits = 16;

constexpr int NumChars = 256;
constexpr int NumPositionSlots = 32;  // for a 64 KB window
constexpr int MainTreeSize = NumChars + NumPositionSlots * 8;
constexpr int LengthTreeSize = 249;
constexpr int AlignedTreeSize = 8;
constexpr int PretreeSize = 20;
constexpr int MaxCodeLength = 16;
constexpr int MaxPretreeLength = 15;  // stored in 4 bits
constexpr int MaxAlignedLength = 7;   // stored in 3 bits
constexpr int MinMatch = 2;
constexpr int MaxMatch = 257;
constexpr int NumPrimaryLengths = 7;  // length headers 0-6 in the main symbol, 7: see the length tree
constexpr int NumRepeats = 3;
// A match offset is stored as offset + 2; the largest that slot 31 can hold is 65535.
constexpr int MaxOffset = 65533;

constexpr uint32_t BlockVerbatim = 1;
constexpr uint32_t BlockAligned = 2;
constexpr uint32_t BlockUncompressed = 3;

constexpr int extraBits(int slot) { return slot < 4 ? 0 : slot / 2 - 1; }
constexpr uint32_t positionBase(int slot) { return slot < 4 ? uint32_t(slot) : (2u | (slot & 1)) << (slot / 2 - 1); }

// The slot of a stored offset (offset + 2), at least 3.
inline int positionSlot(uint32_t formatted) {
    if (formatted < 4)
        return int(formatted);
    const int top = std::bit_width(formatted) - 1;
    return 2 * top + int((formatted >> (top - 1)) & 1);
}

}  // namespace zelbrin::chm::lzx
