#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Text in the encodings projects, pages and help files use: GBK, the Windows code pages
// and other charsets iconv knows, strict UTF-8, and HTML's character references.
// Every conversion goes through one iconv loop (textencoding.cpp).
namespace zelbrin {

// The help-project files and the pages they name are GBK (code page 936) text.
// encodeGbk refuses text that GBK cannot hold instead of writing a silent '?'.
std::optional<QByteArray> encodeGbk(const QString &text);
// Decoding never fails: bytes that are not GBK become U+FFFD.
QString decodeGbk(const QByteArray &bytes);

// What becomes of a character that the charset cannot hold.
enum class Unencodable {
    Fail,       // the text is refused
    Reference,  // a numeric character reference (&#NNNNN;), which every HTML reader turns back into it
    Question,   // "?", for plain strings such as titles, where a reference would show as it is
};
// Text in the charset iconv knows by iconvName; nothing when iconv lacks the charset, or
// (Fail) when the text holds a character the charset cannot hold.
std::optional<QByteArray> encodeText(const QString &text, const char *iconvName, Unencodable rule);

// What becomes of bytes that the charset does not define.
enum class Undecodable {
    Fail,     // the bytes are refused
    Replace,  // each such byte becomes U+FFFD
};
// Bytes in the charset iconv knows by iconvName as text; nothing when iconv lacks the
// charset, or (Fail) when a byte is not the charset's.
std::optional<QString> decodeText(const QByteArray &bytes, const char *iconvName, Undecodable rule);

// UTF-8 taken strictly: nothing for bytes that are not well-formed UTF-8.
std::optional<QString> decodeUtf8Strictly(const QByteArray &bytes);

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
        return c > 0xFFFF ? 0 : int(bytes_[c] >> 24);
    }
    // Appends c in the code page; false (and nothing appended) when it cannot hold c.
    bool append(char32_t c, std::string &out) const;
    bool doubleByte() const { return doubleByte_; }

private:
    explicit CodePageCharacters(std::vector<std::uint32_t> bytes);
    std::vector<std::uint32_t> bytes_;  // per character: byte count << 24 | the bytes
    bool doubleByte_ = false;
};

// A character reference and the characters it takes up in the text.
struct CharacterReference {
    char32_t character = 0;
    qsizetype length = 0;
};
// The character reference that starts at text[at] (an '&') as browsers read it in text, and
// as the Windows viewer's HTML engine does: a numeric one with or without its ';', those
// from 128 to 159 meaning the windows-1252 characters there (&#150; is U+2013) and those
// no character has U+FFFD; a named one of HTML 4 (and &apos;) with its ';', the oldest few
// (&nbsp &amp &lt &gt &quot) also without. Nothing for an '&' that starts no reference.
// The bytes' form reads references in ASCII, wherever they stand in a GBK or UTF-8 text.
std::optional<CharacterReference> characterReferenceAt(QStringView text, qsizetype at);
std::optional<CharacterReference> characterReferenceAt(QByteArrayView text, qsizetype at);
// Text with its character references resolved.
QString decodeCharacterReferences(const QString &text);

}  // namespace zelbrin
