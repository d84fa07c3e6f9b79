#pragma once

#include "platform/RemovableVolume.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

// The system's disk service as the command-line tool uses it: cards mounted and gone, and
// ejecting one. The tool does not link Qt D-Bus (with the libraries it pulls in, a good share
// of every command's start-up); the implementation over UDisksVolumes lives in a module beside
// the tool, opened by openSystem() when a command first needs it. Plain C++ across that
// boundary: the tool and the module each keep their own Qt types and meta-objects.
// Main thread only; the handlers run on it, from the event loop.
class VolumeMonitor
{
public:
    struct Handlers
    {
        std::function<void(const RemovableVolume &)> mounted;
        std::function<void(const RemovableVolume &)> unmounted;
        std::function<void(bool available)> availabilityChanged;
        std::function<void(const RemovableVolume &, const EjectResult &)> ejectFinished;
    };

    virtual ~VolumeMonitor() = default;

    // Runs the event loop until the service's first answer (or the time-out); true when it is
    // available. Volumes mounted before then are known, not announced.
    virtual bool waitUntilReady(int timeoutMs) = 0;
    virtual std::optional<RemovableVolume> volume(const QString &objectPath) const = 0;
    // Unmounts, then powers the drive off; the handler's ejectFinished reports the outcome.
    virtual void eject(const RemovableVolume &volume) = 0;

    // The disk service on the system bus, through the module. Nothing when the module can't be
    // loaded, with the reason in *error.
    static std::unique_ptr<VolumeMonitor> openSystem(Handlers handlers, QString *error);
};

// The module's one entry point, looked up by this name. The monitor it returns belongs to the
// caller; the module stays loaded for the life of the process.
using OpenVolumeMonitorEntry = VolumeMonitor *(*)(VolumeMonitor::Handlers *handlers);
inline constexpr const char *kOpenVolumeMonitorEntry = "brindlewick_open_volume_monitor";
