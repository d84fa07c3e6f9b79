#include "items/ThumbItem.h"

#include "log/ConsoleLog.h"
#include "platform/ImageProperties.h"

#include <QFileInfo>

std::shared_ptr<ThumbItem> ThumbItem::initWithPath(const QString &path)
{
    auto item = std::make_shared<ThumbItem>();
    item->path = path;
    item->representationType = RepresentationType::Path;
    const QFileInfo info(path);
    if (info.exists())
        item->modTimeHolder = stringFromDate(info.lastModified());
    return item;
}

std::shared_ptr<ThumbItem> ThumbItem::initWithImage(const HeldImage &bitmap)
{
    auto item = std::make_shared<ThumbItem>();
    item->representationType = RepresentationType::Image;
    item->image = bitmap;
    item->metadata = QVariantMap();
    return item;
}

QString ThumbItem::stringFromDate(const QDateTime &date)
{
    return date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

std::optional<QVariantMap> ThumbItem::exif(const QString &path)
{
    return ImageProperties::exif(path);
}

QString ThumbItem::title() const
{
    if (isCameraItem())
        return cameraFile ? cameraFile->name() : QString();
    return QFileInfo(path).fileName();
}

QString ThumbItem::modTime() const
{
    if (isCameraItem())
        return cameraFile ? stringFromDate(cameraFile->modificationDate()) : QString();
    return modTimeHolder.value_or(QString());
}

void ThumbItem::loadMetadata()
{
    if (isCameraItem() || metadata)
        return;
    ++metadataReads;
    QStringList problems;
    metadata = ImageProperties::exif(path, &problems).value_or(QVariantMap());
    // A damaged file keeps what could be read; the console names it once, when it is read.
    if (!problems.isEmpty())
        logPrint("Image %@: damaged file, %@\n", path, problems.join(QLatin1String("; ")));
}

HeldImage ThumbItem::thumbnail()
{
    if (!isCameraItem() && image.isNull()) {
        image = HeldImage::preview(path, QSize(500, 500));
        ++imageGeneration;
    }
    return image;
}

void ThumbItem::setExclusionFlag(const QSet<QString> &filter)
{
    if (filter.isEmpty()) {
        excluded = false;
    } else {
        const QString name = title();
        const int dot = name.lastIndexOf(QLatin1Char('.'));
        const QString ext = dot < 0 ? QString() : name.mid(dot + 1).toLower();
        excluded = !filter.contains(ext);
    }
    if (excluded)
        checked = false;
}

QString ThumbItem::imageUID() const
{
    if (!isCameraItem())
        return path;
    // The picture's cache key changes whenever `image` is replaced or changed, so the browser
    // fetches the new thumbnail; the item's address keeps items without a picture apart.
    return QStringLiteral("camera:%1:%2:%3")
        .arg(reinterpret_cast<quintptr>(this), 0, 16)
        .arg(image.cacheKey())
        .arg(imageGeneration);
}

QVariant ThumbItem::imageRepresentation() const
{
    return isCameraItem() ? QVariant::fromValue(image) : QVariant(path);
}
