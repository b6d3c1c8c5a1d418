#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// Every character of the Basic Multilingual Plane in one code page, converted once: for code
// that needs characters one at a time (the full-text indexer). Shared and read-only.
class CodePageCharacters {
public:
    // The table of a code page (its iconv name); nothing when iconv does not know it.
    static const CodePageCharacters *of(const char *iconvName);

    // How many bytes the code page writes c in; 0 when it cannot hold c.
    int length(char32_t c) const {
        if (c < 0x80)
            return 1;
        return c > 0xFFFF ? 0 : int(m_bytes[c] >> 24);
    }
    // Appends c in the code page; false (and nothing appended) when it cannot hold c.
    bool append(char32_t c, std::string &out) const;
    bool doubleByte() const { return m_doubleByte; }

private:
    explicit CodePageCharacters(std::vector<std::uint32_t> bytes);
    std::vector<std::uint32_t> m_bytes;  // per character: byte count << 24 | the bytes
    bool m_doubleByte = false;
};

// Decodes text in a charset known to iconv (or by its HTML name, which may differ);
// bytes it cannot decode become U+FFFD. Nothing when the charset is unknown.
std::optional<QString> decodeCharset(const QByteArray &bytes, const QByteArray &charset);

}  // namespace zelbrin::chm
