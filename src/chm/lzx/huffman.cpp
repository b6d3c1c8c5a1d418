#include "huffman.h"

#include <algorithm>
#include <cstring>

namespace zelbrin::chm::lzx {

namespace {

constexpr int MaxSymbols = 512;

}  // namespace

void buildCodeLengths(const uint32_t *frequencies, int n, int maxLength, uint8_t *lengths) {
    std::memset(lengths, 0, size_t(n));
    // Used symbols by ascending frequency, ties by symbol, so the result is deterministic.
    uint16_t order[MaxSymbols];
    int used = 0;
    for (int s = 0; s < n; ++s)
        if (frequencies[s] != 0)
            order[used++] = uint16_t(s);
    if (used == 0)
        return;
    if (used == 1) {
        lengths[order[0]] = 1;
        lengths[order[0] == 0 ? 1 : 0] = 1;
        return;
    }
    std::stable_sort(order, order + used, [&](uint16_t a, uint16_t b) { return frequencies[a] < frequencies[b]; });

    // Huffman's construction with two queues: the sorted leaves, and the internal nodes,
    // which are made in order of weight. Nodes 0..used-1 are leaves, then internal nodes.
    uint64_t weight[2 * MaxSymbols];
    int parent[2 * MaxSymbols];
    for (int i = 0; i < used; ++i)
        weight[i] = frequencies[order[i]];
    int nextLeaf = 0;
    int nextInternal = used;
    int made = used;
    auto takeSmallest = [&]() {
        if (nextLeaf < used && (nextInternal >= made || weight[nextLeaf] <= weight[nextInternal]))
            return nextLeaf++;
        return nextInternal++;
    };
    while (made < 2 * used - 1) {
        const int a = takeSmallest();
        const int b = takeSmallest();
        weight[made] = weight[a] + weight[b];
        parent[a] = made;
        parent[b] = made;
        ++made;
    }
    // Depths from the root down: a parent is always made after its children.
    int depth[2 * MaxSymbols];
    const int root = made - 1;
    depth[root] = 0;
    int count[2 * MaxSymbols] = {};
    int deepest = 0;
    for (int i = root - 1; i >= 0; --i) {
        depth[i] = depth[parent[i]] + 1;
        if (i < used) {
            ++count[depth[i]];
            deepest = std::max(deepest, depth[i]);
        }
    }

    // Too deep: move leaves up in pairs, keeping the code complete (the JPEG method).
    for (int i = deepest; i > maxLength; --i) {
        while (count[i] > 0) {
            int j = i - 2;
            while (count[j] == 0)
                --j;
            count[i] -= 2;
            count[i - 1] += 1;
            count[j + 1] += 2;
            count[j] -= 1;
        }
    }
    // The least frequent symbols take the longest lengths.
    int symbol = 0;
    for (int len = std::min(deepest, maxLength); len >= 1; --len)
        for (int k = 0; k < count[len]; ++k)
            lengths[order[symbol++]] = uint8_t(len);
}

void buildCanonicalCodes(const uint8_t *lengths, int n, uint16_t *codes) {
    int perLength[17] = {};
    for (int s = 0; s < n; ++s)
        ++perLength[lengths[s]];
    perLength[0] = 0;
    uint32_t next[17] = {};
    uint32_t code = 0;
    for (int len = 1; len <= 16; ++len) {
        code = (code + uint32_t(perLength[len - 1])) << 1;
        next[len] = code;
    }
    for (int s = 0; s < n; ++s)
        codes[s] = lengths[s] ? uint16_t(next[lengths[s]]++) : 0;
}

}  // namespace zelbrin::chm::lzx
