#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace zelbrin {

// The office application of one build: converts
// documents to HTML pages. One session serves every document of a build and is
// told to quit at its end.
class OfficeSession {
public:
    virtual ~OfficeSession() = default;

    // Word route (.doc, .docx, .txt): writes the page at target (companion files such as
    // pictures beside it, under names unique to this page). Throws BuildError when the
    // document cannot be opened or saved or the office died or hung.
    virtual void convertWordDocument(const QString &source, const QString &target) = 0;
    // Excel and PowerPoint routes: one attempt each; false when it failed. Never throw.
    // A workbook page carries every sheet; a presentation page every slide's text and a
    // picture of each slide.
    virtual bool convertWorkbook(const QString &source, const QString &target) = 0;
    virtual bool convertPresentation(const QString &source, const QString &target) = 0;
    // Ends the office; no office process outlives this call. Throws BuildError when the
    // office could not be ended cleanly (it is then killed all the same).
    virtual void quit() = 0;
};

// Starts the office for one build; throws BuildError when it cannot be started.
using OfficeSessionFactory = std::function<std::unique_ptr<OfficeSession>()>;

}  // namespace zelbrin
