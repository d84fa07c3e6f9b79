#pragma once

#include "items/CameraFile.h"

#include <QDateTime>
#include <QImage>

// A file on a camera that is only a name and a date; it belongs to no camera and sends no
// properties of its own.
struct NamedCameraFile : CameraFile
{
    explicit NamedCameraFile(QString fileName, QDateTime modified = {})
        : fileName(std::move(fileName)), modified(std::move(modified))
    {}
    QString name() const override { return fileName; }
    QDateTime modificationDate() const override { return modified; }
    HeldImage thumbnail() const override { return {}; }
    std::optional<QVariantMap> metadata() const override { return std::nullopt; }
    CameraDevice *device() const override { return nullptr; }

    QString fileName;
    QDateTime modified;
};
