#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Previews of image files at a requested size: the best embedded preview, else a scaled
// decode, else the file-type icon; turned upright. Safe to call from worker threads.
namespace Thumbnailer {

QImage preview(const QString &path, const QSize &size);

} // namespace Thumbnailer
