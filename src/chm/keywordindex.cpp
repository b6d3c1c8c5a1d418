#include "keywordindex.h"

#include "binarywriter.h"

#include <QCollator>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <memory>

namespace zelbrin::chm {
namespace {

constexpr qsizetype kBlockSize = 2048;
constexpr qsizetype kListingHeader = 12;  // free space, entries, previous and next block
constexpr qsizetype kIndexHeader = 8;     // free space, entries, first child block
constexpr qsizetype kHeaderSize = 0x4C;
constexpr qsizetype kLongestIndexEntry = (kBlockSize - kIndexHeader) / 2;
// What each keyword's record in $WWKeywordLinks/Data holds in the help files the Windows
// compiler writes; the viewer keeps no keyword data of its own there.
const char kDataRecord[13] = {0, 0, 0, 0, 5, 0, 0, 0, char(0x80), 0, 0, 0, 0};

struct Node {
    Keyword keyword;
    Node *parent = nullptr;
    QHash<QString, Node *> byName;
    QList<Node *> children;
};

// The longest keyword text an entry holds: far longer than any keyword a reader shows, and
// short enough that an entry fits a block.
constexpr qsizetype kLongestText = 512;

void appendUtf16(QByteArray &out, const QString &text) {
    for (QChar c : text)
        appendLe16(out, c.unicode());
    appendLe16(out, 0);
}

// The part of an entry that listing and index blocks share: the keyword and its targets.
// text is the keyword after the keywords above it, each followed by ", ", cut to
// kLongestText; depth its level below its top-level keyword.
QByteArray entryHead(const Keyword &k, const QString &text, int depth, qsizetype topicCount) {
    QByteArray out;
    appendUtf16(out, text);
    appendLe16(out, k.seeAlso.isEmpty() ? 0 : 2);
    appendLe16(out, quint16(depth));
    appendLe32(out, depth > 0 ? quint32(std::max<qsizetype>(0, text.size() - k.name.size())) : 0);
    appendLe32(out, 0);
    if (!k.seeAlso.isEmpty()) {
        appendLe32(out, quint32(k.seeAlso.size()));
        for (const QString &s : k.seeAlso)
            appendUtf16(out, s);
    } else {
        appendLe32(out, quint32(topicCount));
        for (qsizetype i = 0; i < topicCount; ++i)
            appendLe32(out, k.topics[i]);
    }
    return out;
}

// The head of k's entry in at most limit bytes: with fewer topics, then fewer see-also
// keywords, then less of its text, as far as it must.
QByteArray fittedHead(Keyword k, QString text, int depth, qsizetype limit, qsizetype *topicsKept) {
    qsizetype topics = k.topics.size();
    QByteArray head = entryHead(k, text, depth, topics);
    while (head.size() > limit && topics > 0) {
        topics = std::max<qsizetype>(0, topics - (head.size() - limit) / 4 - 1);
        head = entryHead(k, text, depth, topics);
    }
    while (head.size() > limit && !k.seeAlso.isEmpty()) {
        k.seeAlso.removeLast();
        head = entryHead(k, text, depth, topics);
    }
    while (head.size() > limit && !text.isEmpty()) {
        text.chop(std::min<qsizetype>(text.size(), std::max<qsizetype>(1, (head.size() - limit) / 2)));
        head = entryHead(k, text, depth, topics);
    }
    if (topicsKept)
        *topicsKept = topics;
    return head;
}

struct Block {
    QByteArray body;
    int entries = 0;
    QByteArray firstHead;  // entryHead of its first entry, for the index level above
};

QByteArray finishedBlock(const Block &b, qsizetype headerSize, quint32 link1, quint32 link2, bool listing) {
    QByteArray out;
    appendLe16(out, quint16(kBlockSize - headerSize - b.body.size()));
    appendLe16(out, quint16(b.entries));
    appendLe32(out, link1);
    if (listing)
        appendLe32(out, link2);
    out.append(b.body);
    out.append(QByteArray(kBlockSize - out.size(), '\0'));
    return out;
}

}  // namespace

QList<Keyword> mergeKeywords(const QList<Keyword> &keywords, const QString &locale) {
    std::vector<std::unique_ptr<Node>> nodes;
    Node root;
    // The node of each keyword's path, once known; a path's nodes are made once, so that the
    // whole list takes time in proportion to its length, however deep it nests.
    std::vector<Node *> nodeOf(size_t(keywords.size()), nullptr);
    auto nodeFor = [&](qsizetype i) {
        QList<qsizetype> unknown;
        qsizetype j = i;
        while (j >= 0 && !nodeOf[size_t(j)]) {
            unknown.append(j);
            const qsizetype parent = keywords[j].parent;
            j = parent < j ? parent : -1;  // a parent that does not come first is no parent
        }
        Node *parent = j >= 0 ? nodeOf[size_t(j)] : &root;
        for (auto it = unknown.crbegin(); it != unknown.crend(); ++it) {
            Node *&n = parent->byName[keywords[*it].name];
            if (!n) {
                nodes.push_back(std::make_unique<Node>());
                n = nodes.back().get();
                n->keyword.name = keywords[*it].name;
                n->parent = parent;
                parent->children.append(n);
            }
            nodeOf[size_t(*it)] = n;
            parent = n;
        }
        return parent;
    };
    for (qsizetype i = 0; i < keywords.size(); ++i) {
        const Keyword &k = keywords[i];
        if (k.placeholder)
            continue;
        Node *n = nodeFor(i);
        for (quint32 t : k.topics) {
            if (!n->keyword.topics.contains(t))
                n->keyword.topics.append(t);
        }
        for (const QString &s : k.seeAlso) {
            if (!n->keyword.seeAlso.contains(s))
                n->keyword.seeAlso.append(s);
        }
    }
    QCollator collator{QLocale(locale)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    auto before = [&](const Node *a, const Node *b) {
        const int c = collator.compare(a->keyword.name, b->keyword.name);
        return c != 0 ? c < 0 : a->keyword.name < b->keyword.name;
    };
    QList<Keyword> sorted;
    QHash<const Node *, qsizetype> placeOf;
    // Depth first, without recursion: sub-keywords may nest as deep as the index file does.
    QList<std::pair<Node *, qsizetype>> stack{{&root, 0}};
    std::sort(root.children.begin(), root.children.end(), before);
    while (!stack.isEmpty()) {
        auto &[node, next] = stack.last();
        if (next >= node->children.size()) {
            stack.removeLast();
            continue;
        }
        Node *child = node->children[next++];
        std::sort(child->children.begin(), child->children.end(), before);
        child->keyword.parent = child->parent == &root ? -1 : placeOf.value(child->parent);
        placeOf.insert(child, sorted.size());
        sorted.append(child->keyword);
        stack.append({child, 0});
    }
    return sorted;
}

KeywordIndexFiles writeKeywordIndex(const QList<Keyword> &sorted, quint32 lcid, int codePage) {
    KeywordIndexFiles files;
    QList<Block> listing(1);
    // Each keyword's text and level, from its parent's, which comes before it.
    QStringList texts;
    QList<int> depths;
    texts.reserve(sorted.size());
    depths.reserve(sorted.size());
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        const Keyword &k = sorted[i];
        const bool top = k.parent < 0 || k.parent >= i;
        texts.append(top ? k.name.left(kLongestText)
                         : QString(texts[k.parent] + QStringLiteral(", ") + k.name).left(kLongestText));
        depths.append(top ? 0 : depths[k.parent] + 1);
        // Two DWORDs follow: always 1, and where the keyword's record in Data starts.
        qsizetype topics = 0;
        const QByteArray head = fittedHead(k, texts[i], depths[i], kBlockSize - kListingHeader - 8, &topics);
        if (topics < k.topics.size())
            files.shortened.append(texts[i]);
        QByteArray entry = head;
        appendLe32(entry, 1);
        appendLe32(entry, quint32(i * sizeof kDataRecord));
        if (listing.last().body.size() + entry.size() > kBlockSize - kListingHeader)
            listing.append(Block{});
        Block &b = listing.last();
        // An index entry (one DWORD follows it) takes at most half a block, so that each
        // index level has at most half as many blocks as the level below it.
        if (b.entries == 0)
            b.firstHead = fittedHead(k, texts[i], depths[i], kLongestIndexEntry - 4, nullptr);
        b.body.append(entry);
        ++b.entries;
        files.data.append(kDataRecord, sizeof kDataRecord);
    }

    QByteArray blocks;
    const qsizetype listingCount = listing.size();
    appendLe16(files.map, quint16(std::min<qsizetype>(listingCount, 0xFFFF)));
    quint32 keywordsBefore = 0;
    for (qsizetype i = 0; i < listingCount; ++i) {
        const quint32 previous = i == 0 ? 0xFFFFFFFFu : quint32(i - 1);
        const quint32 next = i + 1 == listingCount ? 0xFFFFFFFFu : quint32(i + 1);
        blocks.append(finishedBlock(listing[i], kListingHeader, previous, next, true));
        appendLe32(files.map, keywordsBefore);
        appendLe32(files.map, quint32(i));
        keywordsBefore += quint32(listing[i].entries);
    }

    // Index levels: each names the first keyword of every block below it, until one
    // block holds them all.
    qsizetype levelStart = 0;
    QList<Block> level = listing;
    int depth = 1;
    qsizetype blockCount = listingCount;
    while (level.size() > 1) {
        QList<Block> above(1);
        QList<quint32> firstChild{quint32(levelStart)};
        for (qsizetype i = 0; i < level.size(); ++i) {
            QByteArray entry = level[i].firstHead;
            appendLe32(entry, quint32(levelStart + i));
            if (above.last().body.size() + entry.size() > kBlockSize - kIndexHeader) {
                above.append(Block{});
                firstChild.append(quint32(levelStart + i));
            }
            Block &b = above.last();
            if (b.entries == 0)
                b.firstHead = level[i].firstHead;
            b.body.append(entry);
            ++b.entries;
        }
        for (qsizetype i = 0; i < above.size(); ++i)
            blocks.append(finishedBlock(above[i], kIndexHeader, firstChild[i], 0, false));
        levelStart = blockCount;
        blockCount += above.size();
        level = above;
        ++depth;
    }

    QByteArray &h = files.btree;
    h.append(";)", 2);
    appendLe16(h, 0x0402);  // flags as the Windows compiler sets them
    appendLe16(h, quint16(kBlockSize));
    h.append(QByteArray("X44").leftJustified(16, '\0'));  // the data format, always this
    appendLe32(h, 0);
    appendLe32(h, quint32(listingCount - 1));  // last listing block
    appendLe32(h, quint32(blockCount - 1));    // the root block
    appendLe32(h, 0xFFFFFFFFu);
    appendLe32(h, quint32(blockCount));
    appendLe16(h, quint16(depth));
    appendLe32(h, quint32(sorted.size()));
    appendLe32(h, quint32(codePage));
    appendLe32(h, lcid);
    appendLe32(h, 1);      // part of a help file (0: of a collection's index)
    appendLe32(h, 10031);  // as in nearly every help file
    appendLe32(h, 0);
    appendLe32(h, 0);
    appendLe32(h, 0);
    Q_ASSERT(h.size() == kHeaderSize);
    h.append(blocks);
    files.property = QByteArray(4, '\0');
    return files;
}

}  // namespace zelbrin::chm
