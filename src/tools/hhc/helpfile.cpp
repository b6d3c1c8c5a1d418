#include "helpfile.h"

#include "binarywriter.h"
#include "codepage.h"
#include "keywordindex.h"
#include "references.h"
#include "systemfiles.h"
#include "topics.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <climits>

namespace zelbrin::hhc {
namespace {

bool isYes(const QString &value) {
    const QString v = value.trimmed().toLower();
    return v == u"yes" || v == u"1" || v == u"true" || v == u"on";
}

QString withoutAnchor(const QString &local) {
    const qsizetype cut = local.indexOf(u'#');
    QString path = cut < 0 ? local : local.left(cut);
    while (path.startsWith(u'/'))
        path.remove(0, 1);
    return path;
}

// Sitemap numbers are written in decimal or as 0x... hexadecimal.
quint32 sitemapNumber(const QString &text) {
    const QString t = text.trimmed();
    bool ok = false;
    const quint32 v = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toUInt(&ok, 16)
                                                                             : t.toUInt(&ok, 10);
    return ok ? v : 0;
}

// A font "face,size,charset". The character set 0 (ANSI) that help projects commonly
// give means the ANSI code page of the help file's language; readers take the character
// set to decode the help file's texts, so it is recorded as that code page's.
QString fontIn(const QString &font, const chm::AnsiCodePage &codePage) {
    QStringList parts = font.split(u',');
    if (parts.size() >= 3 && parts[2].trimmed() == u"0" && codePage.fontCharset != 0)
        parts[2] = QString::number(codePage.fontCharset);
    return parts.join(u',');
}

class Writer {
public:
    Writer(const StagedProject &s, const chm::AnsiCodePage &codePage)
        : s_(s), cp_(codePage), topics_(strings_) {}

    InternalFiles write() {
        addPageTopics();
        const chm::KeywordIndexFiles keywords = keywordIndex();
        chm::SystemInfo system = systemInfo();
        system.binaryIndex = !keywords.btree.isEmpty();
        system.keywords = keywordCount_ > 0;
        if (!s_.contentsName.isEmpty())
            system.indexHeader = chm::writeIndexHeader(siteProperties(), quint32(topics_.size()), mergeFiles(), strings_);
        add("/#SYSTEM", chm::writeSystem(system), false);
        if (!s_.windows.isEmpty())
            add("/#WINDOWS", chm::writeWindows(windows(), strings_));
        if (!system.indexHeader.isEmpty())
            add("/#IDXHDR", system.indexHeader);
        const QByteArray contextNumbers = contextTable();
        if (!contextNumbers.isEmpty())
            add("/#IVB", contextNumbers);
        if (!keywords.btree.isEmpty()) {
            add("/$WWKeywordLinks/BTree", keywords.btree);
            add("/$WWKeywordLinks/Data", keywords.data);
            add("/$WWKeywordLinks/Map", keywords.map);
            add("/$WWKeywordLinks/Property", keywords.property);
            // No associative keywords: their index holds only its (empty) properties.
            add("/$WWAssociativeLinks/Property", QByteArray(4, '\0'));
        }
        for (const QString &k : keywords.shortened)
            result_.warnings.append(QStringLiteral("keyword \"%1\" names more pages than its index entry "
                                                   "can hold; the first ones are kept").arg(k));
        add("/#TOPICS", topics_.topics());
        add("/#URLTBL", topics_.urlTable());
        add("/#URLSTR", topics_.urlStrings());
        add("/#STRINGS", strings_.data());  // last: the others add their texts to it
        return result_;
    }

private:
    QByteArray ansi(const QString &text) const { return chm::encodeAnsiLossy(text, cp_); }

    void add(const char *name, const QByteArray &data, bool compressed = true) {
        result_.files.append({QByteArray(name), data, compressed});
    }

    void addPageTopics() {
        // The contents' caption of a page stands in for a missing <title>.
        QHash<QString, QString> captions;
        for (const SitemapObject &o : s_.contents) {
            const QString local = withoutAnchor(o.value(QStringLiteral("local")));
            const QString name = o.value(QStringLiteral("name")).simplified();
            if (!local.isEmpty() && !name.isEmpty() && !captions.contains(local))
                captions.insert(local, name);
            if (!local.isEmpty())
                inContents_.insert(local);
        }
        for (const HelpFilePage &page : s_.pages) {
            QString title = page.title;
            if (title.isEmpty())
                title = captions.value(page.name);
            if (title.isEmpty())
                title = QFileInfo(page.source).completeBaseName();
            if (title.isEmpty())
                title = QFileInfo(page.name).completeBaseName();
            const quint32 topic = topics_.add(page.name.toLatin1(), ansi(title), inContents_.contains(page.name));
            topicOf_.insert(page.name, topic);
            result_.topicTitles.append(title);
        }
    }

    // The topic a Local of the index leads to; an anchor or an address outside the help
    // file is a topic of its own.
    quint32 topicFor(const QString &local, const QString &name) {
        QString url = local.trimmed();
        while (url.startsWith(u'/'))
            url.remove(0, 1);
        const auto page = topicOf_.constFind(url);
        if (page != topicOf_.constEnd())
            return *page;
        const auto extra = topicOf_.constFind(local);
        if (extra != topicOf_.constEnd())
            return *extra;
        const auto base = topicOf_.constFind(withoutAnchor(url));
        const QString title = base != topicOf_.constEnd() ? result_.topicTitles.value(qsizetype(*base)) : name;
        const quint32 topic = topics_.add(url.toLatin1(), ansi(title.isEmpty() ? url : title), false);
        topicOf_.insert(local, topic);
        return topic;
    }

    chm::KeywordIndexFiles keywordIndex() {
        const HelpProject &p = *s_.project;
        if (s_.indexName.isEmpty() ||
            (p.hasOption(QStringLiteral("Binary Index")) && !isYes(p.option(QStringLiteral("Binary Index")))))
            return {};
        int top = INT_MAX;
        for (const SitemapObject &o : s_.index) {
            if (o.type == "text/sitemap")
                top = std::min(top, o.depth);
        }
        QList<chm::Keyword> keywords;
        QList<qsizetype> levels;  // the keyword at each depth, by its place in keywords
        for (const SitemapObject &o : s_.index) {
            if (o.type != "text/sitemap" || o.params.isEmpty())
                continue;
            chm::Keyword k;
            QString pendingName;
            bool haveKeyword = false;
            for (const auto &[key, value] : o.params) {
                if (key == u"name" && !haveKeyword) {
                    const int level = std::max(0, o.depth - top);
                    levels.resize(std::min<qsizetype>(levels.size(), level));
                    while (levels.size() < level) {  // a level skipped: its keyword has no name
                        keywords.append({QString(), {}, {}, levels.isEmpty() ? -1 : levels.last(), true});
                        levels.append(keywords.size() - 1);
                    }
                    k.name = value.simplified();
                    k.parent = levels.isEmpty() ? -1 : levels.last();
                    haveKeyword = true;
                } else if (key == u"name") {
                    pendingName = value;
                } else if (key == u"local" && haveKeyword && !value.trimmed().isEmpty()) {
                    const quint32 t = topicFor(value, pendingName);
                    if (!k.topics.contains(t))
                        k.topics.append(t);
                    pendingName.clear();
                } else if (key == u"see also" && haveKeyword && !value.trimmed().isEmpty()) {
                    k.seeAlso.append(value.simplified());
                }
            }
            if (haveKeyword) {
                // A keyword without a name still holds its level for those below it.
                if (k.name.isEmpty())
                    k = {QString(), {}, {}, k.parent, true};
                keywords.append(k);
                levels.append(keywords.size() - 1);
            }
        }
        const QList<chm::Keyword> sorted = chm::mergeKeywords(keywords, QString::fromLatin1(cp_.locale));
        keywordCount_ = sorted.size();
        if (sorted.isEmpty())
            return {};
        return chm::writeKeywordIndex(sorted, s_.lcid, cp_.number);
    }

    chm::SystemInfo systemInfo() const {
        const HelpProject &p = *s_.project;
        chm::SystemInfo info;
        info.lcid = s_.lcid;
        info.doubleByte = cp_.doubleByte;
        info.contentsFile = s_.contentsName.toLatin1();
        info.indexFile = s_.indexName.toLatin1();
        info.defaultTopic = s_.defaultTopic.toLatin1();
        QString title = p.option(QStringLiteral("Title"));
        // Readers that show the help file's title rather than the window caption (xchm)
        // then show the project name as well.
        if (title.isEmpty() && p.defaultWindow())
            title = p.defaultWindow()->field(WindowDefinition::Caption);
        info.title = ansi(title);
        info.defaultWindow = ansi(p.option(QStringLiteral("Default Window")));
        info.compiledName = ansi(QFileInfo(s_.compiledFile).completeBaseName().toLower());
        info.defaultFont = ansi(fontIn(p.option(QStringLiteral("Default Font")), cp_));
        info.fullTextSearch = s_.fullTextSearch;
        return info;
    }

    QList<chm::WindowInfo> windows() const {
        QList<chm::WindowInfo> list;
        for (const WindowDefinition &d : s_.windows) {
            chm::WindowInfo w;
            w.name = ansi(d.name);
            w.caption = ansi(d.field(WindowDefinition::Caption));
            w.contents = ansi(d.field(WindowDefinition::Contents));
            w.index = ansi(d.field(WindowDefinition::Index));
            w.defaultTopic = ansi(d.field(WindowDefinition::DefaultTopic));
            w.home = ansi(d.field(WindowDefinition::Home));
            w.jump1Url = ansi(d.field(WindowDefinition::Jump1Url));
            w.jump1Text = ansi(d.field(6));
            w.jump2Url = ansi(d.field(WindowDefinition::Jump2Url));
            w.jump2Text = ansi(d.field(8));
            // The numbers the project gives, each with the flag that tells the viewer it is set.
            auto number = [&](int field, quint32 flag, quint32 &into) {
                const QString text = d.field(field).trimmed();
                if (text.isEmpty())
                    return;
                into = sitemapNumber(text);
                w.validFields |= flag;
            };
            number(9, 0x2, w.navigationStyle);
            number(10, 0x20, w.navigationWidth);
            number(11, 0x100, w.buttons);
            number(13, 0x4, w.styles);
            number(14, 0x8, w.extendedStyles);
            number(15, 0x40, w.showState);
            number(16, 0x200, w.navigationClosed);
            number(17, 0x2000, w.defaultPane);
            number(18, 0x400, w.tabPosition);
            number(19, 0, w.notifyId);
            // A style of 0 is no style: leave the viewer's own window styles in place.
            if (w.styles == 0)
                w.validFields &= ~0x4u;
            if (w.extendedStyles == 0)
                w.validFields &= ~0x8u;
            static const QRegularExpression rect(QStringLiteral("^\\[\\s*(-?\\d+)\\s*,\\s*(-?\\d+)\\s*,\\s*(-?\\d+)\\s*,"
                                                                "\\s*(-?\\d+)\\s*\\]$"));
            const auto m = rect.match(d.field(12).trimmed());
            if (m.hasMatch()) {
                w.left = m.captured(1).toInt();
                w.top = m.captured(2).toInt();
                w.right = m.captured(3).toInt();
                w.bottom = m.captured(4).toInt();
                w.validFields |= 0x10;
            }
            list.append(w);
        }
        return list;
    }

    chm::SiteProperties siteProperties() const {
        chm::SiteProperties site;
        for (const SitemapObject &o : s_.contents) {
            if (o.type != "text/site properties")
                continue;
            site.folderImages = o.value(QStringLiteral("imagetype")).compare(u"Folder", Qt::CaseInsensitive) == 0;
            site.background = sitemapNumber(o.value(QStringLiteral("background")));
            site.foreground = sitemapNumber(o.value(QStringLiteral("foreground")));
            site.windowStyles = sitemapNumber(o.value(QStringLiteral("window styles")));
            site.extendedWindowStyles = sitemapNumber(o.value(QStringLiteral("exwindow styles")));
            site.font = ansi(fontIn(o.value(QStringLiteral("font")), cp_));
            site.imageList = ansi(o.value(QStringLiteral("imagelist")));
            site.frameName = ansi(o.value(QStringLiteral("framename")));
            site.windowName = ansi(o.value(QStringLiteral("windowname")));
            break;
        }
        return site;
    }

    QList<QByteArray> mergeFiles() const {
        QList<QByteArray> files;
        for (const QString &f : s_.project->mergeFiles)
            files.append(ansi(f));
        return files;
    }

    // #IVB: the context numbers of [MAP] with the pages [ALIAS] gives them.
    QByteArray contextTable() {
        QHash<QString, QString> pageOf;
        for (const QString &line : s_.aliases)
            pageOf.insert(line.section(u'=', 0, 0).trimmed(), line.section(u'=', 1));
        static const QRegularExpression define(QStringLiteral("^(?:#define\\s+)?([A-Za-z_][\\w.]*)\\s*(?:=\\s*|\\s+)"
                                                              "(0x[0-9A-Fa-f]+|\\d+)"));
        QByteArray out;
        for (const QString &line : s_.project->map) {
            const auto m = define.match(line.trimmed());
            if (!m.hasMatch() || !pageOf.contains(m.captured(1)))
                continue;
            if (out.isEmpty())
                chm::appendLe32(out, 0);  // the size of what follows, set below
            chm::appendLe32(out, sitemapNumber(m.captured(2)));
            chm::appendLe32(out, strings_.add(pageOf.value(m.captured(1)).toLatin1()));
        }
        if (!out.isEmpty())
            chm::putLe32(out, 0, quint32(out.size() - 4));
        return out;
    }

    const StagedProject &s_;
    const chm::AnsiCodePage &cp_;
    chm::StringTable strings_;
    chm::TopicTable topics_;
    QHash<QString, quint32> topicOf_;  // staged name (or index Local) -> topic
    QSet<QString> inContents_;
    qsizetype keywordCount_ = 0;
    InternalFiles result_;
};

}  // namespace

InternalFiles writeInternalFiles(const StagedProject &staged, const chm::AnsiCodePage &codePage) {
    return Writer(staged, codePage).write();
}

}  // namespace zelbrin::hhc
