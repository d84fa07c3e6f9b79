#pragma once

// Shared by the Qt Test programs that drive real windows.

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

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

// Runs `action` on the modal window as soon as one is up.
inline void whenModal(std::function<void(QWidget *)> action)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        }
    });
    timer->start();
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
