// hh's reader of the full-text index (/$FIftiMain) of a help file: the header, the leaf
// chain, every word's hit list and a descent from the root. (The dump prints what it reads;
// the chm_dump target covers that.)
#include "ftsreader.h"
#include "fuzzsupport.h"

using namespace zelbrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::span<const unsigned char> bytes(data, size);
    std::string error;
    const auto index = hh::readFullTextIndex(bytes, error);
    fuzz::check(index.has_value() || !error.empty(), "a refused index says why");
    if (!index)
        return 0;
    for (const hh::FtsWord &w : index->words) {
        fuzz::check(!w.word.empty(), "no word is empty");
        hh::leafFor(bytes, w.word);
    }
    return 0;
}
