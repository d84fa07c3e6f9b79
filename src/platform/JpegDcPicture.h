#pragma once

#include <QByteArray>
#include <QImage>

struct jpeg_decompress_struct;

// The eighth-scale picture of a JPEG straight from the DC coefficients of its first scan, when
// that scan holds every component: one pixel a block, the block's average. A progressive file
// is read no further than that scan (libjpeg would hold every coefficient of the whole picture,
// about 70 MB for 24 megapixels); in a sequential file the other coefficients are stepped over
// without being worked out, and the intervals between restart markers are shared out among the
// cores. Null for any other layout (several scans to a sequential file, 12-bit samples,
// arithmetic coding, colour models other than YCbCr and grey, restart markers out of place),
// for the caller to decode as usual.
namespace JpegDcPicture {

// `info` has read the header up to the first scan; that scan's data starts at `entropyStart`.
// A sequential scan without restart markers is read by two threads from `splitMinimumBytes` of
// data on (each from one half; the second finds its footing by itself).
QImage decode(const jpeg_decompress_struct &info, const QByteArray &data, qsizetype entropyStart,
              qsizetype splitMinimumBytes);

} // namespace JpegDcPicture
