#include "runprocess.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zelbrin;

TEST(RunProcessAndWait, MissingProgramGivesOneAtOnce) {
    QElapsedTimer clock;
    clock.start();
    QString output = "unchanged";
    EXPECT_EQ(RunProcessAndWait("/nonexistent/zelbrin-no-such-program", {"x"}, &output), 1);
    EXPECT_EQ(output, "");
    EXPECT_EQ(RunProcessAndWait("zelbrin-no-such-program-on-path", {}), 1);
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST(RunProcessAndWait, ReturnsTheExitCodeAndOneForACrash) {
    EXPECT_EQ(RunProcessAndWait("sh", {"-c", "exit 3"}), 3);
    EXPECT_EQ(RunProcessAndWait("true", {}), 0);
    EXPECT_EQ(RunProcessAndWait("sh", {"-c", "kill -SEGV $$"}), 1);
    // The child reads no input, so it cannot wait for any.
    EXPECT_EQ(RunProcessAndWait("cat", {}), 0);
}

TEST(RunProcessAndWait, ArgumentsAreNotSplitAndOutputIsMerged) {
    QString output;
    EXPECT_EQ(RunProcessAndWait("sh", {"-c", "printf '%s|' \"$@\"; echo; echo oops >&2; exit 2", "sh",
                                       "a b", "\"q\"", "中文 c"},
                                &output),
              2);
    EXPECT_EQ(output, "a b|\"q\"|中文 c|\noops\n");
    QTemporaryDir dir;
    EXPECT_EQ(RunProcessAndWait("pwd", {}, &output, dir.path()), 0);
    EXPECT_EQ(output.trimmed(), dir.path());
}

TEST(RunProcessAndWait, EventsRunWhileTheChildRuns) {
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    bool once = false;
    QTimer::singleShot(50, [&] { once = true; });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(RunProcessAndWait("sleep", {"0.3"}), 0);
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_TRUE(once);
    EXPECT_GE(ticks, 5);
}

TEST(RunProcessAndWait, AChildPastItsTimeOutIsStoppedAndFails) {
    QElapsedTimer clock;
    clock.start();
    QString output;
    EXPECT_EQ(RunProcessAndWait("sleep", {"30"}, &output, {}, 300), 1);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(output.contains("no answer")) << output.toStdString();
    EXPECT_EQ(RunProcessAndWait("sh", {"-c", "exit 4"}, nullptr, {}, 10000), 4);
}
