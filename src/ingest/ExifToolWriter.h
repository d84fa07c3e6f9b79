#pragma once

#include <QString>
#include <QStringList>

class ThumbItem;
struct MetadataWriteContext;

// Writes the item's position into the EXIF GPS fields of the file at `path` with ExifTool, run
// once per file with an argument vector (no shell) and its error stream in a private temporary
// file. True when there was nothing to do or the file was tagged (counted in
// `context.numTaggedByExifTool`); false after a reported failure, which sets `context.hadError`.
// The file's modification time is kept, so a later run still recognises it as a duplicate.
bool embedGPSFrom(const ThumbItem &item, const QString &path, MetadataWriteContext &context);

// The arguments ExifTool is given for a position and a file, in order.
QStringList exifToolGpsArguments(double lat, double lon, double ele, const QString &path);

// Tests and benchmarks name the program to run; an empty text goes back to looking it up.
void setExifToolProgramForTesting(const QString &program);
