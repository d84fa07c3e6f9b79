#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// HEIF/HEIC/HIF and AVIF pictures through libheif: the smallest stored thumbnail that covers
// `box`, else the main picture, turned as the file says and shrunk to fit `box`. A null image
// when the file cannot be decoded. Safe from several threads (one decoder context per call).
namespace HeifDecoder {

QImage picture(const QString &path, const QSize &box);

} // namespace HeifDecoder
