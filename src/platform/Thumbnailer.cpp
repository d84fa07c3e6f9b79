#include "platform/Thumbnailer.h"

#include <QImageReader>

namespace Thumbnailer {

QImage preview(const QString &path, const QSize &size)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid())
        reader.setScaledSize(full.scaled(size, Qt::KeepAspectRatio));
    return reader.read(); // embedded previews and the icon fallback come with the Exiv2 reader
}

} // namespace Thumbnailer
