#include "platform/Thumbnailer.h"

#include "platform/ByteSource.h"
#include "platform/ImageProperties.h"
#include "platform/IsoMedia.h"
#include "platform/MovieSidecars.h"
#include "platform/ScaledJpeg.h"
#include "platform/X3f.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <QTransform>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <atomic>
#include <optional>

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

// Qt's readers, for what the JPEG decoder does not take.
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
    if (QImage image = ScaledJpeg::decode(bytes, box); !image.isNull())
        return image;
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

std::atomic<QImage (*)(const QString &, const QSize &)> g_heifDecoder{nullptr};
std::atomic<QImage (*)(const QString &, const QSize &)> g_videoDecoder{nullptr};
std::atomic<QImage (*)(const QString &, const QSize &)> g_rawDecoder{nullptr};

// Camera raw files, by their usual extensions: the only files handed to the raw decoder.
bool isRawFile(const QString &path)
{
    static const QStringList kExtensions = {
        QStringLiteral("3fr"), QStringLiteral("ari"), QStringLiteral("arw"), QStringLiteral("bay"),
        QStringLiteral("cr2"), QStringLiteral("cr3"), QStringLiteral("crw"), QStringLiteral("dcr"),
        QStringLiteral("dcs"), QStringLiteral("dng"), QStringLiteral("erf"), QStringLiteral("fff"),
        QStringLiteral("iiq"), QStringLiteral("k25"), QStringLiteral("kdc"), QStringLiteral("mdc"),
        QStringLiteral("mef"), QStringLiteral("mos"), QStringLiteral("mrw"), QStringLiteral("nef"),
        QStringLiteral("nrw"), QStringLiteral("orf"), QStringLiteral("pef"), QStringLiteral("ptx"),
        QStringLiteral("raf"), QStringLiteral("raw"), QStringLiteral("rw2"), QStringLiteral("rwl"),
        QStringLiteral("sr2"), QStringLiteral("srf"), QStringLiteral("srw"), QStringLiteral("x3f")};
    return kExtensions.contains(QFileInfo(path).suffix().toLower());
}

// Movies that are not ISO base media files, by their usual extensions.
bool isOtherMovie(const QString &path)
{
    static const QStringList kExtensions = {QStringLiteral("mts"), QStringLiteral("m2ts"),
                                            QStringLiteral("avi"), QStringLiteral("mkv"),
                                            QStringLiteral("mpg"), QStringLiteral("mpeg"),
                                            QStringLiteral("wmv"), QStringLiteral("webm"),
                                            QStringLiteral("mod"), QStringLiteral("tod")};
    return kExtensions.contains(QFileInfo(path).suffix().toLower());
}

QImage decodeBytes(const QByteArray &bytes, const QSize &box)
{
    if (QImage image = ScaledJpeg::decode(bytes, box); !image.isNull())
        return image;
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    if (bytes.isEmpty() || !buffer.open(QIODevice::ReadOnly))
        return {};
    return decodeScaled(&buffer, box);
}

// The smallest embedded JPEG that covers the box, else the largest one that decodes.
QImage embeddedJpeg(const ByteSource &source, const QList<IsoMedia::EmbeddedPicture> &pictures,
                    const QSize &box)
{
    for (const IsoMedia::EmbeddedPicture &p : pictures) {
        if (p.width > 0 && p.height > 0 && !covers(QSize(p.width, p.height), box))
            continue;
        const QImage image = decodeBytes(source.bytes(p.where.offset, p.where.length), box);
        if (!image.isNull() && covers(image.size(), box))
            return image;
    }
    for (auto p = pictures.rbegin(); p != pictures.rend(); ++p) {
        const QImage image = decodeBytes(source.bytes(p->where.offset, p->where.length), box);
        if (!image.isNull())
            return image;
    }
    return {};
}

// The orientation tag of a TIFF block's first directory, 1 when absent.
int tiffOrientation(const QByteArray &tiff)
{
    const bool little = tiff.startsWith("II");
    const auto u16 = [&](qsizetype at) -> quint16 {
        return little ? Bytes::le16(tiff, at) : Bytes::be16(tiff, at);
    };
    const auto u32 = [&](qsizetype at) -> quint32 {
        return little ? Bytes::le32(tiff, at) : Bytes::be32(tiff, at);
    };
    const quint32 ifd = u32(4);
    if (tiff.size() < 8 || ifd < 8 || ifd + 2 > quint32(tiff.size()))
        return 1;
    const int count = u16(ifd);
    for (int i = 0; i < count && ifd + 2 + (i + 1) * 12 <= quint32(tiff.size()); ++i) {
        const qsizetype entry = ifd + 2 + i * 12;
        if (u16(entry) == 0x0112) {
            const int v = u16(entry + 8);
            return v >= 1 && v <= 8 ? v : 1;
        }
    }
    return 1;
}

QImage fittedTo(QImage picture, const QSize &size)
{
    const QSize target = fitted(picture.size(), size);
    if (target != picture.size())
        picture = picture.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return picture;
}

QImage rotatedClockwise(const QImage &image, int degrees)
{
    return degrees == 0 ? image : image.transformed(QTransform().rotate(degrees));
}

// A movie's picture: a decoded frame, else the poster the camera kept inside or beside it.
QImage moviePicture(const QString &path, const ByteSource &source,
                    const IsoMedia::Contents *contents, const QSize &size)
{
    QImage picture;
    if (const auto decoder = g_videoDecoder.load())
        picture = decoder(path, size);
    if (picture.isNull() && contents)
        picture = embeddedJpeg(source, contents->pictures, size);
    for (const QString &sidecar : MovieMetadata::sidecarPaths(path)) {
        if (!picture.isNull())
            break;
        if (!sidecar.endsWith(QLatin1String(".thm"), Qt::CaseInsensitive))
            continue;
        QFile file(sidecar);
        if (file.open(QIODevice::ReadOnly))
            picture = decodeScaled(&file, size);
    }
    return picture.isNull() ? QImage() : withFilmBadge(fittedTo(picture, size));
}

// Pictures of the kinds Exiv2 does not know (a null image when they hold none that decodes);
// nullopt for every other file.
std::optional<QImage> pictureOfOtherKinds(const QString &path, const QSize &size)
{
    const FileByteSource source(path);
    if (!source.isOpen())
        return std::nullopt;
    const QByteArray head = source.bytes(0, std::min<qint64>(source.size(), 16));
    if (IsoMedia::looksLikeIsoMedia(head)) {
        const IsoMedia::Contents c = IsoMedia::read(source);
        switch (c.kind) {
        case IsoMedia::Kind::Heif:
        case IsoMedia::Kind::Avif: {
            // Without its own rotation a HEIF picture follows its Exif orientation.
            const int orientation = c.transformed ? 1 : tiffOrientation(c.exif);
            const auto decoder = g_heifDecoder.load();
            const QImage picture = decoder ? decoder(path, storedBox(size, orientation)) : QImage();
            return picture.isNull() ? QImage() : fittedTo(upright(picture, orientation), size);
        }
        case IsoMedia::Kind::CanonRaw: {
            const int orientation = tiffOrientation(c.canonTiff[0]);
            const QImage picture = embeddedJpeg(source, c.pictures, storedBox(size, orientation));
            return picture.isNull() ? QImage() : fittedTo(upright(picture, orientation), size);
        }
        case IsoMedia::Kind::Movie:
            return moviePicture(path, source, &c, size);
        case IsoMedia::Kind::Unknown:
            return QImage();
        }
    }
    if (X3f::looksLikeX3f(head)) {
        const X3f::Contents c = X3f::read(source);
        const QImage picture = c.jpegOffset >= 0
                                   ? decodeBytes(source.bytes(c.jpegOffset, c.jpegLength), size)
                                   : QImage();
        return picture.isNull() ? QImage() : fittedTo(rotatedClockwise(picture, c.rotation), size);
    }
    if (isOtherMovie(path))
        return moviePicture(path, source, nullptr, size);
    return std::nullopt;
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
    if (auto other = pictureOfOtherKinds(path, size))
        return *other;
    EmbeddedPreviews embedded = readEmbedded(path, size);
    QImage decoded = embedded.chosen;
    if (decoded.isNull())
        decoded = ScaledJpeg::decodeFile(path, storedBox(size, embedded.orientation));
    if (decoded.isNull()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            decoded = decodeScaled(&file, storedBox(size, embedded.orientation));
    }
    if (decoded.isNull())
        decoded = embedded.largest;
    if (decoded.isNull() && isRawFile(path)) {
        // LibRaw knows the previews of more raw kinds; its picture is already upright.
        if (const auto decoder = g_rawDecoder.load())
            decoded = decoder(path, size);
        return decoded.isNull() ? QImage() : fittedTo(decoded, size);
    }
    if (decoded.isNull())
        return {};
    return fittedTo(upright(decoded, embedded.orientation), size);
}

QImage quickPicture(const QString &path, const QSize &size, bool *complete)
{
    *complete = false;
    if (path.isEmpty() || size.isEmpty() || !QFileInfo(path).isFile())
        return {};
    const EmbeddedPreviews embedded = readEmbedded(path, size);
    *complete = !embedded.chosen.isNull();
    const QImage found = *complete ? embedded.chosen : embedded.largest;
    return found.isNull() ? QImage() : fittedTo(upright(found, embedded.orientation), size);
}

void setDecoders(const Decoders &decoders)
{
    g_heifDecoder.store(decoders.heif);
    g_videoDecoder.store(decoders.videoFrame);
    g_rawDecoder.store(decoders.rawPreview);
}

QImage withFilmBadge(const QImage &frame)
{
    if (frame.isNull())
        return frame;
    // A dark strip down each side with light perforations, sized to the picture.
    QImage out = frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal strip = std::max<qreal>(4.0, out.width() * 0.07);
    const qreal hole = strip * 0.5;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 20, 20, 220));
    painter.drawRect(QRectF(0, 0, strip, out.height()));
    painter.drawRect(QRectF(out.width() - strip, 0, strip, out.height()));
    painter.setBrush(QColor(235, 235, 235, 230));
    for (qreal y = hole * 0.5; y + hole <= out.height(); y += hole * 1.8) {
        painter.drawRoundedRect(QRectF((strip - hole) / 2, y, hole, hole), hole * 0.2, hole * 0.2);
        painter.drawRoundedRect(QRectF(out.width() - strip + (strip - hole) / 2, y, hole, hole),
                                hole * 0.2, hole * 0.2);
    }
    painter.end();
    return out;
}

} // namespace Thumbnailer
