#include "progresswatch.h"
#include "runprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

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

TEST(runProcessAndWait, EventsRunWhileTheChildRuns) {
    // The child ends only once a timer of the waiting thread has fired five times, so the
    // wait returns at all only if events ran meanwhile.
    QTemporaryDir dir;
    const QString signal = dir.filePath("ticked");
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (++ticks == 5)
            QFile(signal).open(QIODevice::WriteOnly);
    });
    timer.start(10);
    EXPECT_EQ(runProcessAndWait("sh", {"-c", "while [ ! -e \"$0\" ]; do sleep 0.01; done", signal},
                                nullptr, {}, 120000),
              0);
    EXPECT_GE(ticks, 5);
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
