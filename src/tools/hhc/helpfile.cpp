#include "helpfile.h"

#include "binarywriter.h"
#include "codepage.h"
#include "keywordindex.h"
#include "references.h"
#include "systemfiles.h"
#include "objectinstances.h"
#include "tocindex.h"
#include "topics.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

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
    Writer(const StagedProject &s, const chm::AnsiCodePage &codePage) : s_(s), cp_(codePage) {}

    // The files come in the order the help compiler fills #STRINGS in: windows, context
    // numbers, the contents' texts, topic titles, the contents' properties.
    InternalFiles write() {
        const QByteArray windowsFile = s_.windows.isEmpty() ? QByteArray() : chm::writeWindows(windows(), strings_);
        const QByteArray contextNumbers = contextTable();
        addFileTopics();
        const QByteArray contentsIndex = contentsLayout();
        const chm::KeywordIndexFiles keywords = keywordIndex();
        const chm::KeywordIndexFiles associative = associativeIndex();
        for (qsizetype t = 0; t < topics_.size(); ++t) {
            if (!topics_.hasTitle(quint32(t)) && !titles_.value(t).isEmpty())
                topics_.setTitle(quint32(t), ansi(titles_.value(t)));
        }
        const chm::TopicTable::Files topicFiles = topics_.write(strings_);
        const chm::SiteProperties site = siteProperties();
        const QByteArray indexHeader = chm::writeIndexHeader(s_.contents.stored.isEmpty() ? nullptr : &site,
                                                             quint32(topics_.size()), mergeFiles(), strings_);
        chm::SystemInfo system = systemInfo();
        system.keywords = !keywords.btree.isEmpty();
        system.associativeLinks = !associative.btree.isEmpty();
        if (system.keywords)
            system.indexFileHash = chm::urlHash(ansi(s_.index.written));
        if (!contentsIndex.isEmpty())
            system.contentsFileHash = chm::urlHash(ansi(s_.contents.written));
        system.indexHeader = indexHeader;

        add("/#SYSTEM", chm::writeSystem(system), false);
        if (!windowsFile.isEmpty())
            add("/#WINDOWS", windowsFile);
        if (!contextNumbers.isEmpty())
            add("/#IVB", contextNumbers);
        addKeywordIndex("/$WWKeywordLinks/", keywords);
        addKeywordIndex("/$WWAssociativeLinks/", associative);
        const QByteArray objects = chm::writeObjectInstances(s_.lcid, cp_.number);
        if (!objects.isEmpty())
            add("/$OBJINST", objects);
        add("/#IDXHDR", indexHeader);
        if (!contentsIndex.isEmpty())
            add("/#TOCIDX", contentsIndex);
        add("/#TOPICS", topicFiles.topics);
        add("/#URLTBL", topicFiles.urlTable);
        add("/#URLSTR", topicFiles.urlStrings);
        add("/#STRINGS", strings_.data());
        add("/#ITBITS", QByteArray(), false);
        for (const QString &k : keywords.shortened + associative.shortened)
            result_.warnings.append(QStringLiteral("keyword \"%1\" names more pages than its index entry "
                                                   "can hold; the first ones are kept").arg(k));
        for (qsizetype t = 0; t < topics_.size(); ++t)
            result_.topicTitles.append(titles_.value(t));
        return result_;
    }

private:
    QByteArray ansi(const QString &text) const { return chm::encodeAnsiLossy(text, cp_); }

    void add(const char *name, const QByteArray &data, bool compressed = true) {
        result_.files.append({QByteArray(name), data, compressed});
    }

    void addKeywordIndex(const QByteArray &folder, const chm::KeywordIndexFiles &index) {
        if (!index.btree.isEmpty()) {
            result_.files.append({folder + "BTree", index.btree, true});
            result_.files.append({folder + "Data", index.data, true});
            result_.files.append({folder + "Map", index.map, true});
        }
        result_.files.append({folder + "Property", chm::keywordProperty(!index.btree.isEmpty()), true});
    }

    void addFileTopics() {
        for (const HelpFilePage &page : s_.topicFiles) {
            const quint32 topic = topics_.add(ansi(page.name), chm::TopicTable::IsFile);
            result_.topicOf.insert(page.name, topic);
            topicByName_.insert(page.name.toLower(), topic);
            titles_.append(page.isSitemap ? QString() : page.title);
            pageTitles_.insert(topic, page.isSitemap ? QString() : page.title.simplified());
        }
    }

    // The topic a Local of the contents or the index leads to; an anchor or an address
    // outside the help file is a topic of its own.
    quint32 topicFor(const QString &local, const QString &title, quint16 flags) {
        QString url = local.trimmed();
        while (url.startsWith(u'/'))
            url.remove(0, 1);
        for (const QString &name : {url, QUrl::fromPercentEncoding(url.toUtf8())}) {
            const auto page = topicByName_.constFind(name.toLower());
            if (page != topicByName_.constEnd()) {
                topics_.addFlags(*page, flags);
                return *page;
            }
        }
        const quint32 topic = topics_.add(ansi(url), flags);
        topicByName_.insert(url.toLower(), topic);
        const auto base = topicByName_.constFind(withoutAnchor(url).toLower());
        if (base != topicByName_.constEnd())
            pageTitles_.insert(topic, pageTitles_.value(*base));
        titles_.append(!title.isEmpty() ? title
                       : base != topicByName_.constEnd() && *base < quint32(titles_.size()) ? titles_[*base]
                                                                                            : url);
        return topic;
    }

    // The contents as a tree (by the lists around each entry), laid out as the binary
    // contents; returns #TOCIDX when the project asks for it stored.
    QByteArray contentsLayout() {
        if (s_.contents.stored.isEmpty())
            return {};
        QList<chm::ContentsEntry> entries;
        QList<int> roots;
        QList<std::pair<int, int>> open;  // depth and entry of the entries that may take children
        for (const SitemapObject &o : s_.contents.objects) {
            if (o.type != "text/sitemap")
                continue;
            while (!open.isEmpty() && open.last().first >= o.depth)
                open.removeLast();
            chm::ContentsEntry e;
            QString text = o.value(QStringLiteral("name")).simplified();
            const QString local = o.value(QStringLiteral("local"));
            if (!local.trimmed().isEmpty()) {
                e.topic = topicFor(local, text, chm::TopicTable::InContents);
                // The binary contents shows each entry's own name; without it the help
                // compiler keeps the topic's title (its page's own where it has one), once.
                if (!s_.binaryContents) {
                    e.topicText = true;
                    if (!pageTitles_.value(quint32(e.topic)).isEmpty())
                        text = pageTitles_.value(quint32(e.topic));
                }
            }
            e.name = ansi(text);
            entries.append(e);
            const int at = int(entries.size() - 1);
            (open.isEmpty() ? roots : entries[open.last().second].children).append(at);
            open.append({o.depth, at});
        }
        const chm::ContentsLayout layout = chm::layOutContents(entries, roots, strings_);
        // Each topic takes the first entry that names it in the layout's order, and its caption.
        QList<std::pair<quint32, int>> placed;
        for (qsizetype e = 0; e < entries.size(); ++e)
            placed.append({layout.entryOffsets[e], int(e)});
        std::sort(placed.begin(), placed.end());
        QSet<qint64> done;
        for (const auto &[offset, e] : placed) {
            const qint64 topic = entries[e].topic;
            if (topic < 0 || done.contains(topic))
                continue;
            done.insert(topic);
            topics_.setContentsOffset(quint32(topic), offset);
            topics_.setTitle(quint32(topic), entries[e].name, layout.nameOffsets[e]);
            titles_[topic] = chm::decodeCharset(entries[e].name, cp_.iconvName).value_or(titles_[topic]);
        }
        return s_.binaryContents ? layout.file : QByteArray();
    }

    // The keyword index: the index file's keywords and those the pages place themselves under.
    chm::KeywordIndexFiles keywordIndex() {
        const HelpProject &p = *s_.project;
        if (p.hasOption(QStringLiteral("Binary Index")) && !isYes(p.option(QStringLiteral("Binary Index"))))
            return {};
        int top = INT_MAX;
        for (const SitemapObject &o : s_.index.objects) {
            if (o.type == "text/sitemap")
                top = std::min(top, o.depth);
        }
        QList<chm::Keyword> keywords;
        QList<qsizetype> levels;  // the keyword at each depth, by its place in keywords
        for (const SitemapObject &o : s_.index.objects) {
            if (o.type != "text/sitemap" || o.params.isEmpty())
                continue;
            chm::Keyword k;
            QString pendingName;
            bool haveKeyword = false;
            auto keywordIs = [&](const QString &text) {
                const int level = std::max(0, o.depth - top);
                levels.resize(std::min<qsizetype>(levels.size(), level));
                while (levels.size() < level) {  // a level skipped: its keyword has no name
                    keywords.append({QString(), {}, {}, levels.isEmpty() ? -1 : levels.last(), true});
                    levels.append(keywords.size() - 1);
                }
                k.name = text.simplified();
                k.parent = levels.isEmpty() ? -1 : levels.last();
                haveKeyword = true;
            };
            // The keyword is the entry's "Keyword" when it gives one (then every Name is a
            // topic's), else its first Name.
            if (const QString keyword = o.value(QStringLiteral("keyword")); !keyword.isEmpty())
                keywordIs(keyword);
            for (const auto &[key, value] : o.params) {
                if (key == u"name" && !haveKeyword) {
                    keywordIs(value);
                } else if (key == u"name") {
                    pendingName = value;
                } else if (key == u"local" && !value.trimmed().isEmpty()) {
                    // Doxygen writes an entry's Local before its Name.
                    k.topics.append(topicFor(value, pendingName, 0));
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
        keywords.append(pageKeywords(&PageKeywords::keywords));
        return sortedIndex(keywords);
    }

    // The associative index: the pages' ALink names.
    chm::KeywordIndexFiles associativeIndex() {
        return sortedIndex(pageKeywords(&PageKeywords::associative));
    }

    QList<chm::Keyword> pageKeywords(QStringList PageKeywords::*which) const {
        QList<chm::Keyword> keywords;
        for (const HelpFilePage &page : s_.topicFiles) {
            for (const QString &k : page.keywords.*which)
                keywords.append({{k}, {result_.topicOf.value(page.name)}, {}});
        }
        return keywords;
    }

    // A keyword keeps a topic as often as the index and the pages give it, as the help
    // compiler keeps it.
    chm::KeywordIndexFiles sortedIndex(const QList<chm::Keyword> &keywords) const {
        const QList<chm::Keyword> sorted = chm::mergeKeywords(keywords, QString::fromLatin1(cp_.locale), true);
        if (sorted.isEmpty())
            return {};
        return chm::writeKeywordIndex(sorted, s_.lcid, cp_.number);
    }

    chm::SystemInfo systemInfo() const {
        const HelpProject &p = *s_.project;
        chm::SystemInfo info;
        info.lcid = s_.lcid;
        if (s_.contents.recorded)
            info.contentsFile = ansi(s_.contents.written);
        if (s_.index.recorded)
            info.indexFile = ansi(s_.index.written);
        info.defaultTopic = ansi(s_.defaultTopic);
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
            // The help compiler marks the navigation pane's position as given by either of
            // the last two fields (a number of 0 is given too).
            number(18, 0x400, w.tabPosition);
            number(19, 0x400, w.notifyId);
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
        for (const SitemapObject &o : s_.contents.objects) {
            if (o.type != "text/site properties")
                continue;
            auto has = [&](const char *name) {
                for (const auto &param : o.params) {
                    if (param.first == QLatin1String(name))
                        return true;
                }
                return false;
            };
            auto number = [&](const char *name, std::optional<quint32> &into) {
                if (has(name))
                    into = sitemapNumber(o.value(QString::fromLatin1(name)));
            };
            auto text = [&](const char *name, std::optional<QByteArray> &into) {
                if (has(name))
                    into = ansi(o.value(QString::fromLatin1(name)));
            };
            if (has("imagetype"))
                site.folderImages = o.value(QStringLiteral("imagetype")).compare(u"Folder", Qt::CaseInsensitive) == 0;
            number("background", site.background);
            number("foreground", site.foreground);
            number("window styles", site.windowStyles);
            number("exwindow styles", site.extendedWindowStyles);
            if (has("font"))
                site.font = ansi(fontIn(o.value(QStringLiteral("font")), cp_));
            text("imagelist", site.imageList);
            text("framename", site.frameName);
            text("windowname", site.windowName);
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
                appendLe32(out, 0);  // the size of what follows, set below
            appendLe32(out, sitemapNumber(m.captured(2)));
            appendLe32(out, strings_.add(ansi(pageOf.value(m.captured(1)))));
        }
        if (!out.isEmpty())
            putLe32(out, 0, quint32(out.size() - 4));
        return out;
    }

    const StagedProject &s_;
    const chm::AnsiCodePage &cp_;
    chm::StringTable strings_;
    chm::TopicTable topics_;
    QHash<QString, quint32> topicByName_;  // lower-case stored name (or Local) -> topic
    QStringList titles_;                   // by topic; empty for none
    QHash<quint32, QString> pageTitles_;   // the <title> of a topic's page
    InternalFiles result_;
};

}  // namespace

InternalFiles writeInternalFiles(const StagedProject &staged, const chm::AnsiCodePage &codePage) {
    return Writer(staged, codePage).write();
}

}  // namespace zelbrin::hhc
