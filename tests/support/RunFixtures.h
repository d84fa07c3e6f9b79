#pragma once

// Presets, output trees, time zones and waits for tests that run ingestions, in-process or
// through the built command-line tool (which inherits the test home and the zone).

#include "platform/AppPaths.h"
#include "presets/Setup.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QThread>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>

// Writes a preset the program finds by NAME, made of `base` with `changes` over it; answers
// whether it was written.
inline bool writePreset(const QString &name, const QVariantMap &changes,
                        QVariantMap base = Setup::defaultSetup().dict())
{
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        base.insert(it.key(), it.value());
    const QString folder = AppPaths::supportFolder();
    AppPaths::ensureFolder(folder);
    return Setup::writeFile(folder + QLatin1Char('/') + name + QStringLiteral(".plist"), base);
}

// Relative paths of every file below `root`, hidden ones included, sorted; the copy manifests
// (ascmhl/) are left out.
inline QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = QDir(root).relativeFilePath(it.next());
        if (!file.startsWith(QLatin1String("ascmhl/")))
            files << file;
    }
    files.sort();
    return files;
}

// The local time zone of this process and the programs it starts while this lives.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char *zone)
    {
        if (const char *old = std::getenv("TZ"))
            m_old = QByteArray(old);
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_old)
            setenv("TZ", m_old->constData(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone &) = delete;
    ScopedTimeZone &operator=(const ScopedTimeZone &) = delete;

private:
    std::optional<QByteArray> m_old;
};

// Runs the event loop until `done` holds or `timeoutMs` passes; answers `done`.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return done();
}
