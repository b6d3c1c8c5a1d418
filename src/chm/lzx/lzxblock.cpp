#include "lzxblock.h"

#include "huffman.h"

#include <algorithm>

namespace zelbrin::chm::lzx {

namespace {

// Pretree symbols: 0-16 a length difference; 17 and 18 runs of zeros; 19 a short run
// of one value, followed by that value's difference symbol.
constexpr int ZerosShort = 17;  // 4-19 zeros, 4 bits more
constexpr int ZerosLong = 18;   // 20-51 zeros, 5 bits more
constexpr int SameRun = 19;     // 4-5 equal lengths, 1 bit more

struct PretreeStep {
    uint8_t symbol;
    uint8_t extraBits;
    uint8_t extra;
    uint8_t follow;  // for SameRun: the difference symbol
};

inline uint8_t difference(uint8_t previous, uint8_t now) { return uint8_t((previous + 17 - now) % 17); }

int encodeLengths(const uint8_t *previous, const uint8_t *now, int n, PretreeStep *steps) {
    int count = 0;
    int i = 0;
    while (i < n) {
        int run = 1;
        while (i + run < n && now[i + run] == now[i])
            ++run;
        if (now[i] == 0 && run >= 20) {
            run = std::min(run, 51);
            steps[count++] = {ZerosLong, 5, uint8_t(run - 20), 0};
        } else if (now[i] == 0 && run >= 4) {
            run = std::min(run, 19);
            steps[count++] = {ZerosShort, 4, uint8_t(run - 4), 0};
        } else if (run >= 4) {
            run = std::min(run, 5);
            steps[count++] = {SameRun, 1, uint8_t(run - 4), difference(previous[i], now[i])};
        } else {
            run = 1;
            steps[count++] = {difference(previous[i], now[i]), 0, 0, 0};
        }
        i += run;
    }
    return count;
}

// One range of tree lengths, coded with its own pretree.
struct CodedLengths {
    PretreeStep steps[MainTreeSize];
    int count = 0;
    uint8_t pretree[PretreeSize] = {};
    uint16_t codes[PretreeSize] = {};
    uint64_t bits = 0;

    void code(const uint8_t *previous, const uint8_t *now, int n) {
        count = encodeLengths(previous, now, n, steps);
        uint32_t freq[PretreeSize] = {};
        for (int k = 0; k < count; ++k) {
            ++freq[steps[k].symbol];
            if (steps[k].symbol == SameRun)
                ++freq[steps[k].follow];
        }
        buildCodeLengths(freq, PretreeSize, MaxPretreeLength, pretree);
        buildCanonicalCodes(pretree, PretreeSize, codes);
        bits = PretreeSize * 4;
        for (int k = 0; k < count; ++k) {
            bits += pretree[steps[k].symbol] + steps[k].extraBits;
            if (steps[k].symbol == SameRun)
                bits += pretree[steps[k].follow];
        }
    }

    void write(BitWriter &out) const {
        for (int s = 0; s < PretreeSize; ++s)
            out.put(pretree[s], 4);
        for (int k = 0; k < count; ++k) {
            const PretreeStep &st = steps[k];
            out.put(codes[st.symbol], pretree[st.symbol]);
            if (st.extraBits)
                out.put(st.extra, st.extraBits);
            if (st.symbol == SameRun)
                out.put(codes[st.follow], pretree[st.follow]);
        }
    }
};

uint64_t lengthsCost(const uint8_t *previous, const uint8_t *now, int n) {
    static thread_local CodedLengths coded;
    coded.code(previous, now, n);
    return coded.bits;
}

}  // namespace

void planCompressedBlock(const Item *items, size_t count, const TreeLengths &previous, BlockTrees *trees) {
    uint32_t mainFreq[MainTreeSize] = {};
    uint32_t lengthFreq[LengthTreeSize] = {};
    uint32_t alignedFreq[AlignedTreeSize] = {};
    uint64_t verbatimExtra = 0;
    uint64_t alignedExtra = 0;  // the verbatim part of offsets under aligned coding
    for (size_t i = 0; i < count; ++i) {
        const Item &item = items[i];
        ++mainFreq[item.mainSymbol];
        if (!item.isMatch())
            continue;
        if (item.lengthHeader() == NumPrimaryLengths)
            ++lengthFreq[item.lengthSymbol];
        const int slot = item.slot();
        if (slot < NumRepeats)
            continue;
        const int extra = extraBits(slot);
        verbatimExtra += uint64_t(extra);
        if (extra >= 3) {
            alignedExtra += uint64_t(extra - 3);
            ++alignedFreq[item.footer & 7];
        } else {
            alignedExtra += uint64_t(extra);
        }
    }
    buildCodeLengths(mainFreq, MainTreeSize, MaxCodeLength, trees->lengths.main);
    buildCodeLengths(lengthFreq, LengthTreeSize, MaxCodeLength, trees->lengths.length);
    buildCodeLengths(alignedFreq, AlignedTreeSize, MaxAlignedLength, trees->aligned);
    buildCanonicalCodes(trees->lengths.main, MainTreeSize, trees->mainCodes);
    buildCanonicalCodes(trees->lengths.length, LengthTreeSize, trees->lengthCodes);
    buildCanonicalCodes(trees->aligned, AlignedTreeSize, trees->alignedCodes);

    uint64_t symbols = 0;
    for (int s = 0; s < MainTreeSize; ++s)
        symbols += uint64_t(mainFreq[s]) * trees->lengths.main[s];
    for (int s = 0; s < LengthTreeSize; ++s)
        symbols += uint64_t(lengthFreq[s]) * trees->lengths.length[s];
    uint64_t alignedSymbols = AlignedTreeSize * 3;
    bool anyAligned = false;
    for (int s = 0; s < AlignedTreeSize; ++s) {
        alignedSymbols += uint64_t(alignedFreq[s]) * trees->aligned[s];
        anyAligned = anyAligned || alignedFreq[s] != 0;
    }
    const uint64_t header = 3 + 24 + lengthsCost(previous.main, trees->lengths.main, NumChars) +
                            lengthsCost(previous.main + NumChars, trees->lengths.main + NumChars,
                                        MainTreeSize - NumChars) +
                            lengthsCost(previous.length, trees->lengths.length, LengthTreeSize);
    const uint64_t verbatim = header + symbols + verbatimExtra;
    const uint64_t aligned = header + symbols + alignedExtra + alignedSymbols;
    if (anyAligned && aligned < verbatim) {
        trees->type = BlockAligned;
        trees->bits = aligned;
    } else {
        trees->type = BlockVerbatim;
        trees->bits = verbatim;
    }
}

void writeBlockHeader(BitWriter &bits, const BlockTrees &trees, int uncompressedSize, const TreeLengths &previous) {
    bits.put(trees.type, 3);
    bits.put(uint32_t(uncompressedSize), 24);
    if (trees.type == BlockAligned)
        for (int s = 0; s < AlignedTreeSize; ++s)
            bits.put(trees.aligned[s], 3);
    static thread_local CodedLengths coded;
    coded.code(previous.main, trees.lengths.main, NumChars);
    coded.write(bits);
    coded.code(previous.main + NumChars, trees.lengths.main + NumChars, MainTreeSize - NumChars);
    coded.write(bits);
    coded.code(previous.length, trees.lengths.length, LengthTreeSize);
    coded.write(bits);
}

}  // namespace zelbrin::chm::lzx
