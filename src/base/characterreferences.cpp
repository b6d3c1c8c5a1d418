#include "characterreferences.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace zelbrin::chm {
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

}  // namespace

char32_t namedCharacter(QStringView name) {
    static const QHash<QString, char32_t> table = buildTable();
    return table.value(name.toString(), 0);
}

}  // namespace zelbrin::chm
