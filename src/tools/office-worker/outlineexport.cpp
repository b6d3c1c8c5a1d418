#include "outlineexport.h"

#include "officeprocess.h"
#include "officeprotocol.h"
#include "presentationpage.h"
#include "unoutil.h"

#include <QRegularExpression>
#include <QSaveFile>
#include <com/sun/star/beans/UnknownPropertyException.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/text/ReferenceFieldSource.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/text/XTextTable.hpp>

#include <vector>

using namespace css;
using rtl::OUString;

namespace zelbrin::officeworker {

namespace {

namespace protocol = zelbrin::officeprotocol;

bool supports(const uno::Reference<uno::XInterface> &object, const char *service) {
    uno::Reference<lang::XServiceInfo> info(object, uno::UNO_QUERY);
    return info.is() && info->supportsService(OUString::createFromAscii(service));
}

// A property's value, or an empty any when the object has no such property. One call to
// the office: a long document makes thousands of them.
uno::Any property(const uno::Reference<beans::XPropertySet> &object, const char *name) {
    if (!object.is())
        return {};
    try {
        return object->getPropertyValue(OUString::createFromAscii(name));
    } catch (const beans::UnknownPropertyException &) {
        return {};
    }
}

QString stringProperty(const uno::Reference<beans::XPropertySet> &object, const char *name) {
    OUString value;
    property(object, name) >>= value;
    return toQ(value);
}

// A place to mark with a bookmark: what it is, and the heading's paragraph or the index
// mark's portion, where the bookmark goes. Not a range of its start: the office keeps such
// a range as an unnamed mark of its own, and while one lives, the export writes no
// bookmark after it; it would die some time later, also in the middle of the export.
struct Place {
    uno::Reference<text::XTextRange> range;
    int heading = -1;  // index into the outline's headings, or
    int entry = -1;    // into its index entries
};

// The levels of an index mark; text: the entry's own text (the text it marks, where its
// alternative text is blank). Word's XE field "a:b" reaches the office as a mark whose
// key (or, in a user index, whose text) holds "a:b"; the office's own marks keep main
// entry, sub-entry and text apart. Either way the levels come out in order.
QStringList indexMarkLevels(const uno::Reference<beans::XPropertySet> &mark, QString text) {
    if (const QString alternative = stringProperty(mark, "AlternativeText"); !alternative.trimmed().isEmpty())
        text = alternative;
    QStringList levels;
    for (const QString &part : {stringProperty(mark, "PrimaryKey"),
                                stringProperty(mark, "SecondaryKey"), text})
        levels += splitIndexEntryText(normalizedHeadingText(part));
    return levels;
}

class WriterCollector {
public:
    DocumentOutline outline;
    std::vector<Place> places;
    // Cross-references to bookmarks, with the bookmark they name.
    std::vector<std::pair<uno::Reference<beans::XPropertySet>, OUString>> references;

    void walk(const uno::Reference<text::XText> &text, bool bodyLevel) {
        uno::Reference<container::XEnumerationAccess> access(text, uno::UNO_QUERY);
        if (!access.is())
            return;
        const uno::Reference<container::XEnumeration> elements = access->createEnumeration();
        while (elements->hasMoreElements()) {
            uno::Reference<beans::XPropertySet> element(elements->nextElement(), uno::UNO_QUERY);
            // Paragraphs and tables come here; only a paragraph has an outline level.
            if (const uno::Any level = property(element, "OutlineLevel"); level.hasValue()) {
                paragraph(element, level.get<sal_Int16>(), bodyLevel);
            } else if (uno::Reference<text::XTextTable> table{element, uno::UNO_QUERY}; table.is()) {
                // Headings inside tables are not split at; their index entries count.
                for (const OUString &cell : table->getCellNames())
                    walk(uno::Reference<text::XText>(table->getCellByName(cell), uno::UNO_QUERY), false);
            }
        }
    }

private:
    void paragraph(const uno::Reference<beans::XPropertySet> &properties, sal_Int16 level, bool bodyLevel) {
        if (bodyLevel && level > 0) {
            uno::Reference<text::XTextRange> range(properties, uno::UNO_QUERY_THROW);
            const QString label = normalizedHeadingText(stringProperty(properties, "ListLabelString"));
            const QString body = normalizedHeadingText(toQ(range->getString()));
            const QString text = normalizedHeadingText(label + u' ' + body);
            if (!body.isEmpty()) {
                places.push_back({range, int(outline.headings.size()), -1});
                outline.headings.append({level, text, {}});
            }
        }
        uno::Reference<container::XEnumerationAccess> access(properties, uno::UNO_QUERY);
        if (!access.is())
            return;
        const uno::Reference<container::XEnumeration> portions = access->createEnumeration();
        while (portions->hasMoreElements()) {
            uno::Reference<beans::XPropertySet> portion(portions->nextElement(), uno::UNO_QUERY);
            const QString type = stringProperty(portion, "TextPortionType");
            if (type == u"DocumentIndexMark")
                indexMark(portion);
            else if (type == u"TextField")
                field(portion);
            else if (type == u"Text" && !open_.empty())
                if (uno::Reference<text::XTextRange> text{portion, uno::UNO_QUERY}; text.is())
                    for (OpenMark &mark : open_)
                        mark.text += toQ(text->getString());
        }
    }

    // A mark around text shows as two portions, its start and its end; a mark at a point
    // as one, collapsed.
    void indexMark(const uno::Reference<beans::XPropertySet> &portion) {
        uno::Reference<beans::XPropertySet> mark(property(portion, "DocumentIndexMark"), uno::UNO_QUERY);
        uno::Reference<text::XTextRange> range(portion, uno::UNO_QUERY);
        if (!mark.is() || !range.is() || supports(mark, "com.sun.star.text.ContentIndexMark"))
            return;
        bool isStart = true, isCollapsed = true;
        property(portion, "IsStart") >>= isStart;
        property(portion, "IsCollapsed") >>= isCollapsed;
        if (isStart && !isCollapsed) {
            open_.push_back({mark, range, {}});
            return;
        }
        if (isStart) {
            addEntry(mark, range, {});
            return;
        }
        for (auto it = open_.begin(); it != open_.end(); ++it)
            if (it->mark == mark) {
                addEntry(it->mark, it->start, it->text);
                open_.erase(it);
                return;
            }
    }

    void addEntry(const uno::Reference<beans::XPropertySet> &mark,
                  const uno::Reference<text::XTextRange> &range, const QString &text) {
        const QStringList levels = indexMarkLevels(mark, text);
        if (levels.isEmpty())
            return;
        places.push_back({range, -1, int(outline.indexEntries.size())});
        outline.indexEntries.append({levels, {}});
    }

    struct OpenMark {
        uno::Reference<beans::XPropertySet> mark;
        uno::Reference<text::XTextRange> start;
        QString text;
    };
    std::vector<OpenMark> open_;

    void field(const uno::Reference<beans::XPropertySet> &portion) {
        uno::Reference<beans::XPropertySet> field(property(portion, "TextField"), uno::UNO_QUERY);
        if (!supports(field, "com.sun.star.text.TextField.GetReference"))
            return;
        sal_Int16 source = -1;
        property(field, "ReferenceFieldSource") >>= source;
        OUString name;
        property(field, "SourceName") >>= name;
        if (source == text::ReferenceFieldSource::BOOKMARK && !name.isEmpty())
            references.emplace_back(portion, name);
    }
};

// A bookmark name that the document does not use yet.
OUString freeBookmarkName(const uno::Reference<container::XNameAccess> &bookmarks,
                          const QString &wanted) {
    OUString name = toOU(wanted);
    for (int n = 2; bookmarks.is() && bookmarks->hasByName(name); ++n)
        name = toOU(wanted + QStringLiteral("_%1").arg(n));
    return name;
}

}  // namespace

namespace {

// Marks the collected places and links the cross-references.
void markPlaces(const uno::Reference<uno::XInterface> &model, WriterCollector &collector) {
    uno::Reference<container::XNameAccess> bookmarks;
    if (uno::Reference<text::XBookmarksSupplier> supplier{model, uno::UNO_QUERY}; supplier.is())
        bookmarks = supplier->getBookmarks();
    // The export writes cross-references as plain text; as links they lead to their
    // target, also once the target lies on another page.
    for (const auto &[portion, name] : collector.references)
        if (bookmarks.is() && bookmarks->hasByName(name))
            portion->setPropertyValue(OUString("HyperLinkURL"), uno::Any(OUString("#") + name));

    uno::Reference<lang::XMultiServiceFactory> factory(model, uno::UNO_QUERY_THROW);
    for (const Place &place : collector.places) {
        const bool isHeading = place.heading >= 0;
        const QString wanted = isHeading ? QStringLiteral("zelbrin-h%1").arg(place.heading + 1)
                                         : QStringLiteral("zelbrin-x%1").arg(place.entry + 1);
        uno::Reference<container::XNamed> bookmark(
            factory->createInstance(OUString("com.sun.star.text.Bookmark")), uno::UNO_QUERY_THROW);
        bookmark->setName(freeBookmarkName(bookmarks, wanted));
        uno::Reference<text::XTextContent> content(bookmark, uno::UNO_QUERY_THROW);
        place.range->getText()->insertTextContent(place.range, content, false);
        const QString anchor = toQ(bookmark->getName());
        if (isHeading)
            collector.outline.headings[place.heading].anchor = anchor;
        else
            collector.outline.indexEntries[place.entry].anchor = anchor;
    }
}

}  // namespace

struct WriterOutline::Walk {
    WriterCollector collector;
};

WriterOutline::WriterOutline(const uno::Reference<uno::XInterface> &model)
    : walk_(std::make_unique<Walk>()) {
    uno::Reference<text::XTextDocument> document(model, uno::UNO_QUERY_THROW);
    walk_->collector.outline.kind = QLatin1String(protocol::kWriter);
    walk_->collector.walk(document->getText(), true);
    markPlaces(model, walk_->collector);
}

WriterOutline::~WriterOutline() = default;

const DocumentOutline &WriterOutline::outline() const {
    return walk_->collector.outline;
}

DocumentOutline sheetOutline(const uno::Reference<uno::XInterface> &model, const QByteArray &page) {
    DocumentOutline outline;
    outline.kind = QLatin1String(protocol::kCalc);
    uno::Reference<sheet::XSpreadsheetDocument> document(model, uno::UNO_QUERY_THROW);
    uno::Reference<container::XIndexAccess> sheets(document->getSheets(), uno::UNO_QUERY_THROW);
    // The export names each sheet's place after the sheet's number ("table0" ...) and
    // leaves hidden sheets out.
    const QString lowerPage = QString::fromUtf8(page).toLower();
    for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
        uno::Reference<container::XNamed> sheet(sheets->getByIndex(i), uno::UNO_QUERY);
        const QString anchor = QStringLiteral("table%1").arg(i);
        if (!sheet.is() || !lowerPage.contains(QStringLiteral("name=\"%1\"").arg(anchor)))
            continue;
        const QString title = normalizedHeadingText(toQ(sheet->getName()));
        outline.headings.append({1, title.isEmpty() ? anchor : title, anchor});
    }
    return outline;
}

DocumentOutline slideOutline(const uno::Reference<uno::XInterface> &model) {
    DocumentOutline outline;
    outline.kind = QLatin1String(protocol::kImpress);
    uno::Reference<drawing::XDrawPagesSupplier> supplier(model, uno::UNO_QUERY_THROW);
    uno::Reference<container::XIndexAccess> pages(supplier->getDrawPages(), uno::UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < pages->getCount(); ++i) {
        uno::Reference<container::XIndexAccess> shapes(pages->getByIndex(i), uno::UNO_QUERY);
        QString title, firstLine;
        for (sal_Int32 s = 0; shapes.is() && s < shapes->getCount() && title.isEmpty(); ++s) {
            uno::Reference<text::XTextRange> text(shapes->getByIndex(s), uno::UNO_QUERY);
            if (!text.is())
                continue;
            const QString content = toQ(text->getString());
            if (supports(text, "com.sun.star.presentation.TitleTextShape"))
                title = normalizedHeadingText(content);
            if (firstLine.isEmpty())
                for (const QString &line : content.split(QRegularExpression(QStringLiteral("[\\n\\r\\x{2028}]"))))
                    if (firstLine = normalizedHeadingText(line); !firstLine.isEmpty())
                        break;
        }
        if (title.isEmpty())
            title = firstLine;
        if (title.isEmpty())
            title = QStringLiteral("幻灯片 %1").arg(i + 1);
        outline.headings.append({1, title, slideAnchorName(int(i) + 1)});
    }
    return outline;
}

void saveOutline(const QString &pagePath, const DocumentOutline &outline) {
    QSaveFile file(outlineFilePath(pagePath));
    if (!file.open(QIODevice::WriteOnly) || file.write(writeOutline(outline)) < 0 || !file.commit())
        throw WorkerError(QStringLiteral("无法写入文件：%1").arg(outlineFilePath(pagePath)));
}

}  // namespace zelbrin::officeworker
