#include "pagetext.h"

#include "textencoding.h"

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
            low_[c - 0xC0] = fold(c);
        for (char32_t c = 0x1E00; c <= 0x1EFF; ++c)
            extended_[c - 0x1E00] = fold(c);
    }
    const QString *find(char32_t c) const {
        if (c >= 0xC0 && c <= 0x24F)
            return &low_[c - 0xC0];
        if (c >= 0x1E00 && c <= 0x1EFF)
            return &extended_[c - 0x1E00];
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
    std::array<QString, 0x24F - 0xC0 + 1> low_;
    std::array<QString, 0x100> extended_;
};

bool isAsciiAlnum(char16_t c) {
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

// Splits a stream of characters into words.
class WordSplitter {
public:
    WordSplitter(PageWords &out, const CodePageCharacters *codePage)
        : out_(out), doubleByte_(codePage && codePage->doubleByte() ? codePage : nullptr) {}

    void character(char32_t c) {
        CharClass cls;
        if (doubleByte_ && c >= 0x80 && doubleByte_->length(c) == 2) {
            cls = CharClass::Single;
        } else {
            if (!doubleByte_ && c >= 0xFF01 && c <= 0xFF5E)  // full-width ASCII reads as ASCII
                c -= 0xFEE0;
            cls = classify(c);
        }
        const bool digit = c >= '0' && c <= '9';
        if (pending_ != Pending::None) {
            const bool keep = pending_ == Pending::Apostrophe ? cls == CharClass::WordChar : digit;
            if (keep && pending_ == Pending::Dot)
                append(u'.');
            pending_ = Pending::None;
            if (!keep)
                endWord();
        }
        // A number keeps its decimal points and drops its thousands separators: "2019.2.1",
        // "1,000" -> "1000"; after a letter they end the word ("python3.8" is two words).
        if (c == ',' && inWord_ && numeric_ && lastDigit_) {
            pending_ = Pending::Comma;
            return;
        }
        switch (cls) {
        case CharClass::WordChar:
            if (!inWord_) {
                inWord_ = true;
                tooLong_ = false;
                hasWordChar_ = false;
                numeric_ = digit;
                start_ = out_.chars.size();
            }
            lastDigit_ = digit;
            numeric_ = numeric_ && digit;
            hasWordChar_ = hasWordChar_ || c != '#';
            appendFolded(c);
            break;
        case CharClass::Single: {
            endWord();
            PageWords::Word w;
            w.start = std::uint32_t(out_.chars.size());
            w.single = true;
            if (c > 0xFFFF) {
                out_.chars.push_back(QChar::highSurrogate(c));
                out_.chars.push_back(QChar::lowSurrogate(c));
                w.length = 2;
            } else {
                out_.chars.push_back(char16_t(c));
                w.length = 1;
            }
            out_.words.push_back(w);
            break;
        }
        case CharClass::Mark:
            // Combining accents vanish like precomposed ones; other scripts keep their marks.
            if (inWord_ && !(c >= 0x300 && c <= 0x36F))
                appendFolded(c);
            break;
        case CharClass::Ignorable:
            break;
        case CharClass::Apostrophe:
            if (inWord_)
                pending_ = Pending::Apostrophe;
            else
                separator();
            break;
        case CharClass::Dot:
            if (inWord_ && numeric_ && lastDigit_)
                pending_ = Pending::Dot;
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
        pending_ = Pending::None;
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
        if (tooLong_)
            return;
        if (out_.chars.size() - start_ >= kMaxWordLength) {
            tooLong_ = true;
            out_.chars.resize(start_);
            return;
        }
        out_.chars.push_back(c);
    }
    void endWord() {
        if (!inWord_)
            return;
        inWord_ = false;
        if (!hasWordChar_) {  // "#" alone is no word ("_" is, as HTML Help Workshop indexes it)
            out_.chars.resize(start_);
            return;
        }
        PageWords::Word w;
        w.start = std::uint32_t(start_);
        w.length = tooLong_ ? 0 : std::uint32_t(out_.chars.size() - start_);
        out_.words.push_back(w);
    }

    PageWords &out_;
    const CodePageCharacters *doubleByte_;  // set for a double-byte code page
    std::size_t start_ = 0;
    bool inWord_ = false;
    bool tooLong_ = false;
    bool hasWordChar_ = false;
    bool lastDigit_ = false;
    bool numeric_ = false;  // the word so far is digits and decimal points
    Pending pending_ = Pending::None;
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
    HtmlScanner(QStringView html, WordSplitter &words) : s_(html), words_(words) {}

    void run() {
        const qsizetype n = s_.size();
        while (i_ < n) {
            const char16_t c = s_[i_].unicode();
            if (c == '<' && markup()) {
                words_.separator();  // every tag ends a word, as HTML Help Workshop reads pages
                continue;
            }
            if (c == '&') {
                const std::optional<CharacterReference> reference = characterReferenceAt(s_, i_);
                words_.character(reference ? reference->character : c);
                i_ += reference ? reference->length : 1;
                continue;
            }
            ++i_;
            if (QChar::isHighSurrogate(c) && i_ < n && s_[i_].isLowSurrogate())
                words_.character(QChar::surrogateToUcs4(c, s_[i_++].unicode()));
            else
                words_.character(c);
        }
        words_.separator();
    }

private:
    qsizetype find(QStringView what, qsizetype from) const {
        const qsizetype at = s_.indexOf(what, from);
        return at < 0 ? s_.size() : at;
    }

    // Consumes the markup at i_, or returns false when the '<' is plain text.
    bool markup() {
        const qsizetype n = s_.size();
        const char16_t next = i_ + 1 < n ? s_[i_ + 1].unicode() : 0;
        if (next == '!') {
            if (s_.mid(i_, 4) == u"<!--") {
                const qsizetype end = find(u"-->", i_ + 4);
                i_ = qMin(end + 3, n);
            } else {  // <!DOCTYPE>, and Word's <![if !vml]> around content that stays visible
                i_ = qMin(find(u">", i_) + 1, n);
            }
            return true;
        }
        if (next == '?') {
            i_ = qMin(find(u">", i_) + 1, n);
            return true;
        }
        const bool closing = next == '/';
        qsizetype p = i_ + (closing ? 2 : 1);
        if (p >= n || !((s_[p].unicode() | 0x20) >= 'a' && (s_[p].unicode() | 0x20) <= 'z'))
            return false;
        const qsizetype nameStart = p;
        std::uint64_t name = 0;
        for (; p < n && isNameChar(s_[p].unicode()); ++p) {
            const char16_t ch = s_[p].unicode();
            name = (name << 8) | std::uint8_t(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
        }
        const QStringView tagName = s_.sliced(nameStart, p - nameStart);
        if (tagName.size() > 8)
            name = 0;  // longer than any name looked up
        bool selfClosing = false;
        while (p < n) {
            const char16_t ch = s_[p].unicode();
            if (ch == '>') {
                ++p;
                break;
            }
            if (ch == '=' && !closing) {
                ++p;
                while (p < n && s_[p].isSpace())
                    ++p;
                if (p < n && (s_[p] == u'"' || s_[p] == u'\'')) {
                    const qsizetype close = s_.indexOf(s_[p], p + 1);
                    p = close < 0 ? n : close + 1;
                }
                continue;
            }
            selfClosing = ch == '/';
            ++p;
        }
        i_ = p;
        if (!closing && !selfClosing && nameIn(name, kHiddenElements))
            skipContent(tagName);
        return true;
    }

    // Skips past the end tag of a hidden element (or to the end when it has none).
    void skipContent(QStringView name) {
        const qsizetype n = s_.size();
        for (qsizetype at = s_.indexOf(u"</", i_); at >= 0; at = s_.indexOf(u"</", at + 2)) {
            const qsizetype after = at + 2 + name.size();
            if (after <= n && s_.mid(at + 2, name.size()).compare(name, Qt::CaseInsensitive) == 0 &&
                (after == n || !isNameChar(s_[after].unicode()))) {
                i_ = qMin(find(u">", after) + 1, n);
                return;
            }
        }
        i_ = n;
    }

    QStringView s_;
    WordSplitter &words_;
    qsizetype i_ = 0;
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
