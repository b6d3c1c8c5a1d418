// hhc's reading of a page: its encoding and charset declaration, then the visible words the
// full-text index takes from it.
#include "codepage.h"
#include "fuzzsupport.h"
#include "pageencoding.h"
#include "pagetext.h"

using namespace zelbrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray page = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    // Chinese (GBK, double-byte) and English (a single-byte code page) take different paths.
    for (quint32 lcid : {0x804u, 0x409u}) {
        const chm::AnsiCodePage &codePage = chm::ansiCodePage(lcid);
        const hhc::ConvertedPage converted = hhc::convertPage(page, codePage);
        fuzz::check(converted.title == converted.title.trimmed(), "a title has no outer blanks");
        const chm::CodePageCharacters *characters = chm::CodePageCharacters::of(codePage.iconvName);
        chm::PageWords words;
        chm::appendVisibleWords(converted.text, words, characters);
        chm::appendPlainWords(converted.title, words, characters);
        for (const chm::PageWords::Word &w : words.words) {
            fuzz::check(std::size_t(w.start) + w.length <= words.chars.size(),
                        "a word lies inside the page's characters");
            fuzz::check(w.length <= chm::kMaxWordLength, "no word is longer than the index takes");
        }
    }
    return 0;
}
