#include "support/ImageFixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

#include <exiv2/exiv2.hpp>

namespace ImageFixtures {

bool writeJpeg(const QString &path, const QSize &size, const QMap<QString, QString> &exif,
               const QColor &tint, int quality)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb((tint.red() + x * 255 / qMax(1, size.width())) % 256,
                           (tint.green() + y * 255 / qMax(1, size.height())) % 256, tint.blue());
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "JPEG", quality))
        return false;
    return exif.isEmpty() || setExif(path, exif);
}

bool setExif(const QString &path, const QMap<QString, QString> &exif)
{
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        Exiv2::ExifData data = image->exifData();
        for (auto it = exif.begin(); it != exif.end(); ++it)
            data[it.key().toStdString()] = it.value().toStdString();
        image->setExifData(data);
        image->writeMetadata();
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace ImageFixtures
