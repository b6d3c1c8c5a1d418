#pragma once

#include <QByteArray>
#include <QtEndian>

// Little-endian integers appended to a byte array, or written over bytes already in it, as
// every structure of a help file stores them.
namespace zelbrin {

inline void appendLe16(QByteArray &out, quint16 value) {
    uchar b[2];
    qToLittleEndian(value, b);
    out.append(reinterpret_cast<const char *>(b), 2);
}

inline void appendLe32(QByteArray &out, quint32 value) {
    uchar b[4];
    qToLittleEndian(value, b);
    out.append(reinterpret_cast<const char *>(b), 4);
}

inline void appendLe64(QByteArray &out, quint64 value) {
    uchar b[8];
    qToLittleEndian(value, b);
    out.append(reinterpret_cast<const char *>(b), 8);
}

inline void putLe16(QByteArray &out, qsizetype at, quint16 value) {
    qToLittleEndian(value, reinterpret_cast<uchar *>(out.data() + at));
}

inline void putLe32(QByteArray &out, qsizetype at, quint32 value) {
    qToLittleEndian(value, reinterpret_cast<uchar *>(out.data() + at));
}

}  // namespace zelbrin
