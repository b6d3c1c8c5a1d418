#include "pagetext.h"

#include "codepage.h"
#include "htmlentities.h"

#include <QChar>
#include <QString>

#include <array>
#include <string_view>

namespace zelbrin::chm {
namespace {

enum class CharClass { WordChar, Single, Mark, Ignorable, Apostrophe, Dot, Space, Separator };

bool isIdeograph(char32_t c) {
    if (c >= 0x4E00 && c <= 0x9FFF)
        return true;
    if (c < 0x3005)
        return false;
    if (c >= 0x3040 && c <= 0x31FF)  // kana, bopomofo: the letters, not their punctuation
        return QChar::isLetter(c) || QChar::category(c) == QChar::Number_Letter;
    return c == 0x3005 || c == 0x3007 || (c >= 0x3021 && c <= 0x3029) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF66 && c <= 0xFF9F) ||
           (c >= 0x20000 && c <= 0x3134F);
}

CharClass classify(char32_t c) {
    if (c < 0x80) {
        if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')
            return CharClass::WordChar;
        if ((c >= '0' && c <= '9') || c == '_' || c == '#')  // '_' and '#' belong to words ("_open", "c#")
            return CharClass::WordChar;
        if (c == '\'')
            return CharClass::Apostrophe;
        if (c == '.')
            return CharClass::Dot;
        if (c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\n' || c == '\r')
            return CharClass::Space;
        return CharClass::Separator;
    }
    if (c == 0x2019)  // the typographic apostrophe
        return CharClass::Apostrophe;
    if (c == 0xAD || c == 0x200C || c == 0x200D || c == 0x2060 || c == 0xFEFF || (c >= 0xFE00 && c <= 0xFE0F))
        return CharClass::Ignorable;
    if (isIdeograph(c))
        return CharClass::Single;
    if (QChar::isSpace(c))
        return CharClass::Space;
    if (QChar::isMark(c))
        return CharClass::Mark;
    if (QChar::isLetterOrNumber(c))
        return CharClass::WordChar;
    return CharClass::Separator;
}

// Latin letters with diacritics fold to their base letters, as the Windows indexer does
// for the upper half of its code pages ("ä" is "a"); ligatures and letters that do not
// decompose are spelt out. Built once for U+00C0..U+024F and U+1E00..U+1EFF.
class LatinFolding {
public:
    LatinFolding() {
        for (char32_t c = 0xC0; c <= 0x24F; ++c)
            m_low[c - 0xC0] = fold(c);
        for (char32_t c = 0x1E00; c <= 0x1EFF; ++c)
            m_extended[c - 0x1E00] = fold(c);
    }
    const QString *find(char32_t c) const {
        if (c >= 0xC0 && c <= 0x24F)
            return &m_low[c - 0xC0];
        if (c >= 0x1E00 && c <= 0x1EFF)
            return &m_extended[c - 0x1E00];
        return nullptr;
    }

private:
    static QString fold(char32_t c) {
        static const struct {
            char32_t c;
            const char *folded;
        } special[] = {{0xDF, "ss"},  {0xC6, "ae"},  {0xE6, "ae"},  {0x152, "oe"}, {0x153, "oe"},
                       {0xD8, "o"},   {0xF8, "o"},   {0x110, "d"},  {0x111, "d"},  {0xD0, "d"},
                       {0xF0, "d"},   {0x141, "l"},  {0x142, "l"},  {0x126, "h"},  {0x127, "h"},
                       {0x131, "i"},  {0x166, "t"},  {0x167, "t"},  {0x17F, "s"},  {0x1E9E, "ss"}};
        for (const auto &s : special)
            if (s.c == c)
                return QString::fromLatin1(s.folded);
        const QString original = QString::fromUcs4(&c, 1);
        QString result;
        for (QChar d : original.normalized(QString::NormalizationForm_KD))
            if (d.isLetter())
                result += d.toLower();
        return result.isEmpty() ? original.toLower() : result;
    }
    std::array<QString, 0x24F - 0xC0 + 1> m_low;
    std::array<QString, 0x100> m_extended;
};

char32_t windows1252Control(char32_t c) {
    // Numeric references to 0x80..0x9F mean the Windows-1252 characters there, as browsers read them.
    static constexpr char16_t map[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                         0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    return map[c - 0x80] ? map[c - 0x80] : 0xFFFD;
}

bool isAsciiAlnum(char16_t c) {
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

// Splits a stream of characters into words.
class WordSplitter {
public:
    WordSplitter(PageWords &out, const CodePageCharacters *codePage)
        : m_out(out), m_doubleByte(codePage && codePage->doubleByte() ? codePage : nullptr) {}

    void character(char32_t c) {
        CharClass cls;
        if (m_doubleByte && c >= 0x80 && m_doubleByte->length(c) == 2) {
            cls = CharClass::Single;
        } else {
            if (!m_doubleByte && c >= 0xFF01 && c <= 0xFF5E)  // full-width ASCII reads as ASCII
                c -= 0xFEE0;
            cls = classify(c);
        }
        const bool digit = c >= '0' && c <= '9';
        if (m_pending != Pending::None) {
            const bool keep = m_pending == Pending::Apostrophe ? cls == CharClass::WordChar : digit;
            if (keep && m_pending == Pending::Dot)
                append(u'.');
            m_pending = Pending::None;
            if (!keep)
                endWord();
        }
        // A number keeps its decimal points and drops its thousands separators: "2019.2.1",
        // "1,000" -> "1000"; after a letter they end the word ("python3.8" is two words).
        if (c == ',' && m_inWord && m_numeric && m_lastDigit) {
            m_pending = Pending::Comma;
            return;
        }
        switch (cls) {
        case CharClass::WordChar:
            if (!m_inWord) {
                m_inWord = true;
                m_tooLong = false;
                m_hasWordChar = false;
                m_numeric = digit;
                m_start = m_out.chars.size();
            }
            m_lastDigit = digit;
            m_numeric = m_numeric && digit;
            m_hasWordChar = m_hasWordChar || c != '#';
            appendFolded(c);
            break;
        case CharClass::Single: {
            endWord();
            PageWords::Word w;
            w.start = std::uint32_t(m_out.chars.size());
            w.single = true;
            if (c > 0xFFFF) {
                m_out.chars.push_back(QChar::highSurrogate(c));
                m_out.chars.push_back(QChar::lowSurrogate(c));
                w.length = 2;
            } else {
                m_out.chars.push_back(char16_t(c));
                w.length = 1;
            }
            m_out.words.push_back(w);
            break;
        }
        case CharClass::Mark:
            // Combining accents vanish like precomposed ones; other scripts keep their marks.
            if (m_inWord && !(c >= 0x300 && c <= 0x36F))
                appendFolded(c);
            break;
        case CharClass::Ignorable:
            break;
        case CharClass::Apostrophe:
            if (m_inWord)
                m_pending = Pending::Apostrophe;
            else
                separator();
            break;
        case CharClass::Dot:
            if (m_inWord && m_numeric && m_lastDigit)
                m_pending = Pending::Dot;
            else
                separator();
            break;
        case CharClass::Space:
        case CharClass::Separator:
            separator();
            break;
        }
    }
    // A block boundary, or the end of the text.
    void separator() {
        m_pending = Pending::None;
        endWord();
    }

private:
    enum class Pending { None, Apostrophe, Dot, Comma };

    void appendFolded(char32_t c) {
        if (c < 0x80) {
            append(char16_t(c >= 'A' && c <= 'Z' ? c + 32 : c));
            return;
        }
        static const LatinFolding latin;
        if (const QString *folded = latin.find(c)) {
            for (QChar f : *folded)
                append(f.unicode());
            return;
        }
        const char32_t lower = QChar::toLower(c);
        if (lower > 0xFFFF) {
            append(QChar::highSurrogate(lower));
            append(QChar::lowSurrogate(lower));
        } else {
            append(char16_t(lower));
        }
    }
    void append(char16_t c) {
        if (m_tooLong)
            return;
        if (m_out.chars.size() - m_start >= kMaxWordLength) {
            m_tooLong = true;
            m_out.chars.resize(m_start);
            return;
        }
        m_out.chars.push_back(c);
    }
    void endWord() {
        if (!m_inWord)
            return;
        m_inWord = false;
        if (!m_hasWordChar) {  // "#" alone is no word ("_" is, as HTML Help Workshop indexes it)
            m_out.chars.resize(m_start);
            return;
        }
        PageWords::Word w;
        w.start = std::uint32_t(m_start);
        w.length = m_tooLong ? 0 : std::uint32_t(m_out.chars.size() - m_start);
        m_out.words.push_back(w);
    }

    PageWords &m_out;
    const CodePageCharacters *m_doubleByte;  // set for a double-byte code page
    std::size_t m_start = 0;
    bool m_inWord = false;
    bool m_tooLong = false;
    bool m_hasWordChar = false;
    bool m_lastDigit = false;
    bool m_numeric = false;  // the word so far is digits and decimal points
    Pending m_pending = Pending::None;
};

// An element name of up to eight ASCII characters packed into one number, for quick lookups.
constexpr std::uint64_t packedName(std::string_view name) {
    std::uint64_t key = 0;
    for (char c : name)
        key = (key << 8) | std::uint8_t(c);
    return key;
}

// Elements whose content is never shown.
constexpr std::uint64_t kHiddenElements[] = {packedName("script"), packedName("style"),    packedName("noscript"),
                                             packedName("xml"),    packedName("title"),    packedName("template")};

template <std::size_t N>
bool nameIn(std::uint64_t name, const std::uint64_t (&list)[N]) {
    for (std::uint64_t entry : list)
        if (entry == name)
            return true;
    return false;
}

bool isNameChar(char16_t c) {
    return isAsciiAlnum(c) || c == ':' || c == '-' || c == '_' || c == '.';
}

class HtmlScanner {
public:
    HtmlScanner(QStringView html, WordSplitter &words) : m_s(html), m_words(words) {}

    void run() {
        const qsizetype n = m_s.size();
        while (m_i < n) {
            const char16_t c = m_s[m_i].unicode();
            if (c == '<' && markup()) {
                m_words.separator();  // every tag ends a word, as HTML Help Workshop reads pages
                continue;
            }
            if (c == '&') {
                m_words.character(reference());
                continue;
            }
            ++m_i;
            if (QChar::isHighSurrogate(c) && m_i < n && m_s[m_i].isLowSurrogate())
                m_words.character(QChar::surrogateToUcs4(c, m_s[m_i++].unicode()));
            else
                m_words.character(c);
        }
        m_words.separator();
    }

private:
    qsizetype find(QStringView what, qsizetype from) const {
        const qsizetype at = m_s.indexOf(what, from);
        return at < 0 ? m_s.size() : at;
    }

    // Consumes the markup at m_i, or returns false when the '<' is plain text.
    bool markup() {
        const qsizetype n = m_s.size();
        const char16_t next = m_i + 1 < n ? m_s[m_i + 1].unicode() : 0;
        if (next == '!') {
            if (m_s.mid(m_i, 4) == u"<!--") {
                const qsizetype end = find(u"-->", m_i + 4);
                m_i = qMin(end + 3, n);
            } else {  // <!DOCTYPE>, and Word's <![if !vml]> around content that stays visible
                m_i = qMin(find(u">", m_i) + 1, n);
            }
            return true;
        }
        if (next == '?') {
            m_i = qMin(find(u">", m_i) + 1, n);
            return true;
        }
        const bool closing = next == '/';
        qsizetype p = m_i + (closing ? 2 : 1);
        if (p >= n || !((m_s[p].unicode() | 0x20) >= 'a' && (m_s[p].unicode() | 0x20) <= 'z'))
            return false;
        const qsizetype nameStart = p;
        std::uint64_t name = 0;
        for (; p < n && isNameChar(m_s[p].unicode()); ++p) {
            const char16_t ch = m_s[p].unicode();
            name = (name << 8) | std::uint8_t(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
        }
        const QStringView tagName = m_s.sliced(nameStart, p - nameStart);
        if (tagName.size() > 8)
            name = 0;  // longer than any name looked up
        bool selfClosing = false;
        while (p < n) {
            const char16_t ch = m_s[p].unicode();
            if (ch == '>') {
                ++p;
                break;
            }
            if (ch == '=' && !closing) {
                ++p;
                while (p < n && m_s[p].isSpace())
                    ++p;
                if (p < n && (m_s[p] == u'"' || m_s[p] == u'\'')) {
                    const qsizetype close = m_s.indexOf(m_s[p], p + 1);
                    p = close < 0 ? n : close + 1;
                }
                continue;
            }
            selfClosing = ch == '/';
            ++p;
        }
        m_i = p;
        if (!closing && !selfClosing && nameIn(name, kHiddenElements))
            skipContent(tagName);
        return true;
    }

    // Skips past the end tag of a hidden element (or to the end when it has none).
    void skipContent(QStringView name) {
        const qsizetype n = m_s.size();
        for (qsizetype at = m_s.indexOf(u"</", m_i); at >= 0; at = m_s.indexOf(u"</", at + 2)) {
            const qsizetype after = at + 2 + name.size();
            if (after <= n && m_s.mid(at + 2, name.size()).compare(name, Qt::CaseInsensitive) == 0 &&
                (after == n || !isNameChar(m_s[after].unicode()))) {
                m_i = qMin(find(u">", after) + 1, n);
                return;
            }
        }
        m_i = n;
    }

    // Decodes the character reference at m_i; a lone '&' is itself.
    char32_t reference() {
        const qsizetype n = m_s.size();
        qsizetype p = m_i + 1;
        if (p < n && m_s[p] == u'#') {
            ++p;
            const bool hex = p < n && (m_s[p] == u'x' || m_s[p] == u'X');
            if (hex)
                ++p;
            char32_t value = 0;
            qsizetype digits = 0;
            for (; p < n; ++p, ++digits) {
                const char16_t ch = m_s[p].unicode();
                int d = -1;
                if (ch >= '0' && ch <= '9')
                    d = ch - '0';
                else if (hex && (ch | 0x20) >= 'a' && (ch | 0x20) <= 'f')
                    d = (ch | 0x20) - 'a' + 10;
                if (d < 0)
                    break;
                if (value <= 0x10FFFF)
                    value = value * (hex ? 16 : 10) + char32_t(d);
            }
            if (digits == 0) {
                ++m_i;
                return '&';
            }
            if (p < n && m_s[p] == u';')
                ++p;
            m_i = p;
            if (value >= 0x80 && value <= 0x9F)
                return windows1252Control(value);
            if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
                return 0xFFFD;
            return value;
        }
        qsizetype end = p;
        while (end < n && end - p < 10 && isAsciiAlnum(m_s[end].unicode()))
            ++end;
        const QStringView name = m_s.sliced(p, end - p);
        const bool terminated = end < n && m_s[end] == u';';
        // Without its ';' only the oldest few names are read, as browsers do.
        char32_t value = 0;
        bool legacy = true;
        if (name == u"nbsp")
            value = 0xA0;
        else if (name == u"amp")
            value = '&';
        else if (name == u"lt")
            value = '<';
        else if (name == u"gt")
            value = '>';
        else if (name == u"quot")
            value = '"';
        else if (!name.isEmpty()) {
            value = namedCharacter(name);
            legacy = false;
        }
        if (value && (terminated || legacy)) {
            m_i = end + (terminated ? 1 : 0);
            return value;
        }
        ++m_i;
        return '&';
    }

    QStringView m_s;
    WordSplitter &m_words;
    qsizetype m_i = 0;
};

}  // namespace

void appendVisibleWords(QStringView html, PageWords &out, const CodePageCharacters *codePage) {
    WordSplitter words(out, codePage);
    HtmlScanner(html, words).run();
}

void appendPlainWords(QStringView text, PageWords &out, const CodePageCharacters *codePage) {
    WordSplitter words(out, codePage);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            words.character(QChar::surrogateToUcs4(c, text[++i].unicode()));
        else
            words.character(c);
    }
    words.separator();
}

}  // namespace zelbrin::chm
