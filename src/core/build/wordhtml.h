#pragma once

#include <QByteArray>
#include <QString>

namespace zelbrin {

// Clean-up of pages that Word made or that were copied as HTML. Pages are handled as bytes
// (GBK text, nothing is converted). Searches are exact and never begin on the second byte of
// a double-byte GBK character (a lead byte 0x81-0xFE followed by a trail byte 0x40-0xFE other
// than 0x7F).

// Rewrites the page in place: removes comments and Word's down-level conditional markers,
// renumbers picture references whose lower-numbered .png exists in the page's picture folder,
// and writes the text back with CR LF after every line. Throws BuildError naming the file
// when it cannot be read or written.
void cleanWordHtml(const QString &pagePath);
// The same on a page's bytes; pictureFolder (ending in "/") is where its pictures lie.
QByteArray cleanWordHtmlText(const QByteArray &page, const QString &pictureFolder);

// Deletes every span from open through the first close after it, and every close that
// stands before the next open, until one of the two is missing. The markers are lowered
// (A-Z) before searching; the text is not.
void stripDelimited(QByteArray &text, const QByteArray &open, const QByteArray &close);

// Replaces every occurrence left to right; replaced text is not searched again.
void replaceAll(QByteArray &text, const QByteArray &pattern, const QByteArray &replacement);

// Position of the first occurrence of pattern at or after from that begins on a character
// boundary, or -1.
qsizetype gbkIndexOf(const QByteArray &text, const QByteArray &pattern, qsizetype from = 0);

}  // namespace zelbrin
