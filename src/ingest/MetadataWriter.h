#pragma once

#include <QString>

class ThumbItem;

// What one ingestion run shares with the metadata writers.
struct MetadataWriteContext
{
    QString xmpTemplate;         // the XMP template text, loaded by the driver at the run's start
    bool hadError = false;       // set when the geotag writer fails; the run stops before its next item
    int numTaggedByExifTool = 0; // files whose GPS tags ExifTool wrote without error
};

// Writes the item's generated metadata and position next to its copy at `copyPath`: an XMP
// sidecar, or the XMP merged into a JPEG, then the GPS tags. Answers false after a reported
// failure; the driver does not act on the answer (only `context.hadError` stops a run).
bool writeMetadataFor(ThumbItem &item, const QString &copyPath, MetadataWriteContext &context);
