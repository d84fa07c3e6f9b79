#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// Files of the kinds cameras and phones write today, built byte by byte for tests: HEIF/AVIF
// pictures, Canon CR3 raws and MP4/MOV movies. Only the boxes that carry metadata and
// embedded pictures are real; the media data is filler.
namespace MediaFixtures {

// One directory entry of a TIFF block: its tag, type and the value's bytes (little-endian).
struct TiffEntry
{
    quint16 tag = 0;
    quint16 type = 0;
    quint32 count = 0;
    QByteArray data;
};
TiffEntry ascii(quint16 tag, const QByteArray &text);
TiffEntry shorts(quint16 tag, const QList<quint16> &values);
TiffEntry longs(quint16 tag, const QList<quint32> &values);
TiffEntry rational(quint16 tag, quint32 numerator, quint32 denominator);
TiffEntry rationals(quint16 tag, const QList<std::pair<quint32, quint32>> &values);
// A little-endian TIFF block with one directory of these entries.
QByteArray tiff(QList<TiffEntry> entries);

// A TIFF block encoded by Exiv2 from tags named by their Exiv2 keys
// ("Exif.Image.Make" = "Canon", "Exif.Photo.FNumber" = "28/10").
QByteArray exifBlock(const QMap<QString, QString> &tags);

QByteArray box(const char *type, const QByteArray &body);
QByteArray fullBox(const char *type, int version, quint32 flags, const QByteArray &body);

// A small real JPEG of `width` by `height` pixels, or of a given picture.
QByteArray jpeg(int width, int height);
QByteArray jpeg(const QImage &picture);

struct Heif
{
    QByteArray brand = "heic";
    int width = 4032;
    int height = 3024;
    int rotationSteps = 0;       // 'irot': quarter turns counter-clockwise
    QByteArray exif;             // a TIFF block, or empty
    QByteArray xmp;              // an XMP packet, or empty
    bool metadataInIdat = false; // items stored in the 'idat' box instead of the media data
    bool exifPrefix = true;      // the Exif item begins with "Exif\0\0" after its offset
};
QByteArray heif(const Heif &spec);

struct CanonRaw
{
    QByteArray ifd0;               // CMT1
    QByteArray exif;               // CMT2
    QByteArray makerNote;          // CMT3
    QByteArray gps;                // CMT4
    QByteArray thumbnail;          // a JPEG for the THMB box, or empty
    QByteArray preview;            // a JPEG for the PRVW box, or empty
    std::optional<qint64> created; // movie header creation, seconds since 1970 UTC
};
QByteArray canonRaw(const CanonRaw &spec);

struct Movie
{
    QByteArray brand = "isom";
    std::optional<qint64> created; // movie header creation, seconds since 1970 UTC
    int width = 1920;
    int height = 1080;
    int rotation = 0;                // clockwise quarter turns in the track matrix: 0, 90, 180, 270
    QMap<QString, QString> keys;     // QuickTime metadata keys ("com.apple.quicktime.make")
    QMap<QString, QString> userData; // user-data text atoms by four-character name ("©day")
    QList<QByteArray> jpegFrames;    // Motion-JPEG frames, one a second; empty: filler data
    bool withMovieBox = true;
    bool movieBoxFirst = true; // 'moov' before 'mdat', as cameras that rewrite the file do
};
QByteArray movie(const Movie &spec);

// A Sigma X3F raw: header, the property list (name, value texts) and an embedded JPEG preview
// (none when empty), the directory at the end.
QByteArray x3f(const QList<std::pair<QString, QString>> &properties, const QByteArray &preview,
               int width = 2640, int height = 1760);

// The byte 0xA9 that begins QuickTime's text atom names, followed by `rest`: "©day".
QString copyrightName(const char *rest);

} // namespace MediaFixtures
