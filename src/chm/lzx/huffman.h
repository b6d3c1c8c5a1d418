#pragma once

#include <cstdint>

namespace zelbrin::chm::lzx {

// Code lengths for n symbols (n <= 512) of the given frequencies, none longer than
// maxLength. The code is always complete, as every reader's table builder demands: a
// lone used symbol gets a partner of length 1; no used symbol leaves every length 0.
void buildCodeLengths(const uint32_t *frequencies, int n, int maxLength, uint8_t *lengths);

// Canonical codes for the lengths: shorter codes first, ties in symbol order.
void buildCanonicalCodes(const uint8_t *lengths, int n, uint16_t *codes);

}  // namespace zelbrin::chm::lzx
