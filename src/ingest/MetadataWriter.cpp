#include "ingest/MetadataWriter.h"

#include "items/ThumbItem.h"
#include "ingest/ExifToolWriter.h"
#include "ingest/JpegXmpMerger.h"
#include "ingest/XmpGenerator.h"
#include "log/ConsoleLog.h"
#include "log/IngestionLogController.h"
#include "platform/AtomicFile.h"
#include "platform/UserInterface.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

namespace {

bool isJpg(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0;
}

void setMode644(const QString &path)
{
    if (::chmod(QFile::encodeName(path).constData(), 0644) != 0)
        logPrint("ERROR changing mode of file %@; (errno=%d)\n", path, errno);
}

} // namespace

QString xmpPathFor(const QString &copyPath)
{
    const QFileInfo info(copyPath);
    QString base = copyPath;
    if (!info.suffix().isEmpty())
        base.chop(info.suffix().size() + 1);
    return base + (isJpg(copyPath) ? QStringLiteral(".xmpjpg") : QStringLiteral(".xmp"));
}

bool writeMetadataFor(ThumbItem &item, const QString &copyPath, MetadataWriteContext &context)
{
    if (item.metadataGenerated.isEmpty() && item.gpsLat == 0.0 && item.gpsLon == 0.0 &&
        item.gpsEle == 0.0)
        return true;

    const std::optional<QString> xmp = buildXMP(item, context.xmpTemplate);
    if (!xmp)
        return false;

    const QString xmpPath = xmpPathFor(copyPath);
    QString error;
    if (!writeFileAtomically(xmpPath, xmp->toUtf8(), &error)) {
        logPrint("\nERROR writing XMP sidecar for image %@: %@\n", item.title(), error);
        IngestionLogController::log("ERROR writing XMP sidecar for image %@: %@", item.title(),
                                    error);
        UserInterface::instance().alert(QStringLiteral("Error writing XMP sidecar."), error);
        return false;
    }
    setMode644(copyPath);
    setMode644(xmpPath);

    if (isJpg(copyPath) && !mergeXmpIntoJpeg(copyPath)) {
        logPrint("\nERROR writing XMP to JPG %@\n", item.title());
        IngestionLogController::log("ERROR writing XMP to JPG %@", item.title());
        UserInterface::instance().alert(QStringLiteral("Error writing XMP to JPG."), QString());
        return false;
    }
    return writeGPSFrom(item, copyPath, context);
}

bool writeGPSFrom(ThumbItem &item, const QString &copyPath, MetadataWriteContext &context)
{
    if (wantEmbeddedGPS() && !embedGPSFrom(item, copyPath, context))
        context.hadError = true;
    return true;
}
