#include "codepage.h"

#include <QList>
#include <QStringDecoder>

#include <cerrno>
#include <iconv.h>
#include <map>
#include <memory>
#include <mutex>

namespace zelbrin::chm {
namespace {

struct Language {
    quint16 lcid;  // a full identifier, or a primary language (below 0x400) for all its variants
    AnsiCodePage codePage;
};

constexpr AnsiCodePage cp(int number, const char *iconvName, const char *html, int font, const char *locale,
                          bool dbcs = false) {
    return AnsiCodePage{number, iconvName, html, font, dbcs, locale};
}

// Windows' own assignment of ANSI code pages to languages.
const Language kLanguages[] = {
    {0x0804, cp(936, "CP936", "gb2312", 134, "zh_CN", true)},
    {0x1004, cp(936, "CP936", "gb2312", 134, "zh_SG", true)},
    {0x0404, cp(950, "CP950", "big5", 136, "zh_TW", true)},
    {0x0C04, cp(950, "CP950", "big5", 136, "zh_HK", true)},
    {0x1404, cp(950, "CP950", "big5", 136, "zh_MO", true)},
    {0x0011, cp(932, "CP932", "shift_jis", 128, "ja_JP", true)},
    {0x0012, cp(949, "CP949", "ks_c_5601-1987", 129, "ko_KR", true)},
    {0x001E, cp(874, "CP874", "windows-874", 222, "th_TH")},
    {0x0C1A, cp(1251, "CP1251", "windows-1251", 204, "sr_RS")},  // Serbian, Cyrillic
    {0x082C, cp(1251, "CP1251", "windows-1251", 204, "az_AZ")},  // Azeri, Cyrillic
    {0x0843, cp(1251, "CP1251", "windows-1251", 204, "uz_UZ")},  // Uzbek, Cyrillic
    {0x042C, cp(1254, "CP1254", "windows-1254", 162, "az_AZ")},  // Azeri, Latin
    {0x0443, cp(1254, "CP1254", "windows-1254", 162, "uz_UZ")},  // Uzbek, Latin
    {0x0005, cp(1250, "CP1250", "windows-1250", 238, "cs_CZ")},
    {0x000E, cp(1250, "CP1250", "windows-1250", 238, "hu_HU")},
    {0x0015, cp(1250, "CP1250", "windows-1250", 238, "pl_PL")},
    {0x0018, cp(1250, "CP1250", "windows-1250", 238, "ro_RO")},
    {0x001A, cp(1250, "CP1250", "windows-1250", 238, "hr_HR")},
    {0x001B, cp(1250, "CP1250", "windows-1250", 238, "sk_SK")},
    {0x001C, cp(1250, "CP1250", "windows-1250", 238, "sq_AL")},
    {0x0024, cp(1250, "CP1250", "windows-1250", 238, "sl_SI")},
    {0x0002, cp(1251, "CP1251", "windows-1251", 204, "bg_BG")},
    {0x0019, cp(1251, "CP1251", "windows-1251", 204, "ru_RU")},
    {0x0022, cp(1251, "CP1251", "windows-1251", 204, "uk_UA")},
    {0x0023, cp(1251, "CP1251", "windows-1251", 204, "be_BY")},
    {0x002F, cp(1251, "CP1251", "windows-1251", 204, "mk_MK")},
    {0x003F, cp(1251, "CP1251", "windows-1251", 204, "kk_KZ")},
    {0x0040, cp(1251, "CP1251", "windows-1251", 204, "ky_KG")},
    {0x0044, cp(1251, "CP1251", "windows-1251", 204, "tt_RU")},
    {0x0050, cp(1251, "CP1251", "windows-1251", 204, "mn_MN")},
    {0x0008, cp(1253, "CP1253", "windows-1253", 161, "el_GR")},
    {0x001F, cp(1254, "CP1254", "windows-1254", 162, "tr_TR")},
    {0x000D, cp(1255, "CP1255", "windows-1255", 177, "he_IL")},
    {0x0001, cp(1256, "CP1256", "windows-1256", 178, "ar_SA")},
    {0x0020, cp(1256, "CP1256", "windows-1256", 178, "ur_PK")},
    {0x0029, cp(1256, "CP1256", "windows-1256", 178, "fa_IR")},
    {0x0025, cp(1257, "CP1257", "windows-1257", 186, "et_EE")},
    {0x0026, cp(1257, "CP1257", "windows-1257", 186, "lv_LV")},
    {0x0027, cp(1257, "CP1257", "windows-1257", 186, "lt_LT")},
    {0x002A, cp(1258, "CP1258", "windows-1258", 163, "vi_VN")},
    {0x0007, cp(1252, "CP1252", "windows-1252", 0, "de_DE")},
    {0x000C, cp(1252, "CP1252", "windows-1252", 0, "fr_FR")},
    {0x000A, cp(1252, "CP1252", "windows-1252", 0, "es_ES")},
    {0x0010, cp(1252, "CP1252", "windows-1252", 0, "it_IT")},
    {0x0013, cp(1252, "CP1252", "windows-1252", 0, "nl_NL")},
    {0x0016, cp(1252, "CP1252", "windows-1252", 0, "pt_BR")},
};

const AnsiCodePage kWestern = cp(1252, "CP1252", "windows-1252", 0, "en_US");

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

enum class Unencodable { Fail, Reference, Question };

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

// Converts the whole of in with h. Where iconv stops at a sequence it cannot convert,
// fault(inp, inLeft, out) appends what stands for it and moves past it, or returns false
// to give up (nothing is returned then). The output ends in the initial shift state.
template <class Fault>
std::optional<QByteArray> convert(Iconv &h, QByteArray in, Fault fault) {
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

std::optional<QByteArray> encode(const QString &text, const char *iconvName, Unencodable rule) {
    if (text.isEmpty())
        return QByteArray();
    Iconv h(iconvName, "UTF-8");
    if (!h.ok())
        return std::nullopt;
    return convert(h, text.toUtf8(), [rule](char *&inp, size_t &inLeft, QByteArray &out) {
        // The character at inp has no place in the code page.
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

enum class Undecodable { Fail, Replace };

// Bytes in a charset as UTF-8; a byte the charset does not know fails, or becomes U+FFFD.
// Nothing when iconv lacks the charset.
std::optional<QByteArray> decode(const QByteArray &bytes, const char *iconvName, Undecodable rule) {
    Iconv h("UTF-8", iconvName);
    if (!h.ok())
        return std::nullopt;
    return convert(h, bytes, [rule](char *&inp, size_t &inLeft, QByteArray &out) {
        if (rule == Undecodable::Fail)
            return false;
        out.append("\xEF\xBF\xBD");  // a byte the charset does not know
        ++inp;
        --inLeft;
        return true;
    });
}

// iconv's name for a charset as HTML pages declare it. Browsers read the names of
// the older national standards as the Windows code pages that extend them.
QByteArray iconvCharset(QByteArray name) {
    name = name.trimmed().toLower();
    if (name == "gb2312" || name == "gbk" || name == "x-gbk" || name == "cp936" || name == "windows-936" ||
        name == "euc-cn" || name == "csgb2312")
        return "CP936";
    if (name == "iso-8859-1" || name == "latin1" || name == "us-ascii" || name == "ascii")
        return "CP1252";
    if (name == "shift_jis" || name == "shift-jis" || name == "sjis" || name == "x-sjis" || name == "windows-31j")
        return "CP932";
    if (name == "ks_c_5601-1987" || name == "euc-kr" || name == "ks_c_5601" || name == "windows-949")
        return "CP949";
    if (name == "big5" || name == "x-x-big5" || name == "windows-950")
        return "CP950";
    if (name.startsWith("windows-125") || name == "windows-874")
        return "CP" + name.mid(8);
    if (name.startsWith("x-cp125"))
        return "CP" + name.mid(4);
    return name.toUpper();
}

// iconv's name for the charset an HTML name stands for by its standard, as readers that
// take the name at its word decode it ("gb2312" is GB 2312 and nothing beyond).
QByteArray strictCharset(QByteArray name) {
    name = name.trimmed().toLower();
    if (name == "gb2312" || name == "euc-cn" || name == "csgb2312" || name == "chinese")
        return "GB2312";
    if (name == "gbk" || name == "x-gbk" || name == "cp936" || name == "windows-936")
        return "GBK";
    if (name == "shift_jis" || name == "shift-jis" || name == "sjis" || name == "x-sjis")
        return "SHIFT_JIS";
    if (name == "ks_c_5601-1987" || name == "ks_c_5601" || name == "euc-kr")
        return "EUC-KR";
    if (name == "x-x-big5" || name == "csbig5")
        return "BIG5";
    if (name == "latin1")
        return "ISO-8859-1";
    if (name == "ascii")
        return "US-ASCII";
    if (name.startsWith("windows-125") || name == "windows-874")
        return "CP" + name.mid(8);
    return name.toUpper();
}

}  // namespace

const AnsiCodePage &ansiCodePage(quint32 lcid) {
    for (const Language &l : kLanguages) {
        if (l.lcid == lcid)
            return l.codePage;
    }
    for (const Language &l : kLanguages) {
        if (l.lcid < 0x400 && l.lcid == (lcid & 0x3FF))
            return l.codePage;
    }
    return kWestern;
}

std::optional<QByteArray> encodeAnsi(const QString &text, const AnsiCodePage &codePage) {
    return encode(text, codePage.iconvName, Unencodable::Fail);
}

QByteArray encodeAnsiWithReferences(const QString &text, const AnsiCodePage &codePage) {
    return encode(text, codePage.iconvName, Unencodable::Reference).value_or(text.toLatin1());
}

QByteArray encodeAnsiLossy(const QString &text, const AnsiCodePage &codePage) {
    return encode(text, codePage.iconvName, Unencodable::Question).value_or(text.toLatin1());
}

bool decodesStrictly(const QByteArray &bytes, const QByteArray &charset) {
    return decode(bytes, strictCharset(charset).constData(), Undecodable::Fail).has_value();
}

std::optional<QByteArray> encodeStrictlyWithReferences(const QString &text, const QByteArray &charset) {
    return encode(text, strictCharset(charset).constData(), Unencodable::Reference);
}

const char *widerCharset(const QByteArray &charset) {
    return strictCharset(charset) == "GB2312" ? "gbk" : nullptr;
}

CodePageCharacters::CodePageCharacters(std::vector<std::uint32_t> bytes) : m_bytes(std::move(bytes)) {
    for (std::uint32_t packed : m_bytes)
        m_doubleByte = m_doubleByte || (packed >> 24) == 2;
}

const CodePageCharacters *CodePageCharacters::of(const char *iconvName) {
    static std::mutex lock;
    static std::map<std::string, std::unique_ptr<CodePageCharacters>> known;
    const std::lock_guard<std::mutex> guard(lock);
    const auto found = known.find(iconvName);
    if (found != known.end())
        return found->second.get();
    Iconv h(iconvName, "UTF-16LE");
    if (!h.ok())
        return nullptr;
    std::vector<std::uint32_t> table(0x10000, 0);
    for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        char in[2] = {char(c & 0xFF), char(c >> 8)};
        char out[8];
        char *inp = in;
        char *outp = out;
        size_t inLeft = 2;
        size_t outLeft = sizeof out;
        iconv(h.cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(h.cd, &inp, &inLeft, &outp, &outLeft) == size_t(-1) || inLeft != 0)
            continue;
        const std::size_t n = sizeof out - outLeft;
        if (n == 0 || n > 3)  // stateful or unusual encodings: left out
            continue;
        std::uint32_t packed = std::uint32_t(n) << 24;
        for (std::size_t i = 0; i < n; ++i)
            packed |= std::uint32_t((unsigned char)out[i]) << (8 * (n - 1 - i));
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
        out.push_back(char(m_bytes[c] >> (8 * (n - 1 - i))));
    return n > 0;
}

std::optional<QString> decodeCharset(const QByteArray &bytes, const QByteArray &charset) {
    const QByteArray name = iconvCharset(charset);
    if (name == "UTF-8" || name == "UTF8")
        return QString::fromUtf8(bytes);
    const std::optional<QByteArray> utf8 = decode(bytes, name.constData(), Undecodable::Replace);
    if (!utf8)
        return std::nullopt;
    return QString::fromUtf8(*utf8);
}

}  // namespace zelbrin::chm
