#pragma once

#include "documentoutline.h"

#include <QByteArray>
#include <QString>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XInterface.hpp>

namespace zelbrin::officeworker {

// The outline that the later steps of a build need from a document, read through the
// office's API, since the HTML export leaves out what they need to know: which
// paragraphs are headings (a numbered heading may be a plain list paragraph in the
// page, a table of contents' title a heading that is none), and the index entries
// (Word's XE fields), which it drops entirely.

// Places a bookmark at every heading of the body text and at every index entry, so
// that the export writes an <a name> there, and turns each cross-reference to a
// bookmark into a link to it. Call before storing the page.
DocumentOutline prepareWriterOutline(const css::uno::Reference<css::uno::XInterface> &model);
// The sheets that the stored page holds, titled by their names; page: its bytes.
DocumentOutline sheetOutline(const css::uno::Reference<css::uno::XInterface> &model,
                             const QByteArray &page);
// One entry per slide, titled by its title (else its first line of text, else
// "幻灯片 N"), anchored where buildPresentationPage puts slideAnchorName(N).
DocumentOutline slideOutline(const css::uno::Reference<css::uno::XInterface> &model);

// Writes the outline beside the page (outlineFilePath); throws WorkerError.
void saveOutline(const QString &pagePath, const DocumentOutline &outline);

}  // namespace zelbrin::officeworker
