#pragma once

#include <QString>

#include <memory>

class ExifToolSession;
class ThumbItem;

// What one ingestion run shares with the metadata writers.
struct MetadataWriteContext
{
    QString xmpTemplate;   // the XMP template text, loaded by the driver at the run's start
    bool hadError = false; // set when the geotag writer fails; the run stops before its next item
    int numTaggedByExifTool = 0; // files whose GPS tags ExifTool wrote without error
    // One ExifTool kept open for the run instead of one start per file; it ends with the last
    // copy of the context.
    bool keepExifToolOpen = true;
    std::shared_ptr<ExifToolSession> exifToolSession;
};

// Writes the item's generated metadata and position next to its copy at `copyPath`: an XMP
// sidecar, or the XMP merged into a JPEG, then the GPS tags. Answers false after a reported
// failure; the driver does not act on the answer (only `context.hadError` stops a run).
bool writeMetadataFor(ThumbItem &item, const QString &copyPath, MetadataWriteContext &context);

// Runs the ExifTool geotag writer when the user default "WantEmbeddedGPS" is on; its failure
// sets `context.hadError`. Always answers true.
bool writeGPSFrom(ThumbItem &item, const QString &copyPath, MetadataWriteContext &context);

// Where the XMP text of a copy is written: "<base>.xmpjpg" for a ".jpg" copy (any letter case),
// which is then merged into the JPEG, else the sidecar "<base>.xmp".
QString xmpPathFor(const QString &copyPath);
