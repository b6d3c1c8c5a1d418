#pragma once

#include <QStringView>

#include <cstdint>
#include <string>
#include <vector>

namespace zelbrin::chm {

// The searchable words of a page, in reading order, folded the way the full-text index
// stores them: lower case, Latin accents removed ("Déjà" -> "deja"), apostrophes inside a
// word dropped ("it's" -> "its"). Each word takes the next location; an ideograph (Han,
// kana, Hangul) is a word of its own, as the Windows indexer treats double-byte text.
struct PageWords {
    struct Word {
        std::uint32_t start = 0;   // into chars
        std::uint32_t length = 0;  // UTF-16 units; 0 for a word too long to index
        bool ideograph = false;
        // An ideograph that directly follows the previous word, also an ideograph, with
        // nothing but markup or a source line break between them: the two belong to one run.
        bool continuesRun = false;
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
// title content, no comments; character references decoded; block elements separate
// words while inline ones (b, span, a, Office's o:p ...) do not.
void appendVisibleWords(QStringView html, PageWords &out);
// Appends the words of plain text (a page title).
void appendPlainWords(QStringView text, PageWords &out);

}  // namespace zelbrin::chm
