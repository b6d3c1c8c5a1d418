// Long manuals cut into topics through the real office and hhc, read back with CHMLib's
// extract_chmLib and hh -dump: their pages, contents entries, index keywords, links and
// pictures; a workbook's sheets and a presentation's slides as entries.
#include "chmcheck.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace zelbrin::testing;

namespace {

QString bin(const QString &program) { return qEnvironmentVariable("ZELBRIN_BIN_DIR") + "/" + program; }

QString readPage(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? decodePage(f.readAll()) : QString();
}

// Links and pictures of the stored pages that stay inside the help file and lead to no
// stored file, or to an anchor that the page they lead to lacks.
QStringList brokenLinks(const QString &folder, int *checked) {
    static const QRegularExpression reference(QStringLiteral("\\s(?:href|src)\\s*=\\s*\"([^\"]*)\""),
                                              QRegularExpression::CaseInsensitiveOption);
    QStringList broken;
    for (QDirIterator it(folder, {"*.htm", "*.html"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString page = it.next();
        const QString html = readPage(page);
        for (auto m = reference.globalMatch(html); m.hasNext();) {
            const QString value = m.next().captured(1).replace("&amp;", "&");
            if (value.contains(':') || value.isEmpty())
                continue;  // another scheme: not ours to resolve
            const QString path = value.section('#', 0, 0);
            const QString anchor = value.section('#', 1);
            const QString target = path.isEmpty() ? page
                                                  : QDir::cleanPath(QFileInfo(page).path() + '/' +
                                                                    QUrl::fromPercentEncoding(path.toUtf8()));
            ++*checked;
            if (!QFileInfo(target).isFile()) {
                broken << page.mid(folder.size()) + " -> " + value;
                continue;
            }
            const QString text = anchor.isEmpty() ? QString() : readPage(target);
            if (!anchor.isEmpty() && !text.contains("name=\"" + anchor + "\"", Qt::CaseInsensitive) &&
                !text.contains("id=\"" + anchor + "\"", Qt::CaseInsensitive))
                broken << page.mid(folder.size()) + " -> " + value + " (no such anchor)";
        }
    }
    return broken;
}

QString pageTitle(const QString &path) {
    static const QRegularExpression title(QStringLiteral("<title>([^<]*)</title>"),
                                          QRegularExpression::CaseInsensitiveOption);
    return title.match(readPage(path)).captured(1);
}

}  // namespace

TEST(Topics, LongManualsBecomePagesContentsAndIndex) {
    const QString corpus = corpusFolder();
    ASSERT_FALSE(corpus.isEmpty()) << "shared/corpus not found beside the checkout";
    const QString documents = qEnvironmentVariable("ZELBRIN_SOURCE_DIR") + "/testdata/documents/";
    QTemporaryDir tmp;
    const QString project = tmp.path() + "/手册.zlp";
    // The project splits at level 2, with contents down to level 3 and the documents' index
    // entries as keywords; the English manual is split at level 1 and gives its headings as
    // keywords too.
    QFile file(project);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(("<手册><WorkCatalog>" + documents + "</WorkCatalog><Items><Item Caption=\"手册\" FullDir=\"\">"
                "<Item Caption=\"框架使用手册.docx\" FullDir=\"" + documents + "框架使用手册.docx\"/>"
                "<Item Caption=\"Docx4j_GettingStarted.docx\" FullDir=\"" + documents +
                "Docx4j_GettingStarted.docx\" SplitLevel=\"1\" HeadingKeywords=\"1\"/>"
                "<Item Caption=\"索引示例.docx\" FullDir=\"" + documents + "索引示例.docx\"/>"
                "<Item Caption=\"FieldCodes.docx\" FullDir=\"" + documents + "FieldCodes.docx\"/></Item>"
                "<Item Caption=\"表格与演示\" FullDir=\"\">"
                "<Item Caption=\"19599-2.xls\" FullDir=\"" + corpus + "/xls/19599-2.xls\"/>"
                "<Item Caption=\"bug55030.ppt\" FullDir=\"" + corpus + "/ppt/bug55030.ppt\" SplitLevel=\"0\"/>"
                "<Item Caption=\"aascu.pptx\" FullDir=\"" + corpus +
                "/pptx/aascu.org_hbcu_leadershipsummit_cooper_.pptx\"/></Item>"
                "</Items><TopicSettings SplitLevel=\"2\" ContentsDepth=\"3\" IndexKeywords=\"1\"/></手册>")
                   .toUtf8());
    file.close();

    QString output;
    ASSERT_EQ(runProgram(bin("zelbrin-build"), {"--no-cache", project}, &output, 20 * 60 * 1000), 0)
        << output.toStdString();
    const UnpackedChm chm = unpackChm(tmp.path() + "/手册.CHM", tmp.path() + "/out");
    ASSERT_TRUE(chm.error.isEmpty()) << chm.error.toStdString();
    EXPECT_TRUE(chm.deadLocals.isEmpty()) << chm.deadLocals.join(", ").toStdString();
    const QString pages = tmp.path() + "/out/html/手册/";
    const QString others = tmp.path() + "/out/html/表格与演示/";

    // One page per heading down to the split level, each with its contents entry below the
    // document's own, titled by its heading; the document's own page by its caption, not
    // by the title property inside the document ("Document1").
    // Page name -> the contents entries that lead to its top; headings below the split
    // level lead into their page ("#anchor").
    QMap<QString, QStringList> entriesOf;
    for (const auto &[name, local] : chm.entries)
        entriesOf[QFileInfo(local).fileName()] << name;
    const auto partsOf = [&](const QString &folder, const QString &stem) {
        return QDir(folder).entryList({stem + "_part*.htm"}, QDir::Files);
    };
    EXPECT_EQ(partsOf(pages, "Docx4j_GettingStarted").size(), 51);  // its Heading 1 paragraphs
    EXPECT_GE(partsOf(pages, "框架使用手册").size(), 60);             // 标题 1 and 标题 2
    for (const QString stem : {"框架使用手册", "Docx4j_GettingStarted", "索引示例"})
        for (const QString &part : partsOf(pages, stem)) {
            EXPECT_EQ(entriesOf.value(part).size(), 1) << part.toStdString();
            EXPECT_EQ(pageTitle(pages + part), entriesOf.value(part).value(0)) << part.toStdString();
        }
    EXPECT_EQ(entriesOf.value("框架使用手册_part1.htm"), QStringList{"环境"});
    EXPECT_EQ(entriesOf.value("Docx4j_GettingStarted_part1.htm"), QStringList{"What is docx4j?"});
    // Its Heading 2 paragraphs lead to their place inside the pages.
    EXPECT_EQ(std::count_if(chm.entries.begin(), chm.entries.end(),
                            [](const auto &e) { return e.second.contains(QRegularExpression("/Docx4j_GettingStarted_part\\d+.htm#")); }),
              20);
    // Opening with its first heading, a split document's own page is that heading's.
    EXPECT_EQ(pageTitle(pages + "索引示例.htm"), "安装");
    EXPECT_EQ(entriesOf.value("索引示例.htm"), (QStringList{"索引示例", "安装"}));
    EXPECT_EQ(pageTitle(pages + "FieldCodes.htm"), "FieldCodes");
    EXPECT_EQ(entriesOf.value("索引示例_part1.htm"), QStringList{"卸载"});
    // A sheet per entry; a slide per entry, titled by the slide's title, also unsplit.
    EXPECT_EQ(entriesOf.value("19599-2_part1.htm"), QStringList{"汇总"});
    EXPECT_EQ(entriesOf.value("19599-2_part2.htm"), QStringList{"订阅上行列表"});
    EXPECT_EQ(entriesOf.value("bug55030.htm"), QStringList{"bug55030"});
    EXPECT_EQ(entriesOf.value("bug55030.htm#zelbrin-slide1"), QStringList{"平抛运动的分解演示"});
    EXPECT_EQ(pageTitle(others + "bug55030.htm"), "bug55030");
    EXPECT_EQ(entriesOf.value("aascu.org_hbcu_leadershipsummit_cooper__part1.htm"), QStringList{"About IHEP"});

    // Every link between the pages (the table of contents, cross-references, 上一页 /
    // 上一级 / 下一页) and every picture resolves inside the help file; each picture of the
    // Chinese manual is shown by one of its pages.
    int checked = 0;
    const QStringList broken = brokenLinks(tmp.path() + "/out/html", &checked);
    EXPECT_TRUE(broken.isEmpty()) << broken.join("\n").toStdString();
    EXPECT_GT(checked, 500);
    const QStringList pictures = QDir(pages).entryList({"框架使用手册_htm_*"}, QDir::Files);
    EXPECT_EQ(pictures.size(), 14);
    for (const QString &picture : pictures) {
        int shownBy = 0;
        for (const QString &part : partsOf(pages, "框架使用手册") + QStringList{"框架使用手册.htm"})
            shownBy += readPage(pages + part).contains("src=\"" + QString::fromLatin1(QUrl::toPercentEncoding(picture)) + "\"") ? 1 : 0;
        EXPECT_GE(shownBy, 1) << picture.toStdString();
    }

    // The index as the help file holds it: the documents' XE entries with their
    // sub-entries, a keyword of two places with both, the English manual's headings.
    ASSERT_EQ(runProgram(bin("hh"), {"-dump", tmp.path() + "/手册.CHM"}, &output, 60000), 0);
    const auto keyword = [&](const QString &text) {
        const QRegularExpression line("\"" + QRegularExpression::escape(text) + "\": [^\n]*pairs (\\d+), topics \\[([^\\]]*)\\]");
        const QRegularExpressionMatch m = line.match(output);
        return m.hasMatch() ? m.captured(1) + " " + m.captured(2) : QString();
    };
    EXPECT_TRUE(keyword("安装").startsWith("0 ")) << output.toStdString();
    EXPECT_TRUE(keyword("安装, 系统要求").startsWith("1 ") && keyword("安装, 系统要求").contains("/索引示例.htm#"))
        << keyword("安装, 系统要求").toStdString();
    EXPECT_TRUE(keyword("帮助文件, 编译").contains("/索引示例_part2.htm")) << keyword("帮助文件, 编译").toStdString();
    EXPECT_TRUE(keyword("配置文件").startsWith("2 ")) << keyword("配置文件").toStdString();
    EXPECT_TRUE(keyword("Index entry, Sub entry, Sub entry of sub entry").startsWith("1 "));
    EXPECT_TRUE(keyword("日本").contains("/FieldCodes")) << keyword("日本").toStdString();
    EXPECT_TRUE(keyword("What is docx4j?").contains("/Docx4j_GettingStarted_part1.htm"))
        << keyword("What is docx4j?").toStdString();
    // Headings are keywords only where chosen.
    EXPECT_TRUE(keyword("环境").isEmpty());

    // --split 0 turns the project's splitting off for one build; a document's own level
    // still holds.
    ASSERT_EQ(runProgram(bin("zelbrin-build"), {"--no-cache", "--split", "0", "--keep-temp", project}, &output,
                         20 * 60 * 1000), 0)
        << output.toStdString();
    EXPECT_TRUE(partsOf(tmp.path() + "/temp/html/手册/", "框架使用手册").isEmpty());
    EXPECT_EQ(partsOf(tmp.path() + "/temp/html/手册/", "Docx4j_GettingStarted").size(), 51);
}
