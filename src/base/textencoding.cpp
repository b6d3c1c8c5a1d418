#include "textencoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace zelbrin {
namespace {

struct IconvHandle {
    iconv_t cd;
    explicit IconvHandle(const char *to, const char *from) : cd(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
    }
    bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
};

// Opening a converter sets up its tables, which costs far more than converting a name or a
// line, so each thread keeps one per direction, reset to its initial state for every use.
const IconvHandle &converter(bool toGbk) {
    thread_local const IconvHandle encoder("CP936", "UTF-8");
    thread_local const IconvHandle decoder("UTF-8", "CP936");
    const IconvHandle &h = toGbk ? encoder : decoder;
    if (h.ok())
        iconv(h.cd, nullptr, nullptr, nullptr, nullptr);
    return h;
}

}  // namespace

std::optional<QByteArray> encodeGbk(const QString &text) {
    // GBK as iconv knows it is code page 936 (with the euro sign at 0x80).
    const IconvHandle &h = converter(true);
    if (!h.ok())
        return std::nullopt;
    QByteArray in = text.toUtf8();
    QByteArray out(in.size() * 2 + 4, '\0');
    char *inp = in.data();
    size_t inLeft = size_t(in.size());
    char *outp = out.data();
    size_t outLeft = size_t(out.size());
    while (inLeft > 0) {
        if (iconv(h.cd, &inp, &inLeft, &outp, &outLeft) == size_t(-1))
            return std::nullopt;  // EILSEQ: a character GBK cannot hold
    }
    out.truncate(out.size() - qsizetype(outLeft));
    return out;
}

QString decodeGbk(const QByteArray &bytes) {
    const IconvHandle &h = converter(false);
    if (!h.ok())
        return QString::fromLatin1(bytes);
    QByteArray in = bytes;
    QByteArray out(in.size() * 3 + 4, '\0');
    char *inp = in.data();
    size_t inLeft = size_t(in.size());
    char *outp = out.data();
    size_t outLeft = size_t(out.size());
    static const char replacement[] = "\xEF\xBF\xBD";
    while (inLeft > 0) {
        if (iconv(h.cd, &inp, &inLeft, &outp, &outLeft) != size_t(-1))
            break;
        if (errno == E2BIG)
            break;  // cannot happen: three output bytes per input byte always suffice
        // EILSEQ or EINVAL (a lead byte at the end): replace one byte and go on.
        if (outLeft < 3)
            break;
        memcpy(outp, replacement, 3);
        outp += 3;
        outLeft -= 3;
        ++inp;
        --inLeft;
    }
    out.truncate(out.size() - qsizetype(outLeft));
    return QString::fromUtf8(out);
}

}  // namespace zelbrin
