#pragma once

#include <QByteArray>
#include <QImage>

struct jpeg_decompress_struct;

// The eighth-scale picture of a progressive JPEG straight from its first scan, when that scan
// carries the DC coefficients of every component (as encoders write progressive files): one
// pixel a block, the block's average, with nothing else of the file read. libjpeg would hold
// every coefficient of the whole picture in memory to give the same picture (about 70 MB for
// 24 megapixels, most of the time spent clearing it). Null for any other layout (restart
// markers, 12-bit samples, colour models other than YCbCr and grey), for the caller to decode
// as usual.
namespace JpegDcPicture {

// `info` has read the header up to the first scan; that scan's data starts at `entropyStart`.
QImage decode(const jpeg_decompress_struct &info, const QByteArray &data, qsizetype entropyStart);

} // namespace JpegDcPicture
