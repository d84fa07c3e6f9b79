#include "platform/media/RawPreview.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTransform>

#include <libraw/libraw.h>

#include <memory>

namespace RawPreview {

namespace {

constexpr int kMaxSide = 16384;

struct ContextClose
{
    void operator()(libraw_data_t *d) const { libraw_close(d); }
};
struct ImageFree
{
    void operator()(libraw_processed_image_t *i) const { libraw_dcraw_clear_mem(i); }
};

QImage decodeJpeg(const unsigned char *data, unsigned size, const QSize &box)
{
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer);
    reader.setAutoTransform(false); // LibRaw's own orientation is applied below
    const QSize full = reader.size();
    if (full.isValid() && (full.width() > box.width() || full.height() > box.height()))
        reader.setScaledSize(full.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    return reader.read();
}

} // namespace

QImage picture(const QString &path, const QSize &box)
{
    const std::unique_ptr<libraw_data_t, ContextClose> raw(libraw_init(0));
    if (!raw)
        return {};
    if (libraw_open_file(raw.get(), QFile::encodeName(path).constData()) != LIBRAW_SUCCESS ||
        libraw_unpack_thumb(raw.get()) != LIBRAW_SUCCESS)
        return {};
    int error = 0;
    const std::unique_ptr<libraw_processed_image_t, ImageFree> thumb(
        libraw_dcraw_make_mem_thumb(raw.get(), &error));
    if (!thumb || error != LIBRAW_SUCCESS)
        return {};
    QImage image;
    if (thumb->type == LIBRAW_IMAGE_JPEG) {
        image = decodeJpeg(thumb->data, thumb->data_size, box);
    } else if (thumb->type == LIBRAW_IMAGE_BITMAP && thumb->colors == 3 && thumb->bits == 8 &&
               thumb->width > 0 && thumb->height > 0 && thumb->width <= kMaxSide &&
               thumb->height <= kMaxSide &&
               thumb->data_size >= unsigned(thumb->width) * thumb->height * 3) {
        image = QImage(thumb->data, thumb->width, thumb->height, thumb->width * 3,
                       QImage::Format_RGB888)
                    .copy();
    }
    if (image.isNull())
        return {};
    // LibRaw's flip: 3 half a turn, 5 a quarter turn counter-clockwise, 6 clockwise.
    switch (raw->sizes.flip) {
    case 3:
        image = image.transformed(QTransform().rotate(180));
        break;
    case 5:
        image = image.transformed(QTransform().rotate(-90));
        break;
    case 6:
        image = image.transformed(QTransform().rotate(90));
        break;
    default:
        break;
    }
    if (image.width() > box.width() || image.height() > box.height())
        image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace RawPreview
