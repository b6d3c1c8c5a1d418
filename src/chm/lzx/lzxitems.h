#pragma once

// What the parser hands the block writer: literals and matches as LZX symbols.
#include "lzxformat.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zelbrin::chm::lzx {

struct Item {
    uint16_t mainSymbol = 0;    // a literal byte, or NumChars + slot * 8 + length header
    uint8_t lengthSymbol = 0;   // length - 9, for a length header of 7
    uint32_t footer = 0;        // the stored offset less its slot's base

    bool isMatch() const { return mainSymbol >= NumChars; }
    int slot() const { return (mainSymbol - NumChars) >> 3; }
    int lengthHeader() const { return (mainSymbol - NumChars) & 7; }
    int length() const {
        if (!isMatch())
            return 1;
        const int header = lengthHeader();
        return MinMatch + header + (header == NumPrimaryLengths ? lengthSymbol : 0);
    }

    static Item literal(uint8_t byte) { return Item{byte, 0, 0}; }
    // slot 0-2: a repeated offset; else formatted is the offset + 2.
    static Item match(int length, int slot, uint32_t formatted) {
        Item item;
        const int header = std::min(length - MinMatch, NumPrimaryLengths);
        item.mainSymbol = uint16_t(NumChars + slot * 8 + header);
        item.lengthSymbol = uint8_t(header == NumPrimaryLengths ? length - MinMatch - NumPrimaryLengths : 0);
        item.footer = slot < NumRepeats ? 0 : formatted - positionBase(slot);
        return item;
    }
};

// A group's items and where its second frame begins among them (matches never cross).
struct ParsedGroup {
    std::vector<Item> items;
    size_t frameStartItem[FramesPerGroup + 1] = {};  // the last: items.size()
    uint32_t repeatsAfterFrame[FramesPerGroup][NumRepeats] = {};
    int frameCount = 0;
};

}  // namespace zelbrin::chm::lzx
