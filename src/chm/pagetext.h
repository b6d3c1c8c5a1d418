#pragma once

#include <QStringView>

#include <cstdint>
#include <string>
#include <vector>

namespace zelbrin::chm {

class CodePageCharacters;

// The searchable words of a page, in reading order, folded the way the full-text index
// stores them: lower case, Latin accents removed ("Déjà" -> "deja"), apostrophes inside a
// word dropped ("it's" -> "its"), a number's decimal points kept and its thousands
// separators dropped ("2019.2.1", "1,000" -> "1000"). Each word takes the next location. An ideograph (Han,
// kana, Hangul) is a word of its own; in a double-byte code page (Chinese, Japanese,
// Korean) so is every character the code page writes in two bytes, punctuation, full-width
// letters and digits, Greek and pinyin letters included, kept as it is: HTML Help Workshop
// indexes double-byte text one character at a time.
struct PageWords {
    struct Word {
        std::uint32_t start = 0;   // into chars
        std::uint32_t length = 0;  // UTF-16 units; 0 for a word too long to index
        bool single = false;       // one character that is a word of its own
    };
    std::u16string chars;
    std::vector<Word> words;

    void clear() {
        chars.clear();
        words.clear();
    }
    QStringView word(std::size_t i) const {
        return QStringView(chars.data() + words[i].start, qsizetype(words[i].length));
    }
};

// Words longer than this (in UTF-16 units, after folding) are not indexed; they still
// take their location so that their neighbours do not become adjacent.
constexpr std::uint32_t kMaxWordLength = 99;

// Appends the words of the visible text of an HTML page: no markup, no script, style or
// title content, no comments; character references decoded; every tag ends a word
// ("Instal<span>lation</span>" is two), as HTML Help Workshop reads pages. codePage is the
// code page the index stores its words in (nothing: split as in a single-byte one).
void appendVisibleWords(QStringView html, PageWords &out, const CodePageCharacters *codePage = nullptr);
// Appends the words of plain text (a page title).
void appendPlainWords(QStringView text, PageWords &out, const CodePageCharacters *codePage = nullptr);

}  // namespace zelbrin::chm
