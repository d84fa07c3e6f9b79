#pragma once

// Shared by the Qt Test programs that drive real windows.

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <functional>

// Points HOME and the XDG folders at `home`, so no window test reads or writes the real user's
// settings, presets or logs. Call before the application object exists.
inline void pointHomeAt(const QTemporaryDir &home)
{
    const QByteArray root = home.path().toLocal8Bit();
    qputenv("HOME", root);
    qputenv("XDG_DATA_HOME", root + "/.local/share");
    qputenv("XDG_CONFIG_HOME", root + "/.config");
    qputenv("XDG_CACHE_HOME", root + "/.cache");
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

// Saves a picture of `widget` as NAME.png in the folder named by BRINDLEWICK_GRAB_DIR, when
// that is set, so that the windows can be looked at after a test run. Answers the path, or
// an empty text when nothing was saved.
inline QString grabToFile(QWidget *widget, const QString &name)
{
    const QString folder = qEnvironmentVariable("BRINDLEWICK_GRAB_DIR");
    if (folder.isEmpty() || !widget)
        return QString();
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    return widget->grab().save(path) ? path : QString();
}
