#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelbrin::chm::lzx {

// The LZX bit stream: bits are taken most significant first and stored as 16-bit
// little-endian words.
class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t> &out) : out_(out) {}

    // value must fit in bits (at most 32).
    void put(uint32_t value, int bits) {
        acc_ = (acc_ << bits) | value;
        pending_ += bits;
        while (pending_ >= 16) {
            pending_ -= 16;
            const uint32_t word = uint32_t(acc_ >> pending_) & 0xffff;
            out_.push_back(uint8_t(word));
            out_.push_back(uint8_t(word >> 8));
        }
    }

    // Pads with zero bits to the next word boundary (none when already there).
    void alignToWord() {
        if (pending_ > 0)
            put(0, 16 - pending_);
    }

    bool atWordBoundary() const { return pending_ == 0; }

    // Raw bytes; only at a word boundary.
    void putBytes(const uint8_t *data, size_t size) { out_.insert(out_.end(), data, data + size); }

    size_t byteSize() const { return out_.size(); }

private:
    std::vector<uint8_t> &out_;
    uint64_t acc_ = 0;
    int pending_ = 0;
};

}  // namespace zelbrin::chm::lzx
