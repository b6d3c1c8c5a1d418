// Help files that HTML Help Workshop made, recompiled from their own files with the options
// HHW had (as #SYSTEM and #WINDOWS record them) and compared structure by structure
// through "hh -dump". What rightly differs is listed below, each with its reason.
#include "codepage.h"
#include "hhctesting.h"

#include <QDir>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace hhctest;

namespace {

QString bin(const QString &program) { return qEnvironmentVariable("ZELBRIN_BIN_DIR") + u'/' + program; }

QString runProgram(const QStringList &args, QString *out = nullptr) {
    QProcess p;
    p.start(args.first(), args.mid(1));
    if (!p.waitForFinished(300000))
        return args.first() + QStringLiteral(" did not finish");
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return args.join(u' ') + QStringLiteral(" failed: ") + QString::fromUtf8(p.readAllStandardError()).right(3000);
    return {};
}

// A dump as its sections' lines, by heading.
using Dump = QMap<QString, QStringList>;

Dump parseDump(const QString &text) {
    Dump d;
    QString section;
    for (const QString &line : text.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u'['))
            section = line.mid(1, line.size() - 2);
        else
            d[section].append(line);
    }
    return d;
}

// The text inside a dumped string: "a \"b\"" (#STRINGS 7) gives a "b".
QString unquoted(const QString &value) {
    const qsizetype open = value.indexOf(u'"');
    QString out;
    for (qsizetype i = open + 1; open >= 0 && i < value.size() && value[i] != u'"'; ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            if (value[i + 1] == u'x' && i + 3 < value.size()) {
                out += QChar(value.mid(i + 2, 2).toUShort(nullptr, 16));
                i += 3;
                continue;
            }
            ++i;
        }
        out += value[i];
    }
    return out;
}

// The value of "key: value" among lines (the first); empty when there is none.
QString field(const QStringList &lines, const QString &key) {
    for (const QString &l : lines) {
        const QString t = l.trimmed();
        if (t.startsWith(key + QStringLiteral(": ")))
            return t.mid(key.size() + 2);
    }
    return {};
}

QString record(const Dump &d, int code) {
    const QString key = QStringLiteral("record %1 (").arg(code);
    for (const QString &l : d.value(QStringLiteral("#SYSTEM"))) {
        if (l.trimmed().startsWith(key))
            return l.section(QStringLiteral("): "), 1);
    }
    return {};
}

// The project HHW compiled, as far as the help file tells it: the options #SYSTEM records,
// the windows of #WINDOWS (each field that its valid-fields mask says was given), the
// topics' files in topic order and every other stored file, the merge files of #IDXHDR and
// the context numbers of #IVB.
QString reconstructProject(const Dump &d, quint32 lcid) {
    QStringList p{QStringLiteral("[OPTIONS]")};
    p << QStringLiteral("Compiled file=") + unquoted(record(d, 6)) + QStringLiteral(".chm");
    const struct {
        int code;
        const char *option;
    } options[] = {{0, "Contents file"}, {1, "Index file"}, {2, "Default topic"}, {3, "Title"},
                   {5, "Default Window"}, {16, "Default Font"}};
    for (const auto &o : options) {
        if (!record(d, o.code).isEmpty())
            p << QString::fromLatin1(o.option) + u'=' + unquoted(record(d, o.code));
    }
    p << QStringLiteral("Language=0x%1").arg(lcid, 0, 16);
    if (field(d.value(QStringLiteral("#SYSTEM")), QStringLiteral("full-text search")) == u"1")
        p << QStringLiteral("Full-text search=Yes");
    if (d.contains(QStringLiteral("#TOCIDX")))
        p << QStringLiteral("Binary TOC=Yes");

    p << QString() << QStringLiteral("[WINDOWS]");
    const QStringList windows = d.value(QStringLiteral("#WINDOWS"));
    for (qsizetype at = 0; (at = windows.indexOf(QRegularExpression(QStringLiteral("^  window \\d+:$")), at)) >= 0; ++at) {
        const QStringList w = windows.mid(at + 1, 35);
        const quint32 valid = field(w, QStringLiteral("valid fields")).toUInt(nullptr, 16);
        auto text = [&](const char *key) -> QString { return u'"' + unquoted(field(w, QString::fromLatin1(key))) + u'"'; };
        auto number = [&](quint32 flag, const char *key) {
            return valid & flag ? field(w, QString::fromLatin1(key)) : QString();
        };
        QStringList f{text("caption"), text("contents file"), text("index file"), text("default topic"), text("home"),
                      text("jump 1 url"), text("jump 1 text"), text("jump 2 url"), text("jump 2 text"),
                      number(0x2, "navigation style"), number(0x20, "navigation width"), number(0x100, "buttons"),
                      number(0x10, "rectangle"), number(0x4, "styles"), number(0x8, "extended styles"),
                      number(0x40, "show state"), number(0x200, "navigation closed"),
                      number(0x2000, "default pane"), QString(), number(0x400, "notify id")};
        p << unquoted(field(w, QStringLiteral("name"))) + u'=' + f.join(u',');
    }
    // The pages [FILES] named come before the contents and index files among the topics;
    // those after them came from the contents, the index or links.
    p << QString() << QStringLiteral("[FILES]");
    static const QRegularExpression topic(QStringLiteral("^  topic \\d+: .*flags (\\d+), .*url (\"(?:[^\"\\\\]|\\\\.)*\"), title (.*)$"));
    // A page without a title is a page all the same.
    static const QRegularExpression page(QStringLiteral("\\.html?$"), QRegularExpression::CaseInsensitiveOption);
    for (const QString &l : d.value(QStringLiteral("#TOPICS"))) {
        const auto m = topic.match(l);
        if (!m.hasMatch())
            continue;
        if (m.captured(3) == u"none" && !unquoted(m.captured(2)).contains(page))  // a contents or index file
            break;
        if (m.captured(1).toInt() & 2)
            p << unquoted(m.captured(2));
    }
    QStringList topics;
    for (const QString &l : d.value(QStringLiteral("#TOPICS")))
        topics << unquoted(topic.match(l).captured(2));
    // Then the files no page links in a way hhc follows (scripts name some).
    static const QRegularExpression content(QStringLiteral("^  /(.*): length \\d+, digest"));
    for (const QString &l : d.value(QStringLiteral("content files"))) {
        const QString file = content.match(l).captured(1);
        if (!file.isEmpty() && !topics.contains(file))
            p << file;
    }
    QStringList merge;
    for (const QString &l : d.value(QStringLiteral("#IDXHDR"))) {
        if (l.trimmed().startsWith(QLatin1String("merge file ")))
            merge << unquoted(l);
    }
    if (!merge.isEmpty())
        p << QString() << QStringLiteral("[MERGE FILES]") << merge;
    QStringList alias, map;
    static const QRegularExpression context(QStringLiteral("^  context (\\d+): (.*)$"));
    for (const QString &l : d.value(QStringLiteral("#IVB"))) {
        if (const auto m = context.match(l); m.hasMatch()) {
            alias << QStringLiteral("IDH_%1=%2").arg(alias.size()).arg(unquoted(m.captured(2)));
            map << QStringLiteral("#define IDH_%1 %2").arg(map.size()).arg(m.captured(1));
        }
    }
    if (!alias.isEmpty())
        p << QString() << QStringLiteral("[ALIAS]") << alias << QString() << QStringLiteral("[MAP]") << map;
    return p.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

// The help compiler takes its own keyword objects (the ALink names a page gives) out of the
// pages it stores; they are put back, one object per page, from the associative index.
void restoreAssociativeLinks(const Dump &d, const QString &unpacked, quint32 lcid) {
    static const QRegularExpression entry(QStringLiteral("^    (\".*\"): see-also.*topics \\[(.*)\\], then"));
    static const QRegularExpression topic(QStringLiteral("\\d+ (\"(?:[^\"\\\\]|\\\\.)*\")"));
    QMap<QString, QString> objects;  // page -> params
    for (const QString &l : d.value(QStringLiteral("/$WWAssociativeLinks/BTree"))) {
        const auto m = entry.match(l);
        if (!m.hasMatch())
            continue;
        QString keyword = unquoted(m.captured(1));
        keyword.replace(u'&', QStringLiteral("&amp;")).replace(u'"', QStringLiteral("&quot;"));
        for (auto t = topic.globalMatch(m.captured(2)); t.hasNext();)
            objects[unquoted(t.next().captured(1))] += QStringLiteral("<param name=\"ALink Name\" value=\"%1\">").arg(keyword);
    }
    for (auto it = objects.begin(); it != objects.end(); ++it) {
        const QString page = unpacked + u'/' + it.key();
        writeFile(page, zelbrin::chm::encodeAnsiLossy(
                            QStringLiteral("<OBJECT type=\"application/x-oleobject\" "
                                           "classid=\"clsid:1e2a7bd0-dab9-11d0-b93a-00c04fc99f9e\">") +
                                it.value() + QStringLiteral("</OBJECT>"),
                            zelbrin::chm::ansiCodePage(lcid)) +
                            readFile(page));
    }
}

// What rightly differs between HHW's help file and ours: a pattern over "section|line"
// whose match is replaced in both dumps before they are compared, and why.
struct Allowance {
    const char *pattern;
    const char *replacement;
    const char *reason;
};

const Allowance kAllowances[] = {
    {"^ITSF header\\|  time stamp: .*", "", "the time of compiling"},
    {"^ITSF header\\|  language: .*", "",
     "HHW records the compiling machine's locale; we record the project's language (a Chinese project is "
     "compiled on a Chinese system)"},
    {"^header section 0\\|  file size: .*", "", "the LZX encoders differ, and so does the full-text index"},
    {"^directory\\|(.*): section (\\d), offset \\d+, ", "directory|\\1: section \\2, ",
     "offsets follow the compressed section's size, the full-text index and HHW's unnamed second copy of a "
     "window's contents file"},
    {"^directory\\|  entries: .*", "", "HHW stores an empty $FIftiMain without search (the full-text index)"},
    {"^directory\\|  /\\$FIftiMain: .*", "", "the full-text index is compared elsewhere"},
    {"^directory\\|  /#SYSTEM: .*", "", "its length follows the title record (see allowedDifference)"},
    {"^directory\\|  ::DataSpace/Storage/MSCompressed/Content: .*", "", "the LZX encoders differ"},
    {"^directory\\|  ::DataSpace/.*/ResetTable: .*", "",
     "our reset table ends with the compressed length as one more entry (7-Zip's check of the entry count)"},
    {"^::DataSpace/Storage/MSCompressed/SpanInfo\\|.*", "", "the full-text index differs"},
    {"^LZX reset table\\|  (entries|uncompressed length|compressed length|  frame \\d+): .*", "",
     "the LZX encoders differ"},
    {"^#SYSTEM\\|  record 10 \\(time\\): .*", "", "the time of compiling"},
    {"^#SYSTEM\\|    time: .*", "", "the time of compiling"},
    {"^#IDXHDR\\|  time stamp: .*", "", "the time of compiling"},
    {"^#IDXHDR\\|  unknown at 0x4C: .*", "", "HHW leaves whatever was in memory there (0x0012D69C in one file)"},
    {"^#URLSTR\\|  first byte: .*", "", "HHW leaves whatever was in memory there ('B' in one file)"},
    {"^#TOCIDX\\|  topic entry \\d+: .*", "",
     "the table after the topic list: its #TOPICS offsets and counts follow no rule across HHW's files, and "
     "one holds stray bytes of a file name"},
    {"^\\$FIftiMain\\|.*", "", "the full-text index is compared elsewhere"},
    {"^(directory|content files)\\|  /.* \\(in [^)]+\\)(:.*)?$", "",
     "a file that #SYSTEM or a window names by a non-ASCII name is stored a second time under its code-page "
     "bytes, for readers that look names up by those bytes (python3-chm, xchm, kchmviewer)"},
    {"^(directory|content files)\\|  (/[^:]+/[^/:]+\\.hh[ck]): .*", "\\1|  \\2",
     "the Locals of a contents or index file in a folder are stored as names from \"/\": kchmviewer reads every "
     "Local from the top of the help file, and \"../page%201.html\" or a name in that folder finds nothing there"},
};

// HHW does not take a page that a contents file in a folder names by a path out of that
// folder ("../page%201.html") for the page it already holds: it gives the page a second topic (flag 4, the entry's caption, no
// full-text index) and leaves the page's own topic (flag 2) without a title. We keep one topic
// with the caption (flags 6), so search and the index show the page once, with its title.
// Where HHW's file has such pairs, topics are compared by their contents offset, URL and title.
const Allowance kSecondTopicAllowances[] = {
    {"^#TOPICS\\|  topic \\d+: contents offset 0, flags 2, unknown 0, url .*, title none$", "",
     "the page's own topic, without a title, beside its second topic"},
    {"^#TOPICS\\|  topic \\d+: (contents offset \\d+), flags [46], ", "#TOPICS|  topic: \\1, ",
     "the second topic is the only one in ours, with flags 6, and numbers shift"},
    {"^#(TOPICS|IDXHDR)\\|  topics: .*", "", "HHW counts the second topics"},
    {"^#(URLTBL|URLSTR)\\|.*", "", "HHW has an entry for each second topic"},
    {"^directory\\|  /#(TOPICS|URLTBL|URLSTR): .*", "", "their lengths follow the second topics"},
};

// Whether HHW gave a page a second topic for its contents entry (see above).
bool hasSecondTopics(const Dump &d) {
    static const QRegularExpression topic(QStringLiteral("^  topic \\d+: .*flags (\\d+), .*(url \".*), title (.*)$"));
    QStringList untitled, contents;
    for (const QString &l : d.value(QStringLiteral("#TOPICS"))) {
        const auto m = topic.match(l);
        if (m.captured(1) == u"2" && m.captured(3) == u"none")
            untitled << m.captured(2);
        else if (m.captured(1) == u"4")
            contents << m.captured(2);
    }
    for (const QString &url : std::as_const(contents)) {
        if (untitled.contains(url))
            return true;
    }
    return false;
}

// Lines of a whole dump as "section|line", with the allowances applied; lines that end up
// empty after their section are dropped.
using Rewrites = QList<std::pair<QRegularExpression, QString>>;

template <size_t N>
Rewrites rewrites(const Allowance (&table)[N], Rewrites list = {}) {
    for (const Allowance &a : table)
        list.append({QRegularExpression(QString::fromLatin1(a.pattern)), QString::fromLatin1(a.replacement)});
    return list;
}

QStringList comparable(const Dump &d, bool secondTopics) {
    static const Rewrites general = rewrites(kAllowances);
    static const Rewrites withSecondTopics = rewrites(kSecondTopicAllowances, general);
    QStringList lines;
    for (auto it = d.begin(); it != d.end(); ++it) {
        for (const QString &l : it.value()) {
            QString line = it.key() + u'|' + l;
            for (const auto &[pattern, replacement] : secondTopics ? withSecondTopics : general)
                line.replace(pattern, replacement);
            if (!line.endsWith(u'|') && !line.isEmpty())
                lines.append(line);
        }
    }
    return lines;
}

// The lines only one side has, as "- line" (HHW's) and "+ line" (ours).
QStringList differences(const QStringList &theirs, const QStringList &ours) {
    QMap<QString, int> count;
    for (const QString &l : theirs)
        ++count[l];
    for (const QString &l : ours)
        --count[l];
    QStringList out;
    for (auto it = count.begin(); it != count.end(); ++it) {
        for (int i = 0; i < it.value(); ++i)
            out << QStringLiteral("- ") + it.key();
        for (int i = 0; i > it.value(); --i)
            out << QStringLiteral("+ ") + it.key();
    }
    return out;
}

// Differences that are allowed for a reason that depends on the file: a page without a
// charset declaration, which we store in the code page with one, and a title that we take
// from the window caption where the project gives none, and a default topic written with
// percent escapes, which we record by the name the page is stored under: CHMLib and
// python3-chm look it up byte for byte, xchm undoes only a few escapes.
bool allowedDifference(const QString &line, const QString &unpacked, const Dump &theirs, const Dump &ours) {
    static const QRegularExpression page(
        QStringLiteral("^[-+] (?:content files|directory)\\|  (/.*\\.html?): (?:section 1, )?length"));
    if (const auto m = page.match(line); m.hasMatch()) {
        const QByteArray bytes = readFile(unpacked + m.captured(1));
        return !bytes.left(4096).toLower().contains("charset");
    }
    if (line.startsWith(QLatin1String("+ #SYSTEM|  record 3 (title): ")) && record(theirs, 3).isEmpty())
        return true;  // xchm shows #SYSTEM's title, not the window's caption
    if (line.contains(QLatin1String("|  record 2 (default topic): "))) {
        const QString written = unquoted(record(theirs, 2));
        return written.contains(u'%') && unquoted(record(ours, 2)) == QUrl::fromPercentEncoding(written.toUtf8());
    }
    return false;
}

QStringList referenceFiles() {
    QStringList files;
    const QString source = qEnvironmentVariable("ZELBRIN_SOURCE_DIR");
    const QStringList folders{source + QStringLiteral("/../shared/chm-references"),
                              QStringLiteral("/work/shared/chm-references"),
                              source + QStringLiteral("/src/tools/hhc/tests/references")};
    for (const QString &folder : folders) {
        for (const QString &f : QDir(folder).entryList({QStringLiteral("*.chm")}, QDir::Files, QDir::Name)) {
            const QString path = QDir::cleanPath(folder + u'/' + f);
            bool known = false;
            for (const QString &have : std::as_const(files))
                known = known || QFileInfo(have).fileName() == f;
            if (!known)
                files << path;
        }
    }
    return files;
}

}  // namespace

TEST(HtmlHelpWorkshopReferences, RecompiledFromTheirOwnFilesTheyMatchStructureByStructure) {
    const QStringList references = referenceFiles();
    ASSERT_GE(references.size(), 3) << "../shared/chm-references not found beside the checkout";
    for (const QString &reference : references) {
        SCOPED_TRACE(reference.toStdString());
        QTemporaryDir tmp;
        const QString unpacked = tmp.path() + QStringLiteral("/project");
        ASSERT_EQ(runProgram({bin(QStringLiteral("hh")), QStringLiteral("-decompile"), unpacked, reference}), QString());
        QString theirText;
        ASSERT_EQ(runProgram({bin(QStringLiteral("hh")), QStringLiteral("-dump"), reference}, &theirText), QString());
        const Dump theirs = parseDump(theirText);
        const quint32 lcid = field(theirs.value(QStringLiteral("#SYSTEM")), QStringLiteral("language")).toUInt(nullptr, 16);
        const QString hhp = unpacked + QStringLiteral("/project.hhp");
        writeFile(hhp, zelbrin::chm::encodeAnsiLossy(reconstructProject(theirs, lcid), zelbrin::chm::ansiCodePage(lcid)));
        restoreAssociativeLinks(theirs, unpacked, lcid);
        const HhcRun run = runHhc(hhp);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        QString ourText;
        const QString ours = unpacked + u'/' + unquoted(record(theirs, 6)) + QStringLiteral(".chm");
        ASSERT_EQ(runProgram({bin(QStringLiteral("hh")), QStringLiteral("-dump"), ours}, &ourText), QString());
        const Dump ourDump = parseDump(ourText);
        const bool secondTopics = hasSecondTopics(theirs);
        QStringList unexplained;
        for (const QString &d : differences(comparable(theirs, secondTopics), comparable(ourDump, secondTopics))) {
            if (!allowedDifference(d, unpacked, theirs, ourDump))
                unexplained << d;
        }
        EXPECT_TRUE(unexplained.isEmpty()) << unexplained.join(u'\n').toStdString();
    }
}
