#pragma once

#include "platform/HeldImage.h"

#include <QDateTime>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

class CameraDevice;

// One file on a camera, as the camera service offers it. The thumbnail and the metadata arrive
// some time after the file is listed; until then they are empty / nullopt. Main thread only.
class CameraFile
{
public:
    virtual ~CameraFile() = default;
    virtual QString name() const = 0;
    virtual QDateTime modificationDate() const = 0;
    virtual HeldImage thumbnail() const = 0;
    virtual std::optional<QVariantMap> metadata() const = 0;
    virtual CameraDevice *device() const = 0;
};

using CameraFilePtr = std::shared_ptr<CameraFile>;
