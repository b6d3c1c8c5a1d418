#include "windowcloser.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

using namespace zelbrin;

namespace {

// A private X server for the test, so real windows can be found and closed.
class XServer {
public:
    XServer() {
        for (int n = 91; n < 120 && display_.isEmpty(); ++n) {
            if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) ||
                QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            server_.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(n), "-nolisten", "tcp",
                                                   "-screen", "0", "800x600x24"});
            if (!server_.waitForStarted(5000))
                return;
            // Xvfb needs a while on a loaded machine; its socket appearing is the signal.
            for (int i = 0; i < 600; ++i) {
                if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))) {
                    display_ = QStringLiteral(":%1").arg(n);
                    break;
                }
                QThread::msleep(50);
            }
        }
    }
    ~XServer() {
        server_.terminate();
        server_.waitForFinished(3000);
    }
    const QString &display() const { return display_; }

private:
    QProcess server_;
    QString display_;
};

bool waitUntilShown(QProcess &p) {
    while (!p.canReadLine())
        if (!p.waitForReadyRead(30000))
            return false;
    return p.readLine().trimmed() == "shown";
}

}  // namespace

TEST(WindowCloser, ClosesOnlyTheWindowWithExactlyThatTitle) {
    XServer x;
    ASSERT_FALSE(x.display().isEmpty()) << "Xvfb could not be started";
    const QByteArray oldDisplay = qgetenv("DISPLAY");
    qputenv("DISPLAY", x.display().toUtf8());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", x.display());
    env.insert("QT_QPA_PLATFORM", "xcb");
    const QString fixture = QString::fromUtf8(qgetenv("ZELBRIN_TEST_BIN_DIR")) + "/titledwindow";
    QProcess exact, longer;
    exact.setProcessEnvironment(env);
    longer.setProcessEnvironment(env);
    exact.start(fixture, {"用户手册"});
    longer.start(fixture, {"用户手册 2"});
    ASSERT_TRUE(exact.waitForStarted() && longer.waitForStarted());
    ASSERT_TRUE(waitUntilShown(exact));
    ASSERT_TRUE(waitUntilShown(longer));

    EXPECT_FALSE(platform::closeWindowTitled("用户"));
    EXPECT_TRUE(platform::closeWindowTitled("用户手册"));
    EXPECT_TRUE(exact.waitForFinished(5000));
    EXPECT_EQ(longer.state(), QProcess::Running);  // a title that only begins so stays

    longer.kill();
    longer.waitForFinished();
    if (oldDisplay.isEmpty())
        qunsetenv("DISPLAY");
    else
        qputenv("DISPLAY", oldDisplay);
}

TEST(WindowCloser, NothingHappensWithoutADisplay) {
    const QByteArray oldDisplay = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    EXPECT_FALSE(platform::closeWindowTitled("anything"));
    if (!oldDisplay.isEmpty())
        qputenv("DISPLAY", oldDisplay);
}
