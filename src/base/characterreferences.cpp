#include "textencoding.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace zelbrin {
namespace {

// Runs of consecutive code points, one name per code point ("-" where there is none).
struct NameRun {
    char32_t first;
    const char *names;
};

constexpr NameRun kRuns[] = {
    {0xA0, "nbsp iexcl cent pound curren yen brvbar sect uml copy ordf laquo not shy reg macr "
           "deg plusmn sup2 sup3 acute micro para middot cedil sup1 ordm raquo frac14 frac12 "
           "frac34 iquest Agrave Aacute Acirc Atilde Auml Aring AElig Ccedil Egrave Eacute Ecirc "
           "Euml Igrave Iacute Icirc Iuml ETH Ntilde Ograve Oacute Ocirc Otilde Ouml times Oslash "
           "Ugrave Uacute Ucirc Uuml Yacute THORN szlig agrave aacute acirc atilde auml aring aelig "
           "ccedil egrave eacute ecirc euml igrave iacute icirc iuml eth ntilde ograve oacute ocirc "
           "otilde ouml divide oslash ugrave uacute ucirc uuml yacute thorn yuml"},
    {0x391, "Alpha Beta Gamma Delta Epsilon Zeta Eta Theta Iota Kappa Lambda Mu Nu Xi Omicron Pi "
            "Rho - Sigma Tau Upsilon Phi Chi Psi Omega"},
    {0x3B1, "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi "
            "rho sigmaf sigma tau upsilon phi chi psi omega"},
    {0x2002, "ensp emsp - - - - - thinsp - - zwnj zwj lrm rlm - - - ndash mdash - - - lsquo rsquo "
             "sbquo - ldquo rdquo bdquo - dagger Dagger bull - - - hellip"},
    {0x2190, "larr uarr rarr darr harr"},
    {0x21D0, "lArr uArr rArr dArr hArr"},
    {0x2200, "forall - part exist - empty - nabla isin notin - ni - - - prod - sum minus"},
    {0x2264, "le ge"},
    {0x2282, "sub sup nsub - sube supe"},
    {0x2308, "lceil rceil lfloor rfloor"},
};

// Single characters outside the runs above.
constexpr struct {
    const char *name;
    char32_t ch;
} kSingles[] = {
    {"quot", 0x22},     {"amp", 0x26},      {"apos", 0x27},     {"lt", 0x3C},
    {"gt", 0x3E},       {"OElig", 0x152},   {"oelig", 0x153},   {"Scaron", 0x160},
    {"scaron", 0x161},  {"Yuml", 0x178},    {"fnof", 0x192},    {"circ", 0x2C6},
    {"tilde", 0x2DC},   {"thetasym", 0x3D1}, {"upsih", 0x3D2},  {"piv", 0x3D6},
    {"permil", 0x2030}, {"prime", 0x2032},  {"Prime", 0x2033},  {"lsaquo", 0x2039},
    {"rsaquo", 0x203A}, {"oline", 0x203E},  {"frasl", 0x2044},  {"euro", 0x20AC},
    {"image", 0x2111},  {"weierp", 0x2118}, {"real", 0x211C},   {"trade", 0x2122},
    {"alefsym", 0x2135}, {"crarr", 0x21B5}, {"lowast", 0x2217}, {"radic", 0x221A},
    {"prop", 0x221D},   {"infin", 0x221E},  {"ang", 0x2220},    {"and", 0x2227},
    {"or", 0x2228},     {"cap", 0x2229},    {"cup", 0x222A},    {"int", 0x222B},
    {"there4", 0x2234}, {"sim", 0x223C},    {"cong", 0x2245},   {"asymp", 0x2248},
    {"ne", 0x2260},     {"equiv", 0x2261},  {"oplus", 0x2295},  {"otimes", 0x2297},
    {"perp", 0x22A5},   {"sdot", 0x22C5},   {"lang", 0x2329},   {"rang", 0x232A},
    {"loz", 0x25CA},    {"spades", 0x2660}, {"clubs", 0x2663},  {"hearts", 0x2665},
    {"diams", 0x2666},
};

QHash<QString, char32_t> buildTable() {
    QHash<QString, char32_t> table;
    for (const NameRun &run : kRuns) {
        const QStringList names = QString::fromLatin1(run.names).split(u' ');
        for (qsizetype i = 0; i < names.size(); ++i)
            if (names[i] != u"-")
                table.insert(names[i], run.first + char32_t(i));
    }
    for (const auto &single : kSingles)
        table.insert(QString::fromLatin1(single.name), single.ch);
    return table;
}

// The character a named reference (the name between '&' and ';', case-sensitive) stands
// for; 0 for a name it does not know.
char32_t namedCharacter(const QString &name) {
    static const QHash<QString, char32_t> table = buildTable();
    return table.value(name, 0);
}

char32_t windows1252Control(char32_t c) {
    // Numeric references to 0x80..0x9F mean the Windows-1252 characters there, as browsers read them.
    static constexpr char16_t map[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                         0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    return map[c - 0x80] ? map[c - 0x80] : 0xFFFD;
}

char16_t unitAt(QStringView text, qsizetype i) {
    return text[i].unicode();
}

char16_t unitAt(QByteArrayView text, qsizetype i) {
    return uchar(text[i]);
}

bool isAsciiAlnum(char16_t c) {
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

template <class Text>
std::optional<CharacterReference> referenceAt(Text text, qsizetype at) {
    const qsizetype n = text.size();
    qsizetype p = at + 1;
    if (p < n && unitAt(text, p) == '#') {
        ++p;
        const bool hex = p < n && (unitAt(text, p) | 0x20) == 'x';
        if (hex)
            ++p;
        char32_t value = 0;
        qsizetype digits = 0;
        for (; p < n; ++p, ++digits) {
            const char16_t ch = unitAt(text, p);
            int d = -1;
            if (ch >= '0' && ch <= '9')
                d = ch - '0';
            else if (hex && (ch | 0x20) >= 'a' && (ch | 0x20) <= 'f')
                d = (ch | 0x20) - 'a' + 10;
            if (d < 0)
                break;
            if (value <= 0x10FFFF)
                value = value * (hex ? 16 : 10) + char32_t(d);
        }
        if (digits == 0)
            return std::nullopt;
        if (p < n && unitAt(text, p) == ';')
            ++p;
        if (value >= 0x80 && value <= 0x9F)
            value = windows1252Control(value);
        else if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            value = 0xFFFD;
        return CharacterReference{value, p - at};
    }
    qsizetype end = p;
    char16_t buffer[10];
    for (; end < n && end - p < 10 && isAsciiAlnum(unitAt(text, end)); ++end)
        buffer[end - p] = unitAt(text, end);
    const QStringView name(buffer, end - p);
    const bool terminated = end < n && unitAt(text, end) == ';';
    // Without its ';' only the oldest few names are read, as browsers do.
    char32_t value = 0;
    if (name == u"nbsp")
        value = 0xA0;
    else if (name == u"amp")
        value = '&';
    else if (name == u"lt")
        value = '<';
    else if (name == u"gt")
        value = '>';
    else if (name == u"quot")
        value = '"';
    else if (terminated && !name.isEmpty())
        value = namedCharacter(QString::fromRawData(reinterpret_cast<const QChar *>(buffer), name.size()));
    if (!value)
        return std::nullopt;
    return CharacterReference{value, end + (terminated ? 1 : 0) - at};
}

}  // namespace

std::optional<CharacterReference> characterReferenceAt(QStringView text, qsizetype at) {
    return referenceAt(text, at);
}

std::optional<CharacterReference> characterReferenceAt(QByteArrayView text, qsizetype at) {
    return referenceAt(text, at);
}

QString decodeCharacterReferences(const QString &text) {
    if (!text.contains(u'&'))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const std::optional<CharacterReference> reference =
            text[i] == u'&' ? characterReferenceAt(QStringView(text), i) : std::nullopt;
        if (!reference) {
            out.append(text[i++]);
            continue;
        }
        out.append(QString::fromUcs4(&reference->character, 1));
        i += reference->length;
    }
    return out;
}

}  // namespace zelbrin
