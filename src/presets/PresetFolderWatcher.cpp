#include "presets/PresetFolderWatcher.h"

#include <QDir>

PresetFolderWatcher::PresetFolderWatcher(const QString &folder, QObject *parent)
    : QObject(parent), m_folder(folder)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(250);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        rewatch();
        Q_EMIT changed();
    });
    const auto poke = [this] { m_settle.start(); };
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, poke);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, poke);
    rewatch();
}

void PresetFolderWatcher::rewatch()
{
    if (m_folder.isEmpty() || !QDir(m_folder).exists())
        return;
    // The folder tells of files added, removed and renamed into place; the files themselves of
    // changes written in place.
    QStringList wanted{m_folder};
    for (const QString &name : QDir(m_folder).entryList({QStringLiteral("*.plist")}, QDir::Files))
        wanted.append(m_folder + QLatin1Char('/') + name);
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    QStringList gone;
    for (const QString &path : watched) {
        if (!wanted.contains(path))
            gone.append(path);
    }
    if (!gone.isEmpty())
        m_watcher.removePaths(gone);
    QStringList fresh;
    for (const QString &path : std::as_const(wanted)) {
        if (!watched.contains(path))
            fresh.append(path);
    }
    if (!fresh.isEmpty())
        m_watcher.addPaths(fresh);
}
