#include "checkupdate.h"
#include "tinyhttpserver.h"
#include "updatedownload.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelbrin;
using namespace zelbrin::platform;
using zelbrin::testing::TinyHttpServer;

namespace {

QByteArray list(const QList<QByteArray> &lines) {
    QByteArray b = "[FileList]\r\n";
    for (const QByteArray &l : lines)
        b += l + "\r\n";
    return b;
}

const QByteArray kInstalled = list({"1=%APPDIR%\\Zelbrin/3.7.1.0/2010-09-25 10:20:30",
                                    "2=%APPDIR%\\hh/3.7.1.0/2010-09-20 08:00:00"});

struct CheckUpdateTest : ::testing::Test {
    QTemporaryDir dir;
    TinyHttpServer server;
    QString program;
    QString download;

    void SetUp() override {
        ASSERT_TRUE(server.ok());
        program = dir.path() + "/program/";
        download = program + "DownLoad/";
        ASSERT_TRUE(QDir().mkpath(program));
        writeFile(program + "Down.dll", kInstalled);
    }
    static void writeFile(const QString &path, const QByteArray &content) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    static QByteArray readFile(const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void serve(const QByteArray &body, int status = 200) { server.setResponse({status, body}); }

    struct Outcome {
        int questions = 0;
        int cycles = 0;
        bool finished = false;
        qint64 ms = 0;
    };
    // Runs the whole check on its thread and waits for it to end.
    Outcome runCheck(const QString &baseUrl, CheckUpdate::SleepRange sleep = {5, 10},
                     QProcessEnvironment env = {}) {
        CheckUpdate check(baseUrl, program, download, env, sleep);
        std::atomic_int questions{0};
        QObject::connect(&check, &CheckUpdate::promptForUpdate, &check,
                         [&questions] { ++questions; }, Qt::DirectConnection);
        QElapsedTimer timer;
        timer.start();
        check.start();
        Outcome o;
        o.finished = check.wait(QDeadlineTimer(10000));
        o.ms = timer.elapsed();
        o.questions = questions;
        o.cycles = check.cyclesRun();
        return o;
    }
};

}  // namespace

TEST_F(CheckUpdateTest, DownloadStoresTheListAndReportsFailedTransfers) {
    const QByteArray body = list({"1=%APPDIR%\\Zelbrin/x/2011-01-01 00:00:00"});
    serve(body);
    EXPECT_EQ(downloadUpdateList(server.baseUrl() + "Down.dll", download, {}), DownloadResult::Downloaded);
    EXPECT_EQ(readFile(download + "Down.dll"), body);
    ASSERT_EQ(server.requestLines().size(), 1);
    EXPECT_EQ(server.requestLines().first(), "GET /update/Chm/CHS/Down.dll HTTP/1.1");

    serve("not found", 404);
    EXPECT_EQ(downloadUpdateList(server.baseUrl() + "Down.dll", download, {}), DownloadResult::Failed);
    const QString closed = QString("http://127.0.0.1:%1/Down.dll").arg(TinyHttpServer::closedPort());
    EXPECT_EQ(downloadUpdateList(closed, download, {}), DownloadResult::Failed);

    // Exactly the limit is accepted; one byte more is a failed transfer.
    serve(QByteArray(kMaxUpdateListSize, 'x'));
    EXPECT_EQ(downloadUpdateList(server.baseUrl() + "Down.dll", download, {}), DownloadResult::Downloaded);
    serve(QByteArray(kMaxUpdateListSize + 1, 'x'));
    EXPECT_EQ(downloadUpdateList(server.baseUrl() + "Down.dll", download, {}), DownloadResult::Failed);
    EXPECT_LE(QFileInfo(download + "Down.dll").size(), kMaxUpdateListSize);

    // No download folder: failure; a list file that cannot be created: error.
    serve(body);
    writeFile(dir.path() + "/plain", "x");
    EXPECT_EQ(downloadUpdateList(server.baseUrl() + "Down.dll", dir.path() + "/plain/DownLoad/", {}),
              DownloadResult::Failed);
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/blocked/Down.dll"));
    EXPECT_EQ(downloadUpdateList(server.baseUrl() + "Down.dll", dir.path() + "/blocked/", {}),
              DownloadResult::Error);
}

TEST_F(CheckUpdateTest, ProxyFromTheEnvironmentCarriesTheRequest) {
    const QByteArray body = list({"1=%APPDIR%\\Zelbrin/x/2011-01-01 00:00:00"});
    serve(body);
    QProcessEnvironment env;
    env.insert("http_proxy", QString("http://user:pw@127.0.0.1:%1/").arg(server.port()));
    const ProxySettings proxy = readProxySettings(env);
    EXPECT_EQ(proxy.host, "127.0.0.1");
    EXPECT_EQ(proxy.port, server.port());
    EXPECT_EQ(downloadUpdateList("http://update.zelbrin.invalid/update/Chm/CHS/Down.dll", download, proxy),
              DownloadResult::Downloaded);
    ASSERT_EQ(server.requestLines().size(), 1);
    EXPECT_EQ(server.requestLines().first(),
              "GET http://update.zelbrin.invalid/update/Chm/CHS/Down.dll HTTP/1.1");
    EXPECT_EQ(readFile(download + "Down.dll"), body);

    // ":port" names no host, so the request goes out directly.
    env.insert("http_proxy", QString(":%1").arg(TinyHttpServer::closedPort()));
    EXPECT_EQ(downloadUpdateList(server.baseUrl() + "Down.dll", download, readProxySettings(env)),
              DownloadResult::Downloaded);
    // A disabled proxy is not used either.
    ProxySettings off{false, "127.0.0.1", TinyHttpServer::closedPort()};
    EXPECT_EQ(downloadUpdateList(server.baseUrl() + "Down.dll", download, off), DownloadResult::Downloaded);
}

TEST_F(CheckUpdateTest, AsksWhenADayDiffersAndNotForTheTimeOfDay) {
    serve(list({"1=%APPDIR%\\Zelbrin/3.7.1.1/2010-09-25 23:00:00",
                "2=%APPDIR%\\hh/3.7.1.1/2010-09-21 08:00:00"}));
    Outcome o = runCheck(server.baseUrl());
    EXPECT_TRUE(o.finished);
    EXPECT_EQ(o.questions, 1);
    EXPECT_EQ(o.cycles, 1);

    // An older day counts as well.
    serve(list({"2=%APPDIR%\\hh/x/2009-01-01 08:00:00"}));
    EXPECT_EQ(runCheck(server.baseUrl()).questions, 1);

    serve(list({"1=%APPDIR%\\ZELBRIN/x/2010-09-25 00:00:01", "2=%APPDIR%\\hh/x/2010-09-20 23:59:59"}));
    o = runCheck(server.baseUrl());
    EXPECT_TRUE(o.finished);
    EXPECT_EQ(o.questions, 0);
    EXPECT_EQ(o.cycles, 1);

    // A lower-case placeholder is not recognised: its empty path is not in the local list.
    serve(list({"1=%appdir%\\Zelbrin/x/2010-09-25 10:20:30"}));
    EXPECT_EQ(runCheck(server.baseUrl()).questions, 1);

    // Without a local list any line leads to the question.
    QFile::remove(program + "Down.dll");
    serve(list({"1=%APPDIR%\\Zelbrin/x/2010-09-25 10:20:30"}));
    EXPECT_EQ(runCheck(server.baseUrl()).questions, 1);
}

TEST_F(CheckUpdateTest, EmptyUnreadableOrOversizedListsNeverAsk) {
    for (const QByteArray &body : {QByteArray(), QByteArray("\x00\xff\x01garbage\n=", 12),
                                   QByteArray("[Other]\r\n1=%APPDIR%\\x/y/2020-01-01\r\n")}) {
        serve(body);
        const Outcome o = runCheck(server.baseUrl());
        EXPECT_TRUE(o.finished);
        EXPECT_EQ(o.questions, 0);
        EXPECT_EQ(o.cycles, 1);
    }
    // A list over the limit is a failed transfer: no comparison, no retry.
    serve(list({"1=%APPDIR%\\new/x/2020-01-01 00:00:00"}) + QByteArray(kMaxUpdateListSize, ';'));
    const Outcome o = runCheck(server.baseUrl());
    EXPECT_EQ(o.questions, 0);
    EXPECT_EQ(o.cycles, 1);
    serve("gone", 500);
    EXPECT_EQ(runCheck(server.baseUrl()).questions, 0);
}

TEST_F(CheckUpdateTest, UnreachableServerEndsAfterOneCycleWithoutRetry) {
    const QString url = QString("http://127.0.0.1:%1/update/Chm/CHS/").arg(TinyHttpServer::closedPort());
    // Pauses would last a minute: only a check without retry ends within the wait.
    const Outcome o = runCheck(url, {60000, 60001});
    EXPECT_TRUE(o.finished);
    EXPECT_EQ(o.cycles, 1);
    EXPECT_EQ(o.questions, 0);
}

TEST_F(CheckUpdateTest, AnErrorInTheCycleIsRetriedFourTimesInAll) {
    serve(list({"1=%APPDIR%\\Zelbrin/x/2011-01-01 00:00:00"}));
    ASSERT_TRUE(QDir().mkpath(download + "Down.dll"));  // the list's file cannot be created
    const Outcome o = runCheck(server.baseUrl(), {5, 15});
    EXPECT_TRUE(o.finished);
    EXPECT_EQ(o.cycles, 4);
    EXPECT_EQ(o.questions, 0);
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(CheckUpdateTest, StopEndsAPauseAtOnce) {
    ASSERT_TRUE(QDir().mkpath(download + "Down.dll"));
    auto check = std::make_unique<CheckUpdate>(server.baseUrl(), program, download,
                                               QProcessEnvironment(), CheckUpdate::SleepRange{});
    check->start();
    QElapsedTimer waited;
    waited.start();
    while (!check->pausing() && waited.elapsed() < 30000)
        QThread::msleep(5);
    ASSERT_TRUE(check->pausing());  // in the five-to-ten-minute pause after the first cycle
    ASSERT_EQ(check->cyclesRun(), 1);
    QElapsedTimer timer;
    timer.start();
    check.reset();  // the destructor stops and joins
    EXPECT_LT(timer.elapsed(), 5000);  // not the minutes of the pause
}

TEST_F(CheckUpdateTest, StopAbortsATransfer) {
    server.setResponse({200, {}, true});
    CheckUpdate check(server.baseUrl(), program, download, {}, {});
    check.start();
    QElapsedTimer waited;
    waited.start();
    while (server.requestCount() < 1 && waited.elapsed() < 5000)
        QThread::msleep(5);
    ASSERT_EQ(server.requestCount(), 1);
    QElapsedTimer timer;
    timer.start();
    check.stop();
    EXPECT_TRUE(check.wait(QDeadlineTimer(3000)));
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_EQ(check.cyclesRun(), 1);
}

TEST(CheckUpdatePaths, FoldersAndProxyAreSetUpFromTheArguments) {
    QProcessEnvironment env;
    env.insert("http_proxy", "http://10.0.0.1:abc");
    CheckUpdate check("http://h/update/Chm/CHS/", "/opt/z/", "/tmp/z/DownLoad/", env, {});
    EXPECT_EQ(check.paths().localList, "/opt/z/Down.dll");
    EXPECT_EQ(check.paths().downloadedList, "/tmp/z/DownLoad/Down.dll");
    EXPECT_EQ(check.paths().folders.systemFolder, "/usr/lib/");
    EXPECT_EQ(check.paths().folders.dataFolder, "/usr/lib/drivers/lfte/");
    EXPECT_TRUE(check.proxy().enabled);
    EXPECT_EQ(check.proxy().host, "10.0.0.1");
    EXPECT_EQ(check.proxy().port, 8080);
    EXPECT_TRUE(defaultUpdateBaseUrl().endsWith("/update/Chm/CHS/"));
}
