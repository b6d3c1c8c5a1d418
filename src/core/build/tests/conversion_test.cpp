#include "conversion.h"
#include "builderror.h"
#include "fakeoffice.h"
#include "officepool.h"
#include "pagecache.h"
#include "scriptedprompts.h"
#include "structuretree.h"
#include "project.h"
#include "textencoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace zelbrin;
using namespace zelbrin::testing;

namespace {

void touch(const QString &path, const QByteArray &content = "x") {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

struct ConversionTest : ::testing::Test {
    QTemporaryDir tmp;
    ScriptedPrompts prompts;
    Project project;
    FakeOfficeLog log;
    std::unique_ptr<OfficePool> office;
    std::unique_ptr<DocumentConverter> converter;
    StructureModel &tree = project.tree();
    QString docs, html;

    void SetUp() override {
        docs = tmp.path() + "/docs/";
        html = tmp.path() + "/proj/temp/html/";
        QDir().mkpath(docs);
        OfficePoolSettings settings;
        settings.presentationRetryPauseMs = 0;
        settings.stagingFolder = tmp.path() + "/proj/temp/staging";
        office = std::make_unique<OfficePool>(FakeOffice::factory(log), settings, nullptr);
        converter = std::make_unique<DocumentConverter>(*office, prompts);
    }
    TreeNode *node(TreeNode *parent, const QString &caption, const QString &link = {}) {
        return project.tree().addNode(parent, caption, false, link);
    }
    void convertAll() { converter->convertTree(tree, html); }
};

}  // namespace

TEST(ConversionPaths, ParentFolderAndExtension) {
    EXPECT_EQ(DocumentConverter::parentFolder("/a/b/"), "/a/");
    EXPECT_EQ(DocumentConverter::parentFolder("/a/"), "/");
    EXPECT_EQ(DocumentConverter::parentFolder("ab/"), "");
    EXPECT_EQ(DocumentConverter::documentExtension("/x/Report.DOC"), ".doc");
    EXPECT_EQ(DocumentConverter::documentExtension("/my.docs/readme"), "");
    EXPECT_EQ(DocumentConverter::documentExtension("/x/a.tar.Txt"), ".txt");
    EXPECT_EQ(DocumentConverter::documentExtension(""), "");
}

TEST_F(ConversionTest, WalkWritesPagesIntoCatalogFolders) {
    touch(docs + "intro.doc");
    touch(docs + "price.xls");
    touch(docs + "faq.txt");
    TreeNode *product = node(nullptr, "产品", docs + "intro.doc");
    node(product, "price.xls", docs + "price.xls");
    TreeNode *appendix = node(product, "附录");
    node(appendix, "faq.txt", docs + "faq.txt");
    convertAll();
    EXPECT_TRUE(QFileInfo::exists(html + "intro.htm"));
    EXPECT_TRUE(QFileInfo::exists(html + "产品/price.htm"));
    EXPECT_TRUE(QFileInfo::exists(html + "产品/附录/faq.htm"));
    EXPECT_EQ(converter->defaultTopic(), html + "intro.htm");
    EXPECT_EQ(log.calls.size(), 3);
    EXPECT_TRUE(prompts.notices.isEmpty());
}

TEST_F(ConversionTest, ExtensionsAreMatchedWithoutCaseAndOthersIgnored) {
    const char *names[] = {"A.DOC", "b.Txt", "c.XLSX", "d.PpT", "g.ODT", "h.ods", "i.odp",
                           "e.rtf", "f.pdf", "noext"};
    for (const char *name : names)
        touch(docs + name);
    QDir().mkpath(tmp.path() + "/my.docs");
    touch(tmp.path() + "/my.docs/readme");
    TreeNode *cat = node(nullptr, "cat");
    for (const char *name : names)
        node(cat, name, docs + name);
    node(cat, "readme", tmp.path() + "/my.docs/readme");
    node(cat, "empty", "");
    convertAll();
    QStringList kinds;
    for (const QString &c : log.calls)
        kinds << c.section(' ', 0, 0);
    EXPECT_EQ(kinds, (QStringList{"word", "word", "calc", "impress", "word", "calc", "impress"}));
    // The others get a page that says they are not converted.
    EXPECT_EQ(QDir(html + "cat").entryList({"*.htm"}, QDir::Files),
              (QStringList{"A.htm", "b.htm", "c.htm", "d.htm", "e.htm", "f.htm", "g.htm", "h.htm", "i.htm",
                           "noext.htm", "readme.htm"}));
    EXPECT_EQ(converter->failedDocuments().size(), 4);
    EXPECT_TRUE(prompts.notices.isEmpty());
}

TEST_F(ConversionTest, DefaultTopicIsTheFirstWordPageOrHtmlCopy) {
    touch(docs + "sheet.xls");
    touch(docs + "show.ppt");
    touch(docs + "page.html", "<html><!-- c --><body>p</body></html>");
    touch(docs + "later.doc");
    node(nullptr, "sheet.xls", docs + "sheet.xls");
    node(nullptr, "show.ppt", docs + "show.ppt");
    node(nullptr, "page.html", docs + "page.html");
    node(nullptr, "later.doc", docs + "later.doc");
    convertAll();
    EXPECT_EQ(converter->defaultTopic(), html + "page.html");
    // The copy keeps its own name and was cleaned; no page.htm is made for it.
    QFile copy(html + "page.html");
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray("<html><body>p</body></html>\r\n"));
    EXPECT_FALSE(QFileInfo::exists(html + "page.htm"));

    converter = std::make_unique<DocumentConverter>(*office, prompts);
    tree.clear();
    node(nullptr, "sheet.xls", docs + "sheet.xls");
    convertAll();
    EXPECT_TRUE(converter->defaultTopic().isEmpty());
}

TEST_F(ConversionTest, OnlyTheLastLeafCarriesItsFolders) {
    QDir().mkpath(tmp.path() + "/a/pictures");
    QDir().mkpath(tmp.path() + "/b/styles");
    touch(tmp.path() + "/a/first.doc");
    touch(tmp.path() + "/a/pictures/p.png");
    touch(tmp.path() + "/b/second.doc");
    touch(tmp.path() + "/b/styles/s.css");
    TreeNode *cat = node(nullptr, "cat");
    node(cat, "first.doc", tmp.path() + "/a/first.doc");
    node(cat, "second.doc", tmp.path() + "/b/second.doc");
    convertAll();
    EXPECT_TRUE(QFileInfo::exists(html + "cat/styles/s.css"));
    EXPECT_FALSE(QFileInfo::exists(html + "cat/pictures"));

    // A last leaf with an empty link carries nothing, whatever came before.
    QDir(html).removeRecursively();
    node(cat, "empty catalog", "");
    convertAll();
    EXPECT_FALSE(QFileInfo::exists(html + "cat/styles"));
}


TEST_F(ConversionTest, MissingDocuments) {
    TreeNode *cat = node(nullptr, "cat");
    node(cat, "gone.doc", docs + "gone.doc");
    node(cat, "gone.xls", docs + "gone.xls");
    node(cat, "gone.ppt", docs + "gone.ppt");
    convertAll();
    // Once per document, Excel and PowerPoint included; nothing is converted.
    EXPECT_EQ(prompts.notices,
              (QStringList{missingDocumentMessage(docs + "gone.doc"),
                           missingDocumentMessage(docs + "gone.xls"),
                           missingDocumentMessage(docs + "gone.ppt")}));
    EXPECT_TRUE(log.calls.isEmpty());
    EXPECT_EQ(prompts.notices[0], "编译文件中缺少" + docs + "gone.doc文件，请确认！");
    // Each contents entry leads to a page that says what is missing.
    for (const char *page : {"gone.htm", "gone_2.htm", "gone_3.htm"}) {
        QFile standIn(html + "cat/" + page);
        ASSERT_TRUE(standIn.open(QIODevice::ReadOnly)) << page;
        EXPECT_TRUE(decodeGbk(standIn.readAll()).contains("编译文件中缺少" + docs + "gone."));
    }

    // A missing page is skipped like any other document.
    tree.clear();
    prompts.notices.clear();
    node(nullptr, "gone.htm", docs + "gone.htm");
    convertAll();
    EXPECT_EQ(prompts.notices, QStringList{missingDocumentMessage(docs + "gone.htm")});
    EXPECT_TRUE(QFileInfo(html + "gone.htm").isFile());
}

TEST_F(ConversionTest, OfficeAttemptsAndWordErrors) {
    touch(docs + "book.xls");
    touch(docs + "deck.ppt");
    touch(docs + "bad.doc");
    log.failWorkbookAttempts = 2;
    log.failPresentationAttempts = 5;
    node(nullptr, "book.xls", docs + "book.xls");
    node(nullptr, "deck.ppt", docs + "deck.ppt");
    convertAll();
    EXPECT_EQ(log.calls.filter("calc").size(), 3);     // two failures, then success
    EXPECT_EQ(log.calls.filter("impress").size(), 5);  // five failures, then left out
    EXPECT_TRUE(QFileInfo::exists(html + "book.htm"));
    QFile deck(html + "deck.htm");  // left out: a page says so
    ASSERT_TRUE(deck.open(QIODevice::ReadOnly));
    EXPECT_TRUE(decodeGbk(deck.readAll()).contains("无法转换文件：" + docs + "deck.ppt"));
    EXPECT_TRUE(prompts.notices.isEmpty());

    log.failWordFor = docs + "bad.doc";
    tree.clear();
    node(nullptr, "bad.doc", docs + "bad.doc");
    EXPECT_THROW(convertAll(), BuildError);
}

TEST_F(ConversionTest, TwoOfficesBeginTheFirstAndTheLongestDocument) {
    for (const char *name : {"a.doc", "b.doc", "c.xls", "d.doc"})
        touch(docs + name);
    touch(docs + "deck.ppt", QByteArray(4096, 'p'));  // last in the tree, longest by far
    TreeNode *cat = node(nullptr, "cat");
    for (const char *name : {"a.doc", "b.doc", "c.xls", "d.doc", "deck.ppt"})
        node(cat, name, docs + name);
    // Each office holds its first document until both have begun one.
    log.beforeResult = [this](const QString &) {
        for (int waited = 0; waited < 60000; waited += 5) {  // a poll, bounded only against a hang
            if (std::lock_guard lock(log.mutex); log.calls.size() >= 2)
                return;
            QThread::msleep(5);
        }
    };
    converter.reset();
    OfficePoolSettings settings;
    settings.workers = 2;
    settings.stagingFolder = tmp.path() + "/proj/temp/staging";
    office = std::make_unique<OfficePool>(FakeOffice::factory(log), settings, nullptr);
    converter = std::make_unique<DocumentConverter>(*office, prompts);
    convertAll();
    ASSERT_EQ(log.calls.size(), 5);
    const QStringList first = log.calls.mid(0, 2);
    EXPECT_EQ(first.filter(docs + "a.doc ").size(), 1) << first.join('\n').toStdString();
    EXPECT_EQ(first.filter(docs + "deck.ppt ").size(), 1) << first.join('\n').toStdString();
    // Every page is where one office would have put it.
    for (const char *page : {"a.htm", "b.htm", "c.htm", "d.htm", "deck.htm"})
        EXPECT_TRUE(QFileInfo::exists(html + "cat/" + page)) << page;
}

TEST_F(ConversionTest, HostileCaptionsStayInsideTheHtmlFolder) {
    touch(docs + "a.doc");
    TreeNode *up = node(nullptr, "..");
    TreeNode *slash = node(up, "x/../../y");
    node(slash, "a.doc", docs + "a.doc");
    convertAll();
    ASSERT_EQ(log.calls.size(), 1);
    EXPECT_TRUE(QFileInfo(html + "_../x_.._.._y/a.htm").isFile());
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/proj/temp/y"));
}

// Topics on for a document: the office is asked for its outline, which is read and kept
// out of the HTML folder; the cache keeps pages with and without an outline apart. Off,
// nothing is asked and the page is the office's.
TEST_F(ConversionTest, TopicSettingsAskForTheOutlineAndKeepItOutOfTheHelpFile) {
    touch(docs + "a.doc");
    touch(docs + "b.xls");
    TreeNode *manual = node(nullptr, "手册.doc", docs + "a.doc");
    node(nullptr, "b.xls", docs + "b.xls");
    manual->topics.indexKeywords = true;
    const PageCache cache({tmp.path() + "/cache", "fake office", 1 << 30});
    const auto convert = [&](const TopicSettings &project) {
        OfficePoolSettings settings;
        settings.stagingFolder = tmp.path() + "/proj/temp/staging";
        OfficePool pool(FakeOffice::factory(log), settings, &cache);
        DocumentConverter withTopics(pool, prompts);
        withTopics.setTopicSettings(project);
        log.calls.clear();
        withTopics.convertTree(tree, html);
        pool.quit();
        return withTopics.documentTopics().size();
    };
    EXPECT_EQ(convert({}), 1);
    EXPECT_EQ(log.calls.size(), 2);
    EXPECT_EQ(log.calls.filter(" +outline").size(), 1);
    EXPECT_EQ(log.calls.filter("/a.doc ->").filter(" +outline").size(), 1);
    EXPECT_EQ(QDir(html).entryList(QDir::Files), (QStringList{"a.htm", "a_htm_1.png", "b.htm", "b_htm_1.png"}));

    EXPECT_EQ(convert({}), 1);
    EXPECT_TRUE(log.calls.isEmpty()) << log.calls.join("\n").toStdString();
    // Contents for every document: the workbook's page is made again, with its outline.
    EXPECT_EQ(convert({0, 2, false, false}), 2);
    EXPECT_EQ(log.calls.size(), 1);
    EXPECT_EQ(log.calls.filter("/b.xls ->").filter(" +outline").size(), 1);
    EXPECT_TRUE(QDir(html).entryList({"*.json"}, QDir::Files).isEmpty());
}
