#pragma once

#include <cstdint>
#include <vector>

namespace zelbrin::chm::lzx {

struct Match {
    int length = 0;
    int offset = 0;
};

// Hash chains over one reset group: positions are entered in increasing order, either with
// a search (find) or without (skip); a position never entered is never found.
class MatchFinder {
public:
    MatchFinder();

    void reset(const uint8_t *data, int size);

    // Enters pos and writes the matches found there, each longer than the one before,
    // into out (room for MaxMatch entries); returns how many. Matches are at least 3
    // bytes, end by limit, reach back at most MaxOffset, and the search stops at one of
    // niceLength bytes or after depth candidates.
    int find(int pos, int limit, int niceLength, int depth, Match *out);

    void skip(int pos);

private:
    static constexpr int HashBits = 15;
    uint32_t hashAt(int pos) const;

    const uint8_t *data_ = nullptr;
    int size_ = 0;
    std::vector<int32_t> head_;
    std::vector<int32_t> chain_;
};

// Length of the common prefix of a and b, at most limit bytes.
int matchLength(const uint8_t *a, const uint8_t *b, int limit);

}  // namespace zelbrin::chm::lzx
