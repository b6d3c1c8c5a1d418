// The office worker end to end: real LibreOffice, real documents of the acceptance
// corpus, and what happens when the office crashes, hangs or is ended.

#include "builderror.h"
#include "libreofficesession.h"
#include "corpusfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <csignal>
#include <thread>
#include <memory>

using zelbrin::BuildError;
using zelbrin::platform::LibreOfficeSession;
using zelbrin::platform::makeLibreOfficeSessionFactory;
using zelbrin::testing::corpusFolder;

namespace {

QString workerProgram() {
    return qEnvironmentVariable("ZELBRIN_BIN_DIR") + QStringLiteral("/zelbrin-office");
}

QString readFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// What a reader sees: tags dropped, the usual entities resolved. Blanks are dropped
// too, since the export breaks long lines (also between CJK characters).
QString visibleText(const QString &page) {
    QString text = page;
    text.remove(QRegularExpression(QStringLiteral("<style.*?</style>"),
                                   QRegularExpression::DotMatchesEverythingOption));
    text.replace(QRegularExpression(QStringLiteral("<[^>]*>")), QStringLiteral(" "));
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
        .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
        .replace(QStringLiteral("&nbsp;"), QStringLiteral(" "))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text.remove(QRegularExpression(QStringLiteral("\\s+")));
}

bool shows(const QString &text, QString phrase) {
    return text.contains(phrase.remove(QRegularExpression(QStringLiteral("\\s+"))));
}

bool declaresUtf8(const QString &page) {
    return page.contains(QRegularExpression(QStringLiteral("charset=\"?utf-8"),
                                            QRegularExpression::CaseInsensitiveOption));
}

// The files that a page's <img> elements point to, resolved against the page's folder.
QStringList pictureFiles(const QString &pagePath) {
    const QString page = readFile(pagePath);
    QStringList files;
    static const QRegularExpression img(QStringLiteral("<img[^>]*\\ssrc=\"([^\"]+)\""),
                                        QRegularExpression::CaseInsensitiveOption);
    for (auto it = img.globalMatch(page); it.hasNext();) {
        QString src = it.next().captured(1);
        src.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        files << QFileInfo(pagePath).dir().filePath(QUrl::fromPercentEncoding(src.toUtf8()));
    }
    return files;
}

// Processes (worker or office) whose command line names the profile folder; ended ones
// that only wait to be reaped have an empty command line and do not count.
QList<qint64> processesUsing(const QString &profile) {
    QList<qint64> found;
    if (profile.isEmpty())
        return found;
    const QByteArray plain = profile.toUtf8();
    const QByteArray asUrl = QUrl::fromLocalFile(profile).toEncoded();
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = cmdline.readAll();
        if (text.contains(plain) || text.contains(asUrl))
            found << pid;
    }
    return found;
}

qint64 officeProcessOf(const QString &profile) {
    for (qint64 pid : processesUsing(profile)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains("soffice.bin"))
            return pid;
    }
    return 0;
}

// The profile folder named on the command line of the office whose parent is pid.
QString profileOfOfficeStartedBy(qint64 parent) {
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 2 || fields[1].toLongLong() != parent)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &arg : cmdline.readAll().split('\0'))
            if (arg.startsWith("-env:UserInstallation="))
                return QUrl::fromEncoded(arg.mid(22)).toLocalFile();
    }
    return {};
}

// True when one of the process's local sockets holds bytes it has not read yet.
bool hasUnreadInput(qint64 pid) {
    QProcess ss;
    ss.start(QStringLiteral("ss"), {QStringLiteral("-xpnH")});
    if (!ss.waitForFinished(10000))
        return false;
    const QByteArray owner = "pid=" + QByteArray::number(pid) + ",";
    for (const QByteArray &line : ss.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> columns = line.simplified().split(' ');
        if (line.contains(owner) && columns.size() > 2 && columns[2].toLongLong() > 0)
            return true;
    }
    return false;
}

bool waitUntilGone(const QString &profile, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!processesUsing(profile).isEmpty()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

class OfficeSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        corpus_ = corpusFolder();
        if (corpus_.isEmpty())
            return;
        try {
            session_ = new LibreOfficeSession(workerProgram(), 120000);
        } catch (const BuildError &e) {
            startError_ = e.message();
        }
    }
    static void TearDownTestSuite() {
        delete session_;
        session_ = nullptr;
    }
    void SetUp() override {
        ASSERT_FALSE(corpus_.isEmpty())
            << "acceptance corpus not found: neither $ZELBRIN_SOURCE_DIR/../shared/corpus "
               "nor /work/shared/corpus exists";
        ASSERT_NE(session_, nullptr) << startError_.toStdString();
        ASSERT_TRUE(out_.isValid());
    }
    static QString corpus(const QString &relative) { return corpus_ + QLatin1Char('/') + relative; }
    QString target(const QString &name) const { return out_.filePath(name); }

    static QString corpus_;
    static QString startError_;
    static LibreOfficeSession *session_;
    QTemporaryDir out_;
};

QString OfficeSessionTest::corpus_;
QString OfficeSessionTest::startError_;
LibreOfficeSession *OfficeSessionTest::session_ = nullptr;

TEST_F(OfficeSessionTest, WordRoutePagesHoldTheTextAndTheirOwnPictures) {
    struct Case {
        const char *document;
        const char *page;
        QStringList phrases;
        int minPictures;
    };
    const QList<Case> cases{
        {"doc/61490.doc", "61490.htm", {"居中的大标题", "章节1.1的内容"}, 0},
        // Japanese text, floating pictures, a caption number that only a layout or a
        // field update fills in, and a date field that shows the day of the last saving,
        // not the day of the conversion, so that the page is the same on every day.
        {"doc/FloatingPictures.doc", "FloatingPictures.htm",
         {"文京区と目黒区", "Figure 1 Spacewalk", "4/27/2006"}, 2},
        {"docx/ServerStatus-DogSon-README.docx", "ServerStatus-DogSon-README.htm", {}, 5},
        {"docx/bib-chernigovka.netdo.ru_download_docs_17459.docx", "bib.htm",
         {"Большечерниговская районная библиотека"}, 1},
        {"txt/gbk.txt", "gbk.htm", {"資訊科技", "通用型计算机程序设计语言"}, 0},
        {"txt/wikipediaTw_Japan_GB2312.txt", "wiki.htm", {"维基百科，自由的百科全书"}, 0},
        {"txt/README（备用）.txt", "README（备用）.htm", {"环境：jdk1.8"}, 0},
    };
    // All pages go into one folder: none may take over another's pictures.
    for (const Case &c : cases) {
        SCOPED_TRACE(c.document);
        const QString page = target(QString::fromUtf8(c.page));
        session_->convertWordDocument(corpus(QString::fromUtf8(c.document)), page);
        const QString html = readFile(page);
        EXPECT_TRUE(declaresUtf8(html));
        const QString text = visibleText(html);
        for (const QString &phrase : c.phrases)
            EXPECT_TRUE(shows(text, phrase)) << phrase.toStdString();
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.document);
        const QString page = target(QString::fromUtf8(c.page));
        const QStringList pictures = pictureFiles(page);
        EXPECT_GE(pictures.size(), c.minPictures);
        const QString own = QFileInfo(page).completeBaseName() + QStringLiteral("_htm_");
        for (const QString &picture : pictures) {
            EXPECT_TRUE(QFileInfo(picture).isFile()) << picture.toStdString();
            EXPECT_TRUE(QFileInfo(picture).fileName().startsWith(own)) << picture.toStdString();
            EXPECT_EQ(QFileInfo(picture).absolutePath(), QDir(out_.path()).absolutePath());
        }
    }
}

TEST_F(OfficeSessionTest, WorkbookPageCarriesEverySheet) {
    const QString chinese = target(QStringLiteral("19599-2.htm"));
    ASSERT_TRUE(session_->convertWorkbook(corpus(QStringLiteral("xls/19599-2.xls")), chinese));
    QString text = visibleText(readFile(chinese));
    for (const char *phrase : {"汇总", "订阅上行列表", "信息终端发送短消息次数",
                               "“家家e”业务统计月报-订阅上行列表"})
        EXPECT_TRUE(shows(text, QString::fromUtf8(phrase))) << phrase;

    const QString french = target(QStringLiteral("55982.htm"));
    ASSERT_TRUE(session_->convertWorkbook(corpus(QStringLiteral("xls/55982.xls")), french));
    text = visibleText(readFile(french));
    // The sheet headings are the Chinese office's.
    for (const char *phrase : {"工作表 1: Description", "工作表 2: ET - 01", "工作表 3: Contenu du Lot",
                               "工作表 4: Composants du Projet", "工作表 5: Guide Utilisateur",
                               "Certificats médicaux"})
        EXPECT_TRUE(shows(text, QString::fromUtf8(phrase))) << phrase;

    // Thirty sheets, one of them hidden by its author (a copy of "Country Master").
    const QString many = target(QStringLiteral("kyc.htm"));
    ASSERT_TRUE(session_->convertWorkbook(
        corpus(QStringLiteral("xlsx/CVLKRA-KYC_Download_File_Structure_V3.1.xlsx")), many));
    text = visibleText(readFile(many));
    EXPECT_TRUE(shows(text, QStringLiteral("工作表 1: KYC HEADER")));
    EXPECT_TRUE(shows(text, QStringLiteral("工作表 29: KYC_MODE")));

    // Chart sheets become pictures beside the page, under the page's own name.
    const QString charts = target(QStringLiteral("34775.htm"));
    ASSERT_TRUE(session_->convertWorkbook(corpus(QStringLiteral("xls/34775.xls")), charts));
    const QStringList pictures = pictureFiles(charts);
    EXPECT_EQ(pictures.size(), 4);
    for (const QString &picture : pictures)
        EXPECT_TRUE(QFileInfo(picture).fileName().startsWith(QStringLiteral("34775_htm_")) &&
                    QFileInfo(picture).size() > 0)
            << picture.toStdString();
}

TEST_F(OfficeSessionTest, WorkbooksThatOtherProgramsWroteUnderXlsConvert) {
    // Web applications "export to Excel" as CSV text or as an HTML table named .xls.
    const QString csv = out_.filePath(QStringLiteral("export.xls"));
    QFile csvFile(csv);
    ASSERT_TRUE(csvFile.open(QIODevice::WriteOnly));
    csvFile.write("名称,数量\n苹果,3\nЯблоко,7\n");
    csvFile.close();
    ASSERT_TRUE(session_->convertWorkbook(csv, target(QStringLiteral("export.htm"))));
    QString text = visibleText(readFile(target(QStringLiteral("export.htm"))));
    EXPECT_TRUE(shows(text, QStringLiteral("苹果")));
    EXPECT_TRUE(shows(text, QStringLiteral("Яблоко")));

    const QString html = out_.filePath(QStringLiteral("report.xls"));
    QFile htmlFile(html);
    ASSERT_TRUE(htmlFile.open(QIODevice::WriteOnly));
    htmlFile.write("<html><head><meta charset=\"utf-8\"></head><body><table>"
                   "<tr><td>季度</td><td>收入</td></tr><tr><td>一季度</td><td>1200</td></tr>"
                   "</table></body></html>");
    htmlFile.close();
    ASSERT_TRUE(session_->convertWorkbook(html, target(QStringLiteral("report.htm"))));
    text = visibleText(readFile(target(QStringLiteral("report.htm"))));
    EXPECT_TRUE(shows(text, QStringLiteral("一季度")));
    EXPECT_TRUE(shows(text, QStringLiteral("1200")));
}

TEST_F(OfficeSessionTest, PresentationPageHasEverySlidesTextAndPicture) {
    struct Case {
        const char *document;
        int slides;
        QStringList phrases;
    };
    const QList<Case> cases{
        // Old .ppt files whose text the default HTML export loses.
        {"ppt/bug55030.ppt", 1, {"平抛运动的分解演示"}},
        {"ppt/54880_chinese.ppt", 1, {"カタカナ", "ﾊﾝｶｸ", "表Mixパﾋﾟ𠮟"}},
        {"ppt/alterman_security.ppt", 23,
         {"Government-University Identity Management Opportunities", "Current State of Affairs",
          "You forget the password", "Password Entropy", "Resources"}},
        {"pptx/aascu.org_hbcu_leadershipsummit_cooper_.pptx", 16,
         {"The College Completion Agenda", "More peer institution connections"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.document);
        const QString source = corpus(QString::fromUtf8(c.document));
        const QString page = target(QFileInfo(source).completeBaseName() + QStringLiteral(".htm"));
        ASSERT_TRUE(session_->convertPresentation(source, page));
        const QString html = readFile(page);
        EXPECT_TRUE(declaresUtf8(html));
        const QString text = visibleText(html);
        for (const QString &phrase : c.phrases)
            EXPECT_TRUE(shows(text, phrase)) << phrase.toStdString();
        EXPECT_EQ(html.count(QStringLiteral("<h1")), c.slides);
        // One picture per slide, in slide order, in the page's own companion folder.
        const QStringList pictures = pictureFiles(page);
        ASSERT_EQ(pictures.size(), c.slides);
        const QString folder = QFileInfo(page).fileName().replace(QLatin1Char('.'), QLatin1Char('_')) +
                               QStringLiteral("_files");
        for (int i = 0; i < pictures.size(); ++i) {
            const QFileInfo picture(pictures[i]);
            EXPECT_EQ(picture.fileName(), QStringLiteral("slide%1.jpg").arg(i + 1));
            EXPECT_EQ(picture.dir().dirName(), folder);
            QFile file(picture.filePath());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << picture.filePath().toStdString();
            EXPECT_TRUE(file.read(2) == QByteArray("\xFF\xD8"));  // a JPEG image
        }
    }

    // A page written again for a shorter presentation keeps no pictures of the longer one.
    const QString page = target(QStringLiteral("alterman_security.htm"));
    ASSERT_TRUE(session_->convertPresentation(corpus(QStringLiteral("ppt/bug55030.ppt")), page));
    EXPECT_EQ(QDir(target(QStringLiteral("alterman_security_htm_files"))).entryList(QDir::Files),
              QStringList{QStringLiteral("slide1.jpg")});
}

TEST_F(OfficeSessionTest, NamesWithBlanksHashesAmpersandsAndChineseArePassedThrough) {
    const QString folder = out_.filePath(QStringLiteral("资料 #1 50%&a=b"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString word = folder + QStringLiteral("/简历 & 说明=2.doc");
    ASSERT_TRUE(QFile::copy(
        corpus(QStringLiteral("doc/cap.stanford.edu_profiles_viewbiosketch_facultyid=4009&name=m_maciver.doc")),
        word));
    const QString wordPage = out_.filePath(QStringLiteral("输出 #2/简历 & 说明=2.htm"));
    session_->convertWordDocument(word, wordPage);
    EXPECT_TRUE(shows(visibleText(readFile(wordPage)), QStringLiteral("BIOGRAPHICAL SKETCH")));

    const QString slides = folder + QStringLiteral("/演示 #1&2 %20.ppt");
    ASSERT_TRUE(QFile::copy(corpus(QStringLiteral("ppt/bug55030.ppt")), slides));
    const QString slidesPage = out_.filePath(QStringLiteral("输出 #2/演示 #1&2 %20.htm"));
    ASSERT_TRUE(session_->convertPresentation(slides, slidesPage));
    const QStringList pictures = pictureFiles(slidesPage);
    ASSERT_EQ(pictures.size(), 1);
    EXPECT_TRUE(QFileInfo(pictures[0]).isFile()) << pictures[0].toStdString();
}

// 82 Chinese characters are 246 bytes: the page name fits Linux's 255-byte limit, while
// names derived from it for the pictures would not.
TEST_F(OfficeSessionTest, PageNamesNearTheFileNameLimitKeepTheirPictures) {
    const QString stem = QString(82, QChar(0x957F));
    const QString wordPage = target(stem + QStringLiteral(".htm"));
    session_->convertWordDocument(corpus(QStringLiteral("doc/testPictures.doc")), wordPage);
    QStringList pictures = pictureFiles(wordPage);
    EXPECT_GE(pictures.size(), 1);
    for (const QString &picture : pictures)
        EXPECT_TRUE(QFileInfo(picture).isFile()) << picture.toStdString();

    const QString slidesFolder = out_.filePath(QStringLiteral("slides"));
    ASSERT_TRUE(QDir().mkpath(slidesFolder));
    const QString slidesPage = slidesFolder + u'/' + stem + QStringLiteral(".htm");
    ASSERT_TRUE(session_->convertPresentation(corpus(QStringLiteral("ppt/bug55030.ppt")), slidesPage));
    pictures = pictureFiles(slidesPage);
    ASSERT_EQ(pictures.size(), 1);
    EXPECT_TRUE(QFileInfo(pictures[0]).isFile()) << pictures[0].toStdString();
}

TEST_F(OfficeSessionTest, ADocumentThatCannotBeConvertedIsNamedWithItsReasonAndTheOfficeServesTheNext) {
    const qint64 worker = session_->workerProcessId();
    // The office reads unknown files as text: binary noise must fail rather than give a
    // page of noise. Damaged files begin like documents; protected ones were made with
    // LibreOffice (password "secret").
    QByteArray noise(20000, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    const auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile file(out_.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    const auto head = [&](const QString &document, qint64 bytes) {
        QFile file(corpus(document));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.read(bytes);
    };
    ASSERT_TRUE(QDir().mkpath(out_.filePath(QStringLiteral("folder.doc"))));
    const QString protectedDocuments =
        qEnvironmentVariable("ZELBRIN_SOURCE_DIR") + QStringLiteral("/src/platform/tests/documents/protected.");
    enum Route { Word, Workbook, Presentation };
    const struct {
        Route route;
        QString source;
        QString reason;
    } cases[] = {
        {Word, out_.filePath(QStringLiteral("不存在.doc")), zelbrin::kDocumentMissing},
        {Workbook, out_.filePath(QStringLiteral("no.xls")), zelbrin::kDocumentMissing},
        {Word, out_.filePath(QStringLiteral("folder.doc")), zelbrin::kNotADocument},
        {Word, write(QStringLiteral("noise.doc"), noise), zelbrin::kNotADocument},
        {Workbook, write(QStringLiteral("noise.xls"), noise), zelbrin::kNotADocument},
        {Presentation, write(QStringLiteral("noise.ppt"), noise), zelbrin::kNotADocument},
        {Presentation, corpus(QStringLiteral("doc/61490.doc")), zelbrin::kDocumentOfAnotherKind},
        {Word, write(QStringLiteral("cut.doc"), head(QStringLiteral("doc/61490.doc"), 20000)), zelbrin::kDocumentDamaged},
        {Word, write(QStringLiteral("cut.docx"), head(QStringLiteral("docx/ServerStatus-DogSon-README.docx"), 3000)),
         zelbrin::kDocumentDamaged},
        {Workbook, write(QStringLiteral("cut.xls"), head(QStringLiteral("xls/44235.xls"), 30000)), zelbrin::kDocumentDamaged},
        {Word, protectedDocuments + QStringLiteral("doc"), zelbrin::kDocumentProtected},
        {Word, protectedDocuments + QStringLiteral("docx"), zelbrin::kDocumentProtected},
        {Word, protectedDocuments + QStringLiteral("odt"), zelbrin::kDocumentProtected},
        {Workbook, protectedDocuments + QStringLiteral("xls"), zelbrin::kDocumentProtected},
        {Workbook, protectedDocuments + QStringLiteral("xlsx"), zelbrin::kDocumentProtected},
        {Presentation, protectedDocuments + QStringLiteral("pptx"), zelbrin::kDocumentProtected},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.source.toStdString());
        const QString page = target(QStringLiteral("failed.htm"));
        zelbrin::DocumentFault fault;
        if (c.route == Word) {
            try {
                session_->convertWordDocument(c.source, page);
                ADD_FAILURE() << "converted";
            } catch (const zelbrin::DocumentError &e) {
                fault = e.fault();
            }
        } else {
            const zelbrin::ConversionAttempt attempt = c.route == Workbook ? session_->convertWorkbook(c.source, page)
                                                                           : session_->convertPresentation(c.source, page);
            EXPECT_FALSE(attempt.made);
            fault = attempt.fault;
        }
        EXPECT_EQ(fault.reason, c.reason) << fault.detail.toStdString();
        // What the office said stays available, as a detail, its filter named as one.
        EXPECT_FALSE(fault.detail.isEmpty());
        EXPECT_FALSE(fault.detail.contains(QRegularExpression(QStringLiteral("（[A-Za-z0-9 ]+）")))) << fault.detail.toStdString();
        EXPECT_FALSE(QFileInfo::exists(page));
    }

    session_->convertWordDocument(corpus(QStringLiteral("txt/gbk.txt")), target(QStringLiteral("gbk.htm")));
    EXPECT_EQ(session_->workerProcessId(), worker);
}

TEST_F(OfficeSessionTest, OfficeCrashFailsOnlyTheDocumentItHappenedIn) {
    const qint64 worker = session_->workerProcessId();
    const QString profile = session_->profileFolder();
    for (const bool wordRoute : {false, true}) {
        SCOPED_TRACE(wordRoute ? "Word route" : "Excel route");
        const qint64 office = officeProcessOf(profile);
        ASSERT_GT(office, 0);
        // Stopped, the office keeps the worker waiting inside a call; the crash comes once the
        // worker's request lies unread in the office's socket, so it lands inside the call.
        ::kill(pid_t(office), SIGSTOP);
        std::jthread crash([office](std::stop_token converted) {
            while (!converted.stop_requested() && !hasUnreadInput(office))
                QThread::msleep(10);
            ::kill(pid_t(office), SIGKILL);
        });
        // Not the document's fault, and LibreOffice's own words only as the detail.
        const QString crashed = wordRoute ? corpus(QStringLiteral("doc/61490.doc")) : corpus(QStringLiteral("xls/19599-2.xls"));
        if (wordRoute) {
            try {
                session_->convertWordDocument(crashed, target(QStringLiteral("crash.htm")));
                ADD_FAILURE() << "converted in a crashed office";
            } catch (const zelbrin::OfficeError &e) {
                EXPECT_EQ(e.message(), QStringLiteral("办公软件已退出或无响应：") + crashed);
                EXPECT_TRUE(e.detail().startsWith(QStringLiteral("LibreOffice 在转换时崩溃"))) << e.detail().toStdString();
            }
        } else {
            const zelbrin::ConversionAttempt attempt = session_->convertWorkbook(crashed, target(QStringLiteral("crash.htm")));
            EXPECT_FALSE(attempt.made);
            EXPECT_TRUE(attempt.fault.reason.isEmpty()) << attempt.fault.reason.toStdString();
        }
        crash.request_stop();
        crash.join();
        // The worker started a fresh office and carries on.
        EXPECT_TRUE(session_->convertWorkbook(corpus(QStringLiteral("xls/44235.xls")),
                                              target(QStringLiteral("44235.htm"))));
        EXPECT_TRUE(shows(visibleText(readFile(target(QStringLiteral("44235.htm")))), QStringLiteral("还原利润表")));
        EXPECT_EQ(session_->workerProcessId(), worker);
        const qint64 newOffice = officeProcessOf(profile);
        EXPECT_GT(newOffice, 0);
        EXPECT_NE(newOffice, office);
    }
}

TEST_F(OfficeSessionTest, WorkerKilledMidConversionIsAnErrorAndTheNextRequestStartsAfresh) {
    for (const bool wordRoute : {true, false}) {
        SCOPED_TRACE(wordRoute ? "Word route" : "Excel route");
        const qint64 worker = session_->workerProcessId();
        const QString profile = session_->profileFolder();
        ASSERT_GT(worker, 0);
        ASSERT_GT(officeProcessOf(profile), 0);
        // Stopped, the office keeps the worker inside the call; the worker is killed once
        // its request lies unread in the office's socket.
        const qint64 office = officeProcessOf(profile);
        ::kill(pid_t(office), SIGSTOP);
        std::jthread kill([office, worker](std::stop_token converted) {
            while (!converted.stop_requested() && !hasUnreadInput(office))
                QThread::msleep(10);
            ::kill(pid_t(worker), SIGKILL);
        });
        if (wordRoute) {
            try {
                session_->convertWordDocument(corpus(QStringLiteral("docx/ServerStatus-DogSon-README.docx")),
                                              target(QStringLiteral("killed.htm")));
                FAIL() << "conversion succeeded although the worker was killed";
            } catch (const zelbrin::OfficeError &e) {
                EXPECT_TRUE(e.message().startsWith(QStringLiteral("办公软件已退出或无响应："))) << e.what();
            }
        } else {
            EXPECT_FALSE(session_->convertWorkbook(corpus(QStringLiteral("xls/55982.xls")),
                                                   target(QStringLiteral("killed.htm"))));
        }
        kill.request_stop();
        kill.join();
        EXPECT_TRUE(waitUntilGone(profile)) << "an office process outlived its worker";
        EXPECT_FALSE(QFileInfo::exists(profile));
        EXPECT_EQ(session_->workerProcessId(), 0);

        session_->convertWordDocument(corpus(QStringLiteral("doc/61490.doc")), target(QStringLiteral("after.htm")));
        EXPECT_TRUE(shows(visibleText(readFile(target(QStringLiteral("after.htm")))), QStringLiteral("居中的大标题")));
        EXPECT_NE(session_->workerProcessId(), worker);
    }
}

TEST(LibreOfficeSession, HungOfficeRunsIntoTheTimeOutAndIsKilled) {
    QTemporaryDir out;
    const QString corpus = corpusFolder();
    ASSERT_FALSE(corpus.isEmpty()) << "acceptance corpus not found";
    LibreOfficeSession session(workerProgram(), 2500);
    for (const bool wordRoute : {true, false}) {
        SCOPED_TRACE(wordRoute ? "Word route" : "Excel route");
        const QString profile = session.profileFolder();
        const qint64 office = officeProcessOf(profile);
        ASSERT_GT(office, 0);
        ::kill(pid_t(office), SIGSTOP);
        QElapsedTimer clock;
        clock.start();
        if (wordRoute) {
            try {
                session.convertWordDocument(corpus + QStringLiteral("/txt/gbk.txt"), out.filePath(QStringLiteral("hung.htm")));
                FAIL() << "conversion succeeded with a stopped office";
            } catch (const zelbrin::OfficeError &e) {
                EXPECT_TRUE(e.message().startsWith(QStringLiteral("办公软件已退出或无响应："))) << e.what();
            }
        } else {
            EXPECT_FALSE(session.convertWorkbook(corpus + QStringLiteral("/xls/44235.xls"),
                                                 out.filePath(QStringLiteral("hung.htm"))));
        }
        EXPECT_GE(clock.elapsed(), 2500);
        EXPECT_LT(clock.elapsed(), 60000);
        EXPECT_TRUE(waitUntilGone(profile)) << "the hung office was left running";
        session.convertWordDocument(corpus + QStringLiteral("/txt/gbk.txt"), out.filePath(QStringLiteral("next.htm")));
        EXPECT_TRUE(shows(visibleText(readFile(out.filePath(QStringLiteral("next.htm")))), QStringLiteral("資訊科技")));
    }
}

TEST(LibreOfficeSession, ChineseFileNamesOpenWithoutAUtf8Locale) {
    // An office in the C locale cannot open a file URL naming a Chinese file (type
    // detection fails), although "soffice --convert-to" converts the same file.
    QTemporaryDir out;
    const QString corpus = corpusFolder();
    ASSERT_FALSE(corpus.isEmpty()) << "acceptance corpus not found";
    const QString workbook = out.filePath(QStringLiteral("订阅 统计.xls"));
    ASSERT_TRUE(QFile::copy(corpus + QStringLiteral("/xls/19599-2.xls"), workbook));

    const char *names[] = {"LANG", "LANGUAGE", "LC_ALL", "LC_CTYPE", "LC_MESSAGES"};
    QList<QByteArray> saved;
    for (const char *name : names) {
        saved << qgetenv(name);
        qunsetenv(name);
    }
    std::unique_ptr<LibreOfficeSession> session;
    try {
        session = std::make_unique<LibreOfficeSession>(workerProgram(), 60000);
    } catch (const BuildError &e) {
        ADD_FAILURE() << e.what();
    }
    for (int i = 0; i < saved.size(); ++i)
        if (!saved[i].isNull())
            qputenv(names[i], saved[i]);
    ASSERT_TRUE(session);

    const QString page = out.filePath(QStringLiteral("订阅 统计.htm"));
    ASSERT_TRUE(session->convertWorkbook(workbook, page));
    EXPECT_TRUE(shows(visibleText(readFile(page)), QStringLiteral("订阅上行列表")));
    session->quit();
}

TEST(LibreOfficeSession, QuitAndDestructionLeaveNoProcessAndNoProfile) {
    QTemporaryDir out;
    const QString corpus = corpusFolder();
    ASSERT_FALSE(corpus.isEmpty()) << "acceptance corpus not found";

    QString profile;
    {
        auto session = makeLibreOfficeSessionFactory(workerProgram())({});
        auto *office = static_cast<LibreOfficeSession *>(session.get());
        profile = office->profileFolder();
        ASSERT_FALSE(processesUsing(profile).isEmpty());
        session->convertWordDocument(corpus + QStringLiteral("/txt/gbk.txt"), out.filePath(QStringLiteral("q.htm")));
        session->quit();
        // quit() returns once nothing of the office is left.
        EXPECT_TRUE(processesUsing(profile).isEmpty());
        EXPECT_FALSE(QFileInfo::exists(profile));
        EXPECT_EQ(office->workerProcessId(), 0);
        EXPECT_NO_THROW(session->quit());
    }
    {
        LibreOfficeSession session(workerProgram(), 60000);
        profile = session.profileFolder();
        ASSERT_GT(officeProcessOf(profile), 0);
    }
    EXPECT_TRUE(processesUsing(profile).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(profile));
}

TEST(LibreOfficeSession, WorkerKilledFromOutsideTakesItsOfficeAlong) {
    // Not through the session: nobody kills the process group here, the office must end
    // because its parent did.
    QTemporaryDir profile;
    QProcess worker;
    worker.setProgram(workerProgram());
    worker.setArguments({QStringLiteral("--profile"), profile.path()});
    worker.start();
    ASSERT_TRUE(worker.waitForStarted(10000));
    QElapsedTimer clock;
    clock.start();
    while (!worker.canReadLine() && clock.elapsed() < 120000)
        worker.waitForReadyRead(100);
    ASSERT_EQ(worker.readLine(), QByteArray("READY\tfresh\n"));
    const qint64 office = officeProcessOf(profile.path());
    ASSERT_GT(office, 0);
    worker.kill();
    worker.waitForFinished(5000);
    EXPECT_TRUE(waitUntilGone(profile.path())) << "soffice.bin outlived its worker";
}

TEST(LibreOfficeSession, WorkerRejectsMalformedRequestsAndEndsAtEndOfInput) {
    QProcess worker;
    worker.setProgram(workerProgram());
    worker.start();
    ASSERT_TRUE(worker.waitForStarted(10000));
    auto answer = [&worker] {
        QElapsedTimer clock;
        clock.start();
        while (!worker.canReadLine() && clock.elapsed() < 120000 &&
               worker.state() == QProcess::Running)
            worker.waitForReadyRead(100);
        return worker.readLine();
    };
    ASSERT_EQ(answer(), QByteArray("READY\tfresh\n"));
    // Without --profile the worker makes its own profile folder and removes it at the end.
    const QString profile = profileOfOfficeStartedBy(worker.processId());
    ASSERT_FALSE(profile.isEmpty()) << "no office of the worker found";

    worker.write("CONVERT\tspreadsheet\t/a.xls\t/a.htm\n");
    EXPECT_TRUE(answer().startsWith("ERROR\t"));
    worker.write("HELLO\n");
    EXPECT_TRUE(answer().startsWith("ERROR\t"));
    worker.write("CONVERT\twriter\t/nonexistent\\tfile.doc\t/tmp/x.htm\n");
    const QByteArray missing = answer();
    EXPECT_TRUE(missing.startsWith("ERROR\t"));
    EXPECT_TRUE(missing.contains("/nonexistent\\tfile.doc")) << missing.constData();

    worker.closeWriteChannel();
    ASSERT_TRUE(worker.waitForFinished(30000));
    EXPECT_EQ(worker.exitCode(), 0);
    EXPECT_TRUE(waitUntilGone(profile));
    EXPECT_FALSE(QFileInfo::exists(profile));
}

TEST(LibreOfficeSession, QuitTellsACleanEndFromAWorkerThatDied) {
    // A worker that answers QUIT and ends at once is often seen to have ended in the same
    // pass of the event loop that reads its answer; that is a clean end, not a hang.
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("worker.sh"));
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\necho READY\nread request\nsleep \"$ANSWER_DELAY\"\necho OK\n");
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    // A busy window: each pass of its event loop takes a while, so the answer and the
    // end of the worker tend to be noticed together.
    QTimer busy;
    QObject::connect(&busy, &QTimer::timeout, [] { QThread::msleep(3); });
    busy.start(0);
    for (int i = 0; i < 40; ++i) {
        // The answer comes at varying points of the loop's passes.
        qputenv("ANSWER_DELAY", QByteArray::number(0.010 + 0.001 * i, 'f', 3));
        LibreOfficeSession session(script, 60000);
        EXPECT_NO_THROW(session.quit()) << "round " << i;
        EXPECT_EQ(session.workerProcessId(), 0);
    }
    qunsetenv("ANSWER_DELAY");

    // One that ends without an answer is reported with how it ended.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\necho READY\nread request\nexit 3\n");
    file.close();
    LibreOfficeSession session(script, 60000);
    try {
        session.quit();
        FAIL() << "a worker that ended without answering quit cleanly";
    } catch (const BuildError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("办公软件未能正常退出：转换程序意外退出（退出码 3）"));
    }
}

TEST(LibreOfficeSession, FactoryReportsWhatCannotBeStarted) {
    const QString missing = QStringLiteral("/nonexistent/zelbrin-office");
    try {
        makeLibreOfficeSessionFactory(missing)({});
        FAIL() << "a missing worker started";
    } catch (const BuildError &e) {
        EXPECT_TRUE(e.message().contains(missing)) << e.what();
    }

    qputenv("ZELBRIN_SOFFICE_BIN", "/nonexistent/soffice.bin");
    try {
        makeLibreOfficeSessionFactory(workerProgram())({});
        qunsetenv("ZELBRIN_SOFFICE_BIN");
        FAIL() << "a session started without an office";
    } catch (const BuildError &e) {
        qunsetenv("ZELBRIN_SOFFICE_BIN");
        // The worker's words are the detail, apart from the message.
        EXPECT_EQ(e.message(), QStringLiteral("无法启动办公软件（LibreOffice）"));
        EXPECT_TRUE(e.detail().contains(QStringLiteral("/nonexistent/soffice.bin"))) << e.detail().toStdString();
    }
}

TEST(LibreOfficeSession, PreparedProfileIsMadeOnceAndMadeAgainWhenDamaged) {
    QTemporaryDir tmp;
    const QString prepared = tmp.filePath(QStringLiteral("office-profile"));
    const QString corpus = corpusFolder();
    ASSERT_FALSE(corpus.isEmpty()) << "acceptance corpus not found";
    const auto start = [&](bool expectPrepared) {
        LibreOfficeSession session(workerProgram(), 120000, prepared);
        EXPECT_EQ(session.startedFromPreparedProfile(), expectPrepared);
        const QString page = tmp.filePath(QStringLiteral("gbk.htm"));
        session.convertWordDocument(corpus + QStringLiteral("/txt/gbk.txt"), page);
        EXPECT_TRUE(shows(visibleText(readFile(page)), QStringLiteral("資訊科技")));
        session.quit();
    };
    // The first office fills a fresh profile, which is kept; the next starts from it.
    start(false);
    ASSERT_TRUE(QFileInfo(prepared + QStringLiteral("/.sealed")).isFile());
    // The Chinese interface that the office writes its headings in is part of it.
    EXPECT_TRUE(readFile(prepared + QStringLiteral("/user/registrymodifications.xcu"))
                    .contains("oor:name=\"UILocale\" oor:op=\"fuse\"><value>zh-CN</value>"));
    // The office has noted its version as seen, so it skips its graphics self-tests (which
    // write their log into the profile) at every start.
    EXPECT_TRUE(readFile(prepared + QStringLiteral("/user/registrymodifications.xcu"))
                    .contains("oor:name=\"ooSetupLastVersion\""));
    EXPECT_FALSE(QFileInfo::exists(prepared + QStringLiteral("/user/GraphicsRenderTests.log")));
    EXPECT_FALSE(QFileInfo::exists(prepared + QStringLiteral("/scratch")));
    start(true);
    // A damaged profile is not used, and the office that fills a fresh one replaces it.
    QFile settings(prepared + QStringLiteral("/user/registrymodifications.xcu"));
    ASSERT_TRUE(settings.open(QIODevice::Append));
    settings.write("damage");
    settings.close();
    start(false);
    start(true);
}

}  // namespace
