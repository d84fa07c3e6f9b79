#include "ingest/MetadataWriter.h"

#include "ingest/ExifToolWriter.h"
#include "ingest/JpegXmpMerger.h"
#include "ingest/XmpGenerator.h"
#include "ingest/XmpPacket.h"
#include "items/ThumbItem.h"
#include "log/ConsoleLog.h"
#include "log/IngestionLogController.h"
#include "platform/AtomicFile.h"
#include "platform/Format.h"
#include "platform/UserInterface.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <optional>
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

// Another image in the folder with the same base name and its own sidecar: a raw file of another
// make (IMG_1.CR2 beside IMG_1.NEF) or a ".jpeg". A ".jpg" carries its XMP inside.
bool sharesBaseName(const QString &copyPath)
{
    const QFileInfo info(copyPath);
    const QString base = info.completeBaseName();
    const QString prefix = base + QLatin1Char('.');
    for (const QString &name : QDir(info.path()).entryList(QDir::Files | QDir::Hidden)) {
        if (!name.startsWith(prefix) || name == info.fileName())
            continue;
        const QString extension = name.mid(prefix.size());
        if (extension.contains(QLatin1Char('.')))
            continue;
        if (extension.compare(QLatin1String("xmp"), Qt::CaseInsensitive) != 0 &&
            extension.compare(QLatin1String("xmpjpg"), Qt::CaseInsensitive) != 0 &&
            extension.compare(QLatin1String("jpg"), Qt::CaseInsensitive) != 0)
            return true;
    }
    return false;
}

void reportSidecarError(const ThumbItem &item, const QString &error)
{
    logPrint("\nERROR writing XMP sidecar for image %@: %@\n", item.title(), error);
    IngestionLogController::log("ERROR writing XMP sidecar for image %@: %@", item.title(), error);
    UserInterface::instance().alert(QStringLiteral("Error writing XMP sidecar."), error);
}

// The text to write at `path`: ours, or, when a sidecar is already there, that sidecar with ours
// merged in. Nullopt (after reporting it) when the existing one cannot be read or merged; it is
// then left as it is.
std::optional<QByteArray> sidecarText(const ThumbItem &item, const QString &path,
                                      const QByteArray &ours)
{
    QFile existing(path);
    if (!existing.exists())
        return ours;
    if (!existing.open(QIODevice::ReadOnly)) {
        reportSidecarError(item, existing.errorString());
        return std::nullopt;
    }
    QString why;
    const std::optional<QByteArray> merged = mergeXmpPackets(existing.readAll(), ours, &why);
    if (!merged)
        reportSidecarError(item, formatMessage("%@ was left unchanged: %@", path, why));
    return merged;
}

} // namespace

QString sidecarPathFor(const QString &copyPath)
{
    const QFileInfo info(copyPath);
    QString base = copyPath;
    if (!info.suffix().isEmpty())
        base.chop(info.suffix().size() + 1);
    const QString plain = base + QStringLiteral(".xmp");
    const QString full = copyPath + QStringLiteral(".xmp");
    if (QFileInfo::exists(full) || (QFileInfo::exists(plain) && sharesBaseName(copyPath)))
        return full;
    return plain;
}

QString existingSidecarFor(const QString &imagePath)
{
    const QString full = imagePath + QStringLiteral(".xmp");
    if (QFileInfo::exists(full))
        return full;
    const QFileInfo info(imagePath);
    QString base = imagePath;
    if (!info.suffix().isEmpty())
        base.chop(info.suffix().size() + 1);
    const QString plain = base + QStringLiteral(".xmp");
    return QFileInfo::exists(plain) ? plain : QString();
}

QString xmpPathFor(const QString &copyPath)
{
    const QFileInfo info(copyPath);
    QString base = copyPath;
    if (!info.suffix().isEmpty())
        base.chop(info.suffix().size() + 1);
    return base + (isJpg(copyPath) ? QStringLiteral(".xmpjpg") : QStringLiteral(".xmp"));
}

bool hasMetadataToWrite(const ThumbItem &item)
{
    return !item.metadataGenerated.isEmpty() || item.gpsLat != 0.0 || item.gpsLon != 0.0 ||
           item.gpsEle != 0.0;
}

bool embedsPositionInCopy(const ThumbItem &item)
{
    return (item.gpsLat != 0.0 || item.gpsLon != 0.0) && wantEmbeddedGPS();
}

std::optional<QByteArray> xmpToEmbedWhileCopying(const ThumbItem &item, const QString &copyPath,
                                                 const MetadataWriteContext &context)
{
    if (!isJpg(copyPath) || !hasMetadataToWrite(item))
        return std::nullopt;
    std::optional<QByteArray> text = buildXMPQuietly(item, context.xmpTemplate);
    // The merger takes the text up to its first zero byte.
    if (text) {
        const qsizetype zero = text->indexOf('\0');
        if (zero >= 0)
            text->truncate(zero);
    }
    return text;
}

bool writeMetadataAfterEmbedding(ThumbItem &item, const QString &copyPath,
                                 MetadataWriteContext &context)
{
    return writeGPSFrom(item, copyPath, context);
}

bool writeMetadataFor(ThumbItem &item, const QString &copyPath, MetadataWriteContext &context)
{
    if (!hasMetadataToWrite(item))
        return true;

    const std::optional<QString> xmp = buildXMP(item, context.xmpTemplate);
    if (!xmp)
        return false;

    const bool jpg = isJpg(copyPath);
    const QString xmpPath = jpg ? xmpPathFor(copyPath) : sidecarPathFor(copyPath);
    const std::optional<QByteArray> text =
        jpg ? std::optional<QByteArray>(xmp->toUtf8()) : sidecarText(item, xmpPath, xmp->toUtf8());
    if (!text)
        return false;
    QString error;
    if (!writeFileAtomically(xmpPath, *text, &error)) {
        reportSidecarError(item, error);
        return false;
    }
    setMode644(copyPath);
    setMode644(xmpPath);

    if (jpg)
        ++context.imageWrites;
    if (jpg && !mergeXmpIntoJpeg(copyPath)) {
        // The working file is never left beside the image (the merger keeps the text as a
        // proper sidecar when only the JPEG could not take it).
        QFile::remove(xmpPath);
        logPrint("\nERROR writing XMP to JPG %@\n", item.title());
        IngestionLogController::log("ERROR writing XMP to JPG %@", item.title());
        UserInterface::instance().alert(QStringLiteral("Error writing XMP to JPG."), QString());
        return false;
    }
    return writeGPSFrom(item, copyPath, context);
}

bool writeGPSFrom(ThumbItem &item, const QString &copyPath, MetadataWriteContext &context)
{
    if (!wantEmbeddedGPS())
        return true;
    if (embedsPositionInCopy(item))
        ++context.imageWrites;
    if (!embedGPSFrom(item, copyPath, context))
        context.hadError = true;
    return true;
}
