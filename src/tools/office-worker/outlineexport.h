#pragma once

#include "documentoutline.h"

#include <QByteArray>
#include <QString>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XInterface.hpp>

#include <memory>

namespace zelbrin::officeworker {

// The outline that the later steps of a build need from a document, read through the
// office's API, since the HTML export leaves out what they need to know: which
// paragraphs are headings (a numbered heading may be a plain list paragraph in the
// page, a table of contents' title a heading that is none), and the index entries
// (Word's XE fields), which it drops entirely.

// Places a bookmark at every heading of the body text and at every index entry, so
// that the export writes an <a name> there, and turns each cross-reference to a
// bookmark into a link to it. Make it before storing the page and keep it until the
// page is stored: it holds the office's paragraph and portion objects that the walk
// made, which the office would otherwise free whenever it gets to it, also in the middle
// of writing the page (which lets other work run for its progress display). Freeing
// anything that takes part in the document's marks there has been seen to cost the page
// every bookmark after that point.
class WriterOutline {
public:
    explicit WriterOutline(const css::uno::Reference<css::uno::XInterface> &model);
    ~WriterOutline();
    WriterOutline(const WriterOutline &) = delete;
    WriterOutline &operator=(const WriterOutline &) = delete;

    const DocumentOutline &outline() const;

private:
    struct Walk;
    std::unique_ptr<Walk> walk_;
};
// The sheets that the stored page holds, titled by their names; page: its bytes.
DocumentOutline sheetOutline(const css::uno::Reference<css::uno::XInterface> &model,
                             const QByteArray &page);
// One entry per slide, titled by its title (else its first line of text, else
// "幻灯片 N"), anchored where buildPresentationPage puts slideAnchorName(N).
DocumentOutline slideOutline(const css::uno::Reference<css::uno::XInterface> &model);

// Writes the outline beside the page (outlineFilePath); throws WorkerError.
void saveOutline(const QString &pagePath, const DocumentOutline &outline);

}  // namespace zelbrin::officeworker
