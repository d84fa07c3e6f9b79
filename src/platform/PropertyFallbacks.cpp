// Values a file keeps outside the standard Exif tags: ISO, aperture, exposure time, focal length
// and capture date in the maker notes of older bodies and compacts, and the capture date,
// camera, exposure and position of files that carry only an XMP packet. They fill the places
// of the standard tags only where those are absent: where a standard value exists it is kept,
// also when a maker note says something slightly different (some Kodak bodies store a rounded
// exposure time in Exif; the Exif value is what every other program shows too).
#include "platform/PropertiesInternal.h"

#include <QRegularExpression>
#include <QVariantList>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace ImageProperties::detail {

namespace {

const QString kExif = QStringLiteral("{Exif}");
const QString kTiff = QStringLiteral("{TIFF}");
const QString kGps = QStringLiteral("{GPS}");
const QString kAux = QStringLiteral("{ExifAux}");

const Exiv2::Exifdatum *findExif(const Exiv2::ExifData &exif, const char *key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() || it->count() <= 0 ? nullptr : &*it;
}

std::optional<long> integerAt(const Exiv2::ExifData &exif, const char *key, long index = 0)
{
    const Exiv2::Exifdatum *d = findExif(exif, key);
    if (!d || index >= d->count())
        return std::nullopt;
    return d->toLong(index);
}

bool has(const QVariantMap &props, const QString &group, const QString &name)
{
    return props.value(group).toMap().contains(name);
}

// The standard third-stop ISO series from 50 on, as cameras print it.
constexpr std::array<int, 30> kIsoSeries = {50,    64,    80,    100,   125,   160,  200,  250,
                                            320,   400,   500,   640,   800,   1000, 1250, 1600,
                                            2000,  2500,  3200,  4000,  5000,  6400, 8000, 10000,
                                            12800, 16000, 20000, 25600, 32000, 40000};

// ---- ISO from the maker notes

std::optional<double> nikonIso(const Exiv2::ExifData &exif)
{
    // (0, ISO) pairs; the second number is the sensitivity used.
    for (const char *key :
         {"Exif.Nikon3.ISOSpeed", "Exif.Nikon1.ISOSpeed", "Exif.Nikon3.ISOSettings"}) {
        if (const auto v = integerAt(exif, key, 1); v && *v > 0)
            return double(*v);
    }
    // ISO information: 12 steps a stop, 60 being ISO 100.
    if (const auto v = integerAt(exif, "Exif.NikonIi.ISO"); v && *v > 0)
        return std::round(100.0 * std::pow(2.0, double(*v) / 12.0 - 5.0));
    return std::nullopt;
}

std::optional<double> canonIso(const Exiv2::ExifData &exif)
{
    // The camera's ISO setting: the value itself with bit 14 set, else an index.
    if (const auto v = integerAt(exif, "Exif.CanonCs.ISOSpeed")) {
        if (*v & 0x4000)
            return double(*v & 0x3fff);
        if (*v >= 16 && *v <= 20)
            return double(50 << (*v - 16));
    }
    // Automatic ISO: the base sensitivity and the automatic factor, both in Canon's stops.
    const auto base = integerAt(exif, "Exif.CanonSi.ISOSpeed");
    const auto automatic = integerAt(exif, "Exif.CanonSi.AutoISO");
    if (base && *base > 0) {
        const double baseIso = std::exp(double(*base) / 32.0 * std::log(2.0)) * 100.0 / 32.0;
        const double factor = automatic ? std::exp(double(*automatic) / 32.0 * std::log(2.0)) : 1.0;
        return std::round(baseIso * factor);
    }
    return std::nullopt;
}

std::optional<double> pentaxIso(const Exiv2::ExifData &exif)
{
    const auto v = integerAt(exif, "Exif.Pentax.ISO");
    if (!v)
        return std::nullopt;
    if (*v >= 3 && *v < 3 + long(kIsoSeries.size()))
        return double(kIsoSeries[size_t(*v - 3)]);
    if (*v >= 50 && *v <= 409600)
        return double(*v);
    return std::nullopt;
}

std::optional<double> otherMakersIso(const Exiv2::ExifData &exif)
{
    if (const auto v = integerAt(exif, "Exif.Casio2.ISO"); v && *v > 0)
        return double(*v);
    if (const auto v = integerAt(exif, "Exif.Casio.ISO")) {
        switch (*v) {
        case 3:
            return 50.0;
        case 4:
            return 64.0;
        case 6:
            return 100.0;
        case 9:
            return 200.0;
        default:
            break;
        }
    }
    if (const auto v = integerAt(exif, "Exif.Samsung2.ISO"); v && *v > 0)
        return double(*v);
    if (const Exiv2::Exifdatum *d = findExif(exif, "Exif.Olympus.ISOSpeed")) {
        // APEX speed value: 5 is ISO 100.
        if (const auto apex = firstNumber(d->value()); apex && *apex > 0 && *apex < 20)
            return std::round(100.0 * std::pow(2.0, *apex - 5.0));
    }
    return std::nullopt;
}

// Kodak's compact cameras keep a binary maker note after the text "KDK INFO": ISO, aperture
// (1/100) and exposure time (1/100000 s) at fixed places, in a byte order the block does not
// state. The capture year at its fixed place tells the order, and also that the block is one
// of this layout: other layouts give nothing.
struct KodakNote
{
    std::optional<double> iso;
    std::optional<double> fNumber;
    std::optional<double> exposureTime;
};

KodakNote kodakNote(const Exiv2::ExifData &exif)
{
    KodakNote note;
    const Exiv2::Exifdatum *d = findExif(exif, "Exif.Photo.MakerNote");
    if (!d || d->count() < 8 + 98)
        return note;
    std::vector<unsigned char> b(static_cast<size_t>(d->size()));
    d->copy(b.data(), Exiv2::littleEndian);
    if (std::memcmp(b.data(), "KDK", 3) != 0)
        return note;
    const unsigned char *p = b.data() + 8;
    for (const bool little : {false, true}) {
        const auto u16 = [&](size_t at) {
            return little ? unsigned(p[at] | (p[at + 1] << 8)) : unsigned((p[at] << 8) | p[at + 1]);
        };
        const auto u32 = [&](size_t at) {
            return little ? (u16(at + 2) << 16) | u16(at) : (u16(at) << 16) | u16(at + 2);
        };
        const unsigned year = u16(16);
        const unsigned month = p[18];
        const unsigned day = p[19];
        if (year < 1990 || year > 2100 || month < 1 || month > 12 || day < 1 || day > 31)
            continue;
        if (const unsigned iso = u16(96); iso >= 6 && iso <= 409600)
            note.iso = iso;
        if (const unsigned f = u16(30); f >= 50 && f <= 6400)
            note.fNumber = f / 100.0;
        if (const unsigned t = u32(32); t > 0 && t < 100000u * 3600u)
            note.exposureTime = t / 100000.0;
        break;
    }
    return note;
}

// The standard sensitivity tags that newer bodies use beside (or instead of) the ISO rating.
std::optional<double> otherStandardIso(const Exiv2::ExifData &exif)
{
    for (const char *key : {"Exif.Photo.ISOSpeed", "Exif.Photo.RecommendedExposureIndex",
                            "Exif.Photo.StandardOutputSensitivity"}) {
        if (const auto v = integerAt(exif, key); v && *v > 0)
            return double(*v);
    }
    return std::nullopt;
}

// ---- Exposure from the maker notes

struct Exposure
{
    std::optional<double> fNumber;
    std::optional<double> exposureTime;
    std::optional<double> focalLength;
};

Exposure makerExposure(const Exiv2::ExifData &exif)
{
    Exposure e;
    if (const auto v = integerAt(exif, "Exif.CanonSi.ApertureValue"); v && *v != 0)
        e.fNumber = roundTo(std::exp(canonEv(*v) * std::log(2.0) / 2.0), 1);
    if (const auto v = integerAt(exif, "Exif.CanonSi.ShutterSpeedValue"); v && *v != 0)
        e.exposureTime = std::exp(-canonEv(*v) * std::log(2.0));
    if (const auto v = integerAt(exif, "Exif.Pentax.FNumber"); v && *v > 0)
        e.fNumber = double(*v) / 10.0;
    if (const auto v = integerAt(exif, "Exif.Pentax.ExposureTime"); v && *v > 0)
        e.exposureTime = double(*v) / 100000.0;
    if (const auto v = integerAt(exif, "Exif.Pentax.FocalLength"); v && *v > 0)
        e.focalLength = double(*v) / 100.0;
    const auto positive = [&](const char *key) -> std::optional<double> {
        const Exiv2::Exifdatum *d = findExif(exif, key);
        const auto v = d ? firstNumber(d->value()) : std::nullopt;
        return v && *v > 0 ? v : std::nullopt;
    };
    if (const auto v = positive("Exif.Samsung2.FNumber"))
        e.fNumber = *v;
    if (const auto v = positive("Exif.Samsung2.ExposureTime"))
        e.exposureTime = *v;
    return e;
}

// Pentax keeps the capture date and time as bytes: year (two bytes, big-endian), month, day;
// hour, minute, second.
QString pentaxDate(const Exiv2::ExifData &exif)
{
    const Exiv2::Exifdatum *date = findExif(exif, "Exif.Pentax.Date");
    const Exiv2::Exifdatum *time = findExif(exif, "Exif.Pentax.Time");
    if (!date || !time || date->count() < 4 || time->count() < 3)
        return {};
    const long year = (date->toLong(0) << 8) | date->toLong(1);
    const long month = date->toLong(2);
    const long day = date->toLong(3);
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31)
        return {};
    return QString::asprintf("%04ld:%02ld:%02ld %02ld:%02ld:%02ld", year, month, day,
                             time->toLong(0), time->toLong(1), time->toLong(2));
}

// ---- XMP

const Exiv2::Xmpdatum *findXmp(const Exiv2::XmpData &xmp, const char *key)
{
    try {
        const auto it = xmp.findKey(Exiv2::XmpKey(key));
        return it == xmp.end() ? nullptr : &*it;
    } catch (const std::exception &) {
        return nullptr; // a namespace this Exiv2 does not know
    }
}

QString xmpText(const Exiv2::XmpData &xmp, const char *key)
{
    const Exiv2::Xmpdatum *d = findXmp(xmp, key);
    if (!d)
        return {};
    // Language alternatives and lists: their first entry.
    const std::string text = d->count() > 1 ? d->toString(0) : d->toString();
    return trimmedText(text);
}

// An XMP number: plain, or a rational "n/d".
std::optional<double> xmpNumber(const Exiv2::XmpData &xmp, const char *key)
{
    const QString text = xmpText(xmp, key);
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    if (slash > 0) {
        const double n = text.left(slash).toDouble(&ok);
        if (!ok)
            return std::nullopt;
        const double d = text.mid(slash + 1).toDouble(&ok);
        if (!ok || d == 0)
            return std::nullopt;
        return n / d;
    }
    const double v = text.toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

// An XMP date "2015-04-10T20:12:23[.45][+02:00]" as the Exif layout, the wall clock as written;
// empty for a date without a time of day.
QString xmpDate(const Exiv2::XmpData &xmp, const char *key)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})[T ](\\d{2}):(\\d{2})(?::(\\d{2}))?"));
    const auto m = pattern.match(xmpText(xmp, key));
    if (!m.hasMatch())
        return {};
    const QString seconds = m.captured(6).isEmpty() ? QStringLiteral("00") : m.captured(6);
    return QStringLiteral("%1:%2:%3 %4:%5:%6")
        .arg(m.captured(1), m.captured(2), m.captured(3), m.captured(4), m.captured(5), seconds);
}

// An XMP GPS coordinate "DDD,MM.mmk" or "DDD,MM,SSk" (k one of N, S, E, W): positive degrees
// and the reference letter.
std::optional<std::pair<double, QString>> xmpCoordinate(const Exiv2::XmpData &xmp, const char *key)
{
    const QString text = xmpText(xmp, key).trimmed();
    if (text.size() < 2)
        return std::nullopt;
    const QChar ref = text.back().toUpper();
    if (ref != QLatin1Char('N') && ref != QLatin1Char('S') && ref != QLatin1Char('E') &&
        ref != QLatin1Char('W'))
        return std::nullopt;
    const std::optional<double> degrees = degreesFromParts(text.chopped(1).split(QLatin1Char(',')));
    if (!degrees)
        return std::nullopt;
    return std::make_pair(*degrees, QString(ref));
}

} // namespace

void addMakerNoteFallbacks(QVariantMap &props, const Exiv2::ExifData &exif)
{
    if (exif.empty())
        return;
    if (!has(props, kExif, QStringLiteral("ISOSpeedRatings"))) {
        std::optional<double> iso = otherStandardIso(exif);
        for (auto reader : {nikonIso, canonIso, pentaxIso, otherMakersIso}) {
            if (!iso)
                iso = reader(exif);
        }
        if (!iso)
            iso = kodakNote(exif).iso;
        if (iso && *iso > 0 && *iso < 10000000)
            setIfAbsent(props, kExif, QStringLiteral("ISOSpeedRatings"),
                        QVariantList{integerValue(qint64(std::llround(*iso)))});
    }
    // Maker notes are searched only for what the standard tags leave open (the search costs
    // more than the rest of the reading on files with large maker notes).
    const bool needF = !has(props, kExif, QStringLiteral("FNumber"));
    const bool needT = !has(props, kExif, QStringLiteral("ExposureTime"));
    if (needF || needT || !has(props, kExif, QStringLiteral("FocalLength"))) {
        const Exposure e = makerExposure(exif);
        if (e.fNumber)
            setIfAbsent(props, kExif, QStringLiteral("FNumber"), *e.fNumber);
        if (e.exposureTime)
            setIfAbsent(props, kExif, QStringLiteral("ExposureTime"), *e.exposureTime);
        if (e.focalLength)
            setIfAbsent(props, kExif, QStringLiteral("FocalLength"), *e.focalLength);
    }
    if (needF || needT) {
        const KodakNote kodak = kodakNote(exif);
        if (kodak.fNumber)
            setIfAbsent(props, kExif, QStringLiteral("FNumber"), *kodak.fNumber);
        if (kodak.exposureTime)
            setIfAbsent(props, kExif, QStringLiteral("ExposureTime"), *kodak.exposureTime);
    }
    if (!has(props, kExif, QStringLiteral("DateTimeOriginal"))) {
        const QString date = pentaxDate(exif);
        if (!date.isEmpty())
            setIfAbsent(props, kExif, QStringLiteral("DateTimeOriginal"), date);
    }
}

void addXmpFallbacks(QVariantMap &props, const Exiv2::XmpData &xmp)
{
    if (xmp.empty())
        return;
    const auto text = [&](const QString &group, const char *name,
                          std::initializer_list<const char *> keys) {
        for (const char *key : keys) {
            const QString value = xmpText(xmp, key);
            if (!value.isEmpty()) {
                setIfAbsent(props, group, QString::fromLatin1(name), value);
                return;
            }
        }
    };
    const auto date = [&](const QString &group, const char *name,
                          std::initializer_list<const char *> keys) {
        for (const char *key : keys) {
            const QString value = xmpDate(xmp, key);
            if (!value.isEmpty()) {
                setIfAbsent(props, group, QString::fromLatin1(name), value);
                return;
            }
        }
    };
    const auto number = [&](const QString &group, const char *name, const char *key) {
        if (const auto v = xmpNumber(xmp, key); v && std::isfinite(*v))
            setIfAbsent(props, group, QString::fromLatin1(name), *v);
    };

    date(kExif, "DateTimeOriginal",
         {"Xmp.exif.DateTimeOriginal", "Xmp.photoshop.DateCreated", "Xmp.xmp.CreateDate"});
    date(kExif, "DateTimeDigitized", {"Xmp.exif.DateTimeDigitized", "Xmp.xmp.CreateDate"});
    date(kTiff, "DateTime", {"Xmp.tiff.DateTime", "Xmp.xmp.ModifyDate"});
    text(kTiff, "Make", {"Xmp.tiff.Make"});
    text(kTiff, "Model", {"Xmp.tiff.Model"});
    text(kTiff, "Software", {"Xmp.tiff.Software", "Xmp.xmp.CreatorTool"});
    text(kAux, "LensModel", {"Xmp.exifEX.LensModel", "Xmp.aux.Lens"});
    text(kAux, "SerialNumber", {"Xmp.exifEX.BodySerialNumber", "Xmp.aux.SerialNumber"});
    number(kExif, "FNumber", "Xmp.exif.FNumber");
    number(kExif, "ExposureTime", "Xmp.exif.ExposureTime");
    number(kExif, "FocalLength", "Xmp.exif.FocalLength");
    if (!has(props, kExif, QStringLiteral("ISOSpeedRatings"))) {
        for (const char *key : {"Xmp.exif.ISOSpeedRatings", "Xmp.exifEX.PhotographicSensitivity"}) {
            if (const auto v = xmpNumber(xmp, key); v && *v > 0 && *v < 10000000) {
                setIfAbsent(props, kExif, QStringLiteral("ISOSpeedRatings"),
                            QVariantList{integerValue(qint64(std::llround(*v)))});
                break;
            }
        }
    }
    if (!has(props, kGps, QStringLiteral("Latitude"))) {
        const auto lat = xmpCoordinate(xmp, "Xmp.exif.GPSLatitude");
        const auto lon = xmpCoordinate(xmp, "Xmp.exif.GPSLongitude");
        if (lat && lon) {
            setIfAbsent(props, kGps, QStringLiteral("Latitude"), lat->first);
            setIfAbsent(props, kGps, QStringLiteral("LatitudeRef"), lat->second);
            setIfAbsent(props, kGps, QStringLiteral("Longitude"), lon->first);
            setIfAbsent(props, kGps, QStringLiteral("LongitudeRef"), lon->second);
            if (const auto alt = xmpNumber(xmp, "Xmp.exif.GPSAltitude")) {
                setIfAbsent(props, kGps, QStringLiteral("Altitude"), std::fabs(*alt));
                const auto ref = xmpNumber(xmp, "Xmp.exif.GPSAltitudeRef");
                setIfAbsent(props, kGps, QStringLiteral("AltitudeRef"), ref && *ref == 1 ? 1 : 0);
            }
        }
    }
    if (!props.contains(QStringLiteral("Orientation"))) {
        if (const auto v = xmpNumber(xmp, "Xmp.tiff.Orientation"); v && *v >= 1 && *v <= 8)
            props.insert(QStringLiteral("Orientation"), int(*v));
    }
}

std::optional<double> degreesFromParts(const QStringList &parts)
{
    double degrees = 0;
    double scale = 1;
    for (const QString &part : parts) {
        bool ok = false;
        const double v = part.toDouble(&ok);
        if (!ok || v < 0)
            return std::nullopt;
        degrees += v / scale;
        scale *= 60;
    }
    return degrees;
}

} // namespace ImageProperties::detail
