#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Previews of image files at a requested size: the smallest embedded preview that covers the
// size, else a scaled decode of the picture itself, else the largest embedded preview (raw
// files Qt cannot decode), else the file-type icon. The result is turned upright by the EXIF
// orientation and fits the requested size (never enlarged). Canon CR3 and Sigma X3F raws show
// their embedded previews; HEIF/AVIF pictures and movies need the decoders below (movies get
// film perforations down their sides). Safe to call from worker threads.
namespace Thumbnailer {

QImage preview(const QString &path, const QSize &size);

// The quickest picture a file offers: the embedded picture preview() would use, or failing
// that the largest the file holds (for most JPEGs the small EXIF thumbnail), upright and fitted
// to `size`; read from the head of the file, never a decode of the photograph itself. Null when
// the file holds none (or is of a kind Exiv2 does not read). `complete` tells whether it is
// already the picture preview() gives.
QImage quickPicture(const QString &path, const QSize &size, bool *complete);

// The same picture without the icon: a null image when the file holds nothing that decodes
// (an image viewer shows its own placeholder then).
QImage picture(const QString &path, const QSize &size);

// Decoders of kinds the core does not link. Each answers an upright picture that fits the box,
// or a null image. Set once at start (src/platform/media installs them), before any preview;
// without them HEIF pictures show the file-type icon and movies their camera's poster picture
// (a Canon .THM beside them, or one kept inside) when there is one.
struct Decoders
{
    QImage (*heif)(const QString &path, const QSize &box) = nullptr;
    QImage (*videoFrame)(const QString &path, const QSize &box) = nullptr;
    // Raw files whose previews Exiv2 does not find (tried only for raw file extensions).
    QImage (*rawPreview)(const QString &path, const QSize &box) = nullptr;
};
void setDecoders(const Decoders &decoders);

// A movie's picture marked as one: film perforations down both sides.
QImage withFilmBadge(const QImage &frame);

// The generic file-type icon, drawn to fit `size`.
QImage fileIcon(const QSize &size);

} // namespace Thumbnailer
