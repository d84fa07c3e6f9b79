#pragma once

#include <QString>

// Kept apart from the camera service's header: the libgphoto2 side includes this one, and
// libgphoto2 declares a type of its own named CameraFile.

// Kinds of device, as bits of a device's type and of a browser's mask. The low byte selects
// kinds, the high byte locations (every device here is local, so any location bit will do).
enum : unsigned {
    CameraDeviceTypeCamera = 0x0001,
    CameraDeviceTypeScanner = 0x0002,
    CameraDeviceTypeMediaPlayer = 0x0004,
    CameraDeviceTypeMask = 0x00FF,
    CameraDeviceLocationMask = 0xFF00,
};

namespace CameraRecords {

// Typed records handed between the main thread and the camera thread.
struct Descriptor
{
    QString key; // identity across detection passes
    QString name;
    QString model;
    QString port;
    unsigned type = CameraDeviceTypeCamera;
};

struct FileRecord
{
    QString folder;
    QString name;
    qint64 modificationTime = -1; // seconds since 1970, -1 when the camera gives none
    quint64 size = 0;
};

struct DownloadJob
{
    quint64 requestId = 0;
    quint64 deviceId = 0;
    QString folder;
    QString name;
    QString directory;
    QString saveAs;
    qint64 modificationTime = -1;
    bool verify = true; // read the file back from the disk and compare before placing it
};

} // namespace CameraRecords
