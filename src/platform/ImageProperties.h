#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

// The image-properties service: the properties of the first image in a file as nested groups
// ("{Exif}", "{TIFF}", "{GPS}", "{ExifAux}", "{MakerNikon}", "{MakerCanon}") and top-level keys
// ("PixelWidth", "PixelHeight", "DPIWidth", "DPIHeight", "Orientation", "ProfileName", ...).
// nullopt when the file cannot be read as an image. Safe to call from any thread.
namespace ImageProperties {

std::optional<QVariantMap> exif(const QString &path);

// One-time set-up of the Exiv2 library (quiet logging, the XMP toolkit) for everything in this
// program that opens files with Exiv2; cheap after the first call and safe from any thread.
void initializeExiv2();

} // namespace ImageProperties
