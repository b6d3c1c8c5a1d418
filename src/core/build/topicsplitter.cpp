#include "topicsplitter.h"

#include "htmltokens.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

namespace zelbrin {
namespace {

using Kind = HtmlToken::Kind;

// A longer file name is refused by Linux file systems.
constexpr qsizetype kNameMax = 255;

bool isBlank(const QByteArray &text) {
    static const QRegularExpression visible(QStringLiteral("[^\\s\\x{00A0}\\x{3000}]"));
    return !QString::fromUtf8(decodeEntities(text)).contains(visible);
}

// Tags that are content of a paragraph rather than the start of a block: walking back
// from a heading's anchor to where its block begins stops at them.
bool isInlineContent(const QByteArray &name) {
    return name == "img" || name == "br" || name == "input" || name == "object" ||
           name == "embed" || name == "iframe" || name == "svg";
}

bool isVisibleElement(const QByteArray &name) {
    return (isInlineContent(name) && name != "br") || name == "table" || name == "video" || name == "audio" ||
           name == "canvas" || name == "select" || name == "textarea";
}

// Elements that the next one of their kind closes when their end tag was left out, as
// the office does with <li>.
bool closesSibling(const QByteArray &name) {
    return name == "li" || name == "p" || name == "dt" || name == "dd" || name == "tr" ||
           name == "td" || name == "th" || name == "option";
}

// A file name as the path of a link: characters that end or escape a path are escaped.
QByteArray hrefOf(const QString &fileName) {
    QByteArray out;
    for (char c : fileName.toUtf8()) {
        if (c == ' ' || c == '"' || c == '#' || c == '%' || c == '?' || c == '<' || c == '>' ||
            c == '\'' || c == '\\')
            out += '%' + QByteArray::number(static_cast<unsigned char>(c), 16).toUpper().rightJustified(2, '0');
        else if (c == '&')
            out += "&amp;";
        else
            out += c;
    }
    return out;
}

class Splitter {
public:
    Splitter(const QByteArray &page, const QString &pageFileName, const QString &documentTitle,
             const DocumentOutline &outline, int splitLevel)
        : page_(page), fileName_(pageFileName), documentTitle_(documentTitle), outline_(outline),
          splitLevel_(splitLevel), tokens_(scanHtml(page)) {}

    TopicSplit run() {
        if (!findBody()) {
            result_.pages.append({fileName_, documentTitle_, -1, {}, withPageTitle(page_, documentTitle_)});
            return result_;
        }
        collectAnchors();
        findSections();
        choosePages();
        findNotes();
        placeAnchors();
        if (boundaries_.size() == 1) {
            // Nothing to cut: the page stays as the office wrote it, under its new title.
            result_.pages.append({fileName_, documentTitle_, -1, {}, withPageTitle(page_, documentTitle_)});
            return result_;
        }
        writePages();
        return result_;
    }

private:
    struct Boundary {
        int token;         // the first token of the page's part of the body
        int heading;       // -1 for what precedes the first heading
        QList<int> stack;  // start tags open where the part begins
    };
    struct Note {
        int first, last;  // its <div> and the end tag that closes it
        int page = -1;    // the page of the text that refers to it
    };

    bool findBody() {
        for (int i = 0; i < tokens_.size(); ++i)
            if (tokens_[i].kind == Kind::StartTag && tokens_[i].name == "body") {
                bodyFirst_ = i + 1;
                break;
            }
        if (bodyFirst_ < 0)
            return false;
        bodyEnd_ = int(tokens_.size());
        for (int i = int(tokens_.size()) - 1; i >= bodyFirst_; --i)
            if (tokens_[i].kind == Kind::EndTag && tokens_[i].name == "body") {
                bodyEnd_ = i;
                break;
            }
        return true;
    }

    qsizetype position(int token) const {
        return token < tokens_.size() ? tokens_[token].begin : page_.size();
    }

    void collectAnchors() {
        for (int i = bodyFirst_; i < bodyEnd_; ++i) {
            const HtmlToken &t = tokens_[i];
            if (t.kind != Kind::StartTag)
                continue;
            for (const QByteArray &attribute : {QByteArray("id"), QByteArray("name")}) {
                if (attribute == "name" && t.name != "a")
                    continue;
                const QString anchor = QString::fromUtf8(attributeValue(page_, t, attribute));
                if (!anchor.isEmpty() && !anchorToken_.contains(anchor))
                    anchorToken_.insert(anchor, i);
            }
        }
    }

    int previousNonBlank(int i) const {
        while (i >= bodyFirst_ && tokens_[i].kind == Kind::Text &&
               isBlank(page_.mid(tokens_[i].begin, tokens_[i].end - tokens_[i].begin)))
            --i;
        return i;
    }

    // The first token of the block that a heading's anchor opens: the start tags (and
    // empty anchors) right before it, so that <ol><li><p><a name=...> moves as a whole.
    int blockStart(int anchorToken) const {
        int first = anchorToken;
        for (int k = previousNonBlank(anchorToken - 1); k >= bodyFirst_;) {
            const HtmlToken &t = tokens_[k];
            if (t.kind == Kind::StartTag && !isInlineContent(t.name)) {
                first = k;
                k = previousNonBlank(k - 1);
            } else if (t.kind == Kind::EndTag && t.name == "a") {
                const int open = previousNonBlank(k - 1);
                if (open < bodyFirst_ || tokens_[open].kind != Kind::StartTag || tokens_[open].name != "a")
                    break;
                first = open;
                k = previousNonBlank(open - 1);
            } else {
                break;
            }
        }
        return first;
    }

    void findSections() {
        for (int h = 0; h < outline_.headings.size(); ++h)
            if (const int token = anchorToken_.value(outline_.headings[h].anchor, -1); token >= 0)
                sections_.append({blockStart(token), h});
        std::stable_sort(sections_.begin(), sections_.end());
    }

    bool hasVisibleContent(int from, int to) const {
        for (int i = from; i < to; ++i) {
            const HtmlToken &t = tokens_[i];
            if (t.kind == Kind::Text && !isBlank(page_.mid(t.begin, t.end - t.begin)))
                return true;
            if (t.kind == Kind::StartTag && isVisibleElement(t.name))
                return true;
        }
        return false;
    }

    void choosePages() {
        QList<Boundary> cuts;
        int last = bodyFirst_ - 1;
        if (splitLevel_ > 0) {
            for (int h = 0; h < outline_.headings.size(); ++h) {
                const OutlineHeading &heading = outline_.headings[h];
                const int token = anchorToken_.value(heading.anchor, -1);
                if (heading.level > splitLevel_ || token < 0)
                    continue;
                const int start = blockStart(token);
                if (start <= last)
                    continue;
                cuts.append({start, h, {}});
                last = start;
            }
        }
        boundaries_.append({bodyFirst_, -1, {}});
        if (!cuts.isEmpty() && !hasVisibleContent(bodyFirst_, cuts.first().token)) {
            boundaries_.first().heading = cuts.first().heading;
            cuts.removeFirst();
        }
        boundaries_ += cuts;
        // The start tags left open where each part begins.
        QList<int> stack;
        int next = 1;
        for (int i = bodyFirst_; i < bodyEnd_; ++i) {
            if (next < boundaries_.size() && boundaries_[next].token == i)
                boundaries_[next++].stack = stack;
            const HtmlToken &t = tokens_[i];
            if (t.kind == Kind::StartTag && !t.isVoid) {
                if (closesSibling(t.name) && !stack.isEmpty() && tokens_[stack.last()].name == t.name)
                    stack.removeLast();
                stack.append(i);
            } else if (t.kind == Kind::EndTag) {
                for (int s = int(stack.size()) - 1; s >= 0; --s)
                    if (tokens_[stack[s]].name == t.name) {
                        stack.resize(s);
                        break;
                    }
            }
        }
    }

    int pageOfToken(int token) const {
        int page = 0;
        while (page + 1 < boundaries_.size() && boundaries_[page + 1].token <= token)
            ++page;
        return page;
    }

    // The office writes foot- and endnotes at the end of the body, each in a <div> named
    // "sdfootnote3" whose call in the text is the anchor "sdfootnote3anc".
    void findNotes() {
        static const QRegularExpression noteId(QStringLiteral("^sd(foot|end)note\\d+$"));
        for (int i = bodyFirst_; i < bodyEnd_; ++i) {
            const HtmlToken &t = tokens_[i];
            if (t.kind != Kind::StartTag || t.name != "div")
                continue;
            const QString id = QString::fromUtf8(attributeValue(page_, t, "id"));
            if (!noteId.match(id).hasMatch())
                continue;
            int depth = 0, last = -1;
            for (int k = i; k < bodyEnd_ && last < 0; ++k) {
                if (tokens_[k].name != "div" || (tokens_[k].kind == Kind::StartTag && tokens_[k].isVoid))
                    continue;
                depth += tokens_[k].kind == Kind::StartTag ? 1 : tokens_[k].kind == Kind::EndTag ? -1 : 0;
                if (depth == 0)
                    last = k;
            }
            const int call = anchorToken_.value(id + QStringLiteral("anc"), -1);
            if (last < 0 || call < 0)
                continue;
            const int home = pageOfToken(call);
            if (home != pageOfToken(i) && pageOfToken(last) == pageOfToken(i))
                notes_.append({i, last, home});
            i = last;
        }
    }

    int sectionOfToken(int token) const {
        int section = -1;
        for (const auto &[start, heading] : sections_)
            if (start <= token)
                section = heading;
        return section;
    }

    void placeAnchors() {
        for (auto it = anchorToken_.cbegin(); it != anchorToken_.cend(); ++it) {
            int token = it.value();
            int page = pageOfToken(token);
            for (const Note &note : notes_)
                if (token >= note.first && token <= note.last) {
                    page = note.page;
                    token = anchorToken_.value(QString::fromUtf8(attributeValue(page_, tokens_[note.first], "id")) +
                                                   QStringLiteral("anc"),
                                               token);
                }
            result_.anchors.insert(it.key(), {page, sectionOfToken(token)});
        }
    }

    // Bytes from..to of the page, with each link to an anchor of the document pointed at
    // the page that now holds it.
    QByteArray copy(qsizetype from, qsizetype to, int page) const {
        QByteArray out;
        qsizetype cursor = from;
        const auto first = std::lower_bound(tokens_.begin(), tokens_.end(), from,
                                            [](const HtmlToken &t, qsizetype p) { return t.begin < p; });
        for (auto it = first; it != tokens_.end() && it->end <= to; ++it) {
            if (it->kind != Kind::StartTag || (it->name != "a" && it->name != "area"))
                continue;
            const AttributeSpan href = findAttribute(page_, *it, "href");
            if (href.begin < 0 || href.begin >= href.end || page_[href.begin] != '#')
                continue;
            const QByteArray raw = page_.mid(href.begin + 1, href.end - href.begin - 1);
            QString anchor = QString::fromUtf8(decodeEntities(raw));
            if (!result_.anchors.contains(anchor))
                anchor = QUrl::fromPercentEncoding(anchor.toUtf8());
            const auto place = result_.anchors.constFind(anchor);
            if (place == result_.anchors.cend() || place->page == page)
                continue;
            out += page_.mid(cursor, href.begin - cursor);
            out += hrefOf(result_.pages[place->page].fileName) + '#' + raw;
            cursor = href.end;
        }
        out += page_.mid(cursor, to - cursor);
        return out;
    }

    QByteArray opening(const QList<int> &stack) const {
        QByteArray out;
        for (int token : stack)
            out += page_.mid(tokens_[token].begin, tokens_[token].end - tokens_[token].begin);
        return out;
    }

    QByteArray closing(const QList<int> &stack) const {
        QByteArray out;
        for (qsizetype s = stack.size() - 1; s >= 0; --s)
            out += "</" + tokens_[stack[s]].name + '>';
        return out;
    }

    int upOf(int page) const {
        const int heading = result_.pages[page].heading;
        if (heading < 0)
            return -1;
        for (int p = page - 1; p >= 0; --p) {
            const int other = result_.pages[p].heading;
            if (other < 0)
                return p;
            if (outline_.headings[other].level < outline_.headings[heading].level)
                return p;
        }
        return -1;
    }

    QByteArray navigation(int page) const {
        QList<QByteArray> links;
        const auto link = [&](int target, const char *word) {
            if (target < 0 || target >= result_.pages.size())
                return;
            links << "<a href=\"" + hrefOf(result_.pages[target].fileName) + "\" title=\"" +
                         escapeHtmlText(result_.pages[target].title.toUtf8()) + "\">" + word + "</a>";
        };
        link(page - 1, "上一页");
        link(upOf(page), "上一级");
        link(page + 1, "下一页");
        return "\n<hr/>\n<p class=\"zelbrin-nav\">" + links.join(" | ") + "</p>\n";
    }

    void writePages() {
        for (int p = 0; p < boundaries_.size(); ++p) {
            const int heading = boundaries_[p].heading;
            TopicPage topic;
            topic.fileName = p == 0 ? fileName_ : topicPageFileName(fileName_, p);
            topic.title = heading < 0 ? documentTitle_ : outline_.headings[heading].text;
            topic.heading = heading;
            topic.anchor = heading < 0 ? QString() : outline_.headings[heading].anchor;
            result_.pages.append(topic);
        }
        const QByteArray head = page_.left(tokens_[bodyFirst_ - 1].end);
        const QByteArray tail = page_.mid(position(bodyEnd_));
        for (int p = 0; p < boundaries_.size(); ++p) {
            const bool last = p + 1 == boundaries_.size();
            const qsizetype from = position(boundaries_[p].token);
            const qsizetype to = last ? position(bodyEnd_) : position(boundaries_[p + 1].token);
            QByteArray body = opening(boundaries_[p].stack);
            qsizetype cursor = from;
            for (const Note &note : notes_)
                if (tokens_[note.first].begin >= from && tokens_[note.last].end <= to) {
                    body += copy(cursor, tokens_[note.first].begin, p);
                    cursor = tokens_[note.last].end;
                }
            body += copy(cursor, to, p);
            body += last ? QByteArray() : closing(boundaries_[p + 1].stack);
            for (const Note &note : notes_)
                if (note.page == p)
                    body += '\n' + copy(tokens_[note.first].begin, tokens_[note.last].end, p);
            body += navigation(p);
            result_.pages[p].html = withPageTitle(head, result_.pages[p].title) + body + tail;
        }
    }

    const QByteArray &page_;
    const QString fileName_;
    const QString documentTitle_;
    const DocumentOutline &outline_;
    const int splitLevel_;
    const QList<HtmlToken> tokens_;
    int bodyFirst_ = -1;
    int bodyEnd_ = -1;
    QHash<QString, int> anchorToken_;
    QList<std::pair<int, int>> sections_;  // where each heading's block begins, and the heading
    QList<Boundary> boundaries_;
    QList<Note> notes_;
    TopicSplit result_;
};

}  // namespace

QString TopicSplit::localOf(const QString &anchor) const {
    const auto place = anchors.constFind(anchor);
    if (place == anchors.cend() || place->page < 0)
        return {};
    const TopicPage &page = pages[place->page];
    return page.anchor == anchor ? page.fileName : page.fileName + u'#' + anchor;
}

QString TopicSplit::titleAt(const QString &anchor, const DocumentOutline &outline) const {
    const auto place = anchors.constFind(anchor);
    if (place == anchors.cend() || place->page < 0)
        return {};
    if (place->section >= 0 && place->section < outline.headings.size())
        return outline.headings[place->section].text;
    return pages[place->page].title;
}

TopicSplit splitTopics(const QByteArray &page, const QString &pageFileName,
                       const QString &documentTitle, const DocumentOutline &outline, int splitLevel) {
    return Splitter(page, pageFileName, documentTitle, outline, splitLevel).run();
}

QString topicPageFileName(const QString &pageFileName, int number) {
    QString stem = pageFileName;
    if (stem.endsWith(QStringLiteral(".htm"), Qt::CaseInsensitive))
        stem.chop(4);
    const QString suffix = QStringLiteral("_part%1.htm").arg(number);
    if ((stem + suffix).toUtf8().size() <= kNameMax)
        return stem + suffix;
    const QByteArray digest =
        QCryptographicHash::hash(pageFileName.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return u'p' + QString::fromLatin1(digest) + suffix;
}

QByteArray withFirstHeadingAnchor(const QByteArray &page, const DocumentOutline &outline) {
    if (outline.headings.isEmpty())
        return page;
    const QByteArray anchor = outline.headings.first().anchor.toUtf8();
    static const QRegularExpression heading(QStringLiteral("^h[1-6]$"));
    const QList<HtmlToken> tokens = scanHtml(page);
    for (const HtmlToken &t : tokens)
        if (t.kind == Kind::StartTag && (attributeValue(page, t, "name") == anchor || attributeValue(page, t, "id") == anchor))
            return page;
    qsizetype open = -1;
    QByteArray text;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const HtmlToken &t = tokens[i];
        if (open < 0 && t.kind == Kind::StartTag && heading.match(QString::fromLatin1(t.name)).hasMatch()) {
            open = i;
        } else if (open >= 0 && t.kind == Kind::Text) {
            text += page.mid(t.begin, t.end - t.begin);
        } else if (open >= 0 && t.kind == Kind::EndTag && t.name == tokens[open].name) {
            break;
        }
    }
    if (open < 0)
        return page;
    // The outline writes the numbering label before the text, the page may not.
    const auto compact = [](const QString &s) { return QString(s).remove(QRegularExpression(QStringLiteral("\\s"))); };
    const QString inPage = compact(QString::fromUtf8(decodeEntities(text)));
    const QString inOutline = compact(outline.headings.first().text);
    if (inPage.isEmpty() || !inOutline.endsWith(inPage))
        return page;
    const qsizetype at = tokens[open].end;
    return page.left(at) + "<a name=\"" + escapeHtmlText(anchor) + "\"></a>" + page.mid(at);
}

QByteArray withPageTitle(const QByteArray &page, const QString &title) {
    const QByteArray escaped = escapeHtmlText(title.toUtf8());
    for (const HtmlToken &t : scanHtml(page)) {
        if (t.kind == Kind::StartTag && t.name == "title") {
            const qsizetype close = page.indexOf('<', t.end);
            if (close < 0)
                break;
            return page.left(t.end) + escaped + page.mid(close);
        }
        if (t.kind == Kind::StartTag && t.name == "body")
            break;
    }
    for (const HtmlToken &t : scanHtml(page))
        if (t.kind == Kind::StartTag && t.name == "head")
            return page.left(t.end) + "<title>" + escaped + "</title>" + page.mid(t.end);
    return page;
}

}  // namespace zelbrin
