#pragma once

#include <QByteArray>
#include <QStringList>

namespace zelbrin::chm {
struct AnsiCodePage;
}

namespace zelbrin::hhc {

// The keywords a page places itself under with the help control's keyword objects:
// <OBJECT type="application/x-oleobject" ...><param name="Keyword" value="a; b">
// <param name="ALink Name" value="c"></OBJECT>. Keywords go into the Index tab's keyword
// index, ALink names into the associative index that ALink jumps look up.
struct PageKeywords {
    QStringList keywords;
    QStringList associative;
    bool isEmpty() const { return keywords.isEmpty() && associative.isEmpty(); }
};

// The keyword objects of a page as the help file stores it (in the code page).
PageKeywords readPageKeywords(const QByteArray &page, const chm::AnsiCodePage &codePage);

}  // namespace zelbrin::hhc
