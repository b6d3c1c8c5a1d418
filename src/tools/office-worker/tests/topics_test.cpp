// Real documents through the real office worker with an outline, and what the topic
// splitter, the contents and the index make of them: the long manuals of testdata/ and
// workbooks and presentations of the acceptance corpus.

#include "documentoutline.h"
#include "officeprotocol.h"
#include "topiccontents.h"
#include "topicsplitter.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>

using namespace zelbrin;
namespace protocol = zelbrin::officeprotocol;

namespace {

QString sourceFolder() { return qEnvironmentVariable("ZELBRIN_SOURCE_DIR"); }

QString testDocument(const QString &name) {
    return sourceFolder() + QStringLiteral("/testdata/documents/") + name;
}

// CI puts a copy of shared/ beside the clone; a developer machine has it in /work.
QString corpusFile(const QString &relative) {
    for (const QString &folder : QStringList{sourceFolder() + QStringLiteral("/../shared/corpus"),
                                             QStringLiteral("/work/shared/corpus")})
        if (QFileInfo(folder + u'/' + relative).isFile())
            return folder + u'/' + relative;
    return {};
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The office worker, spoken to over its line protocol.
class Worker {
public:
    QString startError;

    Worker() {
        process_.setProgram(qEnvironmentVariable("ZELBRIN_BIN_DIR") + QStringLiteral("/zelbrin-office"));
        process_.setArguments({QStringLiteral("--profile"), profile_.path()});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        const QStringList hello = answer(QDeadlineTimer(5 * 60 * 1000));
        if (hello.value(0) != QLatin1String(protocol::kReady))
            startError = QStringLiteral("the worker did not start: ") + hello.join(u' ');
    }
    ~Worker() {
        process_.write(protocol::encodeLine({QLatin1String(protocol::kQuit)}));
        answer(QDeadlineTimer(2 * 60 * 1000));
        if (!process_.waitForFinished(60000))
            process_.kill();
        process_.waitForFinished(10000);
    }

    QStringList convert(const char *kind, const QString &source, const QString &target, bool outline) {
        QStringList request{QLatin1String(protocol::kConvert), QLatin1String(kind), source, target};
        if (outline)
            request << QLatin1String(protocol::kOutline);
        process_.write(protocol::encodeLine(request));
        return answer(QDeadlineTimer(5 * 60 * 1000));
    }

private:
    QStringList answer(QDeadlineTimer deadline) {
        while (!process_.canReadLine()) {
            if (process_.state() == QProcess::NotRunning || deadline.hasExpired())
                return {QStringLiteral("(no answer)")};
            process_.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 1000)));
        }
        return protocol::decodeLine(process_.readLine());
    }

    QTemporaryDir profile_;
    QProcess process_;
};

struct Converted {
    QString page;
    QByteArray html;
    DocumentOutline outline;
};

// Every link of a page that stays inside the help file: (page file, anchor).
QList<std::pair<QString, QString>> localLinks(const QByteArray &html) {
    QList<std::pair<QString, QString>> links;
    static const QRegularExpression href(QStringLiteral("<a\\s[^>]*href=\"([^\"]*)\""),
                                         QRegularExpression::CaseInsensitiveOption);
    for (auto it = href.globalMatch(QString::fromUtf8(html)); it.hasNext();) {
        const QString target = it.next().captured(1).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        if (target.contains(QStringLiteral("://")) || target.startsWith(QStringLiteral("mailto:")))
            continue;
        const qsizetype hash = target.indexOf(u'#');
        links.append({QUrl::fromPercentEncoding(target.left(hash < 0 ? target.size() : hash).toUtf8()),
                      hash < 0 ? QString() : target.mid(hash + 1)});
    }
    return links;
}

bool hasAnchor(const QByteArray &html, const QString &anchor) {
    return html.contains(QByteArray("name=\"" + anchor.toUtf8() + '"')) ||
           html.contains(QByteArray("id=\"" + anchor.toUtf8() + '"'));
}

QStringList pictures(const QByteArray &html) {
    QStringList files;
    static const QRegularExpression img(QStringLiteral("<img[^>]*\\ssrc=\"([^\"]+)\""),
                                        QRegularExpression::CaseInsensitiveOption);
    for (auto it = img.globalMatch(QString::fromUtf8(html)); it.hasNext();)
        files << QUrl::fromPercentEncoding(it.next().captured(1).toUtf8());
    return files;
}

// Checks that every link between the pages of a split leads to a page of it, or to the
// document's own page under its name, and to an anchor that page holds.
void expectLinksResolve(const TopicSplit &split) {
    QHash<QString, const TopicPage *> byName;
    for (const TopicPage &page : split.pages)
        byName.insert(page.fileName, &page);
    int checked = 0;
    for (const TopicPage &page : split.pages)
        for (const auto &[file, anchor] : localLinks(page.html)) {
            const TopicPage *target = file.isEmpty() ? &page : byName.value(file);
            ASSERT_NE(target, nullptr) << page.fileName.toStdString() << " links to " << file.toStdString();
            if (!anchor.isEmpty()) {
                EXPECT_TRUE(hasAnchor(target->html, anchor))
                    << page.fileName.toStdString() << " -> " << file.toStdString() << '#' << anchor.toStdString();
            }
            ++checked;
        }
    EXPECT_GT(checked, 0);
}

class TopicsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<QTemporaryDir>();
        worker_ = std::make_unique<Worker>();
    }
    static void TearDownTestSuite() {
        worker_.reset();
        converted_.clear();
        folder_.reset();
    }
    void SetUp() override { ASSERT_TRUE(worker_->startError.isEmpty()) << worker_->startError.toStdString(); }

    // Converts once per test program; pageName is the page's file name.
    static const Converted &convert(const char *kind, const QString &source, const QString &pageName) {
        if (!converted_.contains(pageName)) {
            Converted c;
            c.page = folder_->filePath(pageName);
            const QStringList answer = worker_->convert(kind, source, c.page, true);
            EXPECT_EQ(answer.value(0), QLatin1String(protocol::kOk)) << answer.join(u' ').toStdString();
            c.html = readFile(c.page);
            const auto outline = readOutline(readFile(outlineFilePath(c.page)));
            EXPECT_TRUE(outline.has_value()) << "no outline beside " << c.page.toStdString();
            c.outline = outline.value_or(DocumentOutline{});
            converted_.insert(pageName, c);
        }
        return converted_[pageName];
    }

    static std::unique_ptr<QTemporaryDir> folder_;
    static std::unique_ptr<Worker> worker_;
    static QHash<QString, Converted> converted_;
};

std::unique_ptr<QTemporaryDir> TopicsTest::folder_;
std::unique_ptr<Worker> TopicsTest::worker_;
QHash<QString, Converted> TopicsTest::converted_;

}  // namespace

TEST_F(TopicsTest, WorkerReportsHeadingsIndexEntriesSheetsAndSlidesWithTheirAnchors) {
    const Converted &marks = convert(protocol::kWriter, testDocument(QStringLiteral("FieldCodes.docx")),
                                     QStringLiteral("marks.htm"));
    QList<std::pair<int, QString>> headings;
    for (const OutlineHeading &h : marks.outline.headings)
        headings.append({h.level, h.text});
    EXPECT_EQ(headings, (QList<std::pair<int, QString>>{{1, "XE (Index Entry) field"}, {2, "Description"}}));
    QList<QStringList> entries;
    for (const OutlineIndexEntry &e : marks.outline.indexEntries)
        entries.append(e.levels);
    // Word's XE fields, the sub-entries split at ":", the user index's entries too; the
    // fields' switches (\b, \i, \t, \f, \y) are no part of the entry.
    EXPECT_EQ(entries, (QList<QStringList>{{"Index entry"},
                                           {"Index entry", "Sub entry", "Sub entry of sub entry"},
                                           {"Smith, John"}, {"Smith, John"}, {"Smith, John"},
                                           {"Smith, John"}, {"Smith, John"}, {"日本"},
                                           {"Smith", "Smith, John"}}));
    for (const OutlineIndexEntry &e : marks.outline.indexEntries)
        EXPECT_TRUE(hasAnchor(marks.html, e.anchor)) << e.anchor.toStdString();

    // Numbered headings that the page shows as list items, not as headings.
    const QString numbered = corpusFile(QStringLiteral("doc/61490.doc"));
    ASSERT_FALSE(numbered.isEmpty()) << "acceptance corpus not found";
    const Converted &chapters = convert(protocol::kWriter, numbered, QStringLiteral("chapters.htm"));
    ASSERT_EQ(chapters.outline.headings.size(), 3);
    EXPECT_EQ(chapters.outline.headings[0].text, QStringLiteral("1. 章节1"));
    EXPECT_EQ(chapters.outline.headings[1].text, QStringLiteral("1.1. 章节1.1"));
    EXPECT_EQ(chapters.outline.headings[1].level, 2);
    EXPECT_TRUE(hasAnchor(chapters.html, chapters.outline.headings[2].anchor));

    const Converted &sheets = convert(protocol::kCalc, corpusFile(QStringLiteral("xls/19599-2.xls")),
                                      QStringLiteral("sheets.htm"));
    ASSERT_EQ(sheets.outline.headings.size(), 2);
    EXPECT_EQ(sheets.outline.headings[0].text, QStringLiteral("汇总"));
    EXPECT_EQ(sheets.outline.headings[1].text, QStringLiteral("订阅上行列表"));
    for (const OutlineHeading &h : sheets.outline.headings)
        EXPECT_TRUE(hasAnchor(sheets.html.toLower(), h.anchor)) << h.anchor.toStdString();

    // A slide without a title placeholder is named by its first line of text.
    const Converted &slide = convert(protocol::kImpress, corpusFile(QStringLiteral("ppt/bug55030.ppt")),
                                     QStringLiteral("slide.htm"));
    ASSERT_EQ(slide.outline.headings.size(), 1);
    EXPECT_EQ(slide.outline.headings[0].text, QStringLiteral("平抛运动的分解演示"));
    const Converted &talk = convert(protocol::kImpress, corpusFile(QStringLiteral("ppt/alterman_security.ppt")),
                                    QStringLiteral("talk.htm"));
    ASSERT_EQ(talk.outline.headings.size(), 23);
    EXPECT_EQ(talk.outline.headings[2].text, QStringLiteral("Foundational Assumption"));
    for (const OutlineHeading &h : talk.outline.headings)
        EXPECT_TRUE(hasAnchor(talk.html, h.anchor)) << h.anchor.toStdString();

    // Without the request the page is as ever and nothing lies beside it.
    const QString plain = folder_->filePath(QStringLiteral("plain.htm"));
    ASSERT_EQ(worker_->convert(protocol::kWriter, testDocument(QStringLiteral("FieldCodes.docx")), plain, false)
                  .value(0),
              QLatin1String(protocol::kOk));
    EXPECT_FALSE(QFileInfo::exists(outlineFilePath(plain)));
    EXPECT_FALSE(readFile(plain).contains("zelbrin-"));
}

TEST_F(TopicsTest, EnglishManualSplitsIntoLinkedPagesThatKeepTheirPictures) {
    const Converted &manual = convert(protocol::kWriter, testDocument(QStringLiteral("Docx4j_GettingStarted.docx")),
                                      QStringLiteral("guide.htm"));
    ASSERT_EQ(manual.outline.headings.size(), 71);
    const TopicSplit split = splitTopics(manual.html, QStringLiteral("guide.htm"), QStringLiteral("Docx4j 入门"),
                                         manual.outline, 2);
    // The title and the table of contents, then one page per heading.
    ASSERT_EQ(split.pages.size(), 72);
    EXPECT_EQ(split.pages[0].fileName, QStringLiteral("guide.htm"));
    EXPECT_TRUE(split.pages[0].html.contains("<title>Docx4j 入门</title>"));
    EXPECT_EQ(split.pages[1].title, QStringLiteral("What is docx4j?"));
    EXPECT_TRUE(split.pages[1].html.contains("<title>What is docx4j?</title>"));
    EXPECT_EQ(split.pages[13].title, QStringLiteral("slf4j"));
    expectLinksResolve(split);

    // The table of contents leads to the pages; a cross-reference to the page of its heading.
    EXPECT_TRUE(split.pages[0].html.contains("<a href=\"guide_part1.htm#_Toc96591801\">"));
    const QString specifications = split.localOf(QStringLiteral("_Ref280708892"));
    EXPECT_EQ(split.pages[split.anchors[QStringLiteral("_Ref280708892")].page].title,
              QStringLiteral("Specification versions"));
    int referencing = 0;
    for (const TopicPage &page : split.pages)
        referencing += int(page.html.count(
            QByteArray("href=\"" + specifications.section(u'#', 0, 0).toUtf8() + "#_Ref280708892\"")));
    EXPECT_EQ(referencing, 1);

    // Each picture stays in the text of the heading it stood under.
    int placed = 0;
    for (const QString &picture : pictures(manual.html)) {
        const qsizetype at = manual.html.indexOf(picture.toUtf8());
        QString heading;
        for (const OutlineHeading &h : manual.outline.headings)
            if (manual.html.indexOf(QByteArray("name=\"" + h.anchor.toUtf8() + '"')) < at)
                heading = h.text;
        for (const TopicPage &page : split.pages)
            if (pictures(page.html).contains(picture)) {
                EXPECT_EQ(page.title, heading) << picture.toStdString();
                ++placed;
            }
        EXPECT_TRUE(QFileInfo::exists(QFileInfo(manual.page).dir().filePath(picture)));
    }
    EXPECT_EQ(placed, 2);

    // Footnotes go with the text that calls them.
    const TopicPage &callsFirst = split.pages[split.anchors[QStringLiteral("sdfootnote1anc")].page];
    EXPECT_TRUE(callsFirst.html.contains("id=\"sdfootnote1\""));
    EXPECT_EQ(split.anchors[QStringLiteral("sdfootnote1sym")].page, split.anchors[QStringLiteral("sdfootnote1anc")].page);
}

TEST_F(TopicsTest, ChineseManualGivesPagesContentsAndKeywords) {
    const Converted &manual = convert(protocol::kWriter, testDocument(QStringLiteral("框架使用手册.docx")),
                                      QStringLiteral("框架使用手册.htm"));
    // The empty heading at its end is none.
    ASSERT_EQ(manual.outline.headings.size(), 63);
    EXPECT_EQ(manual.outline.headings[1].text, QStringLiteral("服务器"));
    const TopicSplit split = splitTopics(manual.html, QStringLiteral("框架使用手册.htm"),
                                         QStringLiteral("框架使用手册"), manual.outline, 1);
    ASSERT_EQ(split.pages.size(), 11);
    EXPECT_EQ(split.pages[1].title, QStringLiteral("环境"));
    EXPECT_EQ(split.pages[1].fileName, QStringLiteral("框架使用手册_part1.htm"));
    EXPECT_TRUE(split.pages[2].html.contains(
        "<a href=\"框架使用手册_part1.htm\" title=\"环境\">上一页</a> | "
        "<a href=\"框架使用手册.htm\" title=\"框架使用手册\">上一级</a> | "
        "<a href=\"框架使用手册_part3.htm\" title=\"配置\">下一页</a>"));
    expectLinksResolve(split);
    int imagesOnPages = 0;
    for (const TopicPage &page : split.pages)
        imagesOnPages += int(pictures(page.html).size());
    EXPECT_EQ(imagesOnPages, pictures(manual.html).size());

    // Contents two levels deep: the chapters' pages, their sections' anchors inside them.
    const QList<TopicEntry> contents = topicContents(manual.outline, split, 2);
    ASSERT_EQ(contents.size(), 10);
    EXPECT_EQ(contents[0].title, QStringLiteral("环境"));
    EXPECT_EQ(contents[0].local, QStringLiteral("框架使用手册_part1.htm"));
    ASSERT_EQ(contents[0].children.size(), 4);
    EXPECT_EQ(contents[0].children[0].local,
              QStringLiteral("框架使用手册_part1.htm#") + manual.outline.headings[1].anchor);
    int sections = 0;
    for (const TopicEntry &chapter : contents)
        sections += int(chapter.children.size());
    EXPECT_EQ(sections, 53);

    // Headings as keywords: "其他" titles two sections, so it lists both places.
    const QList<TopicKeyword> keywords = topicKeywords(manual.outline, split, true, true);
    const auto other = std::find_if(keywords.begin(), keywords.end(),
                                    [](const TopicKeyword &k) { return k.text == QStringLiteral("其他"); });
    ASSERT_NE(other, keywords.end());
    EXPECT_EQ(other->places.size(), 3);
}

TEST_F(TopicsTest, IndexEntriesBecomeKeywordsWithSubKeywordsAtTheirPlaces) {
    const Converted &marks = convert(protocol::kWriter, testDocument(QStringLiteral("FieldCodes.docx")),
                                     QStringLiteral("marks.htm"));
    const TopicSplit split = splitTopics(marks.html, QStringLiteral("marks.htm"), QStringLiteral("Field codes"),
                                         marks.outline, 2);
    QList<TopicKeyword> keywords = topicKeywords(marks.outline, split, true, false);
    QStringList texts;
    for (const TopicKeyword &k : keywords)
        texts << k.text;
    EXPECT_EQ(texts, (QStringList{"Index entry", "Smith, John", "日本", "Smith"}));
    // Six marks of "Smith, John" in one section: one place.
    ASSERT_EQ(keywords[1].places.size(), 1);
    EXPECT_EQ(keywords[1].places[0].title, QStringLiteral("Description"));
    EXPECT_TRUE(keywords[1].places[0].local.startsWith(split.pages.last().fileName + u'#'));
    ASSERT_EQ(keywords[0].subKeywords.size(), 1);
    EXPECT_EQ(keywords[0].subKeywords[0].text, QStringLiteral("Sub entry"));
    EXPECT_TRUE(keywords[0].subKeywords[0].places.isEmpty());
    EXPECT_EQ(keywords[0].subKeywords[0].subKeywords[0].text, QStringLiteral("Sub entry of sub entry"));
    // Another document's keyword of the same text lists both documents' places.
    mergeKeywords(keywords, {{QStringLiteral("日本"), {{QStringLiteral("日本"), QStringLiteral("other.htm")}}, {}}});
    EXPECT_EQ(keywords.size(), 4);
    EXPECT_EQ(keywords[2].places.size(), 2);
}
