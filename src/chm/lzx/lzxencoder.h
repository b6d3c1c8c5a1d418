#pragma once

#include "lzxformat.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zelbrin::chm::lzx {

struct EncodedGroup {
    std::vector<uint8_t> bytes;
    int frameCount = 0;
    uint32_t frameStarts[FramesPerGroup] = {};  // byte offset of each frame within bytes
    int blocks[4] = {};                         // blocks written, by type (verbatim, aligned, stored)
};

// Encodes reset groups; one encoder per thread, reused from group to group.
class GroupEncoder {
public:
    GroupEncoder();
    ~GroupEncoder();
    GroupEncoder(const GroupEncoder &) = delete;
    GroupEncoder &operator=(const GroupEncoder &) = delete;

    // size is a whole number of frames, at most GroupSize.
    void encode(const uint8_t *data, int size, EncodedGroup *out);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace zelbrin::chm::lzx
