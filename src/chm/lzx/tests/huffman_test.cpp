#include "huffman.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace zelbrin::chm::lzx;

namespace {

// Kraft sum in units of 2^-16: exactly 65536 for a complete code.
uint64_t kraft(const uint8_t *lengths, int n) {
    uint64_t sum = 0;
    for (int s = 0; s < n; ++s)
        if (lengths[s])
            sum += uint64_t(1) << (16 - lengths[s]);
    return sum;
}

}  // namespace

TEST(ChmHuffman, CodesAreCompleteLimitedAndPrefixFree) {
    // Fibonacci frequencies make a plain Huffman code 39 levels deep.
    uint32_t freq[512] = {};
    uint32_t a = 1, b = 1;
    for (int s = 0; s < 40; ++s) {
        freq[s * 7] = a;
        const uint32_t next = a + b;
        a = b;
        b = next;
    }
    uint8_t lengths[512];
    buildCodeLengths(freq, 512, 16, lengths);
    EXPECT_EQ(kraft(lengths, 512), 65536u);
    for (int s = 0; s < 512; ++s) {
        EXPECT_LE(lengths[s], 16);
        EXPECT_EQ(lengths[s] != 0, freq[s] != 0) << s;
    }
    // More frequent symbols never get longer codes.
    for (int s = 1; s < 40; ++s)
        EXPECT_LE(lengths[s * 7], lengths[(s - 1) * 7]);

    uint16_t codes[512];
    buildCanonicalCodes(lengths, 512, codes);
    std::set<std::string> words;
    for (int s = 0; s < 512; ++s)
        if (lengths[s]) {
            std::string w;
            for (int bit = lengths[s] - 1; bit >= 0; --bit)
                w += (codes[s] >> bit) & 1 ? '1' : '0';
            words.insert(w);
        }
    // In sorted order a word that is a prefix of another sits right before one it prefixes.
    for (auto it = words.begin(); it != words.end(); ++it) {
        const auto next = std::next(it);
        if (next == words.end())
            break;
        EXPECT_NE(next->rfind(*it, 0), 0u) << *it << " is a prefix of " << *next;
    }

    // A lone symbol gets a partner, so readers still see a complete code; none, no code.
    uint32_t one[20] = {};
    one[0] = 5;
    uint8_t small[20];
    buildCodeLengths(one, 20, 15, small);
    EXPECT_EQ(kraft(small, 20), 65536u);
    EXPECT_EQ(small[0], 1);
    const uint32_t none[8] = {};
    uint8_t empty[8];
    buildCodeLengths(none, 8, 7, empty);
    EXPECT_EQ(kraft(empty, 8), 0u);
}
