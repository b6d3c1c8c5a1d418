#pragma once

// Trees of compressed (verbatim and aligned-offset) blocks: choosing them, what they
// cost, and writing them with the items they code.
#include "bitwriter.h"
#include "lzxitems.h"

#include <cstddef>
#include <cstdint>

namespace zelbrin::chm::lzx {

// The lengths each tree had in the previous compressed block of the group: new lengths
// are sent as differences from them. All zero after a reset.
struct TreeLengths {
    uint8_t main[MainTreeSize] = {};
    uint8_t length[LengthTreeSize] = {};
};

struct BlockTrees {
    uint32_t type = BlockVerbatim;
    TreeLengths lengths;
    uint8_t aligned[AlignedTreeSize] = {};
    uint16_t mainCodes[MainTreeSize] = {};
    uint16_t lengthCodes[LengthTreeSize] = {};
    uint16_t alignedCodes[AlignedTreeSize] = {};
    uint64_t bits = 0;  // the whole block: header, trees and items
};

// Builds the trees for items[0..count), picks verbatim or aligned-offset coding, and
// prices the block given the previous lengths.
void planCompressedBlock(const Item *items, size_t count, const TreeLengths &previous, BlockTrees *trees);

// Writes the block header (type, size) and the trees.
void writeBlockHeader(BitWriter &bits, const BlockTrees &trees, int uncompressedSize, const TreeLengths &previous);

inline void writeItem(BitWriter &bits, const BlockTrees &trees, const Item &item) {
    const int main = item.mainSymbol;
    bits.put(trees.mainCodes[main], trees.lengths.main[main]);
    if (main < NumChars)
        return;
    if (item.lengthHeader() == NumPrimaryLengths)
        bits.put(trees.lengthCodes[item.lengthSymbol], trees.lengths.length[item.lengthSymbol]);
    const int slot = item.slot();
    if (slot < NumRepeats)
        return;
    const int extra = extraBits(slot);
    if (trees.type == BlockAligned && extra >= 3) {
        bits.put(item.footer >> 3, extra - 3);
        bits.put(trees.alignedCodes[item.footer & 7], trees.aligned[item.footer & 7]);
    } else {
        bits.put(item.footer, extra);
    }
}

}  // namespace zelbrin::chm::lzx
