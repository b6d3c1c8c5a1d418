#pragma once

#include "builderror.h"

#include <QString>
#include <functional>
#include <memory>
#include <stop_token>

namespace zelbrin {

// How a document becomes a page, by its extension: copied as it is (HTML), or converted by
// the office as a text document, a workbook or a presentation. None: not a document.
enum class DocumentRoute { None, Html, Word, Workbook, Presentation };
inline bool isOfficeRoute(DocumentRoute route) {
    return route != DocumentRoute::None && route != DocumentRoute::Html;
}

// Why a document got no page, when the fault lies in the document itself. The build skips
// such a document and goes on.
struct DocumentFault {
    QString reason;  // for the user: one of the texts below
    QString detail;  // what the office itself said, for a closer look; may be empty
};

// A linked document that got a stand-in page instead of its own, and why.
struct FailedDocument {
    QString path;
    DocumentFault fault;
    bool operator==(const FailedDocument &o) const {
        return path == o.path && fault.reason == o.fault.reason && fault.detail == o.fault.detail;
    }
};

inline const QString kDocumentMissing = QStringLiteral("文档不存在");
inline const QString kDocumentDamaged = QStringLiteral("文档已损坏");
inline const QString kDocumentProtected = QStringLiteral("文档有密码保护");
inline const QString kNotADocument = QStringLiteral("不是文档文件");
inline const QString kDocumentOfAnotherKind = QStringLiteral("文档内容与扩展名不符");
inline const QString kDocumentUnreadable = QStringLiteral("文档无法读取");
inline const QString kKindNotConverted = QStringLiteral("不支持此类文件");
inline const QString kDocumentNotConverted = QStringLiteral("文档无法转换");
inline const QString kEveryAttemptFailed = QStringLiteral("办公软件多次转换失败");

// True when the document fails the same way every time, whatever becomes of the office: it
// is damaged, protected, no document or not what its extension says. Not so a missing or
// unreadable file, which a person may mend without changing a byte, nor a failure that the
// office may have caused (it died, hung, could not write).
inline bool faultLiesInContent(const DocumentFault &fault) {
    return fault.reason == kDocumentDamaged || fault.reason == kDocumentProtected ||
           fault.reason == kNotADocument || fault.reason == kDocumentOfAnotherKind;
}

// A Word-route document that cannot be converted through its own fault.
class DocumentError : public BuildError {
public:
    explicit DocumentError(DocumentFault fault) : BuildError(fault.reason), fault_(std::move(fault)) {}
    const DocumentFault &fault() const { return fault_; }

private:
    DocumentFault fault_;
};

// One attempt at a workbook or presentation. A failed attempt with a reason failed through
// the document's fault and is not tried again; one without (the office died, hung, or
// could not write) may be.
struct ConversionAttempt {
    bool made = false;
    DocumentFault fault;
    operator bool() const { return made; }
};

// The office application of one build: converts
// documents to HTML pages. One session serves every document of a build and is
// told to quit at its end.
class OfficeSession {
public:
    virtual ~OfficeSession() = default;

    // With outline, every route also marks the document's headings, index entries, sheets
    // or slides in the page and writes their outline beside it (documentoutline.h);
    // without it the page is exactly as ever.
    //
    // Word route (.doc, .docx, .txt): writes the page at target (companion files such as
    // pictures beside it, under names unique to this page). Throws DocumentError when the
    // document itself cannot be converted, OfficeError when the office died or hung, and
    // BuildError when the page cannot be written.
    virtual void convertWordDocument(const QString &source, const QString &target, bool outline = false) = 0;
    // Excel and PowerPoint routes: one attempt each. Never throw.
    // A workbook page carries every sheet; a presentation page every slide's text and a
    // picture of each slide.
    virtual ConversionAttempt convertWorkbook(const QString &source, const QString &target, bool outline = false) = 0;
    virtual ConversionAttempt convertPresentation(const QString &source, const QString &target,
                                                  bool outline = false) = 0;
    // Ends the office; no office process outlives this call. Throws OfficeError when the
    // office could not be ended cleanly (it is then killed all the same).
    virtual void quit() = 0;
};

// Starts the office for one build; throws BuildError when it cannot be started. Once stop
// is requested (the build was cancelled), the session's waits end and its office is
// killed instead of being asked to quit.
using OfficeSessionFactory = std::function<std::unique_ptr<OfficeSession>(const std::stop_token &stop)>;

}  // namespace zelbrin
