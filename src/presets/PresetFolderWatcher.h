#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

// Watches the presets folder so that presets added, changed or removed by another program (the
// command-line tool, a copied file) show without a restart. Bursts of file events (an atomic
// save is a create, a write and a rename) arrive as one `changed` a moment later. Main thread.
class PresetFolderWatcher : public QObject
{
    Q_OBJECT

public:
    explicit PresetFolderWatcher(const QString &folder, QObject *parent = nullptr);

    QString folder() const { return m_folder; }
    // Delay between the last file event and `changed` (tests shorten it).
    void setSettleMilliseconds(int ms) { m_settle.setInterval(ms); }

Q_SIGNALS:
    void changed();

private:
    void rewatch();

    QString m_folder;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
};
