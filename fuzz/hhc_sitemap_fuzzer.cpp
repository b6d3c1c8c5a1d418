// hhc's contents and index reader: the objects as the help file's contents are built from
// them, and the Local values found, resolved against the contents file's folder and
// rewritten to stored names.
#include "scratchfolder.h"
#include "sitemap.h"
#include "stager.h"

using namespace zelbrin;
using namespace zelbrin::hhc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString &folder = fuzz::scratchFolder({
        {"start.htm", "<html></html>"},
        {"pages/topic.htm", "<html></html>"},
        {"pages/page.html", "<html></html>"},
    });
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const chm::AnsiCodePage &codePage = chm::ansiCodePage(0x804);
    Stager stager(folder, codePage);
    const StagedSitemap staged =
        stageSitemap(bytes, folder + QStringLiteral("toc.hhc"), QStringLiteral("toc.hhc"), folder, codePage, stager);
    fuzz::check(staged.firstPage.isEmpty() || stager.stagedFiles().contains(staged.firstPage),
                "the first page is a staged file");
    for (const SitemapObject &object : readSitemapObjects(bytes, codePage))
        fuzz::check(object.depth >= 0, "an object lies in zero or more lists");
    for (const QString &name : stager.stagedFiles()) {
        // A name may hold dots ("a..b"); a step out of or a stay in a folder it may not.
        const QStringList steps = name.split(u'/');
        fuzz::check(!steps.contains(QString()) && !steps.contains(QStringLiteral("..")) &&
                        !steps.contains(QStringLiteral(".")),
                    "staged names stay below the staging root");
        fuzz::check(!name.contains(QChar(0)), "staged names hold no NUL");
    }
    return 0;
}
