#include "matchfinder.h"

#include "lzxformat.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace zelbrin::chm::lzx {

int matchLength(const uint8_t *a, const uint8_t *b, int limit) {
    int n = 0;
    while (n + 8 <= limit) {
        uint64_t x;
        uint64_t y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y)
            return n + std::countr_zero(x ^ y) / 8;
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

MatchFinder::MatchFinder() : head_(size_t(1) << HashBits), chain_(0x10000) {}

void MatchFinder::reset(const uint8_t *data, int size) {
    data_ = data;
    size_ = size;
    std::fill(head_.begin(), head_.end(), -1);
}

uint32_t MatchFinder::hashAt(int pos) const {
    const uint32_t v = uint32_t(data_[pos]) | uint32_t(data_[pos + 1]) << 8 | uint32_t(data_[pos + 2]) << 16;
    return (v * 2654435761u) >> (32 - HashBits);
}

void MatchFinder::skip(int pos) {
    if (pos + 3 > size_)
        return;
    const uint32_t h = hashAt(pos);
    chain_[size_t(pos)] = head_[h];
    head_[h] = pos;
}

int MatchFinder::find(int pos, int limit, int niceLength, int depth, Match *out) {
    if (pos + 3 > size_)
        return 0;
    const uint32_t h = hashAt(pos);
    int candidate = head_[h];
    chain_[size_t(pos)] = candidate;
    head_[h] = pos;
    if (limit < 3)
        return 0;
    niceLength = std::min(niceLength, limit);
    const uint8_t *here = data_ + pos;
    int best = 2;
    int found = 0;
    while (candidate >= 0 && depth-- > 0) {
        const int offset = pos - candidate;
        if (offset > MaxOffset)
            break;
        const uint8_t *there = data_ + candidate;
        // The byte that would make this match longer than the best decides quickly.
        if (there[best] == here[best] && there[0] == here[0] && there[1] == here[1]) {
            const int len = matchLength(here, there, limit);
            if (len > best) {
                best = len;
                out[found++] = {len, offset};
                if (len >= niceLength)
                    break;
            }
        }
        candidate = chain_[size_t(candidate)];
    }
    return found;
}

}  // namespace zelbrin::chm::lzx
