#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>

namespace zelbrin::chm {

// The scale-and-root code (scale 2) in which the full-text index stores document numbers,
// location counts and locations. With root r, a value below 2^r is a 0 bit and r bits; a
// value of r + c significant bits (c >= 1) is c one bits, a 0 bit and its r + c - 1 low bits.
int scaleRootBits(std::uint64_t value, int root);

// Counts values by their bit length to find the root that codes them in the fewest bits.
class ScaleRootHistogram {
public:
    void add(std::uint64_t value);
    void merge(const ScaleRootHistogram &other);
    int bestRoot() const;  // 0..31
    std::uint64_t totalBits(int root) const;

private:
    std::array<std::uint64_t, 65> byLength_{};
};

// Writes bits most significant first, as the readers take them.
class ScaleRootWriter {
public:
    explicit ScaleRootWriter(QByteArray &out) : out_(out) {}
    ~ScaleRootWriter() { alignToByte(); }

    void putScaleRoot(std::uint64_t value, int root);
    // Each document's entry starts on a byte boundary.
    void alignToByte();

private:
    void putBits(std::uint64_t bits, int count);  // count <= 32
    QByteArray &out_;
    std::uint64_t buffer_ = 0;
    int used_ = 0;
};

}  // namespace zelbrin::chm
