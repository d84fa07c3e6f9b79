#pragma once

#include <QByteArray>

// Canon keeps the metadata of a CR3 raw (and of its newer movies) in four separate TIFF blocks:
// the first image directory, the Exif directory, the maker note and the GPS directory, each with
// its own header and offsets. joinCanonTiff() lays them into one TIFF whose first directory
// points to the Exif and GPS directories and whose Exif directory carries the maker note, so that
// an ordinary Exif decoder reads them as it reads a CR2 or a JPEG. Blocks in another byte order
// than the first, or damaged ones, are left out; an empty result means the first block is not
// a TIFF.
namespace CanonTiff {

QByteArray join(const QByteArray &ifd0, const QByteArray &exif, const QByteArray &makerNote,
                const QByteArray &gps);

} // namespace CanonTiff
