// The main job end to end: real documents through the office worker, the help project
// through hhc, the result unpacked with CHMLib and 7-Zip and checked.
#include "chmcheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

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
        {"pptx/aascu.org_hbcu_leadershipsummit_cooper_.pptx", {"Global Issues and Trends In Higher Education Financing"}},
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

    QString output;
    const int code = runProgram(bin("zelbrin-build"), {"--keep-temp", project}, &output, 20 * 60 * 1000);
    ASSERT_EQ(code, 0) << output.toStdString();
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
    const int code = runProgram(bin("zelbrin-build"), {"--keep-temp", project}, &out, 10 * 60 * 1000);
    ASSERT_EQ(code, 0) << out.toStdString();
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    const QStringList expectedLines = {
        "开始编译...", "正在启动办公软件...", "正在转换为HTML文件...",
        "正在转换为HTML文件... 1/6 intro.doc", "正在转换为HTML文件... 2/6 install.docx",
        "正在转换为HTML文件... 3/6 faq.txt", "正在转换为HTML文件... 4/6 prices.xls",
        "正在转换为HTML文件... 5/6 overview.ppt", "正在转换为HTML文件... 6/6 contact.htm",
        "正在编译...", "删除临时文件...", "编译完成：" + project.left(project.size() - 4) + ".CHM（共 6 个文档）"};
    for (const QString &line : expectedLines)
        EXPECT_TRUE(lines.contains(line)) << line.toStdString() << "\n" << out.toStdString();
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

    // Exit codes: 2 for arguments and unreadable projects, 1 for a build error.
    EXPECT_EQ(runProgram(bin("zelbrin-build"), {}, &out, 10000), 2);
    EXPECT_EQ(runProgram(bin("zelbrin-build"), {"--bogus", project}, &out, 10000), 2);
    EXPECT_EQ(runProgram(bin("zelbrin-build"), {tmp.path() + "/missing.zlp"}, &out, 10000), 2);
    QFile broken(tmp.path() + "/坏.zlp");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("<坏><Items><Item Caption=\"网页\" FullDir=\"/nonexistent/page.htm\"/></Items></坏>");
    broken.close();
    EXPECT_EQ(runProgram(bin("zelbrin-build"), {tmp.path() + "/坏.zlp"}, &out, 5 * 60 * 1000), 1);
    EXPECT_TRUE(out.contains("编译时出错，是否安装过office？：")) << out.toStdString();
    EXPECT_TRUE(out.contains("/nonexistent/page.htm")) << out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/坏.CHM"));
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

}  // namespace

TEST(EndToEnd, WorkerKilledMidBuildIsAClearErrorAndLeavesNothing) {
    const QString shared = corpusFolder();
    ASSERT_FALSE(shared.isEmpty());
    QTemporaryDir tmp;
    const QString tmpRoot = tmp.path() + "/tmp";
    QDir().mkpath(tmpRoot);
    // Word documents only, several times over, so that the kill lands in a Word conversion.
    Catalog words{"文档", {}};
    for (int round = 0; round < 6; ++round)
        for (const char *d : {"doc/61490.doc", "doc/testPictures.doc", "doc/FloatingPictures.doc",
                              "docx/ServerStatus-DogSon-README.docx", "docx/bib-chernigovka.netdo.ru_download_docs_17459.docx"})
            words.documents << QString::fromUtf8(d);
    QDir().mkpath(tmp.path() + "/proj");
    const QString project = tmp.path() + "/proj/Killed.zlp";
    writeProject(project, "Killed", shared, {words});

    QProcess build;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", tmpRoot);  // the office profile lands here, and so in the worker's command line
    build.setProcessEnvironment(env);
    build.setProcessChannelMode(QProcess::MergedChannels);
    build.start(bin("zelbrin-build"), {project});
    ASSERT_TRUE(build.waitForStarted());

    // The conversion step is printed once the office has answered that it is up; from
    // then on the build is inside the Word conversions, however long the start took.
    QByteArray printed;
    while (!printed.contains("正在转换为HTML文件...") && build.state() == QProcess::Running) {
        build.waitForReadyRead(1000);
        printed += build.readAll();
    }
    ASSERT_TRUE(printed.contains("正在转换为HTML文件...")) << printed.constData();
    int worker = -1;
    for (int pid : processesMentioning(tmpRoot))
        if (QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)).endsWith("/zelbrin-office"))
            worker = pid;
    ASSERT_GT(worker, 0) << "no office worker found";
    ASSERT_EQ(::kill(worker, SIGKILL), 0);

    ASSERT_TRUE(build.waitForFinished(120000));
    const QString out = QString::fromLocal8Bit(printed + build.readAll());
    EXPECT_EQ(build.exitCode(), 1) << out.toStdString();
    EXPECT_TRUE(out.contains("编译时出错，是否安装过office？：")) << out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/proj/temp"));
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/proj/Killed.CHM"));
    // No office process outlives the build, and its private profile is gone.
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

    // The last round ends the build while the office is still starting.
    const struct {
        int signal;
        const char *step;
    } rounds[] = {{SIGTERM, "正在转换为HTML文件..."}, {SIGINT, "正在转换为HTML文件..."},
                  {SIGHUP, "正在转换为HTML文件..."}, {SIGTERM, "开始编译..."}};
    for (const auto &[signal, step] : rounds) {
        SCOPED_TRACE(step);
        SCOPED_TRACE(signal);
        QProcess build;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", tmpRoot);
        build.setProcessEnvironment(env);
        build.setProcessChannelMode(QProcess::MergedChannels);
        build.start(bin("zelbrin-build"), {project});
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
