#pragma once

#include "platform/ByteSource.h"

#include <QMap>
#include <QString>
#include <QStringList>

// Sigma's X3F raw files: the header (sensor size, rotation), the property list (camera, lens,
// exposure, date as texts) and the embedded JPEG preview, which newer bodies give an Exif
// block. Every offset is checked against the file.
namespace X3f {

struct Contents
{
    bool valid = false; // the header and the directory were found
    int width = 0;
    int height = 0;
    int rotation = 0;                  // clockwise degrees
    QMap<QString, QString> properties; // "CAMMANUF", "CAMMODEL", "ISO", "TIME", ...
    qint64 jpegOffset = -1;            // the largest embedded JPEG preview
    qint64 jpegLength = 0;
    QStringList problems;
};

bool looksLikeX3f(const QByteArray &head);
Contents read(const ByteSource &source);

} // namespace X3f
