#include "geo/ManualTagController.h"

#include "platform/Defaults.h"
#include "platform/Format.h"
#include "platform/ImageProperties.h"
#include "platform/UserInterface.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <cmath>
#include <memory>

const QString ManualTagController::kTagLat = QStringLiteral("TagLat");
const QString ManualTagController::kTagLon = QStringLiteral("TagLon");
const QString ManualTagController::kDefaultLat = QStringLiteral("40.018801050331305");
const QString ManualTagController::kDefaultLon = QStringLiteral("-105.27821660042588");

namespace {

std::unique_ptr<ManualTagController> g_shared;

const QChar kDegree(0x00B0);

// A stored location goes into the page as it stands, so only a number is taken from the
// settings; a hand-edited or damaged value gives the default.
QString storedCoordinate(const QString &key, const QString &fallback, double limit)
{
    const QString text = Defaults::string(key).trimmed();
    return ManualTagController::coordinate(text, limit) ? text : fallback;
}

// "N 40.1", "40.1" or "S40.1": the number with the hemisphere's sign, or nullopt.
std::optional<QString> withHemisphere(QString text, QChar positive, QChar negative,
                                      std::optional<QChar> trailing)
{
    static const QRegularExpression separators(QStringLiteral("^[\\s,;]+|[\\s,;]+$"));
    text.remove(separators);
    std::optional<QChar> hemisphere = trailing;
    if (!text.isEmpty() &&
        (text.front().toUpper() == positive || text.front().toUpper() == negative)) {
        hemisphere = text.front().toUpper();
        text = text.mid(1).trimmed();
    }
    if (!hemisphere)
        return text;
    if (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')))
        return std::nullopt; // a sign and a hemisphere: which one is meant?
    return *hemisphere == negative ? QLatin1Char('-') + text : text;
}

void alertDegreesMinutesSeconds()
{
    UserInterface::instance().alert(
        QStringLiteral("Pasted coordinates appear to be in degrees, minutes, and seconds."),
        QStringLiteral("Make sure the source app (e.g., Google Earth) has its preferences set to "
                       "Decimal Degrees."));
}

} // namespace

ManualTagController &ManualTagController::shared()
{
    if (!g_shared)
        g_shared.reset(new ManualTagController());
    return *g_shared;
}

void ManualTagController::reset()
{
    g_shared.reset();
}

std::optional<double> ManualTagController::coordinate(const QString &text, double limit)
{
    static const QRegularExpression decimal(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
    if (!decimal.match(text).hasMatch())
        return std::nullopt;
    const double value = text.toDouble();
    if (!std::isfinite(value) || std::fabs(value) > limit)
        return std::nullopt;
    return value;
}

void ManualTagController::open(double currentLat, double currentLon)
{
    if (!m_opened) {
        m_opened = true;
        if (currentLat == 0 && currentLon == 0) {
            m_lat = storedCoordinate(kTagLat, kDefaultLat, 90);
            m_lon = storedCoordinate(kTagLon, kDefaultLon, 180);
        } else {
            m_lat = formatMessage("%f", currentLat);
            m_lon = formatMessage("%f", currentLon);
        }
    }
    m_mapLat = m_lat;
    m_mapLon = m_lon;
}

std::optional<QString> ManualTagController::page() const
{
    const std::optional<QString> page = MapPages::readPage(QStringLiteral("GeotagMap.html"));
    if (!page)
        return std::nullopt;
    return MapPages::fillGeotagMap(*page, m_mapLat, m_mapLon, std::make_pair(m_lat, m_lon),
                                   m_photos);
}

bool ManualTagController::takeAddress(const QString &address)
{
    static const QString scheme = QStringLiteral("geotag://");
    if (!address.startsWith(scheme))
        return false;
    const QStringList parts = address.mid(scheme.size()).split(QLatin1Char(','));
    if (parts.size() != 2)
        return false;
    // The parts reach the page again as they stand: they must be numbers.
    if (!coordinate(parts[0], 180) || !coordinate(parts[1], 90))
        return false;
    m_lat = parts[1];
    m_lon = parts[0];
    return true;
}

bool ManualTagController::pasteLocation(const QString &text)
{
    // U+2032 and U+2033 are the prime signs of minutes and seconds.
    if (text.contains(QLatin1Char('\'')) || text.contains(QLatin1Char('"')) ||
        text.contains(QChar(0x2032)) || text.contains(QChar(0x2033))) {
        alertDegreesMinutesSeconds();
        return false;
    }
    const QStringList parts = text.split(kDegree);
    if (parts.size() < 2)
        return false;

    // The latitude's hemisphere may follow its degree sign, the longitude's its own.
    QString latText = parts[0].trimmed();
    QString lonText = parts[1].trimmed();
    std::optional<QChar> latHemisphere;
    if (!lonText.isEmpty() && (lonText.front().toUpper() == QLatin1Char('N') ||
                               lonText.front().toUpper() == QLatin1Char('S'))) {
        latHemisphere = lonText.front().toUpper();
        lonText = lonText.mid(1);
    }
    std::optional<QChar> lonHemisphere;
    if (parts.size() > 2) {
        const QString after = parts[2].trimmed();
        if (!after.isEmpty() && (after.front().toUpper() == QLatin1Char('E') ||
                                 after.front().toUpper() == QLatin1Char('W')))
            lonHemisphere = after.front().toUpper();
    }
    const auto lat = withHemisphere(latText, QLatin1Char('N'), QLatin1Char('S'), latHemisphere);
    const auto lon = withHemisphere(lonText, QLatin1Char('E'), QLatin1Char('W'), lonHemisphere);
    if (!lat || !lon || !coordinate(*lat, 90) || !coordinate(*lon, 180)) {
        UserInterface::instance().alert(
            QStringLiteral("Pasted text is not a location."),
            QStringLiteral("Copy a latitude and a longitude in decimal degrees, each followed by "
                           "a degree sign, for example 40.0188° -105.2782°."));
        return false;
    }
    m_mapLat = *lat;
    m_mapLon = *lon;
    return true;
}

void ManualTagController::saveLocation()
{
    Defaults::set(kTagLat, m_lat);
    Defaults::set(kTagLon, m_lon);
}

bool ManualTagController::ok(bool alternateHeld)
{
    saveLocation();
    return !alternateHeld;
}

void ManualTagController::cancel()
{
    saveLocation();
}

bool ManualTagController::refuseEmptySelection(const QList<int> &rows)
{
    if (!rows.isEmpty())
        return false;
    UserInterface::instance().alert(QStringLiteral("Select one or more images."), QString());
    return true;
}

bool ManualTagController::applyAnswer(const ThumbItemList &items, const QList<int> &rows,
                                      const std::optional<QStringList> &answer)
{
    if (!answer || answer->size() != 2)
        return false;
    const auto lat = coordinate(answer->at(0).trimmed(), 90);
    const auto lon = coordinate(answer->at(1).trimmed(), 180);
    if (!lat || !lon)
        return false;
    for (int row : rows) {
        if (row < 0 || row >= items.size())
            continue;
        ThumbItem &item = *items[row];
        item.gpsLat = *lat;
        item.gpsLon = *lon;
        item.gpsEle = 0;
        item.gpsMessage = QStringLiteral("Manually geotagged");
        item.gpsManuallyGeotagged = true;
    }
    const long count = static_cast<long>(rows.size());
    UserInterface::instance().alert(
        formatMessage("%ld %@ geotagged.", count,
                      count < 2 ? QStringLiteral("image was") : QStringLiteral("images were")),
        QStringLiteral("(Ingest to make the geotagging permanent.)"));
    return true;
}

QList<MapPages::Photo> ManualTagController::photosOf(const ThumbItemList &items,
                                                     const QList<int> &rows)
{
    QList<MapPages::Photo> photos;
    for (int row : rows) {
        if (row < 0 || row >= items.size())
            continue;
        const ThumbItem &item = *items[row];
        MapPages::Photo photo;
        photo.name = item.title();
        if (item.gpsManuallyGeotagged ||
            item.gpsMessage == QLatin1String("Automatically geotagged")) {
            photo.lat = item.gpsLat;
            photo.lon = item.gpsLon;
            photos.append(photo);
            continue;
        }
        // Only what was read already: opening a map never reads a whole card. A GPS block
        // without a full position (a version tag only) places nothing.
        const std::optional<ImageProperties::Position> own =
            item.metadata ? ImageProperties::position(*item.metadata) : std::nullopt;
        if (!own)
            continue;
        photo.lat = own->latitude;
        photo.lon = own->longitude;
        photos.append(photo);
    }
    return photos;
}
