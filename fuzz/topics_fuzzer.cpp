// The topic splitter on any page: every <a name> of the page is taken as a heading (its
// level from the input's first byte and the heading's number), and the outline reader on
// the same bytes. The pages it makes must account for every anchor, and each link it
// rewrote must lead to one of its pages.
#include "documentoutline.h"
#include "fuzzsupport.h"
#include "topiccontents.h"
#include "topicsplitter.h"

#include <QRegularExpression>
#include <QSet>

using namespace zelbrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    const QByteArray page = QByteArray::fromRawData(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    readOutline(page);

    DocumentOutline outline;
    static const QRegularExpression anchor(QStringLiteral("<a name=\"([^\"]+)\""));
    for (auto it = anchor.globalMatch(QString::fromUtf8(page)); it.hasNext();) {
        const int number = int(outline.headings.size());
        outline.headings.append({1 + (data[0] + number) % 4, QStringLiteral("标题 %1").arg(number),
                                 it.next().captured(1)});
        outline.indexEntries.append({{QStringLiteral("词")}, outline.headings.last().anchor});
    }
    const TopicSplit split = splitTopics(page, QStringLiteral("p.htm"), QStringLiteral("文档"), outline, data[0] % 4);
    fuzz::check(!split.pages.isEmpty(), "a page comes out");
    QSet<QString> files;
    for (const TopicPage &topic : split.pages)
        files.insert(topic.fileName);
    fuzz::check(files.size() == split.pages.size(), "the pages have names of their own");
    for (auto it = split.anchors.cbegin(); it != split.anchors.cend(); ++it)
        fuzz::check(it->page >= 0 && it->page < split.pages.size(), "every anchor lies on a page");
    static const QRegularExpression rewritten(QStringLiteral("href=\"(p(_part\\d+)?\\.htm)#"));
    for (const TopicPage &topic : split.pages)
        for (auto it = rewritten.globalMatch(QString::fromUtf8(topic.html)); it.hasNext();)
            fuzz::check(files.contains(it.next().captured(1)) || page.contains("href=\"p"),
                        "a mended link leads to a page of the split");
    topicContents(outline, split, data[0] % 10);
    topicKeywords(outline, split, true, true);
    return 0;
}
