#pragma once

// Shared by the Qt Test programs that drive real windows.

#include "platform/SystemLog.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>

// Points HOME and the XDG folders at `home`, so no window test reads or writes the real user's
// settings, presets or logs, and the buses at nothing. Call before the application object
// exists.
inline void pointHomeAt(const QTemporaryDir &home)
{
    const QByteArray root = home.path().toLocal8Bit();
    qputenv("HOME", root);
    qputenv("XDG_DATA_HOME", root + "/.local/share");
    qputenv("XDG_CONFIG_HOME", root + "/.config");
    qputenv("XDG_CACHE_HOME", root + "/.cache");
    // Neither the real system bus nor the user's session bus: tests that want a bus start a
    // private one (support/PrivateBus.h).
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + root + "/no-system-bus");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root + "/no-session-bus");
}

// Runs `action` on the modal window as soon as one is up; with a `name`, only on the modal
// window of that object name once it is the active one. When a check in `action` fails, the
// window is closed, so that the test fails at once instead of waiting on it.
inline void whenModalNamed(const QString &name, std::function<void(QWidget *)> action)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, name, action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && (name.isEmpty() || modal->objectName() == name)) {
            timer->stop();
            timer->deleteLater();
            const QPointer<QWidget> window = modal;
            action(modal);
            if (QTest::currentTestFailed() && window && window->isVisible()) {
                if (auto *dialog = qobject_cast<QDialog *>(window.data()))
                    dialog->reject();
                else
                    window->close();
            }
        }
    });
    timer->start();
}

inline void whenModal(std::function<void(QWidget *)> action)
{
    whenModalNamed(QString(), std::move(action));
}

// Lets queued work run and editors closed meanwhile go (an item view commits a cell on Return
// through a queued call and deletes its editor later).
inline void settleEditors()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// Before the application exists, for programs with web views: the engine's sandbox cannot
// start as root or in a container.
inline void prepareWebViews()
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

// The main of a window test program: the home in a temporary folder, the application named as
// the program names itself, then every case of `Test`. `beforeApplication` runs just before the
// application object is made.
template <typename Test>
int runWindowTests(int argc, char **argv, void (*beforeApplication)() = nullptr)
{
    QTemporaryDir home;
    pointHomeAt(home);
    if (beforeApplication)
        beforeApplication();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brindlewick"));
    QApplication::setApplicationName(QStringLiteral("Brindlewick"));
    QApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    SystemLog::setEchoToStderr(false);
    Test test;
    return QTest::qExec(&test, argc, argv);
}
