#include "platform/MovieSidecars.h"

#include "platform/ByteSource.h"
#include "platform/ImageProperties.h"
#include "platform/PropertiesInternal.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>
#include <QXmlStreamReader>

#include <cmath>

namespace MovieMetadata {

namespace {

using ImageProperties::detail::setIfAbsent;
using ImageProperties::detail::setTextIfAbsent;

constexpr qint64 kMaxSidecar = 1 << 20;

// One ISO 6709 coordinate: sign, then degrees (with `degreeDigits` digits before the point),
// optionally followed by minutes and seconds packed into the same number.
std::optional<double> coordinate(const QString &text, int degreeDigits)
{
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    const qsizetype integerDigits = (point < 0 ? text.size() : point) - 1;
    bool ok = false;
    const double value = text.mid(1).toDouble(&ok);
    if (!ok)
        return std::nullopt;
    const double sign = text.startsWith(QLatin1Char('-')) ? -1.0 : 1.0;
    double degrees = 0;
    if (integerDigits == degreeDigits) {
        degrees = value;
    } else if (integerDigits == degreeDigits + 2) {
        const double whole = std::floor(value / 100.0);
        degrees = whole + (value - whole * 100.0) / 60.0;
    } else if (integerDigits == degreeDigits + 4) {
        const double whole = std::floor(value / 10000.0);
        const double minutes = std::floor((value - whole * 10000.0) / 100.0);
        degrees = whole + minutes / 60.0 + (value - whole * 10000.0 - minutes * 100.0) / 3600.0;
    } else {
        return std::nullopt;
    }
    return sign * degrees;
}

// "35:39:32.12" (degrees, minutes, seconds), "35:39.535" or a plain decimal number.
std::optional<double> sexagesimal(const QString &text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    if (parts.isEmpty() || parts.size() > 3)
        return std::nullopt;
    return ImageProperties::detail::degreesFromParts(parts);
}

// The sidecar NAME + suffix beside the movie, with the suffix in capitals as cameras write it or
// in small letters as some copies leave it. (Reading properties never lists the folder: on a
// card of thousands of clips that would cost more than the reading itself.)
QString siblingWithSuffix(const QFileInfo &movie, const QString &suffix)
{
    const qsizetype dot = suffix.lastIndexOf(QLatin1Char('.'));
    const QString lowerExtension = suffix.left(dot) + suffix.mid(dot).toLower();
    for (const QString &ending : {suffix, suffix.toLower(), lowerExtension}) {
        const QString path = movie.dir().filePath(movie.completeBaseName() + ending);
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

// Canon's .THM: every Exif group it has, where the movie has nothing of its own.
void addThumbnailSidecar(QVariantMap &props, const QString &path)
{
    const auto thm = ImageProperties::exif(path);
    if (!thm)
        return;
    for (auto group = thm->constBegin(); group != thm->constEnd(); ++group) {
        if (!group.key().startsWith(QLatin1Char('{')) ||
            group.key() == QLatin1String("{QuickTime}"))
            continue;
        const QVariantMap values = group.value().toMap();
        for (auto v = values.constBegin(); v != values.constEnd(); ++v)
            setIfAbsent(props, group.key(), v.key(), v.value());
    }
}

// Sony's clip description (NonRealTimeMeta XML).
void addSonySidecar(QVariantMap &props, const QString &path)
{
    const FileByteSource source(path);
    if (!source.isOpen() || source.size() > kMaxSidecar)
        return;
    QXmlStreamReader xml(source.bytes(0, source.size(), kMaxSidecar));
    QString group;
    QString date;
    QVariantMap gps;
    while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::Invalid) {
        if (!xml.isStartElement())
            continue;
        const QStringView name = xml.name();
        const QXmlStreamAttributes attributes = xml.attributes();
        if (name == QLatin1String("CreationDate")) {
            date = attributes.value(QLatin1String("value")).toString();
        } else if (name == QLatin1String("Device")) {
            setTextIfAbsent(props, QStringLiteral("{TIFF}"), QStringLiteral("Make"),
                            attributes.value(QLatin1String("manufacturer")).toString().trimmed());
            setTextIfAbsent(props, QStringLiteral("{TIFF}"), QStringLiteral("Model"),
                            attributes.value(QLatin1String("modelName")).toString().trimmed());
        } else if (name == QLatin1String("Lens")) {
            setTextIfAbsent(props, QStringLiteral("{ExifAux}"), QStringLiteral("LensModel"),
                            attributes.value(QLatin1String("modelName")).toString().trimmed());
        } else if (name == QLatin1String("Group")) {
            group = attributes.value(QLatin1String("name")).toString();
        } else if (name == QLatin1String("Item") && group == QLatin1String("ExifGPS")) {
            gps.insert(attributes.value(QLatin1String("name")).toString(),
                       attributes.value(QLatin1String("value")).toString().trimmed());
        }
    }
    if (const auto parsed = parseDate(date)) {
        setIfAbsent(props, QStringLiteral("{Exif}"), QStringLiteral("DateTimeOriginal"),
                    parsed->wallClock);
        setIfAbsent(props, QStringLiteral("{Exif}"), QStringLiteral("DateTimeDigitized"),
                    parsed->wallClock);
        if (!parsed->offset.isEmpty())
            setIfAbsent(props, QStringLiteral("{Exif}"), QStringLiteral("OffsetTimeOriginal"),
                        parsed->offset);
    }
    const auto lat = sexagesimal(gps.value(QStringLiteral("Latitude")).toString());
    const auto lon = sexagesimal(gps.value(QStringLiteral("Longitude")).toString());
    const QString latRef = gps.value(QStringLiteral("LatitudeRef")).toString().toUpper();
    const QString lonRef = gps.value(QStringLiteral("LongitudeRef")).toString().toUpper();
    const bool refsValid = (latRef == QLatin1String("N") || latRef == QLatin1String("S")) &&
                           (lonRef == QLatin1String("E") || lonRef == QLatin1String("W"));
    if (lat && lon && refsValid &&
        !props.value(QStringLiteral("{GPS}")).toMap().contains(QStringLiteral("Latitude"))) {
        setIfAbsent(props, QStringLiteral("{GPS}"), QStringLiteral("Latitude"), *lat);
        setIfAbsent(props, QStringLiteral("{GPS}"), QStringLiteral("LatitudeRef"), latRef);
        setIfAbsent(props, QStringLiteral("{GPS}"), QStringLiteral("Longitude"), *lon);
        setIfAbsent(props, QStringLiteral("{GPS}"), QStringLiteral("LongitudeRef"), lonRef);
    }
}

} // namespace

std::optional<Position> parseIso6709(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*([+-]\\d+(?:\\.\\d+)?)([+-]\\d+(?:\\.\\d+)?)([+-]\\d+(?:\\.\\d+)?)?"));
    const auto m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const auto lat = coordinate(m.captured(1), 2);
    const auto lon = coordinate(m.captured(2), 3);
    if (!lat || !lon || std::fabs(*lat) > 90 || std::fabs(*lon) > 180)
        return std::nullopt;
    Position p;
    p.latitude = *lat;
    p.longitude = *lon;
    if (!m.captured(3).isEmpty())
        p.altitude = m.captured(3).toDouble();
    return p;
}

std::optional<MovieDate> parseDate(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(\\d{4})[-:](\\d{2})[-:](\\d{2})[T ](\\d{2}):(\\d{2}):(\\d{2})"
                       "(?:\\.\\d+)?\\s*(Z|[+-]\\d{2}:?\\d{2})?"));
    const auto m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid() || date.year() < 1900)
        return std::nullopt;
    const QString zone = m.captured(7);
    MovieDate out;
    if (zone == QLatin1String("Z")) {
        out.wallClock = QDateTime(date, time, QTimeZone::utc())
                            .toLocalTime()
                            .toString(QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        return out;
    }
    out.wallClock =
        date.toString(QStringLiteral("yyyy:MM:dd ")) + time.toString(QStringLiteral("HH:mm:ss"));
    if (!zone.isEmpty()) {
        QString offset = zone;
        if (!offset.contains(QLatin1Char(':')))
            offset.insert(3, QLatin1Char(':'));
        out.offset = offset;
    }
    return out;
}

QStringList sidecarPaths(const QString &moviePath)
{
    const QFileInfo movie(moviePath);
    QStringList out;
    for (const QString &suffix : {QStringLiteral(".THM"), QStringLiteral("M01.XML")}) {
        const QString path = siblingWithSuffix(movie, suffix);
        if (!path.isEmpty())
            out << path;
    }
    return out;
}

void addSidecars(QVariantMap &props, const QString &moviePath)
{
    for (const QString &path : sidecarPaths(moviePath)) {
        if (path.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive))
            addSonySidecar(props, path);
        else
            addThumbnailSidecar(props, path);
    }
}

} // namespace MovieMetadata
