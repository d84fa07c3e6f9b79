#pragma once

#include <QString>

// The records of the disk service kept apart from its D-Bus adapter (UDisksVolumes), so code
// that only reads them needs no D-Bus.

// One file system on a drive, as the disk service reports it.
struct RemovableVolume
{
    QString objectPath; // the block device's object in the disk service
    QString drivePath;  // its drive's object
    QString device;     // "/dev/sdb1"
    QString label;      // the file system's label; may be empty
    QString mountPoint; // the first mount point; empty when not mounted

    // What the user calls it: the label, else the mount point's folder name, else the device.
    QString name() const;
    bool isMounted() const { return !mountPoint.isEmpty(); }
};

// How an eject ended.
struct EjectResult
{
    enum Status { Ejected, Busy, Failed };
    Status status = Failed;
    // The service's own error text (also set when the unmount worked but the power-off did not).
    QString detail;
    // The drive was powered off or its medium ejected, not only unmounted.
    bool poweredOff = false;
};
