// The main job end to end: real documents through the office worker, the help project
// through hhc, the result unpacked with CHMLib and 7-Zip and checked.
#include "chmcheck.h"
#include "foldercontents.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace zelbrin::testing;

namespace {

QString bin(const QString &program) { return qEnvironmentVariable("ZELBRIN_BIN_DIR") + "/" + program; }

QString xmlEscape(QString s) {
    return s.replace("&", "&amp;").replace("<", "&lt;").replace("\"", "&quot;");
}

struct Catalog {
    QString caption;
    QStringList documents;  // paths relative to the corpus folder
};

void writeProject(const QString &path, const QString &root, const QString &workCatalog,
                  const QList<Catalog> &catalogs) {
    QString xml = "<" + root + "><WorkCatalog>" + xmlEscape(workCatalog) + "</WorkCatalog><Items>";
    for (const Catalog &c : catalogs) {
        xml += "<Item Caption=\"" + xmlEscape(c.caption) + "\" FullDir=\"\">";
        for (const QString &d : c.documents)
            xml += "<Item Caption=\"" + xmlEscape(QFileInfo(d).fileName()) + "\" FullDir=\"" +
                   xmlEscape(workCatalog + "/" + d) + "\"/>";
        xml += "</Item>";
    }
    xml += "</Items></" + root + ">";
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(xml.toUtf8());
}

QString bareName(const QString &path) {
    const QString name = QFileInfo(path).fileName();
    const int dot = name.lastIndexOf('.');
    return dot < 0 ? name : name.left(dot);
}

}  // namespace

TEST(EndToEnd, CorpusProjectCompilesAndEveryPageHoldsItsText) {
    const QString shared = corpusFolder();
    ASSERT_FALSE(shared.isEmpty()) << "shared/corpus not found beside the checkout";
    QTemporaryDir tmp;
    // A writable copy, as a user's documents folder is: the shared copy has no write bits,
    // and read-only folders are never carried along with their pages.
    const QString corpus = tmp.path() + "/corpus";
    QString copyOutput;
    ASSERT_EQ(runProgram("cp", {"-r", shared, corpus}, &copyOutput, 60000), 0) << copyOutput.toStdString();
    ASSERT_EQ(runProgram("chmod", {"-R", "u+w", corpus}, &copyOutput, 60000), 0);
    const QMap<QString, QStringList> expected = {
        {"doc/61490.doc", {"居中的大标题"}},
        {"doc/testPictures.doc", {"Sunset: Jpg image"}},
        {"doc/au.edu.utas.www___data_assets_word_doc_0003_154335_International-Travel-Approval-Request-Form.doc",
         {"International Travel Approval Request Form"}},
        {"doc/FloatingPictures.doc", {"総長の挨拶"}},
        {"doc/cap.stanford.edu_profiles_viewbiosketch_facultyid=4009&name=m_maciver.doc", {"BIOGRAPHICAL SKETCH"}},
        {"docx/ServerStatus-DogSon-README.docx", {"云探针，多服务器探针"}},
        {"docx/bib-chernigovka.netdo.ru_download_docs_17459.docx", {"Большечерниговская районная библиотека"}},
        {"xls/19599-2.xls", {"汇总", "订阅上行列表"}},
        {"xls/44235.xls", {"还原利润表"}},
        {"xls/34775.xls", {"Sheet1", "Pareto (2)"}},
        {"xls/55982.xls", {"Description", "Guide Utilisateur"}},
        {"xlsx/CVLKRA-KYC_Download_File_Structure_V3.1.xlsx", {"KYC HEADER", "KYC TRAILER"}},
        {"xlsx/craftonhills.edu_programreview_report.aspx_goalpriorityreport_0011d159-1eeb-4b63-8833-867b0926e5f3.xlsx",
         {"District Police Department"}},
        {"ppt/bug55030.ppt", {"平抛运动的分解演示"}},
        {"ppt/54880_chinese.ppt", {"複数の文字", "カタカナ"}},
        {"ppt/alterman_security.ppt", {"Government-University Identity Management"}},
        {"pptx/aascu.org_hbcu_leadershipsummit_cooper_.pptx", {"Positioning HBCUs in the Current Environment"}},
        {"html/baidu-cn-home.html", {"百度"}},
        {"html/word2016-gb2312/README.html", {"云探针"}},
        {"html/word2003-cp1251/readme.html", {"click the Report button on the main panel"}},
        {"txt/wikipediaTw_Japan_GB2312.txt", {"日本"}},
        {"txt/README（备用）.txt", {"航班数据来源于"}},
        {"txt/gbk.txt", {"資訊科技"}},
    };
    QList<Catalog> catalogs = {{"Word文档", {}}, {"网页", {}}, {"文本", {}}, {"表格", {}}, {"演示文稿", {}}};
    for (const QString &d : expected.keys()) {
        const QString kind = d.section('/', 0, 0);
        const int i = kind.startsWith("doc") ? 0 : kind == "html" ? 1 : kind == "txt" ? 2 : kind.startsWith("xls") ? 3 : 4;
        catalogs[i].documents << d;
    }
    const QString project = tmp.path() + "/proj/语料.zlp";
    QDir().mkpath(tmp.path() + "/proj");
    writeProject(project, "语料", corpus, catalogs);

    // One office and no cache, then two offices with a cache yet empty, then the cache
    // alone: the pages and help project files are the same bytes every time.
    QString output;
    const auto build = [&](const QStringList &options) {
        const int code = runProgram(bin("zelbrin-build"), options + QStringList{"--keep-temp", project}, &output,
                                    20 * 60 * 1000);
        EXPECT_EQ(code, 0) << output.toStdString();
        return folderContents(tmp.path() + "/proj/temp");  // each build replaces the last one's
    };
    const QMap<QString, QByteArray> oneOffice = build({"--jobs", "1", "--no-cache"});
    EXPECT_TRUE(oneOffice.contains("html/表格/34775.htm"));
    EXPECT_EQ(build({"--jobs", "2"}), oneOffice);
    EXPECT_TRUE(output.contains("缓存中已有 0 个文档的网页；启动了 2 个办公软件")) << output.toStdString();
    EXPECT_EQ(build({"--jobs", "2"}), oneOffice);
    EXPECT_TRUE(output.contains("缓存中已有 20 个文档的网页；启动了 0 个办公软件")) << output.toStdString();
    const UnpackedChm chm = unpackChm(tmp.path() + "/proj/语料.CHM", tmp.path() + "/out");
    ASSERT_TRUE(chm.error.isEmpty()) << chm.error.toStdString();
    EXPECT_TRUE(chm.deadLocals.isEmpty()) << chm.deadLocals.join(", ").toStdString();

    QStringList titles;
    for (const auto &e : chm.entries)
        titles << e.first;
    for (const Catalog &c : catalogs)
        EXPECT_TRUE(titles.contains(c.caption)) << c.caption.toStdString();
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QString title = bareName(it.key());
        ASSERT_TRUE(titles.contains(title)) << title.toStdString();
        const QString text = chm.pageText(title);
        for (const QString &snippet : it.value())
            EXPECT_TRUE(text.contains(snippet))
                << it.key().toStdString() << " lacks " << snippet.toStdString() << "\n"
                << text.left(600).toStdString();
        // A converted page is titled by its caption, not by the document's title property
        // (the presentation's is "Global Issues and Trends…"); the user's own HTML keeps its.
        if (!it.key().startsWith("html/")) {
            QFile page(chm.pagePath(title));
            ASSERT_TRUE(page.open(QIODevice::ReadOnly));
            EXPECT_TRUE(decodePage(page.readAll()).contains("<title>" + title.toHtmlEscaped() + "</title>"))
                << it.key().toStdString();
        }
    }
    // Pictures travel with their pages: Word's, Word "Web Page" companion folders, slides.
    EXPECT_GE(chm.storedImages("testPictures"), 5);
    EXPECT_GE(chm.storedImages("README"), 5);
    EXPECT_GE(chm.storedImages("alterman_security"), 1);

    // Every stored file reads back byte for byte through CHMLib, 7-Zip and libmspack, and
    // python3-chm opens the help file with its title and contents readable.
    EXPECT_EQ(checkStoredFilesReadBack(tmp.path() + "/proj/temp/语料.hhp", tmp.path() + "/readers"), QString());
    QStringList captions;
    for (const Catalog &c : catalogs)
        captions << c.caption;
    EXPECT_EQ(checkWithPythonChm(tmp.path() + "/proj/语料.CHM", "语料", captions), QString());
}

TEST(EndToEnd, SampleProjectCompilesWithExitCodes) {
    QTemporaryDir tmp;
    QString out;
    ASSERT_EQ(runProgram("sh", {qEnvironmentVariable("ZELBRIN_SOURCE_DIR") + "/scripts/sample.sh", tmp.path()},
                         &out, 30000), 0) << out.toStdString();
    const QString project = tmp.path() + "/用户手册.zlp";
    // Far more offices than the machine has cores: as many start as there are cores, at
    // most, and the build says why.
    const int code = runProgram(bin("zelbrin-build"), {"--keep-temp", "--jobs", "1000", project}, &out, 10 * 60 * 1000);
    ASSERT_EQ(code, 0) << out.toStdString();
    EXPECT_TRUE(out.contains("要求同时启动 1000 个办公软件，只启动 ")) << out.toStdString();
    const QRegularExpression started("启动了 (\\d+) 个办公软件");
    ASSERT_TRUE(started.match(out).hasMatch()) << out.toStdString();
    EXPECT_LE(started.match(out).captured(1).toInt(), std::max(1, QThread::idealThreadCount()));
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    const QStringList expectedLines = {
        "开始编译...", "正在启动办公软件...", "正在转换为HTML文件...",
        "正在转换为HTML文件... 1/6 intro.doc", "正在转换为HTML文件... 2/6 install.docx",
        "正在转换为HTML文件... 3/6 faq.txt", "正在转换为HTML文件... 4/6 prices.xls",
        "正在转换为HTML文件... 5/6 overview.ppt", "正在转换为HTML文件... 6/6 contact.htm",
        "正在编译...", "编译完成：" + project.left(project.size() - 4) + ".CHM（共 6 个文档）"};
    for (const QString &line : expectedLines)
        EXPECT_TRUE(lines.contains(line)) << line.toStdString() << "\n" << out.toStdString();
    EXPECT_FALSE(lines.contains("删除临时文件..."));  // --keep-temp deletes nothing
    EXPECT_TRUE(QFileInfo(tmp.path() + "/temp/用户手册.hhp").isFile());  // --keep-temp

    const UnpackedChm chm = unpackChm(tmp.path() + "/用户手册.CHM", tmp.path() + "/out");
    ASSERT_TRUE(chm.error.isEmpty()) << chm.error.toStdString();
    EXPECT_TRUE(chm.deadLocals.isEmpty()) << chm.deadLocals.join(", ").toStdString();
    QStringList titles;
    for (const auto &e : chm.entries)
        titles << e.first;
    for (const char *t : {"入门", "安装步骤", "常见问题", "参考资料", "价格表", "产品演示", "附录", "联系我们"})
        EXPECT_TRUE(titles.contains(QString::fromUtf8(t))) << t;
    EXPECT_TRUE(chm.pageText("入门").contains("欢迎使用 Zelbrin 用户手册"));
    EXPECT_GE(chm.storedImages("入门"), 1);
    EXPECT_TRUE(chm.pageText("安装步骤").contains("选择工作目录"));
    EXPECT_TRUE(chm.pageText("常见问题").contains("如何添加文档"));
    const QString prices = chm.pageText("价格表");
    EXPECT_TRUE(prices.contains("专业版 Professional") && prices.contains("批量折扣")) << prices.toStdString();
    const QString slides = chm.pageText("产品演示");
    EXPECT_TRUE(slides.contains("产品概览") && slides.contains("路线图")) << slides.toStdString();
    const QString contact = chm.pageText("联系我们");
    EXPECT_TRUE(contact.contains("Write to us")) << contact.toStdString();
    EXPECT_FALSE(contact.contains("DocumentProperties"));  // the conditional comment is gone

    EXPECT_EQ(checkStoredFilesReadBack(tmp.path() + "/temp/用户手册.hhp", tmp.path() + "/readers"), QString());
    EXPECT_EQ(checkWithPythonChm(tmp.path() + "/用户手册.CHM", "用户手册",
                                 {"入门", "安装步骤", "常见问题", "参考资料", "价格表", "产品演示", "附录", "联系我们"}),
              QString());

    // Again: every office page comes from the cache and no office starts. Then with one
    // document changed, only that one is converted.
    const QString docs = tmp.path() + "/docs";
    ASSERT_EQ(runProgram("cp", {"-r", qEnvironmentVariable("ZELBRIN_SOURCE_DIR") + "/samples/manual/docs", docs},
                         &out, 60000), 0);
    QFile projectFile(project);
    ASSERT_TRUE(projectFile.open(QIODevice::ReadWrite));
    const QByteArray xml = projectFile.readAll().replace(
        QFile::encodeName(qEnvironmentVariable("ZELBRIN_SOURCE_DIR") + "/samples/manual/docs"), QFile::encodeName(docs));
    projectFile.resize(0);
    projectFile.write(xml);
    projectFile.close();
    ASSERT_EQ(runProgram(bin("zelbrin-build"), {"--keep-temp", project}, &out, 10 * 60 * 1000), 0) << out.toStdString();
    const QMap<QString, QByteArray> firstPages = folderContents(tmp.path() + "/temp/html");
    ASSERT_EQ(runProgram(bin("zelbrin-build"), {"--keep-temp", project}, &out, 10 * 60 * 1000), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("缓存中已有 5 个文档的网页；启动了 0 个办公软件")) << out.toStdString();
    EXPECT_FALSE(out.contains("正在启动办公软件...")) << out.toStdString();
    EXPECT_EQ(folderContents(tmp.path() + "/temp/html"), firstPages);
    QFile faq(docs + "/faq.txt");
    ASSERT_TRUE(faq.open(QIODevice::Append));
    faq.write("\nChanged since the last build.\n");
    faq.close();
    ASSERT_EQ(runProgram(bin("zelbrin-build"), {"--keep-temp", project}, &out, 10 * 60 * 1000), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("缓存中已有 4 个文档的网页；启动了 1 个办公软件")) << out.toStdString();
    QFile faqPage(tmp.path() + "/temp/html/入门/faq.htm");
    ASSERT_TRUE(faqPage.open(QIODevice::ReadOnly)) << faqPage.fileName().toStdString();
    EXPECT_TRUE(faqPage.readAll().contains("Changed since the last build."));

    // Exit codes: 2 for unreadable projects (and arguments, below), 1 for a build error.
    EXPECT_EQ(runProgram(bin("zelbrin-build"), {tmp.path() + "/missing.zlp"}, &out, 10000), 2);
    // A "temp" of the user's beside the project: nothing is touched.
    QDir().mkpath(tmp.path() + "/坏/temp");
    QFile broken(tmp.path() + "/坏/坏.zlp");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("<坏><Items><Item Caption=\"网页\" FullDir=\"/nonexistent/page.htm\"/></Items></坏>");
    broken.close();
    EXPECT_EQ(runProgram(bin("zelbrin-build"), {tmp.path() + "/坏/坏.zlp"}, &out, 5 * 60 * 1000), 1);
    EXPECT_TRUE(out.contains("编译时出错：工程所在的文件夹中已有一个不是本程序建立的“temp”：" + tmp.path() + "/坏/temp"))
        << out.toStdString();
    EXPECT_TRUE(QFileInfo(tmp.path() + "/坏/temp").isDir());
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/坏/坏.CHM"));
}

// Documents that cannot be converted (damaged, protected, no document at all, missing) each
// get a page that says so and are named with their reason; the help file is written, and
// --strict makes that exit 1.
TEST(EndToEnd, BadDocumentsAreSkippedAndNamedWithTheirReason) {
    const QString corpus = corpusFolder();
    ASSERT_FALSE(corpus.isEmpty());
    QTemporaryDir tmp;
    const QString docs = tmp.path() + "/docs/";
    QDir().mkpath(docs + "资料.doc");
    QFile source(corpus + "/doc/61490.doc");
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QFile cut(docs + "损坏.doc");
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(source.read(20000));
    cut.close();
    const QString protectedDocument = qEnvironmentVariable("ZELBRIN_SOURCE_DIR") + "/src/platform/tests/documents/protected.docx";
    const struct {
        QString path;
        QString reason;
    } bad[] = {{docs + "损坏.doc", "文档已损坏"}, {protectedDocument, "文档有密码保护"}, {docs + "资料.doc", "不是文档文件"},
               {"/dev/zero", "不是文档文件"},      {docs + "gone.htm", "文档不存在"}};
    QString xml = "<坏文档><WorkCatalog/><Items><Item Caption=\"文档\" FullDir=\"\">"
                  "<Item Caption=\"61490.doc\" FullDir=\"" + corpus + "/doc/61490.doc\"/>";
    for (const auto &b : bad)
        xml += "<Item Caption=\"" + QFileInfo(b.path).fileName() + "\" FullDir=\"" + b.path + "\"/>";
    xml += "</Item></Items></坏文档>";
    const QString project = tmp.path() + "/坏文档.zlp";
    QFile projectFile(project);
    ASSERT_TRUE(projectFile.open(QIODevice::WriteOnly));
    projectFile.write(xml.toUtf8());
    projectFile.close();

    QStringList firstFailures;
    for (const bool strict : {false, true}) {
        SCOPED_TRACE(strict ? "--strict" : "");
        QString out;
        const QStringList options = strict ? QStringList{"--strict", project} : QStringList{project};
        EXPECT_EQ(runProgram(bin("zelbrin-build"), options, &out, 5 * 60 * 1000), strict ? 1 : 0) << out.toStdString();
        // The second build knows the bad documents from the first: no office starts, and
        // each is named as before, with the office's own words.
        const QStringList failures = out.split('\n').filter(QRegularExpression("^(未能转换：|    )"));
        if (strict) {
            EXPECT_EQ(failures, firstFailures);
            EXPECT_TRUE(out.contains("启动了 0 个办公软件")) << out.toStdString();
        }
        firstFailures = failures;
        for (const auto &b : bad)
            EXPECT_TRUE(out.contains("未能转换：" + b.path + "（" + b.reason + "）")) << b.path.toStdString() << "\n"
                                                                                  << out.toStdString();
        EXPECT_FALSE(out.contains("是否安装过office")) << out.toStdString();
        EXPECT_TRUE(out.contains("（共 6 个文档，5 个未能转换）")) << out.toStdString();
        const UnpackedChm chm = unpackChm(tmp.path() + "/坏文档.CHM", tmp.path() + (strict ? "/out2" : "/out1"));
        ASSERT_TRUE(chm.error.isEmpty()) << chm.error.toStdString();
        EXPECT_TRUE(chm.deadLocals.isEmpty()) << chm.deadLocals.join(", ").toStdString();
        EXPECT_TRUE(chm.pageText("61490").contains("居中的大标题"));
        EXPECT_TRUE(chm.pageText("损坏").contains("文档已损坏"));
    }
}

// Two builds of one project, or of two projects in one folder, never run at once: the later
// one is refused with a message that names the running build, and the running build's help
// file holds all its own pages. A project folder that cannot be written is reported before
// any document is converted.
TEST(EndToEnd, BuildsThatCannotGoAheadAreRefusedBeforeAnyConversion) {
    const QString corpus = corpusFolder();
    ASSERT_FALSE(corpus.isEmpty());
    QTemporaryDir tmp;
    QDir().mkpath(tmp.path() + "/proj");
    const QString first = tmp.path() + "/proj/第一.zlp", second = tmp.path() + "/proj/第二.zlp";
    writeProject(first, "第一", corpus,
                 {{"演示", {"ppt/alterman_security.ppt", "pptx/aascu.org_hbcu_leadershipsummit_cooper_.pptx",
                            "doc/testPictures.doc", "xls/34775.xls"}}});
    writeProject(second, "第二", corpus, {{"文档", {"doc/61490.doc"}}});
    QProcess running;
    running.setProcessChannelMode(QProcess::MergedChannels);
    running.start(bin("zelbrin-build"), {"--no-cache", "--jobs", "1", first});
    ASSERT_TRUE(running.waitForStarted());
    QByteArray printed;
    while (!printed.contains("正在转换为HTML文件... 1/4") && running.state() == QProcess::Running) {
        running.waitForReadyRead(1000);
        printed += running.readAll();
    }
    ASSERT_TRUE(printed.contains("正在转换为HTML文件... 1/4")) << printed.constData();
    for (const QString &project : {first, second}) {
        SCOPED_TRACE(project.toStdString());
        QString out;
        EXPECT_EQ(runProgram(bin("zelbrin-build"), {project}, &out, 60000), 1) << out.toStdString();
        EXPECT_TRUE(out.contains("编译时出错：工程 " + first + " 的编译（进程 " + QString::number(running.processId())))
            << out.toStdString();
        EXPECT_TRUE(out.contains("正在使用工程所在的文件夹")) << out.toStdString();
        EXPECT_FALSE(out.contains("正在启动办公软件")) << out.toStdString();
    }
    ASSERT_TRUE(running.waitForFinished(10 * 60 * 1000));
    EXPECT_EQ(running.exitCode(), 0) << QByteArray(printed + running.readAll()).constData();
    const UnpackedChm chm = unpackChm(tmp.path() + "/proj/第一.CHM", tmp.path() + "/out");
    ASSERT_TRUE(chm.error.isEmpty()) << chm.error.toStdString();
    EXPECT_TRUE(chm.deadLocals.isEmpty()) << chm.deadLocals.join(", ").toStdString();
    EXPECT_EQ(chm.storedImages("alterman_security"), 23);
    EXPECT_GE(chm.storedImages("aascu.org_hbcu_leadershipsummit_cooper_"), 16);
    // Once it has ended, the second project builds.
    QString out;
    EXPECT_EQ(runProgram(bin("zelbrin-build"), {second}, &out, 5 * 60 * 1000), 0) << out.toStdString();

    // A folder that cannot be written: made read-only for a user, mounted read-only for root.
    const QString readOnly = tmp.path() + "/proj";
    QString program = bin("zelbrin-build");
    QStringList args{second};
    if (::geteuid() == 0) {
        program = "unshare";
        args = QStringList{"-m", "sh", "-c", "mount --bind \"$1\" \"$1\" && mount -o remount,ro,bind \"$1\" && shift && exec \"$@\"",
                           "sh", readOnly, bin("zelbrin-build"), second};
    } else {
        QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    const int code = runProgram(program, args, &out, 60000);
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(code, 1) << out.toStdString();
    EXPECT_TRUE(out.contains("编译时出错：工程所在的文件夹不能写入：" + readOnly + (::geteuid() == 0 ? "（只读的文件系统）" : "（没有写入权限）")))
        << out.toStdString();
    EXPECT_FALSE(out.contains("正在启动办公软件")) << out.toStdString();
}

namespace {

// Processes whose command line mentions text (the test's own temporary folder).
QList<int> processesMentioning(const QString &text) {
    QList<int> pids;
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool isPid = false;
        const int pid = entry.toInt(&isPid);
        if (!isPid)
            continue;
        QFile cmdline("/proc/" + entry + "/cmdline");
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(text.toUtf8()))
            pids << pid;
    }
    return pids;
}

// Starts a parallel build of documents (paths relative to the corpus) without the cache,
// so that every one is converted, and kills one of its office workers once the offices
// are up. Returns the build's output; the build's temporary folder is tmpRoot.
QString buildKillingAWorker(const QString &folder, const QString &tmpRoot, const Catalog &documents,
                            const QStringList &options, int *exitCode) {
    QDir().mkpath(tmpRoot);
    QDir().mkpath(folder + "/proj");
    const QString project = folder + "/proj/Killed.zlp";
    writeProject(project, "Killed", corpusFolder(), {documents});
    QProcess build;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", tmpRoot);  // the office profiles land here, and so in the workers' command lines
    build.setProcessEnvironment(env);
    build.setProcessChannelMode(QProcess::MergedChannels);
    build.start(bin("zelbrin-build"), QStringList{"--no-cache"} + options + QStringList{project});
    EXPECT_TRUE(build.waitForStarted());
    // The conversion step comes again once the first office is up; from then on the build
    // is inside the conversions, however long the start took.
    QByteArray printed;
    const QByteArray started = "正在启动办公软件...\n正在转换为HTML文件...\n";
    while (!printed.contains(started) && build.state() == QProcess::Running) {
        build.waitForReadyRead(1000);
        printed += build.readAll();
    }
    EXPECT_TRUE(printed.contains(started)) << printed.constData();
    // Every worker's office is up once it listens on its pipe (OSL_PIPE_<uid>_zelbrin-office-<worker>-<n>
    // in /tmp): the kill then lands in the conversions, not in a start.
    QList<int> workers;
    bool allUp = false;
    while (!allUp && build.state() == QProcess::Running) {
        workers.clear();
        for (int pid : processesMentioning(tmpRoot))
            if (QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)).endsWith("/zelbrin-office"))
                workers << pid;
        allUp = !workers.isEmpty();
        for (int pid : workers)
            allUp = allUp && !QDir("/tmp").entryList({QStringLiteral("OSL_PIPE_*_zelbrin-office-%1-*").arg(pid)},
                                                     QDir::System).isEmpty();
        if (!allUp)
            build.waitForReadyRead(100);
        printed += build.readAll();
    }
    const int worker = workers.value(0, -1);
    EXPECT_GT(worker, 0) << "no office worker found";
    if (worker > 0) {
        EXPECT_EQ(::kill(worker, SIGKILL), 0);
    }
    EXPECT_TRUE(build.waitForFinished(20 * 60 * 1000));
    *exitCode = build.exitCode();
    return QString::fromLocal8Bit(printed + build.readAll());
}

// No office process outlives a build, and the offices' private profiles are gone.
void expectNothingLeftIn(const QString &tmpRoot) {
    QList<int> left;
    for (int i = 0; i < 50; ++i) {
        left = processesMentioning(tmpRoot);
        if (left.isEmpty())
            break;
        QThread::msleep(100);
    }
    EXPECT_TRUE(left.isEmpty());
    EXPECT_TRUE(QDir(tmpRoot).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).filter("zelbrin-office").isEmpty());
}

}  // namespace

TEST(EndToEnd, WorkerKilledInAParallelBuildIsReplacedOrEndsTheBuild) {
    ASSERT_FALSE(corpusFolder().isEmpty());
    QTemporaryDir tmp;
    int code = -1;

    // A workbook whose worker dies is tried again by a worker started in its place.
    Catalog sheets{"表格", {}};
    for (int round = 0; round < 4; ++round)
        for (const char *d : {"xls/19599-2.xls", "xls/44235.xls", "xls/34775.xls", "xls/55982.xls",
                              "xlsx/CVLKRA-KYC_Download_File_Structure_V3.1.xlsx"})
            sheets.documents << QString::fromUtf8(d);
    QString out = buildKillingAWorker(tmp.path() + "/sheets", tmp.path() + "/tmp-sheets", sheets,
                                      {"--jobs", "2", "--keep-temp"}, &code);
    EXPECT_EQ(code, 0) << out.toStdString();
    EXPECT_FALSE(out.contains("未能转换")) << out.toStdString();
    for (const QString &d : sheets.documents) {
        QFile page(tmp.path() + "/sheets/proj/temp/html/表格/" + bareName(d) + ".htm");
        ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << page.fileName().toStdString();
        EXPECT_FALSE(page.readAll().contains("无法转换文件")) << d.toStdString();
    }
    expectNothingLeftIn(tmp.path() + "/tmp-sheets");

    // A Word document whose worker dies ends the build with a clear error (one worker, so
    // that the kill cannot land in a start, which the other worker would make up for).
    Catalog words{"文档", {}};
    for (int round = 0; round < 6; ++round)
        for (const char *d : {"doc/61490.doc", "doc/testPictures.doc", "doc/FloatingPictures.doc",
                              "docx/ServerStatus-DogSon-README.docx", "docx/bib-chernigovka.netdo.ru_download_docs_17459.docx"})
            words.documents << QString::fromUtf8(d);
    out = buildKillingAWorker(tmp.path() + "/words", tmp.path() + "/tmp-words", words, {"--jobs", "1"}, &code);
    EXPECT_EQ(code, 1) << out.toStdString();
    // How the office ended follows on a line of its own.
    EXPECT_TRUE(out.contains(QRegularExpression("编译时出错，是否安装过office？：办公软件已退出或无响应：[^\n]*\n    转换程序意外退出")))
        << out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/words/proj/temp"));
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/words/proj/Killed.CHM"));
    expectNothingLeftIn(tmp.path() + "/tmp-words");
}

TEST(EndToEnd, TooDeepProjectIsRefusedWithExitCode2) {
    QTemporaryDir tmp;
    const QString project = tmp.path() + "/Deep.zlp";
    QFile f(project);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<Deep><WorkCatalog/><Items>" + QByteArray("<Item Caption=\"x\" FullDir=\"\">").repeated(20000) +
            QByteArray("</Item>").repeated(20000) + "</Items></Deep>");
    f.close();
    QString out;
    EXPECT_EQ(runProgram(bin("zelbrin-build"), {project}, &out, 60000), 2) << out.toStdString();
    EXPECT_TRUE(out.contains("目录层次超过256层")) << out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/temp"));
}

// The help and every argument error in Chinese; an error says what is wrong, then how
// the program is called, and ends with 2.
TEST(EndToEnd, HelpAndArgumentErrorsAreChinese) {
    const struct {
        QStringList args;
        int exitCode;
        QString says;
    } cases[] = {
        {{"--help"}, 0, "--no-cache   转换每一个文档，不使用也不保留已转换的网页"},
        {{}, 2, "zelbrin-build：缺少工程文件"},
        {{"--bogus", "p.zlp"}, 2, "zelbrin-build：未知的选项：--bogus"},
        {{"--jobs", "0", "p.zlp"}, 2, "zelbrin-build：--jobs 需要一个正整数，而不是“0”"},
        {{"a.zlp", "b.zlp"}, 2, "zelbrin-build：只能编译一个工程文件，多出了：b.zlp"},
        {{"--help"}, 0, "--split N    本次编译把文档按第 1 至 N 级标题分成多页（N 为 0 到 3，0 为不分页），"},
        {{"--split", "4", "p.zlp"}, 2, "zelbrin-build：--split 需要 0 到 3 之间的整数（0 为不分页），而不是“4”"},
        {{"--split=二", "p.zlp"}, 2, "zelbrin-build：--split 需要 0 到 3 之间的整数（0 为不分页），而不是“二”"},
    };
    for (const auto &c : cases) {
        QString out;
        EXPECT_EQ(runProgram(bin("zelbrin-build"), c.args, &out, 10000), c.exitCode) << out.toStdString();
        EXPECT_TRUE(out.contains(c.says)) << out.toStdString();
        EXPECT_TRUE(out.contains(
            "用法：zelbrin-build [--keep-temp] [--open] [--jobs N] [--no-cache] [--strict] [--split N] 工程文件.zlp"))
            << out.toStdString();
        EXPECT_FALSE(out.contains("usage")) << out.toStdString();
    }
}

namespace {

bool processExists(int pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

QString officePipe(int workerPid) {
    return QStringLiteral("/tmp/OSL_PIPE_%1_zelbrin-office-%2-1").arg(::geteuid()).arg(workerPid);
}

}  // namespace

// Ctrl-C, SIGTERM or SIGHUP during the conversions: the build ends through its error path,
// so the office, its private profile, its pipe and the build folder all go. What an earlier
// killed build left behind is swept at the next start; what a live process owns stays.
TEST(EndToEnd, InterruptedBuildCleansUpAndSweepsStaleLeftovers) {
    const QString shared = corpusFolder();
    ASSERT_FALSE(shared.isEmpty());
    QTemporaryDir tmp;
    const QString tmpRoot = tmp.path() + "/tmp";
    QDir().mkpath(tmpRoot);
    QDir().mkpath(tmp.path() + "/proj");
    const QString project = tmp.path() + "/proj/Stopped.zlp";
    writeProject(project, "Stopped", shared, {{"文档", {"doc/61490.doc", "doc/testPictures.doc", "doc/FloatingPictures.doc"}}});

    QProcess gone;
    gone.start("true");
    ASSERT_TRUE(gone.waitForStarted());
    const int dead = int(gone.processId());
    ASSERT_TRUE(gone.waitForFinished());
    ASSERT_FALSE(processExists(dead));
    const QString staleProfile = tmpRoot + QStringLiteral("/zelbrin-office-%1-AbC123").arg(dead);
    const QString liveProfile = tmpRoot + QStringLiteral("/zelbrin-office-%1-XyZ789").arg(::getpid());
    const QString stalePipe = officePipe(dead);
    ASSERT_TRUE(QDir().mkpath(staleProfile + "/user"));
    ASSERT_TRUE(QDir().mkpath(liveProfile));
    QFile pipe(stalePipe);
    ASSERT_TRUE(pipe.open(QIODevice::WriteOnly));
    pipe.close();

    // The conversion step comes again once an office is up. The last round ends the build
    // while the offices are still starting.
    const char *const converting = "正在启动办公软件...\n正在转换为HTML文件...\n";
    const struct {
        int signal;
        const char *step;
    } rounds[] = {{SIGTERM, converting}, {SIGINT, converting}, {SIGHUP, converting},
                  {SIGTERM, "正在启动办公软件...\n"}};
    for (const auto &[signal, step] : rounds) {
        SCOPED_TRACE(step);
        SCOPED_TRACE(signal);
        QProcess build;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", tmpRoot);
        build.setProcessEnvironment(env);
        build.setProcessChannelMode(QProcess::MergedChannels);
        build.start(bin("zelbrin-build"), {"--no-cache", project});
        ASSERT_TRUE(build.waitForStarted());
        QByteArray printed;
        while (!printed.contains(step) && build.state() == QProcess::Running) {
            build.waitForReadyRead(1000);
            printed += build.readAll();
        }
        ASSERT_TRUE(printed.contains(step)) << printed.constData();
        int worker = -1;
        for (int pid : processesMentioning(tmpRoot))
            if (QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)).endsWith("/zelbrin-office"))
                worker = pid;
        ASSERT_EQ(::kill(pid_t(build.processId()), signal), 0);
        ASSERT_TRUE(build.waitForFinished(120000));
        const QString out = QString::fromLocal8Bit(printed + build.readAll());
        EXPECT_EQ(build.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(build.exitCode(), 128 + signal) << out.toStdString();
        EXPECT_TRUE(out.contains("编译已中断")) << out.toStdString();
        EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/proj/temp"));
        EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/proj/Stopped.CHM"));
        EXPECT_TRUE(processesMentioning(tmpRoot).isEmpty());
        if (worker > 0) {
            EXPECT_FALSE(QFileInfo::exists(officePipe(worker)));
        }
        EXPECT_EQ(QDir(tmpRoot).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{QFileInfo(liveProfile).fileName()});
    }
    EXPECT_FALSE(QFileInfo::exists(stalePipe));
}
