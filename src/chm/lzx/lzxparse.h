#pragma once

#include "lzxitems.h"
#include "matchfinder.h"

namespace zelbrin::chm::lzx {

// Turns a reset group into literals and matches: lazy evaluation over hash chains,
// with the three repeated offsets tried at every position.
class Parser {
public:
    void parse(const uint8_t *data, int size, ParsedGroup *out);

private:
    struct Candidate {
        int length = 0;  // 0: nothing worth a match
        int repeat = -1; // 0-2: a repeated offset, else a new one
        int offset = 0;
        int gain = 0;    // estimated bits saved against literals
    };
    Candidate evaluate(int pos, int limit);

    MatchFinder finder_;
    Match matches_[MaxMatch];
    const uint8_t *data_ = nullptr;
    uint32_t repeats_[NumRepeats] = {1, 1, 1};
};

}  // namespace zelbrin::chm::lzx
