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
    QStringList associative;  // each name as often as the page gives it
};

// The keyword objects of a page (in the code page). The help compiler's own objects (class
// id 1e2a7bd0-..., which its "Compiler Information" command writes) are instructions to the
// compiler: they are taken out of the page as it is stored, as the help compiler does.
PageKeywords readPageKeywords(QByteArray &page, const chm::AnsiCodePage &codePage);

}  // namespace zelbrin::hhc
