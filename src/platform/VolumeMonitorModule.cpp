// The desktop bus module of the command-line tool: VolumeMonitor over UDisksVolumes on the
// system bus. Built as a module of its own with Qt D-Bus (see VolumeMonitor.h).

#include "platform/UDisksVolumes.h"
#include "platform/VolumeMonitor.h"

#include <QDBusConnection>

namespace {

class SystemVolumeMonitor final : public VolumeMonitor
{
public:
    explicit SystemVolumeMonitor(Handlers handlers)
        : m_volumes(QDBusConnection::systemBus()), m_handlers(std::move(handlers))
    {
        QObject::connect(&m_volumes, &UDisksVolumes::volumeMounted, &m_volumes,
                         [this](const RemovableVolume &volume) {
                             if (m_handlers.mounted)
                                 m_handlers.mounted(volume);
                         });
        QObject::connect(&m_volumes, &UDisksVolumes::volumeUnmounted, &m_volumes,
                         [this](const RemovableVolume &volume) {
                             if (m_handlers.unmounted)
                                 m_handlers.unmounted(volume);
                         });
        QObject::connect(&m_volumes, &UDisksVolumes::availabilityChanged, &m_volumes,
                         [this](bool available) {
                             if (m_handlers.availabilityChanged)
                                 m_handlers.availabilityChanged(available);
                         });
        QObject::connect(&m_volumes, &UDisksVolumes::ejectFinished, &m_volumes,
                         [this](const RemovableVolume &volume, const EjectResult &result) {
                             if (m_handlers.ejectFinished)
                                 m_handlers.ejectFinished(volume, result);
                         });
    }

    bool waitUntilReady(int timeoutMs) override { return m_volumes.waitUntilReady(timeoutMs); }
    std::optional<RemovableVolume> volume(const QString &objectPath) const override
    {
        return m_volumes.volume(objectPath);
    }
    void eject(const RemovableVolume &volume) override { m_volumes.eject(volume); }

private:
    UDisksVolumes m_volumes;
    Handlers m_handlers;
};

} // namespace

extern "C" Q_DECL_EXPORT VolumeMonitor *
brindlewick_open_volume_monitor(VolumeMonitor::Handlers *handlers)
{
    return new SystemVolumeMonitor(std::move(*handlers));
}
