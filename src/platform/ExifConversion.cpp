#include "platform/PropertiesInternal.h"

#include <QSet>
#include <QStringList>
#include <QVariantList>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>
#include <unordered_set>

// Internal to the properties reader: every name here lives in ImageProperties::detail.
namespace ImageProperties::detail {

// How a tag's value becomes a property value.
enum class Kind {
    Auto,             // by the tag's type: text, integer, number or a list of them
    Text,             // always text (serial numbers stored as numbers by some makers)
    Integer,          // the first component as an integer
    IntList,          // always a list of integers, even for one value
    Comment,          // a user comment with its character-set prefix decoded
    Degrees,          // degrees, minutes, seconds folded into positive decimal degrees
    TimeOfDay,        // hours, minutes, seconds as "HH:mm:ss"
    Printed,          // the text Exiv2 prints for the value (lens names looked up by id)
    CanonEv,          // Canon's 1/32-stop encoding, in stops
    CanonAperture,    // Canon's aperture encoding, as an f-number
    CanonTemperature, // Canon's camera temperature, offset by 128, in degrees Celsius
    CanonDistance,    // Canon's subject distance in centimetres, in metres
    NikonEv,          // Nikon's (value, numerator, denominator) bytes, in stops
    NikonDistance,    // Nikon's lens-data focus distance byte, in metres
    NikonShorts,      // two 16-bit numbers, also when stored as four undefined bytes
    Utf16,            // the UCS-2 texts of Windows' XP tags
};

struct Mapping
{
    const char *exiv2Key;
    const char *group;
    const char *name;
    Kind kind;
};

// Where the tags the macros and the duplicate check read are placed, and the tags whose
// usual property names differ from Exiv2's. For each destination the first source present in
// the file wins; every other tag follows the general rule of placeGenerally().
const Mapping kMappings[] = {
    // {Exif}: names that differ from Exiv2's, and value kinds fixed by the catalogue.
    {"Exif.Photo.ISOSpeedRatings", "{Exif}", "ISOSpeedRatings", Kind::IntList},
    {"Exif.Photo.FocalLengthIn35mmFilm", "{Exif}", "FocalLenIn35mmFilm", Kind::Auto},
    {"Exif.Photo.SubSecTime", "{Exif}", "SubsecTime", Kind::Text},
    {"Exif.Photo.SubSecTimeOriginal", "{Exif}", "SubsecTimeOriginal", Kind::Text},
    {"Exif.Photo.SubSecTimeDigitized", "{Exif}", "SubsecTimeDigitized", Kind::Text},
    {"Exif.Photo.SubjectDistanceRange", "{Exif}", "SubjectDistRange", Kind::Auto},
    {"Exif.Photo.UserComment", "{Exif}", "UserComment", Kind::Comment},
    {"Exif.Photo.SceneType", "{Exif}", "SceneType", Kind::Integer},
    {"Exif.Photo.FileSource", "{Exif}", "FileSource", Kind::Integer},

    // {ExifAux}: camera body and lens facts, from the standard tags or the maker notes.
    {"Exif.Photo.BodySerialNumber", "{ExifAux}", "SerialNumber", Kind::Text},
    {"Exif.Image.CameraSerialNumber", "{ExifAux}", "SerialNumber", Kind::Text},
    {"Exif.Canon.SerialNumber", "{ExifAux}", "SerialNumber", Kind::Text},
    {"Exif.Nikon3.SerialNumber", "{ExifAux}", "SerialNumber", Kind::Text},
    {"Exif.Nikon3.SerialNO", "{ExifAux}", "SerialNumber", Kind::Text},
    {"Exif.OlympusEq.SerialNumber", "{ExifAux}", "SerialNumber", Kind::Text},
    {"Exif.Fujifilm.SerialNumber", "{ExifAux}", "SerialNumber", Kind::Text},
    {"Exif.Pentax.SerialNumber", "{ExifAux}", "SerialNumber", Kind::Text},
    {"Exif.Panasonic.InternalSerialNumber", "{ExifAux}", "SerialNumber", Kind::Text},
    {"Exif.Photo.LensModel", "{ExifAux}", "LensModel", Kind::Text},
    {"Exif.Canon.LensModel", "{ExifAux}", "LensModel", Kind::Text},
    {"Exif.OlympusEq.LensModel", "{ExifAux}", "LensModel", Kind::Text},
    {"Exif.Panasonic.LensType", "{ExifAux}", "LensModel", Kind::Text},
    {"Exif.NikonLd3.LensIDNumber", "{ExifAux}", "LensModel", Kind::Printed},
    {"Exif.NikonLd2.LensIDNumber", "{ExifAux}", "LensModel", Kind::Printed},
    {"Exif.NikonLd1.LensIDNumber", "{ExifAux}", "LensModel", Kind::Printed},
    {"Exif.Photo.LensSerialNumber", "{ExifAux}", "LensSerialNumber", Kind::Text},
    {"Exif.OlympusEq.LensSerialNumber", "{ExifAux}", "LensSerialNumber", Kind::Text},
    {"Exif.Panasonic.LensSerialNumber", "{ExifAux}", "LensSerialNumber", Kind::Text},
    {"Exif.Photo.LensSpecification", "{ExifAux}", "LensInfo", Kind::Auto},
    {"Exif.Image.LensInfo", "{ExifAux}", "LensInfo", Kind::Auto},
    {"Exif.Nikon3.Lens", "{ExifAux}", "LensInfo", Kind::Auto},
    {"Exif.Photo.CameraOwnerName", "{ExifAux}", "OwnerName", Kind::Text},
    {"Exif.Canon.OwnerName", "{ExifAux}", "OwnerName", Kind::Text},
    {"Exif.Canon.FileNumber", "{ExifAux}", "ImageNumber", Kind::Integer},
    {"Exif.Image.ImageNumber", "{ExifAux}", "ImageNumber", Kind::Integer},
    {"Exif.CanonSi.FlashBias", "{ExifAux}", "FlashCompensation", Kind::CanonEv},
    {"Exif.Nikon3.FlashExposureComp", "{ExifAux}", "FlashCompensation", Kind::NikonEv},
    {"Exif.NikonLd3.FocusDistance", "{ExifAux}", "FocusDistance", Kind::NikonDistance},
    {"Exif.NikonLd2.FocusDistance", "{ExifAux}", "FocusDistance", Kind::NikonDistance},
    {"Exif.CanonSi.SubjectDistance", "{ExifAux}", "FocusDistance", Kind::CanonDistance},
    {"Exif.Photo.SubjectDistance", "{ExifAux}", "FocusDistance", Kind::Auto},
    {"Exif.Nikon3.Focus", "{ExifAux}", "FocusMode", Kind::Text},
    {"Exif.CanonCs.FocusMode", "{ExifAux}", "FocusMode", Kind::Integer},
    {"Exif.Canon.FirmwareVersion", "{ExifAux}", "Firmware", Kind::Text},

    // {GPS}: positions as positive degrees beside their references.
    {"Exif.GPSInfo.GPSLatitude", "{GPS}", "Latitude", Kind::Degrees},
    {"Exif.GPSInfo.GPSLongitude", "{GPS}", "Longitude", Kind::Degrees},
    {"Exif.GPSInfo.GPSDestLatitude", "{GPS}", "DestLatitude", Kind::Degrees},
    {"Exif.GPSInfo.GPSDestLongitude", "{GPS}", "DestLongitude", Kind::Degrees},
    {"Exif.GPSInfo.GPSTimeStamp", "{GPS}", "TimeStamp", Kind::TimeOfDay},
    {"Exif.GPSInfo.GPSAltitudeRef", "{GPS}", "AltitudeRef", Kind::Integer},
    {"Exif.GPSInfo.GPSVersionID", "{GPS}", "GPSVersion", Kind::IntList},

    // {MakerCanon}
    {"Exif.CanonSi.CameraTemperature", "{MakerCanon}", "CameraTemperatur", Kind::CanonTemperature},
    {"Exif.CanonCs.DriveMode", "{MakerCanon}", "ContinuousDrive", Kind::Integer},
    {"Exif.Canon.LensModel", "{MakerCanon}", "LensModel", Kind::Text},
    {"Exif.CanonCs.MaxAperture", "{MakerCanon}", "MaxAperture", Kind::CanonAperture},
    {"Exif.CanonCs.MinAperture", "{MakerCanon}", "MinAperture", Kind::CanonAperture},
    {"Exif.Canon.ModelID", "{MakerCanon}", "UniqueModelID", Kind::Integer},
    {"Exif.CanonSi.WhiteBalance", "{MakerCanon}", "WhiteBalanceIndex", Kind::Integer},
    {"Exif.Canon.SerialNumber", "{MakerCanon}", "CameraSerialNumber", Kind::Text},
    {"Exif.Canon.FileNumber", "{MakerCanon}", "ImageSerialNumber", Kind::Integer},
    {"Exif.Canon.FirmwareVersion", "{MakerCanon}", "Firmware", Kind::Text},
    {"Exif.CanonSi.FlashBias", "{MakerCanon}", "FlashExposureComp", Kind::CanonEv},

    // {MakerNikon}
    {"Exif.Nikon3.FlashSetting", "{MakerNikon}", "FlashSetting", Kind::Text},
    {"Exif.Nikon1.FlashSetting", "{MakerNikon}", "FlashSetting", Kind::Text},
    {"Exif.Nikon3.Focus", "{MakerNikon}", "FocusMode", Kind::Text},
    {"Exif.Nikon1.Focus", "{MakerNikon}", "FocusMode", Kind::Text},
    {"Exif.Nikon3.ISOSpeed", "{MakerNikon}", "ISOSetting", Kind::NikonShorts},
    {"Exif.Nikon1.ISOSpeed", "{MakerNikon}", "ISOSetting", Kind::NikonShorts},
    {"Exif.Nikon3.LensType", "{MakerNikon}", "LensType", Kind::Integer},
    {"Exif.Nikon3.Quality", "{MakerNikon}", "Quality", Kind::Text},
    {"Exif.Nikon1.Quality", "{MakerNikon}", "Quality", Kind::Text},
    {"Exif.Nikon3.Sharpening", "{MakerNikon}", "SharpenMode", Kind::Text},
    {"Exif.Nikon1.Sharpening", "{MakerNikon}", "SharpenMode", Kind::Text},
    {"Exif.Nikon3.ShootingMode", "{MakerNikon}", "ShootingMode", Kind::Integer},
    {"Exif.Nikon3.ShutterCount", "{MakerNikon}", "ShutterCount", Kind::Integer},
    {"Exif.Nikon3.VignetteControl", "{MakerNikon}", "VignetteControl", Kind::Integer},
    {"Exif.Nikon3.WhiteBalance", "{MakerNikon}", "WhiteBalanceMode", Kind::Text},
    {"Exif.Nikon1.WhiteBalance", "{MakerNikon}", "WhiteBalanceMode", Kind::Text},
    {"Exif.Nikon3.SerialNumber", "{MakerNikon}", "CameraSerialNumber", Kind::Text},
    {"Exif.Nikon3.Lens", "{MakerNikon}", "LensInfo", Kind::Auto},
    {"Exif.Nikon3.FlashExposureComp", "{MakerNikon}", "FlashExposureComp", Kind::NikonEv},
    {"Exif.NikonLd3.FocusDistance", "{MakerNikon}", "FocusDistance", Kind::NikonDistance},
    {"Exif.NikonLd2.FocusDistance", "{MakerNikon}", "FocusDistance", Kind::NikonDistance},

    // Windows' own texts in the first image directory.
    {"Exif.Image.XPTitle", "{TIFF}", "XPTitle", Kind::Utf16},
    {"Exif.Image.XPComment", "{TIFF}", "XPComment", Kind::Utf16},
    {"Exif.Image.XPAuthor", "{TIFF}", "XPAuthor", Kind::Utf16},
    {"Exif.Image.XPKeywords", "{TIFF}", "XPKeywords", Kind::Utf16},
    {"Exif.Image.XPSubject", "{TIFF}", "XPSubject", Kind::Utf16},
};

// Maker-note groups of Exiv2 and the property group they are gathered in.
struct MakerFamily
{
    const char *prefix;
    const char *group;
};
const MakerFamily kMakerFamilies[] = {
    {"Canon", "{MakerCanon}"},   {"Nikon", "{MakerNikon}"},         {"Olympus", "{MakerOlympus}"},
    {"Fujifilm", "{MakerFuji}"}, {"Pentax", "{MakerPentax}"},       {"Minolta", "{MakerMinolta}"},
    {"Sony", "{MakerSony}"},     {"Panasonic", "{MakerPanasonic}"}, {"Samsung", "{MakerSamsung}"},
    {"Sigma", "{MakerSigma}"},   {"Casio", "{MakerCasio}"},
};

// Structure tags: offsets, sizes and pointers to other directories mean nothing to the user.
const char *const kSkippedTags[] = {
    "Exif.Image.ExifTag",
    "Exif.Image.GPSTag",
    "Exif.Image.SubIFDs",
    "Exif.Image.StripOffsets",
    "Exif.Image.StripByteCounts",
    "Exif.Image.TileOffsets",
    "Exif.Image.TileByteCounts",
    "Exif.Image.JPEGInterchangeFormat",
    "Exif.Image.JPEGInterchangeFormatLength",
    "Exif.Image.InterColorProfile",
    "Exif.Image.XMLPacket",
    "Exif.Image.IPTCNAA",
    "Exif.Image.ImageResources",
    "Exif.Image.PrintImageMatching",
    "Exif.Image.DNGPrivateData",
    "Exif.Photo.MakerNote",
    "Exif.Photo.InteroperabilityTag",
};

// Values with more components than this are tables (tone curves, colour data), not facts.
constexpr long kMaxComponents = 64;

struct Tables
{
    std::unordered_map<std::string, std::vector<const Mapping *>> byKey;
    std::unordered_set<std::string> skipped;
};

const Tables &tables()
{
    static const Tables t = [] {
        Tables built;
        for (const Mapping &m : kMappings)
            built.byKey[m.exiv2Key].push_back(&m);
        for (const char *key : kSkippedTags)
            built.skipped.insert(key);
        return built;
    }();
    return t;
}

QString trimmedText(const std::string &raw)
{
    std::string text = raw;
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ' || text.back() == '\n' ||
                             text.back() == '\r' || text.back() == '\t'))
        text.pop_back();
    // Texts stored with an embedded NUL end there.
    const auto nul = text.find('\0');
    if (nul != std::string::npos)
        text.resize(nul);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    const QString utf8 = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    // Older cameras write Latin-1 texts; they are not valid UTF-8.
    if (utf8.contains(QChar::ReplacementCharacter))
        return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    return utf8;
}

QVariant integerValue(qint64 v)
{
    if (v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max())
        return QVariant(static_cast<int>(v));
    return QVariant(static_cast<qlonglong>(v));
}

bool isIntegerType(Exiv2::TypeId t)
{
    switch (t) {
    case Exiv2::unsignedByte:
    case Exiv2::unsignedShort:
    case Exiv2::unsignedLong:
    case Exiv2::signedByte:
    case Exiv2::signedShort:
    case Exiv2::signedLong:
    case Exiv2::tiffIfd:
        return true;
    default:
        return false;
    }
}

bool isRationalType(Exiv2::TypeId t)
{
    return t == Exiv2::unsignedRational || t == Exiv2::signedRational;
}

bool isFloatType(Exiv2::TypeId t)
{
    return t == Exiv2::tiffFloat || t == Exiv2::tiffDouble;
}

bool isTextType(Exiv2::TypeId t)
{
    return t == Exiv2::asciiString || t == Exiv2::string || t == Exiv2::comment;
}

// A rational component as a double; nullopt for a zero denominator (no meaningful value).
std::optional<double> rationalAt(const Exiv2::Value &value, long i)
{
    // Unsigned rationals read through toRational() would wrap above 2^31.
    if (const auto *u = dynamic_cast<const Exiv2::URationalValue *>(&value)) {
        if (i < 0 || static_cast<size_t>(i) >= u->value_.size() || u->value_[i].second == 0)
            return std::nullopt;
        return static_cast<double>(u->value_[i].first) / static_cast<double>(u->value_[i].second);
    }
    const Exiv2::Rational r = value.toRational(i);
    if (r.second == 0)
        return std::nullopt;
    return static_cast<double>(r.first) / static_cast<double>(r.second);
}

std::vector<unsigned char> bytesOf(const Exiv2::Value &value)
{
    std::vector<unsigned char> bytes(static_cast<size_t>(value.size()));
    if (!bytes.empty())
        value.copy(bytes.data(), Exiv2::littleEndian);
    return bytes;
}

QVariant autoValue(const Exiv2::Exifdatum &datum)
{
    const Exiv2::Value &value = datum.value();
    const Exiv2::TypeId type = value.typeId();
    const long count = value.count();
    if (isTextType(type))
        return trimmedText(value.toString());
    if (count <= 0)
        return {};
    if (type == Exiv2::undefined) {
        if (count > kMaxComponents)
            return {};
        const std::vector<unsigned char> bytes = bytesOf(value);
        if (bytes.size() == 1)
            return integerValue(bytes[0]);
        bool printable = true;
        for (unsigned char c : bytes)
            printable = printable && c >= 0x20 && c < 0x7f;
        if (printable) // version numbers such as "0230"
            return QString::fromLatin1(reinterpret_cast<const char *>(bytes.data()),
                                       static_cast<qsizetype>(bytes.size()));
        QVariantList list;
        for (unsigned char c : bytes)
            list.append(static_cast<int>(c));
        return list;
    }
    if (count > kMaxComponents)
        return {};
    if (isIntegerType(type)) {
        if (count == 1)
            return integerValue(value.toLong(0));
        QVariantList list;
        for (long i = 0; i < count; ++i)
            list.append(integerValue(value.toLong(i)));
        return list;
    }
    if (isRationalType(type)) {
        if (count == 1) {
            const auto v = rationalAt(value, 0);
            return v ? QVariant(*v) : QVariant();
        }
        QVariantList list;
        for (long i = 0; i < count; ++i)
            list.append(rationalAt(value, i).value_or(0.0));
        return list;
    }
    if (isFloatType(type)) {
        if (count == 1)
            return static_cast<double>(value.toFloat(0));
        QVariantList list;
        for (long i = 0; i < count; ++i)
            list.append(static_cast<double>(value.toFloat(i)));
        return list;
    }
    return {};
}

// The first component as a plain number, whatever the stored type; nullopt when there is none.
std::optional<double> firstNumber(const Exiv2::Value &value)
{
    if (value.count() <= 0 || isTextType(value.typeId()))
        return std::nullopt;
    if (isRationalType(value.typeId()))
        return rationalAt(value, 0);
    if (isFloatType(value.typeId()))
        return static_cast<double>(value.toFloat(0));
    return static_cast<double>(value.toLong(0));
}

// Canon's exposure encoding: whole stops in steps of 32, with 1/3 and 2/3 stops as 12 and 20.
double canonEv(long raw)
{
    const double sign = raw < 0 ? -1.0 : 1.0;
    long v = raw < 0 ? -raw : raw;
    const long frac = v & 0x1f;
    v -= frac;
    double f = static_cast<double>(frac);
    if (frac == 0x0c)
        f = 32.0 / 3.0;
    else if (frac == 0x14)
        f = 64.0 / 3.0;
    return sign * (static_cast<double>(v) + f) / 32.0;
}

double roundTo(double v, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(v * scale) / scale;
}

QVariant convert(const Exiv2::Exifdatum &datum, Kind kind, const Exiv2::ExifData &all,
                 Exiv2::ByteOrder makerOrder)
{
    const Exiv2::Value &value = datum.value();
    const long count = value.count();
    switch (kind) {
    case Kind::Auto:
        return autoValue(datum);
    case Kind::Text: {
        if (isTextType(value.typeId()))
            return trimmedText(value.toString());
        if (value.typeId() == Exiv2::undefined) {
            const std::vector<unsigned char> bytes = bytesOf(value);
            return trimmedText(std::string(bytes.begin(), bytes.end()));
        }
        if (count == 1 && isIntegerType(value.typeId()))
            return QString::number(value.toLong(0));
        return trimmedText(value.toString());
    }
    case Kind::Integer: {
        if (count <= 0)
            return {};
        if (value.typeId() == Exiv2::undefined)
            return integerValue(bytesOf(value).at(0));
        if (isTextType(value.typeId())) {
            bool ok = false;
            const qlonglong v = trimmedText(value.toString()).toLongLong(&ok);
            return ok ? integerValue(v) : QVariant();
        }
        const auto v = firstNumber(value);
        return v ? integerValue(static_cast<qint64>(std::llround(*v))) : QVariant();
    }
    case Kind::IntList: {
        if (count <= 0 || count > kMaxComponents || isTextType(value.typeId()))
            return {};
        QVariantList list;
        if (value.typeId() == Exiv2::undefined) {
            for (unsigned char c : bytesOf(value))
                list.append(static_cast<int>(c));
        } else {
            for (long i = 0; i < count; ++i)
                list.append(integerValue(value.toLong(i)));
        }
        return list;
    }
    case Kind::Comment: {
        if (const auto *comment = dynamic_cast<const Exiv2::CommentValue *>(&value))
            return trimmedText(comment->comment());
        // Stored without the comment type: strip the 8-byte character-set prefix by hand.
        const std::vector<unsigned char> bytes = bytesOf(value);
        if (bytes.size() < 8)
            return trimmedText(std::string(bytes.begin(), bytes.end()));
        const std::string charset(bytes.begin(), bytes.begin() + 8);
        if (charset.rfind("UNICODE", 0) == 0) {
            QString text;
            for (size_t i = 8; i + 1 < bytes.size(); i += 2)
                text.append(QChar(makerOrder == Exiv2::bigEndian
                                      ? static_cast<char16_t>((bytes[i] << 8) | bytes[i + 1])
                                      : static_cast<char16_t>((bytes[i + 1] << 8) | bytes[i])));
            return trimmedText(text.toStdString());
        }
        return trimmedText(std::string(bytes.begin() + 8, bytes.end()));
    }
    case Kind::Degrees: {
        if (!isRationalType(value.typeId()) || count < 1)
            return {};
        const auto deg = rationalAt(value, 0);
        if (!deg)
            return {};
        const double min = count > 1 ? rationalAt(value, 1).value_or(0.0) : 0.0;
        const double sec = count > 2 ? rationalAt(value, 2).value_or(0.0) : 0.0;
        return std::fabs(*deg) + std::fabs(min) / 60.0 + std::fabs(sec) / 3600.0;
    }
    case Kind::TimeOfDay: {
        if (!isRationalType(value.typeId()) || count < 3)
            return trimmedText(value.toString());
        const double h = rationalAt(value, 0).value_or(0.0);
        const double m = rationalAt(value, 1).value_or(0.0);
        const double s = rationalAt(value, 2).value_or(0.0);
        // Fold fractional hours and minutes into the smaller units before printing.
        long total = std::lround(std::floor(h * 3600.0 + m * 60.0 + s));
        total = ((total % 86400) + 86400) % 86400;
        return QString::asprintf("%02ld:%02ld:%02ld", total / 3600, (total / 60) % 60, total % 60);
    }
    case Kind::Printed: {
        const QString text = trimmedText(datum.print(&all));
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case Kind::CanonEv: {
        const auto v = firstNumber(value);
        return v ? QVariant(roundTo(canonEv(static_cast<long>(*v)), 2)) : QVariant();
    }
    case Kind::CanonAperture: {
        const auto v = firstNumber(value);
        if (!v || *v <= 0 || *v >= 0x7fff)
            return {};
        return roundTo(std::exp(canonEv(static_cast<long>(*v)) * std::log(2.0) / 2.0), 1);
    }
    case Kind::CanonTemperature: {
        const auto v = firstNumber(value);
        if (!v || *v == 0)
            return {}; // 0 means the camera did not measure it
        return integerValue(static_cast<qint64>(*v) - 128);
    }
    case Kind::CanonDistance: {
        const auto v = firstNumber(value);
        if (!v || *v <= 0 || *v >= 65535)
            return {}; // 0 unknown, 65535 infinity
        return *v / 100.0;
    }
    case Kind::NikonEv: {
        const std::vector<unsigned char> bytes = bytesOf(value);
        if (bytes.size() < 3 || bytes[2] == 0)
            return {};
        const double ev = static_cast<signed char>(bytes[0]) * static_cast<double>(bytes[1]) /
                          static_cast<double>(bytes[2]);
        return roundTo(ev, 2);
    }
    case Kind::NikonDistance: {
        const auto v = firstNumber(value);
        if (!v || *v == 0)
            return {};
        return roundTo(0.01 * std::pow(10.0, *v / 40.0), 2);
    }
    case Kind::NikonShorts: {
        QVariantList list;
        if (value.typeId() == Exiv2::undefined) {
            const std::vector<unsigned char> b = bytesOf(value);
            for (size_t i = 0; i + 1 < b.size() && list.size() < 2; i += 2)
                list.append(makerOrder == Exiv2::bigEndian ? (b[i] << 8) | b[i + 1]
                                                           : (b[i + 1] << 8) | b[i]);
        } else if (isIntegerType(value.typeId())) {
            for (long i = 0; i < count && i < 2; ++i)
                list.append(integerValue(value.toLong(i)));
        }
        return list.isEmpty() ? QVariant() : QVariant(list);
    }
    case Kind::Utf16: {
        const std::vector<unsigned char> b = bytesOf(value);
        QString text;
        for (size_t i = 0; i + 1 < b.size(); i += 2) {
            const char16_t c = static_cast<char16_t>((b[i + 1] << 8) | b[i]);
            if (c == 0)
                break;
            text.append(QChar(c));
        }
        return text.trimmed();
    }
    }
    return {};
}

const char *makerGroupFor(const std::string &exiv2Group)
{
    for (const MakerFamily &family : kMakerFamilies) {
        if (exiv2Group.rfind(family.prefix, 0) == 0)
            return family.group;
    }
    return nullptr;
}

bool isDngTag(uint16_t tag)
{
    return tag >= 0xc612 && tag <= 0xc7ff && tag != 0xc62f; // 0xc62f: CameraSerialNumber
}

// Where a tag without an entry in kMappings goes: its Exiv2 group decides the property group,
// its Exiv2 name is the key. Returns false for tags that are left out.
// `key` is the datum's key, "Exif.<group>.<tag name>" (taken apart here rather than asked of
// Exiv2 again, which formats the names of unknown tags through a string stream).
bool placeGenerally(const Exiv2::Exifdatum &datum, const std::string &key, QString &group,
                    QString &name)
{
    const size_t firstDot = key.find('.');
    const size_t lastDot = key.rfind('.');
    if (firstDot == std::string::npos || lastDot <= firstDot)
        return false;
    const std::string exiv2Group = key.substr(firstDot + 1, lastDot - firstDot - 1);
    const std::string tagName = key.substr(lastDot + 1);
    if (tagName.rfind("0x", 0) == 0)
        return false; // unknown to Exiv2: no usual name to give it
    name = QString::fromStdString(tagName);
    if (exiv2Group == "Image" || exiv2Group == "PanasonicRaw") {
        group = isDngTag(datum.tag()) ? QStringLiteral("{DNG}") : QStringLiteral("{TIFF}");
        return true;
    }
    if (exiv2Group == "Photo") {
        group = QStringLiteral("{Exif}");
        return true;
    }
    if (exiv2Group == "GPSInfo") {
        group = QStringLiteral("{GPS}");
        if (name.startsWith(QLatin1String("GPS")))
            name = name.mid(3);
        return true;
    }
    if (const char *maker = makerGroupFor(exiv2Group)) {
        group = QString::fromLatin1(maker);
        return true;
    }
    return false; // thumbnail directory, sub-images, interoperability, maker-note bookkeeping
}

bool setIfAbsent(QVariantMap &map, const QString &group, const QString &name, const QVariant &value)
{
    if (!value.isValid())
        return false;
    if (group.isEmpty()) {
        if (map.contains(name))
            return false;
        map.insert(name, value);
        return true;
    }
    // The group's map is changed where it is stored: copying it out and back for every value
    // would cost time in the square of the group's size (maker notes hold hundreds of tags).
    QVariant &slot = map[group];
    if (slot.typeId() != QMetaType::QVariantMap)
        slot = QVariantMap();
    auto *sub = static_cast<QVariantMap *>(slot.data());
    if (sub->contains(name))
        return false;
    sub->insert(name, value);
    return true;
}

QVariantMap convertExif(const Exiv2::ExifData &exif)
{
    const Tables &t = tables();
    Exiv2::ByteOrder makerOrder = Exiv2::littleEndian;
    const auto order = exif.findKey(Exiv2::ExifKey("Exif.MakerNote.ByteOrder"));
    if (order != exif.end() && order->value().toString() == "MM")
        makerOrder = Exiv2::bigEndian;

    // The file's datum for each table row, found in one pass over the data.
    std::vector<const Exiv2::Exifdatum *> sources(std::size(kMappings), nullptr);
    std::vector<std::string> keys;
    keys.reserve(exif.count());
    for (const Exiv2::Exifdatum &datum : exif) {
        keys.push_back(datum.key());
        const auto rows = t.byKey.find(keys.back());
        if (rows == t.byKey.end())
            continue;
        for (const Mapping *m : rows->second) {
            const size_t row = static_cast<size_t>(m - kMappings);
            if (!sources[row])
                sources[row] = &datum;
        }
    }

    QVariantMap props;
    QSet<QString> fromTable; // destinations already claimed by a mapped tag
    // Mapped tags first, in table order, so that the first listed source wins.
    for (size_t row = 0; row < sources.size(); ++row) {
        if (!sources[row])
            continue;
        const Mapping &m = kMappings[row];
        const QString group = QString::fromLatin1(m.group);
        const QString name = QString::fromLatin1(m.name);
        const QString destination = group + QLatin1Char('.') + name;
        if (fromTable.contains(destination))
            continue;
        if (setIfAbsent(props, group, name, convert(*sources[row], m.kind, exif, makerOrder)))
            fromTable.insert(destination);
    }
    // Then every tag under its usual name, unless that name is taken or a table row already
    // renamed the tag within the same group.
    size_t index = 0;
    for (const Exiv2::Exifdatum &datum : exif) {
        const std::string &key = keys[index++];
        if (t.skipped.count(key))
            continue;
        QString group;
        QString name;
        if (!placeGenerally(datum, key, group, name))
            continue;
        const auto rows = t.byKey.find(key);
        if (rows != t.byKey.end() &&
            std::any_of(rows->second.begin(), rows->second.end(),
                        [&](const Mapping *m) { return group == QLatin1String(m->group); }))
            continue;
        setIfAbsent(props, group, name, autoValue(datum));
    }
    return props;
}

bool setTextIfAbsent(QVariantMap &map, const QString &group, const QString &name,
                     const QString &text)
{
    return !text.isEmpty() && setIfAbsent(map, group, name, text);
}

std::optional<double> numberAt(const Exiv2::ExifData &exif, const char *key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end())
        return std::nullopt;
    return firstNumber(it->value());
}

} // namespace ImageProperties::detail
