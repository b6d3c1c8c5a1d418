#include "progresswatch.h"
#include "runprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <stop_token>
#include <thread>

using namespace zelbrin;

TEST(runProcessAndWait, MissingProgramGivesOneAtOnce) {
    QElapsedTimer clock;
    clock.start();
    QString output = "unchanged";
    EXPECT_EQ(runProcessAndWait("/nonexistent/zelbrin-no-such-program", {"x"}, &output), 1);
    EXPECT_EQ(output, "");
    EXPECT_EQ(runProcessAndWait("zelbrin-no-such-program-on-path", {}), 1);
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST(runProcessAndWait, ReturnsTheExitCodeAndOneForACrash) {
    EXPECT_EQ(runProcessAndWait("sh", {"-c", "exit 3"}), 3);
    EXPECT_EQ(runProcessAndWait("true", {}), 0);
    EXPECT_EQ(runProcessAndWait("sh", {"-c", "kill -SEGV $$"}), 1);
    // The child reads no input, so it cannot wait for any.
    EXPECT_EQ(runProcessAndWait("cat", {}), 0);
}

TEST(runProcessAndWait, ArgumentsAreNotSplitAndOutputIsMerged) {
    QString output;
    EXPECT_EQ(runProcessAndWait("sh", {"-c", "printf '%s|' \"$@\"; echo; echo oops >&2; exit 2", "sh",
                                       "a b", "\"q\"", "中文 c"},
                                &output),
              2);
    EXPECT_EQ(output, "a b|\"q\"|中文 c|\noops\n");
    QTemporaryDir dir;
    EXPECT_EQ(runProcessAndWait("pwd", {}, &output, dir.path()), 0);
    EXPECT_EQ(output.trimmed(), dir.path());
}

TEST(runProcessAndWait, AStopRequestEndsTheChildAndFails) {
    // The child would wait for ever; a stop requested from another thread once it runs
    // ends it, as a cancelled build ends its compiler.
    QTemporaryDir dir;
    const QString started = dir.filePath("started");
    std::stop_source stop;
    std::thread canceller([&] {
        QElapsedTimer waited;
        waited.start();
        while (!QFileInfo::exists(started) && waited.elapsed() < 60000)
            QThread::msleep(5);
        stop.request_stop();
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(runProcessAndWait("sh", {"-c", "touch \"$0\"; while :; do sleep 0.01; done", started},
                                nullptr, {}, -1, -1, nullptr, stop.get_token()),
              1);
    canceller.join();
    EXPECT_TRUE(QFileInfo::exists(started));
    EXPECT_LT(clock.elapsed(), 10000);
}

TEST(runProcessAndWait, AChildPastItsTimeOutIsStoppedAndFails) {
    QElapsedTimer clock;
    clock.start();
    QString output;
    EXPECT_EQ(runProcessAndWait("sleep", {"30"}, &output, {}, 300), 1);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(output.contains("no answer")) << output.toStdString();
    EXPECT_EQ(runProcessAndWait("sh", {"-c", "exit 4"}, nullptr, {}, 10000), 4);
}

TEST(ProgressWatch, AStoppedChildStallsWhileABusyOneRunsToTheLimit) {
    QProcess child;
    child.start("sh", {"-c", "while :; do :; done"});
    ASSERT_TRUE(child.waitForStarted());
    QElapsedTimer clock;
    clock.start();
    ProgressWatch busy(child.processId(), 2000, 4000);
    while (!busy.expired())
        QThread::msleep(20);
    EXPECT_GE(clock.elapsed(), 4000);  // the limit, not a stall

    ::kill(pid_t(child.processId()), SIGSTOP);
    clock.restart();
    ProgressWatch stopped(child.processId(), 300, 600000);
    while (!stopped.expired())
        QThread::msleep(20);
    EXPECT_GE(clock.elapsed(), 300);
    EXPECT_LT(clock.elapsed(), 60000);
    child.kill();
    child.waitForFinished();
}
