#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The help viewer of Windows is not Unicode-aware: the pages, titles, contents, index and
// search words of a help file are text in the ANSI code page of the help file's language.
namespace zelbrin::chm {

struct AnsiCodePage {
    int number = 1252;            // Windows code page
    const char *iconvName = "";   // its name for iconv
    const char *htmlCharset = "";  // the charset name the viewer's HTML engine knows it by
    int fontCharset = 0;          // the GDI character set of a font in this code page
    bool doubleByte = false;      // a DBCS code page (Chinese, Japanese, Korean)
    const char *locale = "";      // the language's locale name, for sorting
};

// The ANSI code page of a Windows language identifier; 1252 for languages not known.
const AnsiCodePage &ansiCodePage(quint32 lcid);

// Text in the code page, or nothing when it holds a character the code page cannot hold.
std::optional<QByteArray> encodeAnsi(const QString &text, const AnsiCodePage &codePage);
// Bytes in the code page as text; bytes it does not define become U+FFFD.
QString decodeAnsi(const QByteArray &bytes, const AnsiCodePage &codePage);
// Text in the code page; a character it cannot hold becomes a numeric character
// reference (&#NNNNN;), which every HTML reader turns back into the character.
QByteArray encodeAnsiWithReferences(const QString &text, const AnsiCodePage &codePage);
// Text in the code page; a character it cannot hold becomes "?" (for plain strings such as
// titles, where a reference would show as it is).
QByteArray encodeAnsiLossy(const QString &text, const AnsiCodePage &codePage);

// Whether bytes read without a fault in the charset a page declares (its HTML name) taken
// strictly: "gb2312" is GB 2312 alone, as xchm and other readers that take the name at its
// word decode it, although the Windows viewer reads code page 936 for it. False for a
// charset iconv lacks.
bool decodesStrictly(const QByteArray &bytes, const QByteArray &charset);
// Text in the charset a page declares, taken strictly, a character the charset cannot hold
// as a numeric character reference; nothing when iconv lacks the charset.
std::optional<QByteArray> encodeStrictlyWithReferences(const QString &text, const QByteArray &charset);
// Another HTML name that the Windows viewer reads as the same code page as charset and whose
// standard holds more of it: "gbk" for "gb2312" (code page 936 both); nothing for others.
const char *widerCharset(const QByteArray &charset);

// Decodes text in a charset known to iconv (or by its HTML name, which may differ);
// bytes it cannot decode become U+FFFD. Nothing when the charset is unknown.
std::optional<QString> decodeCharset(const QByteArray &bytes, const QByteArray &charset);

}  // namespace zelbrin::chm
