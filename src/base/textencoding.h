#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace zelbrin {

// The help-project files and the pages they name are GBK (code page 936) text.
// encodeGbk refuses text that GBK cannot hold instead of writing a silent '?'.
std::optional<QByteArray> encodeGbk(const QString &text);
// Decoding never fails: bytes that are not GBK become U+FFFD.
QString decodeGbk(const QByteArray &bytes);

}  // namespace zelbrin
