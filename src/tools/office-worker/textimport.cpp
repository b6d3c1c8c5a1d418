#include "textimport.h"

namespace zelbrin::officeworker {

namespace {

// The office's numbers for the two encodings (rtl/textenc.h).
constexpr int kUtf8 = 76;
constexpr int kGb18030 = 85;

// Strict UTF-8 (no overlong forms, no surrogates); a sequence cut off by the end of the
// sample does not count against it.
bool isUtf8(const QByteArray &head) {
    const auto *p = reinterpret_cast<const unsigned char *>(head.constData());
    const qsizetype n = head.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (c < 0x80)
            length = 1;
        else if (c >= 0xC2 && c <= 0xDF)
            length = 2;
        else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0)
                low = 0xA0;
            else if (c == 0xED)
                high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0)
                low = 0x90;
            else if (c == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        for (int k = 1; k < length; ++k) {
            if (i + k >= n)
                return true;
            const unsigned char b = p[i + k];
            if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF))
                return false;
        }
        i += length;
    }
    return true;
}

}  // namespace

bool looksLikeText(const QByteArray &head) {
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF"))
        return true;
    qsizetype controls = 0;
    for (char c : head) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0)
            return false;
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1A)
            ++controls;
    }
    return controls * 100 <= head.size();
}

QString csvFilterOptions(const QByteArray &head) {
    int tabs = 0, semicolons = 0, commas = 0;
    bool quoted = false;
    for (char c : head) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '\n' || c == '\r'))
            break;
        else if (!quoted && c == '\t')
            ++tabs;
        else if (!quoted && c == ';')
            ++semicolons;
        else if (!quoted && c == ',')
            ++commas;
    }
    int separator = ',';
    if (tabs > commas && tabs >= semicolons)
        separator = '\t';
    else if (semicolons > commas)
        separator = ';';
    return QStringLiteral("%1,34,%2,1").arg(separator).arg(isUtf8(head) ? kUtf8 : kGb18030);
}

}  // namespace zelbrin::officeworker
