#include "srcode.h"

#include <bit>

namespace zelbrin::chm {
namespace {

int bitLength(std::uint64_t value) {
    return 64 - std::countl_zero(value);
}

}  // namespace

int scaleRootBits(std::uint64_t value, int root) {
    const int length = bitLength(value);
    if (length <= root)
        return 1 + root;
    const int c = length - root;
    return 2 * c + root;
}

void ScaleRootHistogram::add(std::uint64_t value) {
    ++byLength_[std::size_t(bitLength(value))];
}

void ScaleRootHistogram::merge(const ScaleRootHistogram &other) {
    for (std::size_t i = 0; i < byLength_.size(); ++i)
        byLength_[i] += other.byLength_[i];
}

std::uint64_t ScaleRootHistogram::totalBits(int root) const {
    std::uint64_t total = 0;
    for (std::size_t length = 0; length < byLength_.size(); ++length) {
        const int bits = int(length) <= root ? 1 + root : 2 * (int(length) - root) + root;
        total += byLength_[length] * std::uint64_t(bits);
    }
    return total;
}

int ScaleRootHistogram::bestRoot() const {
    int best = 0;
    std::uint64_t bestBits = totalBits(0);
    for (int root = 1; root < 32; ++root) {
        const std::uint64_t bits = totalBits(root);
        if (bits < bestBits) {
            best = root;
            bestBits = bits;
        }
    }
    return best;
}

void ScaleRootWriter::putBits(std::uint64_t bits, int count) {
    buffer_ = (buffer_ << count) | (bits & ((std::uint64_t(1) << count) - 1));
    used_ += count;
    while (used_ >= 8) {
        used_ -= 8;
        out_.append(char(buffer_ >> used_));
    }
}

void ScaleRootWriter::putScaleRoot(std::uint64_t value, int root) {
    const int length = bitLength(value);
    int lowBits = root;
    if (length > root) {
        for (int ones = length - root; ones > 0; ones -= 32)
            putBits(~std::uint64_t(0), ones < 32 ? ones : 32);
        lowBits = length - 1;
    }
    putBits(0, 1);
    for (int shift = lowBits; shift > 0;) {
        const int chunk = shift < 32 ? shift : 32;
        shift -= chunk;
        putBits(value >> shift, chunk);
    }
}

void ScaleRootWriter::alignToByte() {
    if (used_ > 0)
        putBits(0, 8 - used_);
}

}  // namespace zelbrin::chm
