#pragma once

#include <QByteArray>
#include <QString>

namespace zelbrin::chm {
struct AnsiCodePage;
}

namespace zelbrin::hhc {

struct ConvertedPage {
    QByteArray stored;  // the page as the help file stores it
    QString text;       // the page as text
    QString title;      // the text of its <title>, blanks collapsed; empty when it has none
};

// The Windows help viewer and its search read pages in the help file's ANSI code page.
// A page in UTF-8 (declared so, by a byte-order mark, or undeclared and valid UTF-8, as
// office programs write them) is stored in the code page with its charset declaration
// changed to match, or one added; a character the code page lacks becomes a numeric
// character reference. An undeclared page that is not UTF-8 is taken to be in the code
// page already and gets the declaration. A page that declares another charset (the code
// page's own, or any other the viewer knows), and an undeclared page of ASCII text only,
// which reads the same in every code page, are stored byte for byte.
//
// Every stored page holds only bytes its declared charset defines, taken at its word as
// strict readers (xchm, kchmviewer's indexer) take it: where the bytes of the code page
// go beyond the standard the declaration names, the page declares the wider name the
// Windows viewer reads the same (gbk, not gb2312, for GBK-only characters such as
// traditional Chinese), and what no such name covers is written as character references.
ConvertedPage convertPage(const QByteArray &page, const chm::AnsiCodePage &codePage);

}  // namespace zelbrin::hhc
