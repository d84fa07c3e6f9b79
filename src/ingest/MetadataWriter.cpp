#include "ingest/MetadataWriter.h"

bool writeMetadataFor(ThumbItem &item, const QString &copyPath, MetadataWriteContext &context)
{
    Q_UNUSED(item);
    Q_UNUSED(copyPath);
    Q_UNUSED(context);
    return true; // the XMP and GPS writers take this over
}
