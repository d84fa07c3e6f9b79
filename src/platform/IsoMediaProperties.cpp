// Properties of ISO base media files: HEIF/HEIC/AVIF pictures and Canon CR3 raws through their
// Exif blocks (decoded by Exiv2 like any other), and movies through their QuickTime metadata.
//
// A movie's capture date is chosen in this order: an Exif date the camera wrote (Canon's movie
// blocks); the phone's own creation date (QuickTime key "com.apple.quicktime.creationdate",
// written with the local time and zone of the place); the user-data date "©day"; a sidecar the
// camera wrote beside it (Canon .THM, Sony .XML); and last the movie header's creation time,
// which QuickTime defines as UTC and which is therefore shown in this computer's time zone.
// Dates written with a zone keep their wall-clock time as written, like the Exif dates of
// photos; dates written in UTC ("Z") are shown in this computer's time zone.
#include "platform/CanonTiff.h"
#include "platform/IsoMedia.h"
#include "platform/MovieSidecars.h"
#include "platform/PropertiesInternal.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>

#include <cmath>

namespace ImageProperties::detail {

namespace {

const QString kExif = QStringLiteral("{Exif}");
const QString kTiff = QStringLiteral("{TIFF}");
const QString kGps = QStringLiteral("{GPS}");
const QString kQuickTime = QStringLiteral("{QuickTime}");

const QString kExifLayout = QStringLiteral("yyyy:MM:dd HH:mm:ss");

QString utcText(qint64 secondsSince1970)
{
    return QDateTime::fromSecsSinceEpoch(secondsSince1970, QTimeZone::utc()).toString(kExifLayout);
}

QString localText(qint64 secondsSince1970)
{
    return QDateTime::fromSecsSinceEpoch(secondsSince1970, QTimeZone::utc())
        .toLocalTime()
        .toString(kExifLayout);
}

QString firstText(const IsoMedia::Contents &c, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        const QString value = c.texts.value(QString::fromUtf8(name)).trimmed();
        if (!value.isEmpty())
            return value;
    }
    return {};
}

void addPosition(QVariantMap &props, const QString &iso6709)
{
    const auto position = MovieMetadata::parseIso6709(iso6709);
    if (!position || props.value(kGps).toMap().contains(QStringLiteral("Latitude")))
        return;
    setIfAbsent(props, kGps, QStringLiteral("Latitude"), std::fabs(position->latitude));
    setIfAbsent(props, kGps, QStringLiteral("LatitudeRef"),
                position->latitude < 0 ? QStringLiteral("S") : QStringLiteral("N"));
    setIfAbsent(props, kGps, QStringLiteral("Longitude"), std::fabs(position->longitude));
    setIfAbsent(props, kGps, QStringLiteral("LongitudeRef"),
                position->longitude < 0 ? QStringLiteral("W") : QStringLiteral("E"));
    if (position->altitude) {
        setIfAbsent(props, kGps, QStringLiteral("Altitude"), std::fabs(*position->altitude));
        setIfAbsent(props, kGps, QStringLiteral("AltitudeRef"), *position->altitude < 0 ? 1 : 0);
    }
}

// The camera, place and date a movie's own metadata names.
void addMovieTexts(QVariantMap &props, const IsoMedia::Contents &c)
{
    setTextIfAbsent(props, kTiff, QStringLiteral("Make"),
                    firstText(c, {"com.apple.quicktime.make", "com.android.manufacturer", "©mak"}));
    setTextIfAbsent(props, kTiff, QStringLiteral("Model"),
                    firstText(c, {"com.apple.quicktime.model", "com.android.model", "©mod"}));
    setTextIfAbsent(props, kTiff, QStringLiteral("Software"),
                    firstText(c, {"com.apple.quicktime.software", "com.android.version", "©swr"}));
    addPosition(props, firstText(c, {"com.apple.quicktime.location.ISO6709", "©xyz"}));

    QVariantMap qt = props.value(kQuickTime).toMap();
    const QString creation = firstText(c, {"com.apple.quicktime.creationdate"});
    if (!creation.isEmpty())
        qt.insert(QStringLiteral("CreationDate"), creation);
    const QString content = firstText(c, {"©day"});
    if (!content.isEmpty())
        qt.insert(QStringLiteral("ContentCreateDate"), content);
    if (!qt.isEmpty())
        props.insert(kQuickTime, qt);

    if (props.value(kExif).toMap().contains(QStringLiteral("DateTimeOriginal")))
        return;
    for (const QString &text : {creation, content}) {
        const auto date = MovieMetadata::parseDate(text);
        if (!date)
            continue;
        setIfAbsent(props, kExif, QStringLiteral("DateTimeOriginal"), date->wallClock);
        setIfAbsent(props, kExif, QStringLiteral("DateTimeDigitized"), date->wallClock);
        if (!date->offset.isEmpty())
            setIfAbsent(props, kExif, QStringLiteral("OffsetTimeOriginal"), date->offset);
        return;
    }
}

// The movie header's times: UTC by definition.
void addMovieHeader(QVariantMap &props, const IsoMedia::Contents &c)
{
    QVariantMap qt = props.value(kQuickTime).toMap();
    if (c.created)
        qt.insert(QStringLiteral("CreateDate"), utcText(*c.created));
    if (c.modified)
        qt.insert(QStringLiteral("ModifyDate"), utcText(*c.modified));
    if (c.duration > 0)
        qt.insert(QStringLiteral("Duration"), roundTo(c.duration, 3));
    if (c.rotation != 0)
        qt.insert(QStringLiteral("Rotation"), c.rotation);
    if (!qt.isEmpty())
        props.insert(kQuickTime, qt);
    if (c.created) {
        const QString local = localText(*c.created);
        setIfAbsent(props, kExif, QStringLiteral("DateTimeOriginal"), local);
        setIfAbsent(props, kExif, QStringLiteral("DateTimeDigitized"), local);
    }
    if (c.modified)
        setIfAbsent(props, kTiff, QStringLiteral("DateTime"), localText(*c.modified));
}

Exiv2::ExifData decodeExif(const IsoMedia::Contents &c, QStringList *problems)
{
    Exiv2::ExifData exif;
    QByteArray tiff = c.exif;
    if (!c.canonTiff[0].isEmpty()) {
        tiff = CanonTiff::join(c.canonTiff[0], c.canonTiff[1], c.canonTiff[2], c.canonTiff[3]);
        if (tiff.isEmpty() && problems)
            *problems << QStringLiteral("Canon metadata blocks unreadable");
    }
    if (tiff.isEmpty())
        return exif;
    try {
        Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte *>(tiff.constData()),
                                  static_cast<uint32_t>(tiff.size()));
    } catch (const std::exception &e) {
        exif.clear();
        if (problems)
            *problems << QStringLiteral("Exif block damaged (%1)")
                             .arg(QString::fromLocal8Bit(e.what()).trimmed());
    }
    if (exif.empty() && problems)
        *problems << QStringLiteral("Exif block holds nothing readable");
    return exif;
}

Exiv2::XmpData decodeXmp(const QByteArray &packet, QStringList *problems)
{
    Exiv2::XmpData xmp;
    if (packet.isEmpty())
        return xmp;
    try {
        if (Exiv2::XmpParser::decode(xmp, packet.toStdString()) != 0) {
            xmp.clear();
            if (problems)
                *problems << QStringLiteral("XMP packet damaged");
        }
    } catch (const std::exception &) {
        xmp.clear();
        if (problems)
            *problems << QStringLiteral("XMP packet damaged");
    }
    return xmp;
}

} // namespace

std::optional<QVariantMap> readIsoMedia(const ByteSource &source, const QString &path,
                                        QStringList *problems)
{
    const IsoMedia::Contents c = IsoMedia::read(source);
    if (c.kind == IsoMedia::Kind::Unknown)
        return std::nullopt;
    if (problems)
        *problems << c.problems;
    const Exiv2::ExifData exif = decodeExif(c, problems);
    QVariantMap props = convertExif(exif);
    addMakerNoteFallbacks(props, exif);
    // The XMP packet is parsed only when the Exif block leaves the date or the camera open: the
    // parse costs more than the rest of the reading.
    const QVariantMap tiff = props.value(kTiff).toMap();
    if (!props.value(kExif).toMap().contains(QStringLiteral("DateTimeOriginal")) ||
        !tiff.contains(QStringLiteral("Make")) || !tiff.contains(QStringLiteral("Model")))
        addXmpFallbacks(props, decodeXmp(c.xmp, problems));

    const bool movie = c.kind == IsoMedia::Kind::Movie;
    if (movie) {
        addMovieTexts(props, c);
        if (!path.isEmpty())
            MovieMetadata::addSidecars(props, path);
        addMovieHeader(props, c);
    } else if (c.kind == IsoMedia::Kind::CanonRaw) {
        addMovieHeader(props, c); // its UTC times, after the Exif dates
    }
    if (props.isEmpty() && c.width <= 0)
        return std::nullopt;

    TopLevelFacts facts;
    facts.width = c.width;
    facts.height = c.height;
    if (c.kind != IsoMedia::Kind::CanonRaw)
        facts.colorModel = QStringLiteral("RGB");
    addTopLevel(props, exif, facts);
    return props;
}

} // namespace ImageProperties::detail
