#pragma once

// Deterministic test contents: page-like text and noise.
#include <QByteArray>

namespace zelbrin::chm::testdata {

// HTML-like text of exactly size bytes: tags, repeated words and numbers, as pages have.
QByteArray html(int size, quint32 seed);

// Bytes without structure, as compressed pictures have.
QByteArray random(int size, quint32 seed);

// Fixed-size records drawn from a small set, as tables of binary data have: repeats lie
// at distances that are multiples of the record size.
QByteArray records(int size, quint32 seed);

}  // namespace zelbrin::chm::testdata
