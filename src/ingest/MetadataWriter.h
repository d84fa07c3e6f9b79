#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class ExifToolSession;
class ThumbItem;

// What one ingestion run shares with the metadata writers.
struct MetadataWriteContext
{
    QString xmpTemplate;   // the XMP template text, loaded by the driver at the run's start
    bool hadError = false; // set when the geotag writer fails; the run stops before its next item
    int numTaggedByExifTool = 0; // files whose GPS tags ExifTool wrote without error
    // Times a copy's own bytes were handed to a writer (the merger, ExifTool): a copy whose
    // count did not move still holds exactly the bytes it was copied with.
    int imageWrites = 0;
    // One ExifTool kept open for the run instead of one start per file; it ends with the last
    // copy of the context.
    bool keepExifToolOpen = true;
    std::shared_ptr<ExifToolSession> exifToolSession;
};

// Writes the item's generated metadata and position next to its copy at `copyPath`: an XMP
// sidecar, or the XMP merged into a JPEG, then the GPS tags. Answers false after a reported
// failure, which leaves no working file behind; the driver counts such files but goes on (only
// `context.hadError` stops a run).
bool writeMetadataFor(ThumbItem &item, const QString &copyPath, MetadataWriteContext &context);

// True when writeMetadataFor has anything to write for the item (it then makes the copy 0644).
bool hasMetadataToWrite(const ThumbItem &item);
// True when ExifTool will write the item's position into its copy.
bool embedsPositionInCopy(const ThumbItem &item);

// The XMP text that the ".jpg" copy at `copyPath` is to carry inside, when the copy can be
// written with it in one pass: metadata to write, and a well-formed text. Nullopt otherwise (the
// copy is then made plain and writeMetadataFor does the rest, with its reports).
std::optional<QByteArray> xmpToEmbedWhileCopying(const ThumbItem &item, const QString &copyPath,
                                                 const MetadataWriteContext &context);
// What remains of writeMetadataFor for a JPEG copied with its XMP inside: the GPS tags.
bool writeMetadataAfterEmbedding(ThumbItem &item, const QString &copyPath,
                                 MetadataWriteContext &context);

// Runs the ExifTool geotag writer when the user default "WantEmbeddedGPS" is on; its failure
// sets `context.hadError`. Always answers true.
bool writeGPSFrom(ThumbItem &item, const QString &copyPath, MetadataWriteContext &context);

// Where the XMP text of a ".jpg" copy (any letter case) is written before it is merged into
// the JPEG: "<base>.xmpjpg".
QString xmpPathFor(const QString &copyPath);

// The sidecar of any other copy. "<base>.xmp" in the common case, which every program reads.
// When that name already belongs to another image of the same base name (IMG_1.CR2 beside
// IMG_1.NEF), or "<name>.xmp" is already there, it is "<name>.xmp" ("IMG_1.NEF.xmp"), the other
// name programs look for, so two raws never share one sidecar. A sidecar that is already there
// is merged with the new text, never replaced.
QString sidecarPathFor(const QString &copyPath);

// The sidecar that stands beside an image: "<name>.xmp" when there is one, else "<base>.xmp"
// when there is one, else empty.
QString existingSidecarFor(const QString &imagePath);
