#pragma once

#include "platform/ByteSource.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// A reader for files built of ISO base media boxes: HEIF/HEIC/HIF and AVIF still pictures,
// Canon's CR3 raw files, and MP4/MOV/M4V/3GP movies. It reads only the boxes that carry
// metadata and embedded pictures (never the media data) and checks every size and offset
// against the file: a truncated or hostile file gives what could be read and a list of
// problems, never a read outside the file, an unbounded allocation or unbounded recursion.
namespace IsoMedia {

constexpr quint32 fourcc(const char (&s)[5])
{
    return (quint32(quint8(s[0])) << 24) | (quint32(quint8(s[1])) << 16) |
           (quint32(quint8(s[2])) << 8) | quint32(quint8(s[3]));
}

// The type's four characters; "©" stands for the 0xA9 byte of QuickTime's text atoms.
QString fourccText(quint32 type);

struct Box
{
    quint32 type = 0;
    qint64 offset = 0;     // of the header
    qint64 size = 0;       // header included
    qint64 bodyOffset = 0; // past the header (and past the 16-byte id of a 'uuid' box)
    QByteArray uuid;       // 'uuid' boxes: their 16-byte extended type

    qint64 end() const { return offset + size; }
    qint64 bodySize() const { return end() - bodyOffset; }
};

// The boxes laid end to end in [begin, end). Stops at the first header that is cut off or whose
// size leaves the range (that box is still returned, cut to the range, when `truncated` is
// given, which is then set).
QList<Box> children(const ByteSource &source, qint64 begin, qint64 end, bool *truncated = nullptr);

// True when the first bytes of a file (at least 12) look like a box file this reader knows.
bool looksLikeIsoMedia(const QByteArray &head);

enum class Kind { Unknown, Heif, Avif, CanonRaw, Movie };

// A run of bytes in the file.
struct Extent
{
    qint64 offset = 0;
    qint64 length = 0;
};

// An embedded JPEG picture (a raw file's thumbnail or preview, a movie's poster frame).
struct EmbeddedPicture
{
    Extent where;
    int width = 0; // 0 when the container does not say
    int height = 0;
};

struct Contents
{
    Kind kind = Kind::Unknown;
    quint32 majorBrand = 0;
    QList<quint32> compatibleBrands;

    // Pixel size of the main picture (HEIF primary item, movie's video track), before rotation.
    int width = 0;
    int height = 0;
    // The clockwise turn in degrees that shows the main picture upright (HEIF 'irot', a movie
    // track's matrix).
    int rotation = 0;
    // HEIF: the primary item carries its own rotation or mirroring (decoders apply it, so the
    // Exif orientation must not be applied again); without them the Exif orientation holds.
    bool transformed = false;

    // Still pictures: the Exif item as a TIFF block (header first) and the XMP packet.
    QByteArray exif;
    QByteArray xmp;
    // Canon raw (and Canon movies): the four TIFF blocks CMT1 (first directory), CMT2 (Exif),
    // CMT3 (maker note) and CMT4 (GPS); empty when absent.
    QByteArray canonTiff[4];
    // Embedded JPEG pictures, smallest first.
    QList<EmbeddedPicture> pictures;

    // Movies: the movie header's times as seconds since 1970-01-01 UTC (absent when the file
    // leaves them 0) and its duration in seconds.
    std::optional<qint64> created;
    std::optional<qint64> modified;
    double duration = 0;
    bool hasMovieHeader = false;
    // QuickTime text metadata by name: "©day", "©mak", "©mod", "©xyz" from the user data, and
    // "com.apple.quicktime.creationdate" and the like from the metadata keys.
    QMap<QString, QString> texts;

    // What could not be read, for a message naming the file; empty for a sound file.
    QStringList problems;
};

Contents read(const ByteSource &source);

} // namespace IsoMedia
