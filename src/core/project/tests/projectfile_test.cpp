#include "projectfile.h"
#include "scriptedprompts.h"
#include "structuretree.h"
#include "project.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace zelbrin;
using zelbrin::testing::ScriptedPrompts;
using Answer = UserPrompts::Answer;

namespace {

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeAll(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

struct ProjectFixture : ::testing::Test {
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    Project project;
    StructureModel &tree = project.tree();
    int refreshCount = 0;  // how often the working directory was taken

    ProjectFixture() {
        QObject::connect(&project, &Project::workCatalogChanged, [this] { ++refreshCount; });
    }

    QString path(const QString &name) const { return dir.path() + "/" + name; }

    // The tree of the format's example: catalog Start holding a.doc.
    void buildExample(const QString &docs) {
        TreeNode *start = project.tree().addNode(nullptr, "Start", false, "");
        project.tree().addNode(start, "a.doc", false, docs + "/a.doc");
    }
};

}  // namespace

TEST_F(ProjectFixture, SaveWritesTheExampleByteForByte) {
    const QString docs = dir.path();  // an existing folder stands in for the working directory
    project.setWorkCatalog(docs);
    buildExample(docs);
    ASSERT_EQ(project.save(prompts, path("Demo.zlp")), Project::SaveOutcome::Written);
    const QByteArray expected = "<Demo><WorkCatalog>" + docs.toUtf8() +
                                "</WorkCatalog><Items><Item Caption=\"Start\" FullDir=\"\">"
                                "<Item Caption=\"a.doc\" FullDir=\"" +
                                docs.toUtf8() + "/a.doc\"/></Item></Items></Demo>";
    EXPECT_EQ(readAll(path("Demo.zlp")), expected);
    EXPECT_EQ(project.fileName(), path("Demo.zlp"));
    EXPECT_FALSE(project.isModified());
    EXPECT_EQ(project.caption(), "Zelbrin - Demo");
    EXPECT_TRUE(prompts.questions.isEmpty());
}

TEST_F(ProjectFixture, OpenReadsTheExampleAndDerivesKinds) {
    const QString docs = dir.path();
    writeAll(path("Demo.zlp"),
             "<Demo><WorkCatalog>" + docs.toUtf8() +
                 "</WorkCatalog><Items><Item Caption=\"Start\" FullDir=\"\">"
                 "<Item Caption=\"a.doc\" FullDir=\"" +
                 docs.toUtf8() +
                 "/a.doc\"/></Item><Item Caption=\"Linked\" FullDir=\"x.doc\">"
                 "<Item Caption=\"c\" FullDir=\"c.doc\"/></Item>"
                 "<Item Caption=\"EmptyCat\" FullDir=\"\"/></Items></Demo>");
    project.setModified(true);
    ASSERT_EQ(project.open(path("Demo.zlp")), Project::OpenOutcome::Read);
    EXPECT_EQ(project.workCatalog(), docs);
    EXPECT_EQ(refreshCount, 1);
    EXPECT_FALSE(project.isModified());
    EXPECT_TRUE(project.isOpen());
    EXPECT_EQ(project.caption(), "Zelbrin - Demo");
    ASSERT_EQ(tree.topLevelCount(), 3);
    TreeNode *start = tree.topLevel(0);
    EXPECT_EQ(start->caption, "Start");
    EXPECT_EQ(start->imageIndex, ImageIndex::Catalog);
    ASSERT_EQ(start->childCount(), 1);
    EXPECT_EQ(start->child(0)->imageIndex, ImageIndex::Page);
    EXPECT_EQ(start->child(0)->link, docs + "/a.doc");
    // An Item holding Items is a catalog even with a link; a childless empty link too.
    EXPECT_EQ(tree.topLevel(1)->imageIndex, ImageIndex::Catalog);
    EXPECT_EQ(tree.topLevel(1)->link, "x.doc");
    EXPECT_EQ(tree.topLevel(2)->imageIndex, ImageIndex::Catalog);

    // Saving what was read gives the same file back.
    const QByteArray before = readAll(path("Demo.zlp"));
    ASSERT_EQ(project.save(prompts), Project::SaveOutcome::Written);
    EXPECT_EQ(readAll(path("Demo.zlp")), before);
}

TEST_F(ProjectFixture, EscapedCharactersRoundTrip) {
    project.tree().addNode(nullptr, "A & B <c> \"d\" 'e'", false, "");
    project.tree().addNode(tree.topLevel(0), "x", false, "/p&q/<r>\"s\".doc");
    ASSERT_EQ(project.save(prompts, path("Esc.zlp")), Project::SaveOutcome::Written);
    const QByteArray bytes = readAll(path("Esc.zlp"));
    EXPECT_TRUE(bytes.contains("Caption=\"A &amp; B &lt;c> &quot;d&quot; 'e'\"")) << bytes.data();
    EXPECT_FALSE(bytes.contains("\"d\""));
    tree.clear();
    ASSERT_EQ(project.open(path("Esc.zlp")), Project::OpenOutcome::Read);
    EXPECT_EQ(tree.topLevel(0)->caption, "A & B <c> \"d\" 'e'");
    EXPECT_EQ(tree.topLevel(0)->child(0)->link, "/p&q/<r>\"s\".doc");
}

TEST_F(ProjectFixture, TopicSettingsRoundTripWhereTheOriginalReaderDoesNotLook) {
    project.setTopics({2, 3, true, false});
    TreeNode *manual = project.tree().addNode(nullptr, "手册", false, "");
    project.tree().addNode(manual, "a.docx", false, "/d/a.docx")->topics = {0, std::nullopt, std::nullopt, true};
    project.tree().addNode(manual, "b.doc", false, "/d/b.doc");
    ASSERT_EQ(project.save(prompts, path("T.zlp")), Project::SaveOutcome::Written);
    // Extra attributes after Caption and FullDir, and an element after Items: a reader of
    // the original format takes attributes and the WorkCatalog and Items elements by name
    // and turns every child node of Items and Item into a node, so it reads the same tree.
    EXPECT_EQ(readAll(path("T.zlp")),
              QByteArray("<T><WorkCatalog/><Items><Item Caption=\"手册\" FullDir=\"\">"
                         "<Item Caption=\"a.docx\" FullDir=\"/d/a.docx\" SplitLevel=\"0\" IndexKeywords=\"1\"/>"
                         "<Item Caption=\"b.doc\" FullDir=\"/d/b.doc\"/></Item></Items>"
                         "<TopicSettings SplitLevel=\"2\" ContentsDepth=\"3\" HeadingKeywords=\"1\"/></T>"));
    project.create();
    EXPECT_TRUE(project.topics().isOff());
    ASSERT_EQ(project.open(path("T.zlp")), Project::OpenOutcome::Read);
    EXPECT_EQ(project.topics(), (TopicSettings{2, 3, true, false}));
    const TopicOverride own = tree.topLevel(0)->child(0)->topics;
    EXPECT_EQ(own, (TopicOverride{0, std::nullopt, std::nullopt, true}));
    EXPECT_EQ(own.appliedTo(project.topics()), (TopicSettings{0, 3, true, true}));
    EXPECT_TRUE(tree.topLevel(0)->child(1)->topics.isEmpty());

    // Values this program never writes count as unset; a file without any is all off.
    writeAll(path("H.zlp"), "<H><WorkCatalog/><Items><Item Caption=\"a\" FullDir=\"/a.doc\" SplitLevel=\"4\" "
                            "ContentsDepth=\" 2\" HeadingKeywords=\"yes\" IndexKeywords=\"0\"/></Items>"
                            "<TopicSettings SplitLevel=\"-1\" ContentsDepth=\"9\"/></H>");
    ASSERT_EQ(project.open(path("H.zlp")), Project::OpenOutcome::Read);
    EXPECT_EQ(project.topics(), (TopicSettings{0, 9, false, false}));
    EXPECT_EQ(tree.topLevel(0)->topics, (TopicOverride{std::nullopt, std::nullopt, std::nullopt, false}));
    writeAll(path("P.zlp"), "<P><WorkCatalog/><Items/></P>");
    ASSERT_EQ(project.open(path("P.zlp")), Project::OpenOutcome::Read);
    EXPECT_TRUE(project.topics().isOff());
}

TEST_F(ProjectFixture, EmptyTreeWritesEmptyItemsElement) {
    ASSERT_EQ(project.save(prompts, path("E.zlp")), Project::SaveOutcome::Written);
    EXPECT_EQ(readAll(path("E.zlp")), QByteArray("<E><WorkCatalog/><Items/></E>"));
}

TEST_F(ProjectFixture, FirstNodeRuleGivesEmptyTree) {
    for (const QByteArray &lead :
         {QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"), QByteArray("<!-- note -->"),
          QByteArray("<?app data?>")}) {
        project.tree().addNode(nullptr, "old", false, "");
        project.setWorkCatalog(dir.path());
        writeAll(path("P.zlp"), lead + "<P><WorkCatalog>" + dir.path().toUtf8() +
                                    "</WorkCatalog><Items><Item Caption=\"a\" FullDir=\"\"/></Items></P>");
        ASSERT_EQ(project.open(path("P.zlp")), Project::OpenOutcome::Read) << lead.data();
        EXPECT_EQ(tree.topLevelCount(), 0) << lead.data();
        EXPECT_TRUE(project.workCatalog().isEmpty());
        EXPECT_TRUE(project.isOpen());
    }
}

TEST_F(ProjectFixture, IndentedFileAndForeignContentLoadCleanly) {
    writeAll(path("I.zlp"),
             "<I>\n  <WorkCatalog>/nonexistent/folder</WorkCatalog>\n  <Items>\n"
             "    <Item Caption=\"cat\" FullDir=\"\">\n      <!-- c -->\n"
             "      <Other/>\n      <Item/>\n    </Item>\n    text\n  </Items>\n</I>\n");
    project.setWorkCatalog(dir.path());
    ASSERT_EQ(project.open(path("I.zlp")), Project::OpenOutcome::Read);
    // A working directory that does not exist keeps the previous one.
    EXPECT_EQ(project.workCatalog(), dir.path());
    ASSERT_EQ(tree.topLevelCount(), 1);
    TreeNode *cat = tree.topLevel(0);
    ASSERT_EQ(cat->childCount(), 1);  // the comment, <Other/> and text are skipped
    // An Item without attributes reads as empty: caption default, empty link, catalog.
    EXPECT_EQ(cat->child(0)->caption, kNewCatalogCaption);
    EXPECT_TRUE(cat->child(0)->link.isEmpty());
}

TEST_F(ProjectFixture, EmptyWorkCatalogKeepsPreviousAndMissingOneClears) {
    project.setWorkCatalog(dir.path());
    writeAll(path("W.zlp"), "<W><WorkCatalog></WorkCatalog><Items/></W>");
    ASSERT_EQ(project.open(path("W.zlp")), Project::OpenOutcome::Read);
    EXPECT_EQ(project.workCatalog(), dir.path());
    writeAll(path("W.zlp"), "<W><Items/></W>");
    ASSERT_EQ(project.open(path("W.zlp")), Project::OpenOutcome::Read);
    EXPECT_TRUE(project.workCatalog().isEmpty());
}

TEST_F(ProjectFixture, ExtensionIsComparedWithoutAsciiCase) {
    const QByteArray content = "<x><WorkCatalog/><Items><Item Caption=\"n\" FullDir=\"\"/></Items></x>";
    writeAll(path("x.xml"), content);
    EXPECT_EQ(project.open(path("x.xml")), Project::OpenOutcome::NotAProject);
    EXPECT_EQ(tree.topLevelCount(), 0);
    EXPECT_FALSE(project.isOpen());
    writeAll(path("x.ZLP"), content);
    EXPECT_EQ(project.open(path("x.ZLP")), Project::OpenOutcome::Read);
    EXPECT_EQ(tree.topLevelCount(), 1);
    EXPECT_EQ(project.open(path("missing.zlp")), Project::OpenOutcome::NotAProject);
}

TEST_F(ProjectFixture, UnreadableFilesChangeNothing) {
    project.create();
    project.tree().addNode(nullptr, "keep", false, "");
    project.setFileName(path("keep.zlp"));
    for (const QByteArray &content : {QByteArray(), QByteArray("<a><b></a>"), QByteArray("not xml"),
                                      QByteArray("<!-- only a comment -->")}) {
        writeAll(path("bad.zlp"), content);
        EXPECT_EQ(project.open(path("bad.zlp")), Project::OpenOutcome::Unreadable)
            << content.data();
        EXPECT_EQ(project.fileName(), path("keep.zlp"));
        EXPECT_TRUE(project.isModified());
        ASSERT_EQ(tree.topLevelCount(), 1);
        EXPECT_EQ(tree.topLevel(0)->caption, "keep");
    }
}

TEST_F(ProjectFixture, InvalidXmlNameIsRefusedAndNothingWritten) {
    project.setModified(true);
    for (const char *n : {"1abc.zlp", "my project.zlp", "a(1).zlp", ".zlp"}) {
        const QString name = QString::fromUtf8(n);
        prompts.notices.clear();
        EXPECT_EQ(project.save(prompts, path(name)), Project::SaveOutcome::InvalidName) << name.toStdString();
        EXPECT_FALSE(QFile::exists(path(name)));
        ASSERT_EQ(prompts.notices.size(), 1);
        EXPECT_TRUE(prompts.notices[0].contains("XML"));
        EXPECT_TRUE(project.fileName().isEmpty());
        EXPECT_TRUE(project.isModified());
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    // Chinese names are valid XML names.
    EXPECT_EQ(project.save(prompts, path("帮助手册.zlp")), Project::SaveOutcome::Written);
}

TEST_F(ProjectFixture, OverwriteQuestionOnlyForANewTarget) {
    writeAll(path("O.zlp"), "old");
    prompts.answers = {Answer::No};
    EXPECT_EQ(project.save(prompts, path("O.zlp")), Project::SaveOutcome::Declined);
    EXPECT_EQ(readAll(path("O.zlp")), QByteArray("old"));
    ASSERT_EQ(prompts.questions, QStringList{"文件已经存在！是否覆盖？"});
    prompts.answers = {Answer::Yes};
    EXPECT_EQ(project.save(prompts, path("O.zlp")), Project::SaveOutcome::Written);
    EXPECT_EQ(project.save(prompts), Project::SaveOutcome::Written);  // no question for FileName
    EXPECT_EQ(prompts.questions.size(), 2);
    project.setFileName({});
    EXPECT_EQ(project.save(prompts), Project::SaveOutcome::NoFileName);
}

TEST_F(ProjectFixture, FailedWriteLeavesOldFileIntactAndNoTemporary) {
    writeAll(path("F.zlp"), "<F><WorkCatalog/><Items/></F>");
    project.setFileName(path("F.zlp"));
    project.setModified(true);
    TreeNode *cat = project.tree().addNode(nullptr, "big", false, "");
    for (int i = 0; i < 200; ++i)
        project.tree().addNode(cat, QString("document %1.doc").arg(i), false,
                               QString("/some/long/folder/document %1.doc").arg(i));
    // A file-size limit makes the write fail part-way, as a full disk would.
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 512;
    setrlimit(RLIMIT_FSIZE, &small);
    const auto outcome = project.save(prompts);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(outcome, Project::SaveOutcome::Failed);
    EXPECT_EQ(readAll(path("F.zlp")), QByteArray("<F><WorkCatalog/><Items/></F>"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"F.zlp"});
    ASSERT_EQ(prompts.notices.size(), 1);
    EXPECT_TRUE(prompts.notices[0].startsWith("保存文件时发生错误："));
    EXPECT_TRUE(project.isModified());
}

TEST(ProjectName, FourCharacterRule) {
    EXPECT_EQ(Project::nameOf("/a/b/Manual.zlp"), "Manual");
    EXPECT_EQ(Project::nameOf("/a/b/.zlp"), "");
    EXPECT_EQ(Project::nameOf("/a/b/x.z"), "");
    EXPECT_EQ(Project::nameOf("/a/b/手册a.zlp"), "手册a");
    EXPECT_EQ(Project::nameOf("/a/b/noext"), "n");
}

TEST_F(ProjectFixture, FourCharacterFileNameOpensButCannotBeSaved) {
    writeAll(path(".zlp"), "<a><WorkCatalog/><Items/></a>");
    ASSERT_EQ(project.open(path(".zlp")), Project::OpenOutcome::Read);
    EXPECT_EQ(project.caption(), "Zelbrin - ");
    EXPECT_EQ(project.save(prompts), Project::SaveOutcome::InvalidName);
    EXPECT_EQ(readAll(path(".zlp")), QByteArray("<a><WorkCatalog/><Items/></a>"));
}

TEST_F(ProjectFixture, LifecycleTable) {
    project.setWorkCatalog(dir.path());
    refreshCount = 0;
    project.create();
    EXPECT_TRUE(project.fileName().isEmpty());
    EXPECT_TRUE(project.isModified());
    EXPECT_TRUE(project.isOpen());
    EXPECT_EQ(project.workCatalog(), dir.path());
    EXPECT_EQ(project.caption(), "Zelbrin - 未命名");

    project.tree().addNode(nullptr, "n", false, "");
    ASSERT_EQ(project.save(prompts, path("L.zlp")), Project::SaveOutcome::Written);
    EXPECT_EQ(project.fileName(), path("L.zlp"));
    EXPECT_EQ(project.directory(), dir.path() + "/");

    project.close();
    EXPECT_TRUE(project.fileName().isEmpty());
    EXPECT_FALSE(project.isModified());
    EXPECT_FALSE(project.isOpen());
    EXPECT_EQ(tree.topLevelCount(), 0);
    EXPECT_EQ(project.workCatalog(), dir.path());
    EXPECT_EQ(project.caption(), "Zelbrin");

    project.setWorkCatalog("/definitely/not/here");
    EXPECT_EQ(project.workCatalog(), dir.path());
    project.setWorkCatalog("");
    EXPECT_EQ(project.workCatalog(), dir.path());
    EXPECT_EQ(refreshCount, 0);
    QDir(dir.path()).mkdir("sub");
    project.setWorkCatalog(path("sub"));
    EXPECT_EQ(project.workCatalog(), path("sub"));
    EXPECT_EQ(refreshCount, 1);
}

namespace {
QByteArray nested(const QByteArray &open, const QByteArray &close, int levels) {
    return open.repeated(levels) + close.repeated(levels);
}
}  // namespace

// Nesting deep enough to exhaust the stack of a recursive reader: a tree deeper than the
// limit is refused before anything changes, the limit itself opens, and the working
// directory's text is read whatever its nesting.
TEST_F(ProjectFixture, DeepNestingIsRefusedOrReadWithoutCrashing) {
    TreeNode *kept = project.tree().addNode(nullptr, "Kept", false, "");
    project.setFileName(path("Old.zlp"));
    for (int levels : {kMaxTreeDepth + 1, 20000, 100000}) {
        writeAll(path("Deep.zlp"), "<Deep><WorkCatalog/><Items>" +
                                       nested("<Item Caption=\"x\" FullDir=\"\">", "</Item>", levels) +
                                       "</Items></Deep>");
        EXPECT_EQ(project.open(path("Deep.zlp")), Project::OpenOutcome::TooDeep) << levels;
        EXPECT_EQ(project.fileName(), path("Old.zlp"));
        ASSERT_EQ(tree.topLevelCount(), 1);
        EXPECT_EQ(tree.topLevel(0), kept);
    }
    EXPECT_TRUE(tooDeepProjectMessage(path("Deep.zlp")).contains(QString::number(kMaxTreeDepth)));

    writeAll(path("Deep.zlp"), "<Deep><WorkCatalog/><Items>" +
                                   nested("<Item Caption=\"x\" FullDir=\"\">", "</Item>", kMaxTreeDepth) +
                                   "<Item Caption=\"next\" FullDir=\"\"/></Items></Deep>");
    ASSERT_EQ(project.open(path("Deep.zlp")), Project::OpenOutcome::Read);
    EXPECT_EQ(tree.totalCount(), kMaxTreeDepth + 1);
    ASSERT_EQ(project.save(prompts), Project::SaveOutcome::Written);
    EXPECT_EQ(project.open(path("Deep.zlp")), Project::OpenOutcome::Read);

    writeAll(path("Text.zlp"), "<Text><WorkCatalog>" + dir.path().toUtf8() +
                                   nested("<b>", "</b>", 100000) + "</WorkCatalog><Items/></Text>");
    EXPECT_EQ(project.open(path("Text.zlp")), Project::OpenOutcome::Read);
    EXPECT_EQ(project.workCatalog(), dir.path());
}
