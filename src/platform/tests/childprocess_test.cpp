#include "childprocess.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

using zelbrin::platform::RunChildProcessAndWait;

TEST(ChildProcess, ExitCodesOutputAndArguments) {
    EXPECT_EQ(RunChildProcessAndWait("/nonexistent/program", {}), 1);
    EXPECT_EQ(RunChildProcessAndWait("sh", {"-c", "exit 3"}), 3);
    EXPECT_EQ(RunChildProcessAndWait("sh", {"-c", "kill -9 $$"}), 1);
    QString out;
    // Each argument arrives whole, blanks included.
    EXPECT_EQ(RunChildProcessAndWait("sh", {"-c", "printf '[%s]' \"$@\"", "sh", "a b", " c "}, &out), 0);
    EXPECT_EQ(out, "[a b][ c ]");
    out.clear();
    EXPECT_EQ(RunChildProcessAndWait("pwd", {}, &out, "/usr"), 0);
    EXPECT_EQ(out.trimmed(), "/usr");
}

TEST(ChildProcess, EventsRunWhileWaiting) {
    int fired = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&fired] { ++fired; });
    timer.start(20);
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(RunChildProcessAndWait("sleep", {"0.3"}), 0);
    EXPECT_GE(elapsed.elapsed(), 250);
    EXPECT_GE(fired, 5);
}
