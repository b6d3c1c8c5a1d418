// hh's reader of the full-text index (/$FIftiMain) of a help file: the header, the leaf
// chain, every word's hit list, a descent from the root and the printed form.
#include "ftsreader.h"
#include "fuzzsupport.h"

#include <sstream>

using namespace zelbrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::span<const unsigned char> bytes(data, size);
    std::string error;
    const auto index = hh::readFullTextIndex(bytes, error);
    fuzz::check(index.has_value() || !error.empty(), "a refused index says why");
    if (!index)
        return 0;
    std::ostringstream text;
    hh::printFullTextIndex(*index, text);
    for (const hh::FtsWord &w : index->words) {
        fuzz::check(!w.word.empty(), "no word is empty");
        hh::leafFor(bytes, w.word);
    }
    return 0;
}
