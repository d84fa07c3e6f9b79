#include "ingest/MetadataPreviewController.h"

#include "platform/Format.h"
#include "platform/ImageProperties.h"
#include "platform/UserInterface.h"

#include <algorithm>

namespace {

// The map link opens this service's "/maps" page.
const char kMapHost[] = "https://maps.google.com";

// The image's own GPS data, only when it holds a position: a block with no coordinates (a
// version tag only) would otherwise show the image at 0, 0.
std::optional<QVariantMap> ownGps(const ThumbItem &item)
{
    if (!item.metadata || !ImageProperties::hasPosition(*item.metadata))
        return std::nullopt;
    return item.metadata->value(QStringLiteral("{GPS}")).toMap();
}

bool hasPosition(const ThumbItem &item)
{
    return item.gpsLat != 0 || item.gpsLon != 0 || item.gpsEle != 0;
}

int refSign(const QVariant &value, const char *plus, const char *minus)
{
    const QString text = value.toString();
    if (text == QLatin1String(plus))
        return 1;
    if (text == QLatin1String(minus))
        return -1;
    return 0;
}

} // namespace

bool MetadataPreviewController::go()
{
    itemsChecked.clear();
    for (const ThumbItemPtr &item : items) {
        if (item && item->checked)
            itemsChecked << item;
    }
    if (itemsChecked.isEmpty()) {
        UserInterface::instance().alert(QStringLiteral("Nothing to preview."),
                                        QStringLiteral("Choose some images from the main window."));
        return false;
    }
    return true;
}

QString MetadataPreviewController::windowTitle() const
{
    if (numMissingData > 0)
        return formatMessage("Metadata Preview - %d photo(s) have missing data", numMissingData);
    return QStringLiteral("Metadata Preview");
}

ThumbItem *MetadataPreviewController::itemAt(int row) const
{
    if (row < 0 || row >= itemsChecked.size())
        return nullptr;
    return itemsChecked.at(row).get();
}

QVariant MetadataPreviewController::cellValue(const QString &column, int row) const
{
    ThumbItem *item = itemAt(row);
    if (!item)
        return QString();
    if (column == QLatin1String("1"))
        return QVariant::fromValue(item->thumbnail());
    if (column == QLatin1String("2"))
        return formatMetadata(*item);
    return QString();
}

int MetadataPreviewController::heightOfRow(int row) const
{
    const ThumbItem *item = itemAt(row);
    if (!item)
        return 100;
    const bool own = ownGps(*item).has_value();
    const int n = int(item->metadataGenerated.size());
    const int g = (hasPosition(*item) || own) ? 8 : 5;
    const int m = (own || !item->gpsMessage.isEmpty()) ? 1 : 0;
    return std::max(100, (n + m + g) * 14);
}

bool MetadataPreviewController::showsMapLink(int row) const
{
    const ThumbItem *item = itemAt(row);
    return item && (hasPosition(*item) || ownGps(*item).has_value());
}

bool MetadataPreviewController::isRed(int row) const
{
    const ThumbItem *item = itemAt(row);
    return item && item->metadataGenerated.value(QStringLiteral("MissingData")).toString() ==
                       QLatin1String("yes");
}

QUrl MetadataPreviewController::mapLinkAddress(int row) const
{
    const ThumbItem *item = itemAt(row);
    if (!item)
        return QUrl();
    double lat = item->gpsLatTemp;
    double lon = item->gpsLonTemp;
    if (lat == 0 && lon == 0) {
        lat = item->gpsLat;
        lon = item->gpsLon;
    }
    return QUrl(formatMessage("%s/maps?q=%f,%f&spn=0.001,0.001&t=k&hl=en", kMapHost, lat, lon));
}

QString MetadataPreviewController::formatMetadata(ThumbItem &item)
{
    QString text;
    if (!item.checked)
        text += QStringLiteral("NOT CHECKED\n");
    if (!item.targetFilename.isEmpty())
        text += formatMessage("Target Filename: %@\n", item.targetFilename);
    if (!item.targetSubFolder.isEmpty())
        text += formatMessage("Target Subfolder: %@\n", item.targetSubFolder);

    QStringList keys = item.metadataGenerated.keys();
    std::sort(keys.begin(), keys.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    for (const QString &key : keys) {
        if (key == QLatin1String("MissingData") || key.startsWith(QLatin1String("CF.")))
            continue;
        text += formatMessage("%@: %@\n", key, item.metadataGenerated.value(key));
    }

    const std::optional<QVariantMap> own = ownGps(item);
    if (own) {
        double lat = 0, lon = 0, ele = 0;
        getCoordinates(*own, lat, lon, ele);
        item.gpsLatTemp = lat;
        item.gpsLonTemp = lon;
        text += formatMessage("GPS Lat: %f\nGPS Lon: %f\nGPS Alt: %f\n", lat, lon, ele);
    } else if (hasPosition(item)) {
        text += formatMessage("GPS Lat: %f\nGPS Lon: %f\nGPS Alt: %f\n", item.gpsLat, item.gpsLon,
                              item.gpsEle);
    }
    if (!item.gpsMessage.isEmpty())
        text += item.gpsMessage + QLatin1Char('\n');
    else if (own)
        text += QStringLiteral("Already geotagged\n");

    if (text.isEmpty())
        text = QStringLiteral("Not geotagged\n");
    return text;
}

void MetadataPreviewController::getCoordinates(const QVariantMap &gps, double &lat, double &lon,
                                               double &ele)
{
    const int latSign = refSign(gps.value(QStringLiteral("LatitudeRef")), "N", "S");
    const int lonSign = refSign(gps.value(QStringLiteral("LongitudeRef")), "E", "W");
    const bool haveLat = gps.contains(QStringLiteral("Latitude"));
    const bool haveLon = gps.contains(QStringLiteral("Longitude"));
    const float latValue = haveLat ? gps.value(QStringLiteral("Latitude")).toFloat() : 0.0f;
    const float lonValue = haveLon ? gps.value(QStringLiteral("Longitude")).toFloat() : 0.0f;
    if ((haveLat || haveLon) && latSign != 0 && lonSign != 0) {
        lat = latSign * double(latValue);
        lon = lonSign * double(lonValue);
    } else {
        lat = 0;
        lon = 0;
    }
    // A numeric reference is read as its decimal text.
    const int altSign = refSign(gps.value(QStringLiteral("AltitudeRef")), "0", "1");
    if (!gps.contains(QStringLiteral("Altitude")) || altSign == 0)
        ele = 0;
    else
        ele = altSign * double(gps.value(QStringLiteral("Altitude")).toFloat());
}
