// Opening the compiled help file through the desktop's registered program, with the real
// xdg-mime and xdg-open in a desktop of the test's own (its data and settings folders).
#include "shellopen.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace zelbrin::platform;

namespace {

struct DesktopOpenTest : ::testing::Test {
    QTemporaryDir home;
    QList<std::pair<QByteArray, std::optional<QByteArray>>> savedEnvironment;

    void setEnvironment(const char *name, const std::optional<QByteArray> &value) {
        savedEnvironment.append({name, qEnvironmentVariableIsSet(name)
                                           ? std::optional<QByteArray>(qgetenv(name))
                                           : std::nullopt});
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    void SetUp() override {
        for (const char *folder : {"data/applications", "sys", "config", "sysconfig"})
            ASSERT_TRUE(QDir().mkpath(home.filePath(folder)));
        setEnvironment("XDG_DATA_HOME", home.filePath("data").toUtf8());
        setEnvironment("XDG_DATA_DIRS", home.filePath("sys").toUtf8());
        setEnvironment("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        setEnvironment("XDG_CONFIG_DIRS", home.filePath("sysconfig").toUtf8());
        // A plain X session: xdg-open looks programs up itself (it needs a display named).
        setEnvironment("DISPLAY", QByteArray(":99"));
        for (const char *desktop : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                                    "GNOME_DESKTOP_SESSION_ID", "WAYLAND_DISPLAY"})
            setEnvironment(desktop, std::nullopt);
        // A help file as file(1) knows it: the ITSF header.
        QFile chm(help());
        ASSERT_TRUE(chm.open(QIODevice::WriteOnly));
        chm.write(QByteArray("ITSF\x03\0\0\0\x60\0\0\0", 12) + QByteArray(200, '\0'));
    }
    void TearDown() override {
        for (auto it = savedEnvironment.rbegin(); it != savedEnvironment.rend(); ++it) {
            if (it->second)
                qputenv(it->first.constData(), *it->second);
            else
                qunsetenv(it->first.constData());
        }
    }
    QString help() const { return home.filePath("手册.CHM"); }
    QString openedRecord() const { return home.filePath("opened"); }
    void registerViewer(const QString &exec) {
        QFile entry(home.filePath("data/applications/testviewer.desktop"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write(("[Desktop Entry]\nType=Application\nName=Test viewer\nExec=" + exec +
                     " %f\nMimeType=application/vnd.ms-htmlhelp;\n").toUtf8());
    }
    template <class Done>
    static bool waitFor(Done done) {
        QDeadlineTimer deadline(60000);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return done();
    }
};

}  // namespace

TEST_F(DesktopOpenTest, NoProgramIsToldAtOnceARegisteredOneOpensTheFileAFailingOneLater) {
    bool failed = false;
    EXPECT_FALSE(openWithDesktop(help(), [&] { failed = true; }));

    const QString viewer = home.filePath("viewer.sh");
    QFile script(viewer);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(("#!/bin/sh\nprintf '%s' \"$1\" > '" + openedRecord() + "'\n").toUtf8());
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    registerViewer(viewer);
    ASSERT_TRUE(openWithDesktop(help(), [&] { failed = true; }));
    ASSERT_TRUE(waitFor([&] { return QFile(openedRecord()).size() > 0; }));
    QFile record(openedRecord());
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(record.readAll()), help());

    // Registered, but the program is gone: xdg-open fails once it has started.
    registerViewer(home.filePath("no-such-viewer"));
    ASSERT_TRUE(openWithDesktop(help(), [&] { failed = true; }));
    EXPECT_TRUE(waitFor([&] { return failed; }));
}
