#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Previews of image files at a requested size: the smallest embedded preview that covers the
// size, else a scaled decode of the picture itself, else the largest embedded preview (raw
// files Qt cannot decode), else the file-type icon. The result is turned upright by the EXIF
// orientation and fits the requested size (never enlarged). Safe to call from worker threads.
namespace Thumbnailer {

QImage preview(const QString &path, const QSize &size);

// The same picture without the icon: a null image when the file holds nothing that decodes
// (an image viewer shows its own placeholder then).
QImage picture(const QString &path, const QSize &size);

// The generic file-type icon, drawn to fit `size`.
QImage fileIcon(const QSize &size);

} // namespace Thumbnailer
