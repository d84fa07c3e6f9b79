#include "platform/UDisksVolumes.h"

#include "platform/SystemLog.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

const QString UDisksVolumes::kService = QStringLiteral("org.freedesktop.UDisks2");

namespace {

using ManagedObjects = QMap<QDBusObjectPath, QMap<QString, QVariantMap>>;

const QString kRoot = QStringLiteral("/org/freedesktop/UDisks2");
const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");
const QString kBusyError = QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy");

// A byte-string property ("ay"): its text without the trailing NUL the service sends.
QString bytesText(const QVariant &value)
{
    QByteArray bytes;
    if (value.canConvert<QDBusArgument>())
        value.value<QDBusArgument>() >> bytes;
    else
        bytes = value.toByteArray();
    while (bytes.endsWith('\0'))
        bytes.chop(1);
    return QFile::decodeName(bytes);
}

// A list of byte strings ("aay"), such as the mount points.
QStringList bytesTexts(const QVariant &value)
{
    QStringList texts;
    if (value.canConvert<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            QByteArray bytes;
            argument >> bytes;
            texts.append(bytesText(bytes));
        }
        argument.endArray();
    } else {
        const QList<QByteArray> list = value.value<QList<QByteArray>>();
        for (const QByteArray &bytes : list)
            texts.append(bytesText(bytes));
    }
    return texts;
}

QString objectPathText(const QVariant &value)
{
    if (value.canConvert<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

void registerTypes()
{
    static const bool registered = [] {
        qRegisterMetaType<RemovableVolume>();
        qRegisterMetaType<EjectResult>();
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace

UDisksVolumes::UDisksVolumes(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
    registerTypes();
}

UDisksVolumes::~UDisksVolumes() = default;

void UDisksVolumes::start()
{
    if (m_started)
        return;
    m_started = true;
    if (!m_bus.isConnected()) {
        // Answered from the event loop, as a reply from the service would be.
        QTimer::singleShot(0, this, [this] { settle(false); });
        return;
    }
    m_bus.connect(kService, kRoot, kObjectManager, QStringLiteral("InterfacesAdded"), this,
                  SLOT(onInterfacesAdded(QDBusMessage)));
    m_bus.connect(kService, kRoot, kObjectManager, QStringLiteral("InterfacesRemoved"), this,
                  SLOT(onInterfacesRemoved(QDBusMessage)));
    // Every object of the service: the path is read from the message.
    m_bus.connect(kService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                  SLOT(onPropertiesChanged(QDBusMessage)));
    m_serviceWatcher = new QDBusServiceWatcher(kService, m_bus,
                                               QDBusServiceWatcher::WatchForRegistration |
                                                   QDBusServiceWatcher::WatchForUnregistration,
                                               this);
    connect(m_serviceWatcher, &QDBusServiceWatcher::serviceRegistered, this,
            &UDisksVolumes::requestObjects);
    connect(m_serviceWatcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &UDisksVolumes::serviceVanished);
    requestObjects();
}

bool UDisksVolumes::waitUntilReady(int timeoutMs)
{
    start();
    if (!m_ready) {
        QEventLoop loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        connect(this, &UDisksVolumes::ready, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return m_available;
}

void UDisksVolumes::requestObjects()
{
    const QDBusMessage call = QDBusMessage::createMethodCall(kService, kRoot, kObjectManager,
                                                             QStringLiteral("GetManagedObjects"));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &UDisksVolumes::objectsArrived);
}

void UDisksVolumes::objectsArrived(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    const QDBusMessage reply = call->reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        SystemLog::write(
            QStringLiteral("The disk service is not available: %1").arg(reply.errorMessage()));
        settle(false);
        return;
    }
    // What was mounted before we looked is known, not announced.
    m_blocks.clear();
    m_drives.clear();
    // Read by hand: the signatures are fixed by the service, and no type needs registering.
    ManagedObjects objects;
    reply.arguments().first().value<QDBusArgument>() >> objects;
    for (auto object = objects.cbegin(); object != objects.cend(); ++object)
        for (auto iface = object.value().cbegin(); iface != object.value().cend(); ++iface)
            apply(object.key().path(), iface.key(), iface.value());
    settle(true);
}

void UDisksVolumes::settle(bool available)
{
    const bool changed = m_available != available;
    m_available = available;
    if (!m_ready) {
        m_ready = true;
        Q_EMIT ready(available);
    } else if (changed) {
        Q_EMIT availabilityChanged(available);
    }
}

void UDisksVolumes::serviceVanished()
{
    // The volumes stay mounted; we only no longer hear about them.
    m_blocks.clear();
    m_drives.clear();
    settle(false);
}

void UDisksVolumes::apply(const QString &path, const QString &interface,
                          const QVariantMap &properties)
{
    if (interface == kDrive) {
        Drive &drive = m_drives[path];
        for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
            if (it.key() == QLatin1String("Removable"))
                drive.removable = it.value().toBool();
            else if (it.key() == QLatin1String("MediaRemovable"))
                drive.mediaRemovable = it.value().toBool();
            else if (it.key() == QLatin1String("Ejectable"))
                drive.ejectable = it.value().toBool();
            else if (it.key() == QLatin1String("CanPowerOff"))
                drive.canPowerOff = it.value().toBool();
        }
        return;
    }
    if (interface != kBlock && interface != kFilesystem)
        return;
    Block &block = m_blocks[path];
    if (interface == kFilesystem)
        block.hasFilesystem = true;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        const QString &key = it.key();
        if (key == QLatin1String("MountPoints"))
            block.mountPoints = bytesTexts(it.value());
        else if (key == QLatin1String("Device"))
            block.device = bytesText(it.value());
        else if (key == QLatin1String("IdLabel"))
            block.label = it.value().toString();
        else if (key == QLatin1String("Drive"))
            block.drive = objectPathText(it.value());
        else if (key == QLatin1String("HintSystem"))
            block.hintSystem = it.value().toBool();
        else if (key == QLatin1String("HintIgnore"))
            block.hintIgnore = it.value().toBool();
    }
}

std::optional<RemovableVolume> UDisksVolumes::mountedVolume(const QString &path) const
{
    const auto block = m_blocks.constFind(path);
    if (block == m_blocks.cend() || !block->hasFilesystem || block->mountPoints.isEmpty() ||
        block->hintIgnore)
        return std::nullopt;
    const auto drive = m_drives.constFind(block->drive);
    // A file system on a drive that is neither removable nor outside the system's own disks
    // (an internal disk, a loop device) is not a card.
    if (drive == m_drives.cend() ||
        !(drive->removable || drive->mediaRemovable || !block->hintSystem))
        return std::nullopt;
    RemovableVolume volume;
    volume.objectPath = path;
    volume.drivePath = block->drive;
    volume.device = block->device;
    volume.label = block->label;
    volume.mountPoint = block->mountPoints.first();
    return volume;
}

void UDisksVolumes::announce(const QString &path, const std::optional<RemovableVolume> &before)
{
    const std::optional<RemovableVolume> after = mountedVolume(path);
    if (!before && after)
        Q_EMIT volumeMounted(*after);
    else if (before && !after)
        Q_EMIT volumeUnmounted(*before);
}

void UDisksVolumes::onInterfacesAdded(const QDBusMessage &message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    QMap<QString, QVariantMap> interfaces;
    arguments.at(1).value<QDBusArgument>() >> interfaces;
    added(arguments.at(0).value<QDBusObjectPath>().path(), interfaces);
}

void UDisksVolumes::added(const QString &path, const QMap<QString, QVariantMap> &interfaces)
{
    // A drive can arrive after its file systems: theirs is the state to compare.
    QHash<QString, std::optional<RemovableVolume>> before;
    before.insert(path, mountedVolume(path));
    if (interfaces.contains(kDrive))
        for (auto it = m_blocks.cbegin(); it != m_blocks.cend(); ++it)
            if (it->drive == path)
                before.insert(it.key(), mountedVolume(it.key()));
    for (auto it = interfaces.cbegin(); it != interfaces.cend(); ++it)
        apply(path, it.key(), it.value());
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        announce(it.key(), it.value());
}

void UDisksVolumes::onInterfacesRemoved(const QDBusMessage &message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const QString path = arguments.at(0).value<QDBusObjectPath>().path();
    const QStringList interfaces = arguments.at(1).toStringList();
    if (interfaces.contains(kDrive)) {
        QHash<QString, std::optional<RemovableVolume>> before;
        for (auto it = m_blocks.cbegin(); it != m_blocks.cend(); ++it)
            if (it->drive == path)
                before.insert(it.key(), mountedVolume(it.key()));
        m_drives.remove(path);
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            announce(it.key(), it.value());
    }
    if (!m_blocks.contains(path))
        return;
    const std::optional<RemovableVolume> before = mountedVolume(path);
    if (interfaces.contains(kBlock))
        m_blocks.remove(path);
    else if (interfaces.contains(kFilesystem))
        m_blocks[path].hasFilesystem = false;
    announce(path, before);
}

void UDisksVolumes::onPropertiesChanged(const QDBusMessage &message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const QString interface = arguments.at(0).toString();
    if (interface != kBlock && interface != kFilesystem && interface != kDrive)
        return;
    QVariantMap changed;
    if (arguments.at(1).canConvert<QDBusArgument>())
        arguments.at(1).value<QDBusArgument>() >> changed;
    else
        changed = arguments.at(1).toMap();
    QMap<QString, QVariantMap> interfaces;
    interfaces.insert(interface, changed);
    added(message.path(), interfaces);
}

QList<RemovableVolume> UDisksVolumes::mountedVolumes() const
{
    QList<RemovableVolume> volumes;
    for (auto it = m_blocks.cbegin(); it != m_blocks.cend(); ++it)
        if (const auto volume = mountedVolume(it.key()))
            volumes.append(*volume);
    std::sort(volumes.begin(), volumes.end(),
              [](const RemovableVolume &a, const RemovableVolume &b) {
                  return a.mountPoint < b.mountPoint;
              });
    return volumes;
}

std::optional<RemovableVolume> UDisksVolumes::volume(const QString &objectPath) const
{
    return mountedVolume(objectPath);
}

std::optional<RemovableVolume> UDisksVolumes::volumeContaining(const QString &path) const
{
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    std::optional<RemovableVolume> best;
    for (const RemovableVolume &volume : mountedVolumes()) {
        const QString root = QDir::cleanPath(volume.mountPoint);
        const bool inside =
            clean == root ||
            clean.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
        if (inside && (!best || root.size() > best->mountPoint.size()))
            best = volume;
    }
    return best;
}

void UDisksVolumes::eject(const RemovableVolume &volume)
{
    if (m_ejecting.contains(volume.objectPath))
        return;
    if (!m_available || !m_bus.isConnected()) {
        EjectResult result;
        result.detail = QStringLiteral("The disk service (UDisks2) is not running.");
        QTimer::singleShot(0, this,
                           [this, volume, result] { Q_EMIT ejectFinished(volume, result); });
        return;
    }
    m_ejecting.append(volume.objectPath);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, volume.objectPath, kFilesystem,
                                                       QStringLiteral("Unmount"));
    call << QVariantMap();
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kUnmountTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, volume](QDBusPendingCallWatcher *done) { unmounted(volume, done); });
}

void UDisksVolumes::unmounted(const RemovableVolume &volume, QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    const QDBusPendingReply<> reply = *call;
    if (reply.isError()) {
        EjectResult result;
        const QDBusError error = reply.error();
        // Older services say "target is busy" in a general failure.
        const bool busy = error.name() == kBusyError ||
                          error.message().contains(QLatin1String("busy"), Qt::CaseInsensitive);
        result.status = busy ? EjectResult::Busy : EjectResult::Failed;
        result.detail = error.message();
        finishEject(volume, result);
        return;
    }
    EjectResult result;
    result.status = EjectResult::Ejected;
    // Another mounted file system of the same drive keeps it powered.
    bool driveInUse = false;
    for (auto it = m_blocks.cbegin(); it != m_blocks.cend(); ++it)
        if (it.key() != volume.objectPath && it->drive == volume.drivePath && it->hasFilesystem &&
            !it->mountPoints.isEmpty())
            driveInUse = true;
    const Drive drive = m_drives.value(volume.drivePath);
    QString method;
    if (!driveInUse && drive.canPowerOff)
        method = QStringLiteral("PowerOff");
    else if (!driveInUse && drive.ejectable)
        method = QStringLiteral("Eject");
    if (method.isEmpty()) {
        finishEject(volume, result);
        return;
    }
    QDBusMessage powerOff =
        QDBusMessage::createMethodCall(kService, volume.drivePath, kDrive, method);
    powerOff << QVariantMap();
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(powerOff), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this,
        [this, volume, result](QDBusPendingCallWatcher *done) mutable {
            done->deleteLater();
            const QDBusPendingReply<> off = *done;
            // Unmounted is what keeps the card's data safe; a drive that stays powered
            // only means the reader's light stays on.
            if (off.isError()) {
                result.detail = off.error().message();
                SystemLog::write(
                    QStringLiteral("Can't power off %1: %2").arg(volume.drivePath, result.detail));
            } else {
                result.poweredOff = true;
            }
            finishEject(volume, result);
        });
}

void UDisksVolumes::finishEject(const RemovableVolume &volume, const EjectResult &result)
{
    m_ejecting.removeAll(volume.objectPath);
    Q_EMIT ejectFinished(volume, result);
}
