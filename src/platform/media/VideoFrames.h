#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// A movie's first meaningful frame through FFmpeg: the first decoded frame of the main video
// stream that is not a near-uniform fade from black or white (within the first seconds), turned
// upright by the stream's display matrix and shrunk to fit `box`. A null image when the file has
// no decodable video; a damaged or hostile file is given up after a few seconds. Safe from
// several threads.
namespace VideoFrames {

QImage posterFrame(const QString &path, const QSize &box);

} // namespace VideoFrames
