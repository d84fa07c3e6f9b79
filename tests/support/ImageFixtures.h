#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QMap>
#include <QSize>
#include <QString>

// Image files made by tests, benchmarks and the demo card.
namespace ImageFixtures {

// Writes a JPEG of `size` (a colour gradient over `tint`, so files differ) and then the given
// EXIF tags, named by their Exiv2 keys ("Exif.Photo.DateTimeOriginal" = "2011:03:02 14:05:09",
// "Exif.Photo.ExposureTime" = "1/250", "Exif.GPSInfo.GPSLatitude" = "51/1 30/1 0/1").
bool writeJpeg(const QString &path, const QSize &size, const QMap<QString, QString> &exif = {},
               const QColor &tint = QColor(90, 140, 200), int quality = 85);

// Adds or replaces EXIF tags of an existing image file; false when Exiv2 cannot write it.
bool setExif(const QString &path, const QMap<QString, QString> &exif);

// How libjpeg lays out the data of a JPEG (Qt's writer makes only the first).
enum class JpegLayout { Baseline, RestartEveryRow, Progressive };

// `picture` encoded by libjpeg itself: grey when it is Format_Grayscale8, colour otherwise.
QByteArray encodeWithLibjpeg(const QImage &picture, int quality, JpegLayout layout);

} // namespace ImageFixtures
