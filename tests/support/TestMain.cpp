#include "platform/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    // No test may see the real user's home or settings: everything the program keeps per user
    // lands in a temporary folder removed at exit.
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/brindlewick-test-XXXXXX"));
    if (!home.isValid())
        return 2;
    const QByteArray root = home.path().toLocal8Bit();
    setenv("HOME", root.constData(), 1);
    setenv("XDG_DATA_HOME", (root + "/.local/share").constData(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/.config").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/.cache").constData(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/.runtime").constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Neither the real system bus nor the user's session bus: tests that want a bus start a
    // private one (support/PrivateBus.h).
    setenv("DBUS_SYSTEM_BUS_ADDRESS",
           (("unix:path=" + root) + "/.runtime/no-system-bus").constData(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS",
           (("unix:path=" + root) + "/.runtime/no-session-bus").constData(), 1);
    QDir().mkpath(QString::fromLocal8Bit(root + "/.runtime"));
    QFile::setPermissions(QString::fromLocal8Bit(root + "/.runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    SystemLog::setEchoToStderr(false);
    return RUN_ALL_TESTS();
}
