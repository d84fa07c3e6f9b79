#include "platform/HeldImagePictures.h"

#include "platform/HeldImage.h"
#include "platform/Thumbnailer.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

HeldImage::HeldImage(const QImage &image)
{
    if (image.isNull())
        return;
    m_image = std::make_shared<const QImage>(image);
    m_size = image.size();
    m_cacheKey = image.cacheKey();
}

HeldImage::operator QImage() const
{
    return m_image ? *m_image : QImage();
}

namespace {

HeldImage preview(const QString &path, const QSize &box)
{
    return Thumbnailer::preview(path, box);
}

HeldImage decode(const QByteArray &bytes, const QSize &box)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid() && (full.width() > box.width() || full.height() > box.height()))
        reader.setScaledSize(full.scaled(box, Qt::KeepAspectRatio));
    return reader.read();
}

HeldImage fileIcon(const QSize &size)
{
    return Thumbnailer::fileIcon(size);
}

[[maybe_unused]] const bool installed = [] {
    HeldImage::installMakers({preview, decode, fileIcon});
    return true;
}();

} // namespace

extern "C" const int brindlewick_picture_makers_anchor = 1;
