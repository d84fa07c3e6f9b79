#include "support/ImageFixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

#include <exiv2/exiv2.hpp>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

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

QByteArray encodeWithLibjpeg(const QImage &picture, int quality, JpegLayout layout)
{
    const bool grey = picture.format() == QImage::Format_Grayscale8;
    const QImage source = grey ? picture : picture.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = JDIMENSION(source.width());
    info.image_height = JDIMENSION(source.height());
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (layout == JpegLayout::RestartEveryRow)
        info.restart_in_rows = 1;
    if (layout == JpegLayout::Progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(source.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    const QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(outSize));
    jpeg_destroy_compress(&info);
    std::free(out);
    return bytes;
}

} // namespace ImageFixtures
