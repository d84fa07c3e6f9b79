#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// JPEG pictures decoded by libjpeg straight at the smallest DCT scale (n/8) whose picture still
// covers the size asked for, so a 24-megapixel photograph becomes a picture of a few hundred
// pixels without its full-size pixels ever being made. Two shortcuts on top: a picture wanted at
// 1/8 comes from the DC coefficients alone (JpegDcPicture), and a large baseline file with
// restart markers wanted larger is decoded in horizontal bands on several threads, each band
// starting at a marker.
// Safe to call from any thread.
namespace ScaledJpeg {

// The picture of JPEG data, in the file's stored orientation, shrunk to fit `box` (never
// enlarged): decoded at the scale just large enough, then smoothed the rest of the way. Null when
// the data is not a JPEG this decoder takes (CMYK and other colour models are left to other
// decoders) or is damaged before its first picture row; data cut short gives what decodes,
// the missing part grey, as other viewers show it.
QImage decode(const QByteArray &data, const QSize &box);
// The same, with bands (and the two halves of a file without restart markers wanted at 1/8)
// tried from `bandedMinimumBytes` of picture data on (tests and fuzzing reach them with small
// files this way).
QImage decode(const QByteArray &data, const QSize &box, qsizetype bandedMinimumBytes);

// The same for a file, read with plain reads (never mapped: a card pulled out mid-read must
// give an error, not a crash).
QImage decodeFile(const QString &path, const QSize &box);

// Whether data begins like a JPEG stream.
bool looksLikeJpeg(const QByteArray &head);

} // namespace ScaledJpeg
