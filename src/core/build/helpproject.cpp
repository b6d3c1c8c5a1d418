#include "helpproject.h"

#include "atomicfile.h"
#include "builderror.h"
#include "structuretree.h"
#include "textencoding.h"
#include "topicsplitter.h"

#include <QCryptographicHash>

#include <algorithm>

namespace zelbrin {
namespace {

const QString kFont = QStringLiteral("宋体,9,0");
const QString kCrLf = QStringLiteral("\r\n");
// A file name longer than this many UTF-8 bytes is refused by Linux file systems.
constexpr qsizetype kNameMax = 255;

// Leading and trailing characters up to the blank go, as the help-file tools trim.
QString trimBlanks(const QString &s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s[b].unicode() <= 0x20)
        ++b;
    while (e > b && s[e - 1].unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

QString nameParam(const QString &value) {
    return QStringLiteral("<param name=\"Name\" value=\"") + value + QStringLiteral("\">");
}

QString localParam(const QString &value) {
    return QStringLiteral("<param name=\"Local\" value=\"") + value + QStringLiteral("\">");
}

const QString kSitemapObject = QStringLiteral("<OBJECT type=\"text/sitemap\">");
const QString kFolderImage = QStringLiteral("<param name=\"ImageNumber\" value=\"1\">");

// The help file's longest internal name (CHMLib's limit), and what a page's pictures add to
// its name ("<stem>_htm_<16 hex>.jpeg", "<stem>_htm_files/slide<n>.jpg") plus a suffix
// "_<n>" that a page name may get.
constexpr qsizetype kLongestInternalName = 512;
constexpr qsizetype kCompanionRoom = 32 + 8;
const QString kInternalHtmlFolder = QStringLiteral("/html/");

QString shortFolderName(const QString &folder) {
    return u'~' +
           QString::fromLatin1(QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16)) +
           u'/';
}

// "name.htm" -> "name_<n>.htm"
QString numberedName(const QString &name, int n) {
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString suffix = u'_' + QString::number(n);
    return dot < 0 ? QString(name + suffix) : QString(name.left(dot) + suffix + name.mid(dot));
}

// What the names of a split page's later pages begin with, in lower case.
QString topicPartPrefix(const QString &pageName) {
    QString first = topicPageFileName(pageName, 0).toLower();
    first.chop(QStringLiteral("0.htm").size());
    return first;
}

bool isTopicPartName(const QString &lowerName, const QString &prefix) {
    if (!lowerName.startsWith(prefix) || !lowerName.endsWith(QStringLiteral(".htm")))
        return false;
    const QString number = lowerName.mid(prefix.size(), lowerName.size() - prefix.size() - 4);
    return !number.isEmpty() && std::all_of(number.begin(), number.end(), [](QChar c) { return c.isDigit(); });
}

}  // namespace

QString contentsCaption(const TreeNode *node) {
    return node->hasChildren() ? node->caption : bareFileName(node->caption);
}

QString bareFileName(const QString &path) {
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

QString safeFolderName(const QString &caption) {
    if (caption.isEmpty())
        return QStringLiteral("_");
    if (caption == u"." || caption == u"..")
        return u'_' + caption;
    QString name = caption;
    for (QChar &c : name)
        if (c == u'/' || c == u'\\' || c.category() == QChar::Other_Control)
            c = u'_';
    // A name that trims differently from its caption would not survive a round trip
    // through tools that trim; mark such blanks instead of dropping them.
    for (qsizetype i = 0; i < name.size() && name[i].isSpace(); ++i)
        name[i] = u'_';
    for (qsizetype i = name.size() - 1; i >= 0 && name[i].isSpace(); --i)
        name[i] = u'_';
    if (name.toUtf8().size() > kNameMax) {
        const QString tag = u'~' + QString::fromLatin1(QCryptographicHash::hash(
                                                           caption.toUtf8(), QCryptographicHash::Sha1)
                                                           .toHex()
                                                           .left(8));
        qsizetype bytes = 0, keep = 0;
        while (keep < name.size()) {
            const qsizetype step = name[keep].isHighSurrogate() && keep + 1 < name.size() ? 2 : 1;
            const qsizetype size = name.mid(keep, step).toUtf8().size();
            if (bytes + size > kNameMax - tag.size())
                break;
            bytes += size;
            keep += step;
        }
        name = name.left(keep) + tag;
    }
    return name;
}

QString catalogPath(const TreeNode *node) {
    QString path;
    for (const TreeNode *p = node ? node->parent() : nullptr; p; p = p->parent())
        path.prepend(safeFolderName(p->caption) + u'/');
    return path;
}

QString pageFileName(const QString &link) {
    const QString name = link.mid(link.lastIndexOf(u'/') + 1);
    if (name.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive))
        return name;
    return bareFileName(link) + QStringLiteral(".htm");
}

PageLayout::PageLayout(const StructureModel &tree, const TopicSettings &project) {
    // Parents come before their children, so a parent's folder is known when a child's is
    // worked out.
    tree.forEach([&](const TreeNode *node) {
        if (!node->hasChildren())
            return true;
        const QString folder = childFolder(node->parent()) + safeFolderName(node->caption) + u'/';
        qsizetype longest = -1;
        for (int i = 0; i < node->childCount(); ++i) {
            if (!node->child(i)->link.isEmpty())
                longest = std::max(longest, pageFileName(node->child(i)->link).toUtf8().size());
        }
        const bool tooLong = longest >= 0 && kInternalHtmlFolder.size() + folder.toUtf8().size() + longest +
                                                      kCompanionRoom > kLongestInternalName;
        folders_.insert(node, tooLong ? shortFolderName(folder) : folder);
        return true;
    });

    // Page names in one folder, compared without regard to case as help viewers look them
    // up: the names pages have, and which document has each first.
    struct Folder {
        QHash<QString, QString> firstLink;
        QHash<QString, QString> given;  // link -> name given to a later document
        QList<std::pair<QString, QString>> partPrefixes;  // of split documents' pages, with their link
        bool takenByParts(const QString &lowerName, const QString &link) const {
            return std::any_of(partPrefixes.begin(), partPrefixes.end(), [&](const auto &part) {
                return part.second != link && isTopicPartName(lowerName, part.first);
            });
        }
    };
    QHash<QString, Folder> folders;
    const auto isSplit = [&](const TreeNode *node) { return node->topics.appliedTo(project).splitLevel > 0; };
    tree.forEach([&](const TreeNode *node) {
        if (!node->link.isEmpty() && isSplit(node))
            folders[folderOf(node).toLower()].partPrefixes.append(
                {topicPartPrefix(pageFileName(node->link)), node->link});
        return true;
    });
    tree.forEach([&](const TreeNode *node) {
        if (node->link.isEmpty())
            return true;
        Folder &folder = folders[folderOf(node).toLower()];
        const QString name = pageFileName(node->link).toLower();
        if (!folder.firstLink.contains(name) && !folder.takenByParts(name, node->link))
            folder.firstLink.insert(name, node->link);
        return true;
    });
    tree.forEach([&](const TreeNode *node) {
        if (node->link.isEmpty())
            return true;
        Folder &folder = folders[folderOf(node).toLower()];
        const QString name = pageFileName(node->link);
        if (folder.firstLink.value(name.toLower()) == node->link)
            return true;
        QString &given = folder.given[node->link];
        if (given.isEmpty()) {
            for (int n = 2; given.isEmpty(); ++n) {
                const QString candidate = numberedName(name, n);
                if (!folder.firstLink.contains(candidate.toLower()) &&
                    !folder.takenByParts(candidate.toLower(), node->link))
                    given = candidate;
            }
            folder.firstLink.insert(given.toLower(), node->link);
            if (isSplit(node))
                folder.partPrefixes.append({topicPartPrefix(given), node->link});
        }
        renamed_.insert(node, given);
        return true;
    });
}

QString PageLayout::childFolder(const TreeNode *node) const {
    return node ? folders_.value(node) : QString();
}

QString PageLayout::folderOf(const TreeNode *node) const { return childFolder(node->parent()); }

QString PageLayout::pageName(const TreeNode *node) const {
    const auto it = renamed_.constFind(node);
    return it != renamed_.constEnd() ? *it : pageFileName(node->link);
}

QStringList helpProjectLines(const QString &projectDir, const QString &projectName,
                             const QString &defaultTopic) {
    const QString contentsFile = projectDir + QStringLiteral("temp/") + projectName + QStringLiteral(".hhc");
    const QString indexFile = projectDir + QStringLiteral("temp/") + projectName + QStringLiteral(".hhk");
    return {
        QStringLiteral("[OPTIONS]"),
        QStringLiteral("Compatibility=1.1 or later"),
        QStringLiteral("Default Font=") + kFont,
        QStringLiteral("Compiled file=") + projectDir + projectName + QStringLiteral(".CHM"),
        QStringLiteral("Contents file=") + contentsFile,
        QStringLiteral("index file=") + indexFile,
        QStringLiteral("Default topic=") + projectName,
        QStringLiteral("Default Window=win"),
        QStringLiteral("Full-text search=Yes"),
        QStringLiteral("Display compile progress=Yes"),
        QStringLiteral("Language=0x0804"),
        QStringLiteral("[WINDOWS]"),
        QString(),
        QStringLiteral("win=\"") + projectName + QStringLiteral("\",\"") + contentsFile +
            QStringLiteral("\",\"") + indexFile + QStringLiteral("\",\"") + defaultTopic +
            QStringLiteral("\",\"\",\"\",\"\",\"\",\"\",463904,185,1063038,[47,69,672,548],0,0,,0,0,0,0"),
        QStringLiteral("[FILES]"),
        QStringLiteral("[MERGE FILES]"),
    };
}

namespace {

// Texts from documents may hold what ends a value; the help compiler reads references.
QString escapedName(const QString &value) { return nameParam(value.toHtmlEscaped()); }
QString escapedLocal(const QString &value) { return localParam(value.toHtmlEscaped()); }

// The entries of a document's topics, each a list item with its own below it.
void appendTopicEntries(QStringList &lines, const QList<TopicEntry> &entries, const QString &folder) {
    for (const TopicEntry &entry : entries) {
        lines << QStringLiteral("<LI> ") + kSitemapObject << escapedName(entry.title)
              << escapedLocal(folder + entry.local)
              << QStringLiteral("<param name=\"ImageNumber\" value=\"11\"></OBJECT>");
        if (!entry.children.isEmpty()) {
            lines << QStringLiteral("<UL>");
            appendTopicEntries(lines, entry.children, folder);
            lines << QStringLiteral("</UL>");
        }
    }
}

void appendKeywords(QStringList &lines, const QList<TopicKeyword> &keywords) {
    for (const TopicKeyword &keyword : keywords) {
        lines << QStringLiteral("<LI> ") + kSitemapObject + escapedName(keyword.text);
        // A keyword of one place is a Name and a Local; the viewer shows its page's title.
        // Several places come as pairs of title and Local, which the viewer lists to choose
        // from (readers that know only the first form then show a title as the keyword).
        if (keyword.places.size() == 1)
            lines << escapedLocal(keyword.places.first().local);
        else
            for (const KeywordPlace &place : keyword.places)
                lines << escapedName(place.title) << escapedLocal(place.local);
        lines.last() += QStringLiteral("</OBJECT>");
        if (!keyword.subKeywords.isEmpty()) {
            lines << QStringLiteral("<UL>");
            appendKeywords(lines, keyword.subKeywords);
            lines << QStringLiteral("</UL>");
        }
    }
}

void prefixLocals(QList<TopicKeyword> &keywords, const QString &folder) {
    for (TopicKeyword &keyword : keywords) {
        for (KeywordPlace &place : keyword.places)
            place.local.prepend(folder);
        prefixLocals(keyword.subKeywords, folder);
    }
}

}  // namespace

QString writeSitemapBranch(const TreeNode *node, QStringList &index, const PageLayout &layout,
                           const QString &htmlFolder, const DocumentTopicsMap &topics) {
    QStringList block;
    const QString childFolder = htmlFolder + layout.childFolder(node);
    for (int i = 0; i < node->childCount(); ++i) {
        const TreeNode *child = node->child(i);
        const QString local = childFolder + layout.pageName(child);
        const QList<TopicEntry> entries = topics.value(child).contents;
        if (child->hasChildren()) {
            QString head = QStringLiteral("<LI>") + kSitemapObject + nameParam(child->caption) + kFolderImage;
            if (!trimBlanks(child->link).isEmpty())
                head += localParam(local);
            block << head + QStringLiteral("</OBJECT><UL>");
            appendTopicEntries(block, entries, childFolder);
            block << trimBlanks(writeSitemapBranch(child, index, layout, htmlFolder, topics));
            block << QStringLiteral("</UL>");
        } else {
            const QString title = bareFileName(child->caption);
            block << QStringLiteral("<LI> ") + kSitemapObject << nameParam(title) << localParam(local)
                  << QStringLiteral("<param name=\"ImageNumber\" value=\"11\"></OBJECT>");
            if (!entries.isEmpty()) {
                block << QStringLiteral("<UL>");
                appendTopicEntries(block, entries, childFolder);
                block << QStringLiteral("</UL>");
            }
            index << QStringLiteral("<LI> ") + kSitemapObject + nameParam(title)
                  << nameParam(childFolder + title)
                  << localParam(local) + QStringLiteral("</OBJECT>");
        }
    }
    QString text;
    for (const QString &line : block)
        text += line + kCrLf;
    return text;
}

void writeSitemaps(QStringList &contents, QStringList &index, const StructureModel &tree,
                   const QString &htmlFolder, const TopicSettings &project, const DocumentTopicsMap &topics) {
    const PageLayout layout(tree, project);
    index << QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\"><HTML><HEAD>")
          << QStringLiteral("<meta name=\"GENERATOR\" content=\"Microsoft&reg; HTML Help Workshop 4.1\">")
          << QStringLiteral("<!-- Sitemap 1.0 -->")
          << QStringLiteral("</HEAD><BODY><UL>");
    contents << QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\"><HTML><HEAD>"
                               "<meta name=\"GENERATOR\"><!-- Sitemap 1.0 --></HEAD><BODY>"
                               "<OBJECT type=\"text/site properties\">")
             << QStringLiteral("<param name=\"FrameName\" value=\"right\">")
             << QStringLiteral("<param name=\"ImageType\" value=\"Folder\">")
             << QStringLiteral("<param name=\"Window Styles\" value=\"519\">")
             << QStringLiteral("<param name=\"Foreground\" value=\"0x80000008\">")
             << QStringLiteral("<param name=\"Background\" value=\"0xFFFFFF\">")
             << QStringLiteral("<param name=\"Font\" value=\"") + kFont + QStringLiteral("\"></OBJECT>");
    for (int i = 0; i < tree.topLevelCount(); ++i) {
        const TreeNode *node = tree.topLevel(i);
        const QString local = htmlFolder + layout.pagePath(node);
        const QList<TopicEntry> entries = topics.value(node).contents;
        if (node->hasChildren()) {
            QString head = QStringLiteral("<UL><LI>") + kSitemapObject + nameParam(node->caption) + kFolderImage;
            if (!trimBlanks(node->link).isEmpty())
                head += localParam(local);
            contents << head + QStringLiteral("</OBJECT><UL>");
            appendTopicEntries(contents, entries, htmlFolder);
            // One list entry per file line; the saved bytes are the same either way.
            const QString block = trimBlanks(writeSitemapBranch(node, index, layout, htmlFolder, topics));
            contents << block.split(kCrLf);
            contents << QStringLiteral("</UL></UL>");
        } else if (entries.isEmpty()) {
            const QString title = bareFileName(node->caption);
            contents << QStringLiteral("<UL><LI> ") + kSitemapObject + nameParam(title) << nameParam(title)
                     << localParam(local) + QStringLiteral("</OBJECT></UL>");
        } else {
            const QString title = bareFileName(node->caption);
            contents << QStringLiteral("<UL><LI> ") + kSitemapObject + nameParam(title) << nameParam(title)
                     << localParam(local) + QStringLiteral("</OBJECT><UL>");
            appendTopicEntries(contents, entries, htmlFolder);
            contents << QStringLiteral("</UL></UL>");
        }
    }
    // Keywords that documents share list every place, in tree order.
    QList<TopicKeyword> keywords;
    tree.forEach([&](const TreeNode *node) {
        if (const auto it = topics.constFind(node); it != topics.constEnd() && !it->keywords.isEmpty()) {
            QList<TopicKeyword> own = it->keywords;
            prefixLocals(own, htmlFolder + layout.folderOf(node));
            mergeKeywords(keywords, own);
        }
        return true;
    });
    appendKeywords(index, keywords);
    index << QStringLiteral("</UL></BODY></HTML>");
}

void saveGbkLines(const QString &path, const QStringList &lines) {
    QByteArray bytes;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto line = encodeGbk(lines[i]);
        if (!line)
            throw BuildError(QStringLiteral("文件“%1”第%2行含有GBK编码无法表示的字符：%3")
                                 .arg(path)
                                 .arg(i + 1)
                                 .arg(lines[i]));
        bytes += *line;
        bytes += "\r\n";
    }
    QString error;
    if (!writeFileAtomically(path, bytes, &error))
        throw BuildError(QStringLiteral("无法保存文件“%1”：%2").arg(path, error));
}

namespace {

// The first text among entries and keywords that GBK cannot hold; empty when none.
QString firstNonGbk(const QList<TopicEntry> &entries) {
    for (const TopicEntry &entry : entries) {
        if (!encodeGbk(entry.title))
            return entry.title;
        if (const QString below = firstNonGbk(entry.children); !below.isEmpty())
            return below;
    }
    return {};
}

QString firstNonGbk(const QList<TopicKeyword> &keywords) {
    for (const TopicKeyword &keyword : keywords) {
        if (!encodeGbk(keyword.text))
            return keyword.text;
        for (const KeywordPlace &place : keyword.places)
            if (!encodeGbk(place.title))
                return place.title;
        if (const QString below = firstNonGbk(keyword.subKeywords); !below.isEmpty())
            return below;
    }
    return {};
}

}  // namespace

void checkGbkTopics(const StructureModel &tree, const DocumentTopicsMap &topics) {
    tree.forEach([&](const TreeNode *node) {
        const auto it = topics.constFind(node);
        if (it == topics.constEnd())
            return true;
        QString text = firstNonGbk(it->contents);
        if (text.isEmpty())
            text = firstNonGbk(it->keywords);
        if (!text.isEmpty())
            throw BuildError(QStringLiteral("文档“%1”的标题或索引项“%2”含有GBK编码无法表示的字符").arg(node->link, text));
        return true;
    });
}

void checkGbkCaptions(const StructureModel &tree) {
    tree.forEach([](const TreeNode *node) {
        // A branch shows its whole caption, a leaf the bare name of it; the folders
        // made from captions hold no character the caption lacks, apart from "_".
        const QString title = contentsCaption(node);
        if (!encodeGbk(title))
            throw BuildError(QStringLiteral("目录名称“%1”含有GBK编码无法表示的字符").arg(node->caption));
        if (!encodeGbk(pageFileName(node->link)))
            throw BuildError(QStringLiteral("链接文件“%1”的名称含有GBK编码无法表示的字符").arg(node->link));
        return true;
    });
}

}  // namespace zelbrin
