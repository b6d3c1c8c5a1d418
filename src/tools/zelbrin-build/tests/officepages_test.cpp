// The pages the office writes for every route, through zelbrin-build and the real office:
// the ODF documents convert, and the office adds no English words of its own (headings,
// sheet names) to a Chinese help file.
#include "chmcheck.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelbrin::testing;

namespace {

QSet<QString> asciiWords(const QString &text) {
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    QSet<QString> words;
    for (auto it = word.globalMatch(text); it.hasNext();)
        words << it.next().captured().toLower();
    return words;
}

// The words of a source (flat ODF or plain text): its text and its sheet names, not its
// markup.
QSet<QString> sourceWords(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString xml = QString::fromUtf8(f.readAll());
    QSet<QString> words;
    static const QRegularExpression sheetName(QStringLiteral("table:name=\"([^\"]*)\""));
    for (auto it = sheetName.globalMatch(xml); it.hasNext();)
        words += asciiWords(it.next().captured(1));
    xml.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    return words + asciiWords(xml);
}

}  // namespace

TEST(OfficePages, EveryRouteConvertsAndTheOfficeAddsNoEnglishWords) {
    QTemporaryDir tmp;
    const QString samples = qEnvironmentVariable("ZELBRIN_SOURCE_DIR") + "/samples/manual/";
    struct Document {
        const char *title, *file, *source;  // source: what the document was made from
        const char *text;  // a phrase the page must hold
    };
    const Document documents[] = {
        {"Word", "intro.doc", "src/intro.fodt", "欢迎使用 Zelbrin 用户手册"},
        {"Word 2007", "install.docx", "src/install.fodt", "选择工作目录"},
        {"ODF 文字", "setup.odt", "src/install.fodt", "选择工作目录"},
        {"文本", "faq.txt", "docs/faq.txt", "如何添加文档"},
        {"Excel", "prices.xls", "src/prices.fods", "批量折扣"},
        {"ODF 表格", "pricelist.ods", "src/prices.fods", "批量折扣"},
        {"PowerPoint", "overview.ppt", "src/overview.fodp", "路线图"},
        {"ODF 演示", "roadmap.odp", "src/overview.fodp", "路线图"},
    };
    QString xml = "<Pages><WorkCatalog>" + samples + "docs</WorkCatalog><Items>";
    for (const Document &d : documents)
        xml += QString("<Item Caption=\"%1\" FullDir=\"%2docs/%3\"/>").arg(d.title, samples, d.file);
    xml += "</Items></Pages>";
    QFile project(tmp.path() + "/Pages.zlp");
    ASSERT_TRUE(project.open(QIODevice::WriteOnly));
    project.write(xml.toUtf8());
    project.close();

    QString out;
    const int code = runProgram(qEnvironmentVariable("ZELBRIN_BIN_DIR") + "/zelbrin-build",
                                {project.fileName()}, &out, 10 * 60 * 1000);
    ASSERT_EQ(code, 0) << out.toStdString();
    EXPECT_TRUE(out.contains("（共 8 个文档）")) << out.toStdString();
    const UnpackedChm chm = unpackChm(tmp.path() + "/Pages.CHM", tmp.path() + "/out");
    ASSERT_TRUE(chm.error.isEmpty()) << chm.error.toStdString();

    for (const Document &d : documents) {
        const QString page = chm.pageText(QString::fromUtf8(d.title));
        EXPECT_TRUE(page.contains(QString::fromUtf8(d.text))) << d.file << ": " << page.toStdString();
        // Every English word on the page is the document's own (or its name's, or its
        // caption's, which titles the page).
        const QSet<QString> own = asciiWords(QFileInfo(d.file).completeBaseName()) +
                                  asciiWords(QString::fromUtf8(d.title)) + sourceWords(samples + d.source);
        QStringList added = (asciiWords(page) - own).values();
        added.sort();
        EXPECT_TRUE(added.isEmpty()) << d.file << " has words the office added: "
                                     << added.join(' ').toStdString();
    }
    // A workbook's overview and sheet headings are the Chinese office's.
    for (const char *workbook : {"Excel", "ODF 表格"}) {
        const QString page = chm.pageText(QString::fromUtf8(workbook));
        EXPECT_TRUE(page.contains("概览") && page.contains("工作表 1")) << page.toStdString();
    }
}
