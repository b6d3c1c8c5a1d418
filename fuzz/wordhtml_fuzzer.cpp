// The clean-up of Word's HTML pages, with pictures 2.png and 4.png beside the page; and the
// GBK-aware search it is built on, against a plain walk over the characters.
#include "scratchfolder.h"
#include "wordhtml.h"

#include <cstring>
#include <vector>

using namespace zelbrin;

namespace {

// Start of every character: a lead byte 0x81-0xFE with a trail byte 0x40-0xFE (not 0x7F)
// is one character, any other byte is one of its own.
std::vector<bool> characterStarts(const QByteArray &text) {
    std::vector<bool> starts(size_t(text.size()) + 1, false);
    for (qsizetype i = 0; i < text.size();) {
        starts[size_t(i)] = true;
        const uchar b = uchar(text[i]);
        const bool pair = b >= 0x81 && b <= 0xFE && i + 1 < text.size() &&
                          uchar(text[i + 1]) >= 0x40 && uchar(text[i + 1]) <= 0xFE && uchar(text[i + 1]) != 0x7F;
        i += pair ? 2 : 1;
    }
    return starts;
}

void checkSearch(const QByteArray &text, const QByteArray &pattern) {
    const std::vector<bool> starts = characterStarts(text);
    qsizetype expected = -1;
    for (qsizetype i = 0; i + pattern.size() <= text.size() && !pattern.isEmpty(); ++i)
        if (starts[size_t(i)] &&
            std::memcmp(text.constData() + i, pattern.constData(), size_t(pattern.size())) == 0) {
            expected = i;
            break;
        }
    fuzz::check(gbkIndexOf(text, pattern) == expected, "gbkIndexOf finds the first match on a character start");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString &pictures = fuzz::scratchFolder({{"page.files/2.png", "png"}, {"page.files/4.png", "png"}});
    const QByteArray page = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray clean = cleanWordHtmlText(page, pictures + QStringLiteral("page.files/"));
    for (qsizetype i = 0; i < clean.size(); ++i) {
        if (clean[i] == '\r')
            fuzz::check(i + 1 < clean.size() && clean[i + 1] == '\n', "CR is followed by LF");
        else if (clean[i] == '\n')
            fuzz::check(i > 0 && clean[i - 1] == '\r', "LF follows CR");
    }
    fuzz::check(!page.isEmpty() || clean.isEmpty(), "an empty page stays empty");

    if (size >= 2)
        checkSearch(page.mid(1), page.mid(size / 2, 1 + data[0] % 4));
    return 0;
}
