#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <exiv2/exiv2.hpp>

#include <optional>
#include <string>

class ByteSource;

// The pieces of the image-properties reader: how Exif tags become the dictionary's groups and
// values (shared by the readers of every file kind), the values taken from maker notes and XMP
// when the standard tags are absent, and the readers of the kinds Exiv2 does not know. Not for
// use outside src/platform.
namespace ImageProperties::detail {

// Every tag of `exif` under its property group and name (see ImageProperties.h).
QVariantMap convertExif(const Exiv2::ExifData &exif);

// Text with trailing blanks and NULs removed; Latin-1 when it is not valid UTF-8.
QString trimmedText(const std::string &raw);
QVariant integerValue(qint64 v);
// The first component as a plain number, whatever the stored type.
std::optional<double> firstNumber(const Exiv2::Value &value);
std::optional<double> numberAt(const Exiv2::ExifData &exif, const char *key);
// Sets map[group][name] (or map[name] for an empty group) unless it is already there.
bool setIfAbsent(QVariantMap &map, const QString &group, const QString &name,
                 const QVariant &value);
// The same for a text, which is left out when it is empty.
bool setTextIfAbsent(QVariantMap &map, const QString &group, const QString &name,
                     const QString &text);
// Canon's 1/32-stop exposure encoding, in stops.
double canonEv(long raw);
double roundTo(double v, int decimals);
// Degrees from their sexagesimal parts (degrees, then minutes, then seconds, each may carry a
// fraction); nothing when a part is not a non-negative number.
std::optional<double> degreesFromParts(const QStringList &parts);

// Facts about the picture itself that the top-level keys need beside the Exif tags.
struct TopLevelFacts
{
    int width = 0; // 0: take the Exif pixel dimensions
    int height = 0;
    QString profile;     // ICC profile description, empty when there is none
    QString colorModel;  // "RGB", "Gray", "CMYK", "Lab"; empty when unknown
    int depth = 0;       // bits per sample, 0 when unknown
    double densityX = 0; // dots per inch from a file header, 0 when unknown
    double densityY = 0;
};
// "PixelWidth", "PixelHeight", "Orientation", "DPIWidth", "DPIHeight", "ProfileName",
// "ColorModel", "Depth".
void addTopLevel(QVariantMap &props, const Exiv2::ExifData &exif, const TopLevelFacts &facts);

// Capture date, camera, exposure and position that a file keeps only in its maker notes or
// only in XMP, put where the standard tags would be when those are absent.
void addMakerNoteFallbacks(QVariantMap &props, const Exiv2::ExifData &exif);
void addXmpFallbacks(QVariantMap &props, const Exiv2::XmpData &xmp);

// ISO base media files (HEIF, AVIF, CR3, MP4/MOV). `path` (empty for bytes in memory) finds a
// movie's sidecars. Problems met on the way are appended to `problems`.
std::optional<QVariantMap> readIsoMedia(const ByteSource &source, const QString &path,
                                        QStringList *problems);
// Sigma's X3F raw files.
std::optional<QVariantMap> readX3f(const ByteSource &source, QStringList *problems);

} // namespace ImageProperties::detail
