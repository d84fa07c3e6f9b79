#include "platform/Thumbnailer.h"

#include "platform/ImageProperties.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <exiv2/exiv2.hpp>

namespace Thumbnailer {

namespace {

// The requested box in the file's stored orientation: orientations 5 to 8 swap the axes.
QSize storedBox(const QSize &box, int orientation)
{
    return orientation >= 5 && orientation <= 8 ? box.transposed() : box;
}

// `full` shrunk to fit `box`, never enlarged.
QSize fitted(const QSize &full, const QSize &box)
{
    if (full.width() <= box.width() && full.height() <= box.height())
        return full;
    return full.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

// A picture of at least `box` along one axis can be shrunk to fill the box without enlarging.
bool covers(const QSize &picture, const QSize &box)
{
    return picture.width() >= box.width() || picture.height() >= box.height();
}

QImage decodeScaled(QIODevice *device, const QSize &box)
{
    QImageReader reader(device);
    reader.setAutoTransform(false); // the EXIF orientation is applied once, by the caller
    const QSize full = reader.size();
    if (full.isValid() && !full.isEmpty())
        reader.setScaledSize(fitted(full, box)); // JPEG: libjpeg's DCT scaling does most of it
    return reader.read();
}

QImage upright(const QImage &image, int orientation)
{
    QTransform t;
    switch (orientation) {
    case 2:
        return image.mirrored(true, false);
    case 3:
        t.rotate(180);
        break;
    case 4:
        return image.mirrored(false, true);
    case 5:
        t.rotate(90);
        return image.transformed(t).mirrored(true, false);
    case 6:
        t.rotate(90);
        break;
    case 7:
        t.rotate(-90);
        return image.transformed(t).mirrored(true, false);
    case 8:
        t.rotate(-90);
        break;
    default:
        return image;
    }
    return image.transformed(t);
}

struct EmbeddedPreviews
{
    int orientation = 1;
    QImage chosen;  // the smallest preview that covers the box
    QImage largest; // the largest readable preview, for files nothing else can decode
};

QImage decodePreview(const Exiv2::PreviewManager &manager, const Exiv2::PreviewProperties &props,
                     const QSize &box)
{
    const Exiv2::PreviewImage preview = manager.getPreviewImage(props);
    if (preview.size() == 0)
        return {};
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(preview.pData()),
                                               static_cast<qsizetype>(preview.size()));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    return decodeScaled(&buffer, box);
}

EmbeddedPreviews readEmbedded(const QString &path, const QSize &requested)
{
    EmbeddedPreviews found;
    ImageProperties::initializeExiv2();
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        if (!image.get())
            return found;
        image->readMetadata();
        const Exiv2::ExifData &exif = image->exifData();
        const auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (it != exif.end() && it->count() > 0) {
            const long value = it->toLong(0);
            if (value >= 1 && value <= 8)
                found.orientation = static_cast<int>(value);
        }
        const QSize box = storedBox(requested, found.orientation);
        Exiv2::PreviewManager manager(*image);
        const Exiv2::PreviewPropertiesList list = manager.getPreviewProperties();
        // The list runs from the smallest preview to the largest.
        for (const Exiv2::PreviewProperties &props : list) {
            if (!covers(QSize(static_cast<int>(props.width_), static_cast<int>(props.height_)),
                        box))
                continue;
            found.chosen = decodePreview(manager, props, box);
            if (!found.chosen.isNull())
                return found;
        }
        for (auto p = list.rbegin(); p != list.rend() && found.largest.isNull(); ++p)
            found.largest = decodePreview(manager, *p, box);
    } catch (...) {
        // Not a file Exiv2 knows, or a damaged one: the plain decoder may still read it.
    }
    return found;
}

} // namespace

QImage fileIcon(const QSize &size)
{
    // A plain sheet with a folded corner, drawn rather than loaded: no icon theme needed.
    const int h = qMax(16, qMin(size.height(), size.width() * 5 / 4));
    const int w = qMax(12, h * 4 / 5);
    QImage icon(w, h, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal pen = qMax<qreal>(1.0, w / 48.0);
    const qreal fold = w * 0.28;
    const QRectF page(pen, pen, w - 2 * pen, h - 2 * pen);
    QPainterPath sheet;
    sheet.moveTo(page.topLeft());
    sheet.lineTo(page.right() - fold, page.top());
    sheet.lineTo(page.right(), page.top() + fold);
    sheet.lineTo(page.bottomRight());
    sheet.lineTo(page.bottomLeft());
    sheet.closeSubpath();
    painter.setPen(QPen(QColor(120, 120, 120), pen));
    painter.setBrush(QColor(250, 250, 250));
    painter.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(page.right() - fold, page.top());
    corner.lineTo(page.right() - fold, page.top() + fold);
    corner.lineTo(page.right(), page.top() + fold);
    corner.closeSubpath();
    painter.setBrush(QColor(215, 215, 215));
    painter.drawPath(corner);
    // A few grey lines stand for the content.
    painter.setPen(QPen(QColor(190, 190, 190), pen * 2));
    for (qreal y = page.top() + fold * 1.6; y < page.bottom() - fold * 0.5; y += fold * 0.5)
        painter.drawLine(QPointF(page.left() + w * 0.15, y), QPointF(page.right() - w * 0.15, y));
    painter.end();
    return icon;
}

QImage preview(const QString &path, const QSize &size)
{
    if (path.isEmpty() || size.isEmpty())
        return {};
    const QImage found = picture(path, size);
    return found.isNull() ? fileIcon(size) : found;
}

QImage picture(const QString &path, const QSize &size)
{
    if (path.isEmpty() || size.isEmpty())
        return {};
    // Folders, pipes and devices are never opened (a pipe would block).
    if (!QFileInfo(path).isFile())
        return {};
    EmbeddedPreviews embedded = readEmbedded(path, size);
    QImage decoded = embedded.chosen;
    if (decoded.isNull()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            decoded = decodeScaled(&file, storedBox(size, embedded.orientation));
    }
    if (decoded.isNull())
        decoded = embedded.largest;
    if (decoded.isNull())
        return {};
    decoded = upright(decoded, embedded.orientation);
    const QSize target = fitted(decoded.size(), size);
    if (target != decoded.size())
        decoded = decoded.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return decoded;
}

} // namespace Thumbnailer
