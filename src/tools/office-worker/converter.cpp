#include "converter.h"

#include "textimport.h"
#include "officeprotocol.h"
#include "outlineexport.h"
#include "presentationpage.h"
#include "unoutil.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/document/XDocumentProperties.hpp>
#include <com/sun/star/document/XDocumentPropertiesSupplier.hpp>
#include <com/sun/star/document/XTypeDetection.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/XLoadable.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/task/ErrorCodeIOException.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/util/DateTime.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XRefreshable.hpp>

#include <cmath>
#include <memory>
#include <optional>
#include <vector>

using namespace css;
using rtl::OUString;

namespace zelbrin::officeworker {

namespace {

namespace protocol = zelbrin::officeprotocol;

constexpr char kCsvFilter[] = "Text - txt - csv (StarCalc)";

// Slide pictures: wide enough to read a slide's text on screen. JPEG, because rendering
// and writing PNG took twice as long for slides with photographs (and twice the bytes),
// while text stays clean at this quality.
constexpr sal_Int32 kSlidePixelWidth = 960;
constexpr sal_Int32 kSlideJpegQuality = 85;

uno::Reference<uno::XInterface> create(const uno::Reference<uno::XComponentContext> &ctx,
                                       const char *service) {
    return ctx->getServiceManager()->createInstanceWithContext(OUString::createFromAscii(service),
                                                               ctx);
}

uno::Sequence<beans::PropertyValue> filterDescription(
    const uno::Reference<uno::XComponentContext> &ctx, const OUString &filter) {
    uno::Reference<container::XNameAccess> filters(
        create(ctx, "com.sun.star.document.FilterFactory"), uno::UNO_QUERY_THROW);
    uno::Sequence<beans::PropertyValue> description;
    if (filters->hasByName(filter))
        filters->getByName(filter) >>= description;
    return description;
}

// The import filter that type detection (with a look into the file) chooses; empty when
// the file is of no known type.
OUString detectFilter(const uno::Reference<uno::XComponentContext> &ctx, const OUString &url) {
    uno::Reference<document::XTypeDetection> detection(
        create(ctx, "com.sun.star.document.TypeDetection"), uno::UNO_QUERY_THROW);
    // Read-only: otherwise detection opens the user's document for writing.
    uno::Sequence<beans::PropertyValue> descriptor =
        props({prop("URL", uno::Any(url)), prop("ReadOnly", uno::Any(true))});
    const OUString type = detection->queryTypeByDescriptor(descriptor, true);
    if (type.isEmpty())
        return {};
    OUString filter;
    if (findProp(descriptor, "FilterName") >>= filter; !filter.isEmpty())
        return filter;
    uno::Reference<container::XNameAccess> types(detection, uno::UNO_QUERY_THROW);
    uno::Sequence<beans::PropertyValue> typeDescription;
    types->getByName(type) >>= typeDescription;
    findProp(typeDescription, "PreferredFilter") >>= filter;
    return filter;
}

// Import filters tried when detection finds nothing or its choice cannot load the file:
// the binary and XML formats of the route. Text filters are not among them: they would
// turn any unreadable file into a page of garbage instead of an error.
std::vector<const char *> fallbackFilters(const QString &kind) {
    if (kind == QLatin1String(protocol::kCalc))
        return {"MS Excel 97", "Calc MS Excel 2007 XML", "calc8", "MS Excel 95", "MS Excel 5.0/95",
                "MS Excel 4.0", "MS Excel 2003 XML"};
    if (kind == QLatin1String(protocol::kImpress))
        return {"MS PowerPoint 97", "Impress MS PowerPoint 2007 XML", "impress8"};
    return {"MS Word 97", "MS Word 2007 XML", "writer8", "MS Word 95", "Rich Text Format"};
}

void closeModel(const uno::Reference<uno::XInterface> &model) {
    if (!model.is())
        return;
    try {
        uno::Reference<util::XCloseable> closeable(model, uno::UNO_QUERY);
        if (closeable.is()) {
            closeable->close(true);
            return;
        }
        uno::Reference<lang::XComponent> component(model, uno::UNO_QUERY);
        if (component.is())
            component->dispose();
    } catch (const lang::DisposedException &) {
        throw;
    } catch (const uno::Exception &) {
    }
}

// Closes the model however the conversion ends.
class ModelGuard {
public:
    explicit ModelGuard(uno::Reference<uno::XInterface> model) : model_(std::move(model)) {}
    ~ModelGuard() {
        try {
            closeModel(model_);
        } catch (...) {
        }
    }
    ModelGuard(const ModelGuard &) = delete;
    ModelGuard &operator=(const ModelGuard &) = delete;

private:
    uno::Reference<uno::XInterface> model_;
};

uno::Reference<uno::XInterface> loadWithFilter(const uno::Reference<uno::XComponentContext> &ctx,
                                               const QString &source, const OUString &filter) {
    const OUString url = fileUrl(source);
    const auto description = filterDescription(ctx, filter);
    OUString service, type;
    findProp(description, "DocumentService") >>= service;
    findProp(description, "Type") >>= type;
    if (service.isEmpty())
        throw uno::RuntimeException("no document service for filter " + filter);
    if (type.indexOf("Text") >= 0) {
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly) || !looksLikeText(file.read(65536)))
            throw uno::RuntimeException(toOU(QStringLiteral("文件既不是可识别的格式，也不是文本")));
    }
    uno::Reference<uno::XInterface> model =
        ctx->getServiceManager()->createInstanceWithContext(service, ctx);
    uno::Reference<frame::XLoadable> loadable(model, uno::UNO_QUERY_THROW);
    uno::Sequence<beans::PropertyValue> descriptor = props({
        prop("URL", uno::Any(url)),
        prop("FilterName", uno::Any(filter)),
        prop("ReadOnly", uno::Any(true)),
        prop("Hidden", uno::Any(true)),
        prop("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
        prop("UpdateDocMode", uno::Any(document::UpdateDocMode::NO_UPDATE)),
    });
    if (filter.equalsAscii(kCsvFilter)) {
        QFile file(source);
        if (file.open(QIODevice::ReadOnly)) {
            descriptor.realloc(descriptor.getLength() + 1);
            descriptor.getArray()[descriptor.getLength() - 1] =
                prop("FilterOptions", uno::Any(toOU(csvFilterOptions(file.read(65536)))));
        }
    }
    try {
        loadable->load(descriptor);
    } catch (const lang::DisposedException &) {
        throw;
    } catch (const uno::Exception &) {
        closeModel(model);
        throw;
    }
    return model;
}

// The office's error codes (area << 13 | class << 8 | code) that mean a document wants a
// password: a wrong password for ODF and for Word 97, and a password question that nobody
// could answer (Excel 97).
bool asksForPassword(sal_uInt32 error) {
    constexpr sal_uInt32 kWrongPassword = 0x4b0b, kWrongWordPassword = 0x1000f, kAborted = 0x11b;
    error &= 0x3fffffff;  // without the warning and dynamic bits
    return error == kWrongPassword || error == kWrongWordPassword || error == kAborted;
}

// The start of a file in a format that holds documents: a file that begins so but cannot
// be read is damaged, any other is no document at all.
QByteArray fileStart(const QString &source, qint64 bytes) {
    QFile file(source);
    return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
}

bool looksLikeDocumentFormat(const QByteArray &start) {
    static const char *const signatures[] = {
        "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1",  // compound file: .doc .xls .ppt, protected OOXML
        "PK\x03\x04", "PK\x05\x06",               // zip: OOXML and ODF
        "{\\rtf", "<?xml", "\xEF\xBB\xBF<?xml",   // RTF, Office 2003 XML and flat ODF
    };
    for (const char *signature : signatures)
        if (start.startsWith(signature))
            return true;
    return false;
}

// An encrypted OOXML document is a compound file holding the stream "EncryptedPackage".
bool isEncryptedOoxml(const QByteArray &start) {
    static const QByteArray name = QByteArray::fromRawData("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32);
    return start.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") && start.contains(name);
}

uno::Reference<uno::XInterface> load(const uno::Reference<uno::XComponentContext> &ctx,
                                     const QString &kind, const QString &source) {
    std::vector<OUString> candidates;
    const OUString detected = detectFilter(ctx, fileUrl(source));
    if (!detected.isEmpty())
        candidates.push_back(detected);
    for (const char *name : fallbackFilters(kind)) {
        const OUString filter = OUString::createFromAscii(name);
        if (filter != detected)
            candidates.push_back(filter);
    }
    QString firstError;
    bool wantsPassword = false;
    // The filter's own name ("Text", "MS Word 97") is said to be one, not left bare.
    const auto keepFirst = [&](const uno::Exception &e, const OUString &filter) {
        if (firstError.isEmpty())
            firstError = QStringLiteral("%1（用筛选器“%2”打开）").arg(toQ(e.Message), toQ(filter));
    };
    for (const OUString &filter : candidates) {
        try {
            return loadWithFilter(ctx, source, filter);
        } catch (const lang::DisposedException &) {
            throw;
        } catch (const task::ErrorCodeIOException &e) {
            wantsPassword = wantsPassword || asksForPassword(sal_uInt32(e.ErrCode));
            keepFirst(e, filter);
        } catch (const uno::Exception &e) {
            keepFirst(e, filter);
        }
    }
    // The directory of a compound file may lie anywhere in it; its first megabyte holds it
    // in every protected document seen.
    const QByteArray start = fileStart(source, 1 << 20);
    const char *fault = wantsPassword || isEncryptedOoxml(start) ? protocol::kFaultProtected
                        : looksLikeDocumentFormat(start)         ? protocol::kFaultDamaged
                                                                 : protocol::kFaultNotADocument;
    throw WorkerError(QStringLiteral("无法打开文档：%1").arg(firstError), fault);
}

bool supports(const uno::Reference<uno::XInterface> &model, const char *service) {
    uno::Reference<lang::XServiceInfo> info(model, uno::UNO_QUERY);
    return info.is() && info->supportsService(OUString::createFromAscii(service));
}

// A document that the office reads as something other than its route expects (a
// presentation file that only opens as text, say) is not converted into a wrong page.
void checkRoute(const QString &kind, const uno::Reference<uno::XInterface> &model) {
    bool fits = false;
    QString expected;
    if (kind == QLatin1String(protocol::kCalc)) {
        fits = supports(model, "com.sun.star.sheet.SpreadsheetDocument");
        expected = QStringLiteral("电子表格");
    } else if (kind == QLatin1String(protocol::kImpress)) {
        fits = supports(model, "com.sun.star.presentation.PresentationDocument") ||
               supports(model, "com.sun.star.drawing.DrawingDocument");
        expected = QStringLiteral("演示文稿");
    } else {
        fits = supports(model, "com.sun.star.text.TextDocument") ||
               supports(model, "com.sun.star.text.WebDocument");
        expected = QStringLiteral("文字处理文档");
    }
    if (!fits)
        throw WorkerError(QStringLiteral("文档不是%1").arg(expected), protocol::kFaultOtherKind);
}

void store(const uno::Reference<uno::XInterface> &model, const QString &target,
           const char *filter) {
    uno::Reference<frame::XStorable> storable(model, uno::UNO_QUERY_THROW);
    storable->storeToURL(fileUrl(target),
                         props({
                             prop("FilterName", uno::Any(OUString::createFromAscii(filter))),
                             prop("Overwrite", uno::Any(true)),
                         }));
}

// Numbers that only a layout would fill in otherwise (figure and table captions,
// references) are brought up to date; the model has no view that would do it.
void refreshFields(const uno::Reference<uno::XInterface> &model) {
    uno::Reference<text::XTextFieldsSupplier> supplier(model, uno::UNO_QUERY);
    if (!supplier.is())
        return;
    uno::Reference<util::XRefreshable> fields(supplier->getTextFields(), uno::UNO_QUERY);
    if (fields.is())
        fields->refresh();
}

// A date or time field that shows the moment of conversion would make the page differ from
// run to run, and a kept page show a day long past: such fields show the document's own time
// instead, its last saving (else its making), as fixed fields do.
void freezeClockFields(const uno::Reference<uno::XInterface> &model) {
    uno::Reference<text::XTextFieldsSupplier> supplier(model, uno::UNO_QUERY);
    uno::Reference<document::XDocumentPropertiesSupplier> propertiesSupplier(model, uno::UNO_QUERY);
    if (!supplier.is() || !propertiesSupplier.is())
        return;
    const auto properties = propertiesSupplier->getDocumentProperties();
    util::DateTime when = properties->getModificationDate();
    if (when.Year == 0)
        when = properties->getCreationDate();
    if (when.Year == 0)
        return;
    const auto fields = supplier->getTextFields()->createEnumeration();
    while (fields->hasMoreElements()) {
        uno::Reference<lang::XServiceInfo> field(fields->nextElement(), uno::UNO_QUERY);
        if (!field.is() || !field->supportsService("com.sun.star.text.textfield.DateTime"))
            continue;
        uno::Reference<beans::XPropertySet> fieldProperties(field, uno::UNO_QUERY_THROW);
        bool fixed = false;
        fieldProperties->getPropertyValue("IsFixed") >>= fixed;
        if (fixed)
            continue;
        fieldProperties->setPropertyValue("IsFixed", uno::Any(true));
        fieldProperties->setPropertyValue("DateTimeValue", uno::Any(when));
    }
}

void exportPresentation(const uno::Reference<uno::XComponentContext> &ctx,
                        const uno::Reference<uno::XInterface> &model, const QString &target,
                        const QString &scratchFolder, const char *textFilter,
                        bool slideAnchors) {
    // Text of every slide: the export's single-document mode (no filter data) writes all
    // slides' titles, outlines, text boxes and tables into one page.
    const QString textPage = scratchFolder + QStringLiteral("/slides.html");
    QFile::remove(textPage);
    store(model, textPage, textFilter);
    QFile textFile(textPage);
    if (!textFile.open(QIODevice::ReadOnly))
        throw WorkerError(QStringLiteral("演示文稿的文字没有导出"), protocol::kFaultNotConverted);
    const QByteArray text = textFile.readAll();
    textFile.close();
    QFile::remove(textPage);

    // A picture of every slide, in a folder that belongs to this page alone.
    const QFileInfo targetInfo(target);
    const QString folderName = companionFolderName(targetInfo.fileName());
    QDir folder(targetInfo.absolutePath() + QLatin1Char('/') + folderName);
    // Pictures of an earlier page of this name go; a link is removed, never followed.
    if (QFileInfo(folder.path()).isSymLink())
        QFile::remove(folder.path());
    else if (folder.exists())
        folder.removeRecursively();
    if (!QDir().mkpath(folder.absolutePath()))
        throw WorkerError(QStringLiteral("无法建立文件夹：%1").arg(folder.absolutePath()));

    uno::Reference<drawing::XDrawPagesSupplier> supplier(model, uno::UNO_QUERY_THROW);
    uno::Reference<drawing::XDrawPages> pages = supplier->getDrawPages();
    const auto exporter = drawing::GraphicExportFilter::create(ctx);
    QList<SlidePicture> pictures;
    for (sal_Int32 i = 0; i < pages->getCount(); ++i) {
        uno::Reference<drawing::XDrawPage> page(pages->getByIndex(i), uno::UNO_QUERY_THROW);
        uno::Reference<beans::XPropertySet> pageProps(page, uno::UNO_QUERY_THROW);
        sal_Int32 width = 0, height = 0;
        pageProps->getPropertyValue("Width") >>= width;
        pageProps->getPropertyValue("Height") >>= height;
        SlidePicture picture;
        picture.fileName = QStringLiteral("slide%1.jpg").arg(i + 1);
        picture.width = kSlidePixelWidth;
        picture.height = width > 0 ? int(std::lround(double(kSlidePixelWidth) * height / width))
                                   : kSlidePixelWidth * 3 / 4;
        const QString file = folder.filePath(picture.fileName);
        exporter->setSourceDocument(uno::Reference<lang::XComponent>(page, uno::UNO_QUERY_THROW));
        const uno::Sequence<beans::PropertyValue> filterData = props({
            prop("PixelWidth", uno::Any(sal_Int32(picture.width))),
            prop("PixelHeight", uno::Any(sal_Int32(picture.height))),
            prop("Quality", uno::Any(kSlideJpegQuality)),
        });
        exporter->filter(props({
            prop("URL", uno::Any(fileUrl(file))),
            prop("MediaType", uno::Any(OUString("image/jpeg"))),
            prop("FilterData", uno::Any(filterData)),
        }));
        if (!QFileInfo(file).size())
            throw WorkerError(QStringLiteral("幻灯片 %1 的图片没有写出").arg(i + 1), protocol::kFaultNotConverted);
        pictures << picture;
    }

    QSaveFile page(target);
    if (!page.open(QIODevice::WriteOnly) ||
        page.write(buildPresentationPage(text, folderName, pictures, slideAnchors)) < 0 ||
        !page.commit())
        throw WorkerError(QStringLiteral("无法写入网页：%1").arg(target));
}

QByteArray readPage(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The office names a page's pictures after the page ("<stem>_htm_<16 hex>.jpeg") and a
// presentation's folder after it ("<name>_htm_files"). Linux counts a name's limit of 255
// in bytes, so a Chinese page name that fits (82 characters) would leave its pictures
// unwritable: such a page is exported under a short name beside it and then renamed.
constexpr qsizetype kLongestDerivedSuffix = 32;

QString exportPath(const QFileInfo &target) {
    if (target.fileName().toUtf8().size() + kLongestDerivedSuffix <= 255)
        return target.absoluteFilePath();
    const QByteArray digest =
        QCryptographicHash::hash(target.fileName().toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return target.absolutePath() + QStringLiteral("/p") + QString::fromLatin1(digest) +
           QStringLiteral(".htm");
}

}  // namespace

Converter::Converter(OfficeProcess &office, QString scratchFolder)
    : office_(office), scratchFolder_(std::move(scratchFolder)) {}

void Converter::convert(const QString &kind, const QString &source, const QString &target,
                        bool withOutline) {
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.exists())
        throw WorkerError(QStringLiteral("文档不存在：%1").arg(source), protocol::kFaultMissing);
    if (!sourceInfo.isFile())
        throw WorkerError(QStringLiteral("不是文件：%1").arg(source), protocol::kFaultNotADocument);
    if (!sourceInfo.isReadable())
        throw WorkerError(QStringLiteral("文档不能读取：%1").arg(source), protocol::kFaultUnreadable);
    const QFileInfo targetInfo(target);
    if (!QDir().mkpath(targetInfo.absolutePath()))
        throw WorkerError(QStringLiteral("无法建立文件夹：%1").arg(targetInfo.absolutePath()));

    const QString page = exportPath(targetInfo);
    const auto ctx = office_.context();
    std::optional<DocumentOutline> outline;
    try {
        const auto model = load(ctx, kind, sourceInfo.absoluteFilePath());
        ModelGuard guard(model);
        checkRoute(kind, model);
        if (supports(model, "com.sun.star.presentation.PresentationDocument")) {
            exportPresentation(ctx, model, page, scratchFolder_, "impress_html_Export", withOutline);
            if (withOutline)
                outline = slideOutline(model);
        } else if (supports(model, "com.sun.star.drawing.DrawingDocument")) {
            exportPresentation(ctx, model, page, scratchFolder_, "draw_html_Export", withOutline);
            if (withOutline)
                outline = slideOutline(model);
        } else if (supports(model, "com.sun.star.sheet.SpreadsheetDocument")) {
            store(model, page, "HTML (StarCalc)");
            if (withOutline)
                outline = sheetOutline(model, readPage(page));
        } else if (supports(model, "com.sun.star.text.WebDocument")) {
            store(model, page, "HTML");
        } else if (supports(model, "com.sun.star.text.TextDocument")) {
            refreshFields(model);
            freezeClockFields(model);
            std::unique_ptr<WriterOutline> marks;
            if (withOutline)
                marks = std::make_unique<WriterOutline>(model);
            store(model, page, "HTML (StarWriter)");
            if (marks)
                outline = marks->outline();
        } else {
            throw WorkerError(QStringLiteral("不支持的文档类型"), protocol::kFaultOtherKind);
        }
    } catch (const lang::DisposedException &e) {
        office_.discard();
        throw WorkerError(QStringLiteral("LibreOffice 在转换时崩溃或断开了连接：%1").arg(toQ(e.Message)),
                          protocol::kFaultOfficeCrashed);
    } catch (const uno::Exception &e) {
        if (!office_.alive()) {
            office_.discard();
            throw WorkerError(QStringLiteral("LibreOffice 在转换时崩溃：%1").arg(toQ(e.Message)),
                              protocol::kFaultOfficeCrashed);
        }
        throw WorkerError(QStringLiteral("转换失败：%1").arg(toQ(e.Message)), protocol::kFaultNotConverted);
    }
    if (page != targetInfo.absoluteFilePath()) {
        QFile::remove(target);
        if (!QFile::rename(page, target))
            throw WorkerError(QStringLiteral("无法写入网页：%1").arg(target));
    }
    if (!QFileInfo(target).isFile() || QFileInfo(target).size() == 0)
        throw WorkerError(QStringLiteral("没有写出网页：%1").arg(target), protocol::kFaultNotConverted);
    if (withOutline)
        saveOutline(target, outline.value_or(DocumentOutline{}));
}

}  // namespace zelbrin::officeworker
