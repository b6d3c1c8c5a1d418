#pragma once

#include <QByteArray>
#include <QString>
#include <QtEndian>

// Little-endian integers and strings read from a help file's structures. A read that
// would pass the end gives 0 or an empty text, so damaged data never reads out of bounds.
namespace zelbrin::chm {

inline quint16 le16At(const QByteArray &d, qsizetype at) {
    return at >= 0 && at + 2 <= d.size() ? qFromLittleEndian<quint16>(d.constData() + at) : 0;
}

inline quint32 le32At(const QByteArray &d, qsizetype at) {
    return at >= 0 && at + 4 <= d.size() ? qFromLittleEndian<quint32>(d.constData() + at) : 0;
}

inline quint64 le64At(const QByteArray &d, qsizetype at) {
    return at >= 0 && at + 8 <= d.size() ? qFromLittleEndian<quint64>(d.constData() + at) : 0;
}

// The NUL-terminated bytes at `at` (up to the end when there is no NUL).
inline QByteArray cStringAt(const QByteArray &d, qsizetype at) {
    if (at < 0 || at >= d.size())
        return {};
    const qsizetype end = d.indexOf('\0', at);
    return d.mid(at, (end < 0 ? d.size() : end) - at);
}

// The NUL-terminated UTF-16 text at `at`; `at` moves past its terminator.
inline QString utf16StringAt(const QByteArray &d, qsizetype &at) {
    QString s;
    for (quint16 c; at + 2 <= d.size() && (c = le16At(d, at)) != 0; at += 2)
        s.append(QChar(c));
    at += 2;
    return s;
}

}  // namespace zelbrin::chm
