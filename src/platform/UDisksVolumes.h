#pragma once

#include "platform/RemovableVolume.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

class QDBusMessage;
class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

// The removable volumes of the system's disk service (UDisks2) over D-Bus: which are mounted,
// which become mounted or go away, and ejecting one (unmount, then power off its drive). It
// never blocks the caller: replies arrive on the event loop. With no bus or no service it
// reports itself unavailable and everything else keeps working. Main thread only.
class UDisksVolumes : public QObject
{
    Q_OBJECT

public:
    static const QString kService;

    // `bus` is the system bus in the program; tests hand in a private one.
    explicit UDisksVolumes(const QDBusConnection &bus, QObject *parent = nullptr);
    ~UDisksVolumes() override;

    // Asks the service for what it knows and follows it from then on; `ready` follows once.
    // Volumes mounted before this are known but not announced.
    void start();
    // Runs the event loop until the first answer (or the time-out); true when available.
    bool waitUntilReady(int timeoutMs);
    bool isReady() const { return m_ready; }
    bool isAvailable() const { return m_available; }

    // The mounted removable volumes.
    QList<RemovableVolume> mountedVolumes() const;
    std::optional<RemovableVolume> volume(const QString &objectPath) const;
    // The mounted removable volume holding `path`: the deepest mount point containing it.
    std::optional<RemovableVolume> volumeContaining(const QString &path) const;

    // Unmounts the volume, then powers its drive off (or ejects the medium) unless another file
    // system of the drive is still mounted. ejectFinished reports the outcome.
    void eject(const RemovableVolume &volume);
    bool isEjecting(const QString &objectPath) const { return m_ejecting.contains(objectPath); }

    // How long an unmount may take: the kernel writes the card's pending data first.
    static constexpr int kUnmountTimeoutMs = 120000;

Q_SIGNALS:
    void ready(bool available);
    void availabilityChanged(bool available);
    void volumeMounted(const RemovableVolume &volume);
    void volumeUnmounted(const RemovableVolume &volume);
    void ejectFinished(const RemovableVolume &volume, const EjectResult &result);

private Q_SLOTS:
    // D-Bus signals, connected by name as Qt D-Bus requires; each reads its message itself.
    void onInterfacesAdded(const QDBusMessage &message);
    void onInterfacesRemoved(const QDBusMessage &message);
    void onPropertiesChanged(const QDBusMessage &message);

private:
    struct Block
    {
        QString device;
        QString label;
        QString drive;
        bool hintSystem = false;
        bool hintIgnore = false;
        bool hasFilesystem = false;
        QStringList mountPoints;
    };
    struct Drive
    {
        bool removable = false;
        bool mediaRemovable = false;
        bool ejectable = false;
        bool canPowerOff = false;
    };

    void requestObjects();
    void objectsArrived(QDBusPendingCallWatcher *call);
    // The service answered (or could not): the first time `ready`, later a change.
    void settle(bool available);
    // Interfaces (or changed properties) arrived for the object at `path`.
    void added(const QString &path, const QMap<QString, QVariantMap> &interfaces);
    void serviceVanished();
    // Applies one interface's properties to the object at `path`.
    void apply(const QString &path, const QString &interface, const QVariantMap &properties);
    // The volume of a block when it is a mounted removable file system.
    std::optional<RemovableVolume> mountedVolume(const QString &path) const;
    // Announces a mount or an unmount when the block's state changed from `before`.
    void announce(const QString &path, const std::optional<RemovableVolume> &before);
    void unmounted(const RemovableVolume &volume, QDBusPendingCallWatcher *call);
    void finishEject(const RemovableVolume &volume, const EjectResult &result);

    QDBusConnection m_bus;
    QDBusServiceWatcher *m_serviceWatcher = nullptr;
    QHash<QString, Block> m_blocks;
    QHash<QString, Drive> m_drives;
    QStringList m_ejecting;
    bool m_started = false;
    bool m_ready = false;
    bool m_available = false;
};

Q_DECLARE_METATYPE(RemovableVolume)
Q_DECLARE_METATYPE(EjectResult)
