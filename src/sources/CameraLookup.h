#pragma once

#include "sources/CameraService.h"

#include <QList>
#include <QString>

#include <optional>

// Blocking helpers for programs without a window (the command-line tool): each runs a nested
// event loop until the camera service has answered. Main thread only; needs an application
// object (QCoreApplication is enough).
namespace CameraLookup {

// The cameras present after one detection pass (attached cameras and folder cameras).
QList<CameraDevice *> detectCameras(int timeoutMs = 30000);
// A camera by its name, its name in any case, its port, or (folder cameras) its folder.
CameraDevice *findCamera(const QList<CameraDevice *> &cameras, const QString &wanted);
// Opens the camera and waits for its complete file list; the error text when that fails.
std::optional<QString> openAndWait(CameraDevice *camera, int timeoutMs = 120000);
// Waits until every file of the open camera has its metadata (and thumbnail, when fetched);
// false when the camera went away or the time ran out first.
bool waitForExtras(CameraDevice *camera, int timeoutMs = 600000);

} // namespace CameraLookup
