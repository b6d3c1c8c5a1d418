#include "textencoding.h"

#include <QList>
#include <QStringDecoder>

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace zelbrin {
namespace {

struct Iconv {
    iconv_t cd;
    Iconv(const char *to, const char *from) : cd(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok())
            iconv_close(cd);
    }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;
    bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
};

// Opening a converter sets up its tables, which costs far more than converting a name or a
// line, so each thread keeps the converters it opened. Nothing when iconv lacks a charset.
Iconv *converter(const char *to, const char *from) {
    thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Iconv>> open;
    std::unique_ptr<Iconv> &h = open[{to, from}];
    if (!h)
        h = std::make_unique<Iconv>(to, from);
    return h->ok() ? h.get() : nullptr;
}

// Converts the whole of in with h, from its initial shift state. Where iconv stops at a
// sequence it cannot convert, fault(inp, inLeft, out) appends what stands for it and
// moves past it, or returns false to give up (nothing is returned then). The output ends
// in the initial shift state.
template <class Fault>
std::optional<QByteArray> convert(Iconv &h, QByteArray in, Fault fault) {
    iconv(h.cd, nullptr, nullptr, nullptr, nullptr);
    QByteArray out;
    out.reserve(in.size() * 3 / 2 + 16);
    char *inp = in.data();
    size_t inLeft = size_t(in.size());
    char buffer[16384];
    while (inLeft > 0) {
        char *outp = buffer;
        size_t outLeft = sizeof buffer;
        const size_t r = iconv(h.cd, &inp, &inLeft, &outp, &outLeft);
        out.append(buffer, qsizetype(outp - buffer));
        if (r != size_t(-1) || errno == E2BIG)
            continue;
        if (!fault(inp, inLeft, out))  // EILSEQ or EINVAL
            return std::nullopt;
        iconv(h.cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
    }
    char *outp = buffer;
    size_t outLeft = sizeof buffer;
    iconv(h.cd, nullptr, nullptr, &outp, &outLeft);
    out.append(buffer, qsizetype(outp - buffer));
    return out;
}

// The length of the UTF-8 sequence that starts with byte b (1 for a stray byte).
int sequenceLength(unsigned char b) {
    if (b >= 0xF0)
        return 4;
    if (b >= 0xE0)
        return 3;
    if (b >= 0xC0)
        return 2;
    return 1;
}

}  // namespace

std::optional<QByteArray> encodeText(const QString &text, const char *iconvName, Unencodable rule) {
    if (text.isEmpty())
        return QByteArray();
    Iconv *h = converter(iconvName, "UTF-8");
    if (!h)
        return std::nullopt;
    return convert(*h, text.toUtf8(), [rule](char *&inp, size_t &inLeft, QByteArray &out) {
        // The character at inp has no place in the charset.
        if (rule == Unencodable::Fail)
            return false;
        const int length = std::min<int>(sequenceLength(static_cast<unsigned char>(*inp)), int(inLeft));
        const QString character = QString::fromUtf8(inp, length);
        if (rule == Unencodable::Reference) {
            for (char32_t c : character.toUcs4())
                out.append("&#" + QByteArray::number(quint32(c)) + ';');
        } else {
            out.append('?');
        }
        inp += length;
        inLeft -= size_t(length);
        return true;
    });
}

std::optional<QString> decodeText(const QByteArray &bytes, const char *iconvName, Undecodable rule) {
    Iconv *h = converter("UTF-8", iconvName);
    if (!h)
        return std::nullopt;
    const std::optional<QByteArray> utf8 = convert(*h, bytes, [rule](char *&inp, size_t &inLeft, QByteArray &out) {
        if (rule == Undecodable::Fail)
            return false;
        out.append("\xEF\xBF\xBD");  // a byte the charset does not know
        ++inp;
        --inLeft;
        return true;
    });
    if (!utf8)
        return std::nullopt;
    return QString::fromUtf8(*utf8);
}

// GBK as iconv knows it is code page 936 (with the euro sign at 0x80).
std::optional<QByteArray> encodeGbk(const QString &text) {
    return encodeText(text, "CP936", Unencodable::Fail);
}

QString decodeGbk(const QByteArray &bytes) {
    return decodeText(bytes, "CP936", Undecodable::Replace).value_or(QString::fromLatin1(bytes));
}

std::optional<QString> decodeUtf8Strictly(const QByteArray &bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

CodePageCharacters::CodePageCharacters(std::vector<std::uint32_t> bytes) : bytes_(std::move(bytes)) {
    for (std::uint32_t packed : bytes_)
        doubleByte_ = doubleByte_ || (packed >> 24) == 2;
}

const CodePageCharacters *CodePageCharacters::of(const char *iconvName) {
    static std::mutex lock;
    static std::map<std::string, std::unique_ptr<CodePageCharacters>> known;
    const std::lock_guard<std::mutex> guard(lock);
    const auto found = known.find(iconvName);
    if (found != known.end())
        return found->second.get();
    Iconv *h = converter(iconvName, "UTF-8");
    if (!h)
        return nullptr;
    std::vector<std::uint32_t> table(0x10000, 0);
    const auto refuse = [](char *&, size_t &, QByteArray &) { return false; };
    for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const std::optional<QByteArray> bytes = convert(*h, QString::fromUcs4(&c, 1).toUtf8(), refuse);
        if (!bytes || bytes->isEmpty() || bytes->size() > 3)  // stateful or unusual encodings: left out
            continue;
        std::uint32_t packed = std::uint32_t(bytes->size()) << 24;
        for (qsizetype i = 0; i < bytes->size(); ++i)
            packed |= std::uint32_t(uchar(bytes->at(i))) << (8 * (bytes->size() - 1 - i));
        table[c] = packed;
    }
    auto &entry = known[iconvName];
    entry.reset(new CodePageCharacters(std::move(table)));
    return entry.get();
}

bool CodePageCharacters::append(char32_t c, std::string &out) const {
    if (c < 0x80) {
        out.push_back(char(c));
        return true;
    }
    const int n = length(c);
    for (int i = 0; i < n; ++i)
        out.push_back(char(bytes_[c] >> (8 * (n - 1 - i))));
    return n > 0;
}

}  // namespace zelbrin
