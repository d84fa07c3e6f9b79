#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// The preview a raw file keeps, through LibRaw, for the raw kinds whose previews Exiv2 does not
// find: turned as the file says, shrunk to fit `box`. A null image when there is none. Safe from
// several threads (one LibRaw context per call).
namespace RawPreview {

QImage picture(const QString &path, const QSize &box);

} // namespace RawPreview
