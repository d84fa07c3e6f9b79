#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// The image-properties service: the properties of the first image in a file as nested groups
// ("{Exif}", "{TIFF}", "{GPS}", "{ExifAux}", "{MakerNikon}", "{MakerCanon}") and top-level keys
// ("PixelWidth", "PixelHeight", "DPIWidth", "DPIHeight", "Orientation", "ProfileName", ...).
// nullopt when the file cannot be read as an image. Safe to call from any thread.
namespace ImageProperties {

//
// Besides the kinds Exiv2 reads, it reads HEIF/HEIC/AVIF pictures, Canon CR3 raws, MP4/MOV
// movies (with a Canon .THM or Sony .XML sidecar beside them) and Sigma X3F raws. A damaged file
// gives what could be read; `problems`, when given, receives a short text for each part that
// could not be read (so the caller can name the file in a message).
std::optional<QVariantMap> exif(const QString &path, QStringList *problems = nullptr);
// The same for a file's bytes held in memory (a camera file, a download in progress).
std::optional<QVariantMap> fromData(const QByteArray &bytes, QStringList *problems = nullptr);

// Whether the properties hold a position of the image's own: a "{GPS}" group with a latitude
// and a longitude, each with its reference (N or S, E or W). Many cameras write a GPS block
// that holds only a version tag; such a block is no position.
bool hasPosition(const QVariantMap &properties);
// That position as signed degrees (south and west negative), when hasPosition holds.
struct Position
{
    double latitude = 0;
    double longitude = 0;
};
std::optional<Position> position(const QVariantMap &properties);

// One-time set-up of the Exiv2 library (quiet logging, the XMP toolkit with a lock for use from
// several threads). Call it before any other Exiv2 work in this program (Exiv2 sets the toolkit
// up without the lock otherwise); cheap after the first call and safe from any thread.
void initializeExiv2();

} // namespace ImageProperties
