#pragma once

#include "items/CameraFile.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

// One image offered for ingestion: a file on disk (path item) or a file on a camera (camera
// item). It reads its image properties lazily, carries the user's edits and the values the
// ingestion computes for it, and the flags the browser shows. Main thread only.
class ThumbItem
{
public:
    enum class RepresentationType { Path, Image };

    // A path item for a file; its modification time is taken now, its properties later.
    static std::shared_ptr<ThumbItem> initWithPath(const QString &path);
    // A camera item showing `bitmap` (a null image gives an empty 0x0 image); metadata empty.
    static std::shared_ptr<ThumbItem> initWithImage(const HeldImage &bitmap);

    // "yyyy-MM-dd HH:mm:ss" in local time.
    static QString stringFromDate(const QDateTime &date);
    // The image properties of a file (nested groups, see ImageProperties), or nullopt.
    static std::optional<QVariantMap> exif(const QString &path);

    QString title() const;
    QString modTime() const;
    // Path items: reads the properties once (an unreadable file stores an empty map).
    void loadMetadata();
    // Path items: the 500x500 preview, made on first use (null in programs that install no
    // picture makers, HeldImage.h). Camera items: `image`.
    HeldImage thumbnail();
    // `filter` holds lower-case extensions; empty means every file is offered.
    void setExclusionFlag(const QSet<QString> &filter);

    bool isCameraItem() const { return representationType == RepresentationType::Image; }

    // What the image browser asks of every item.
    QString imageUID() const;
    RepresentationType imageRepresentationType() const { return representationType; }
    QVariant imageRepresentation() const;
    QString imageTitle() const { return title(); }

    // Properties kept under their design names.
    QString path;
    HeldImage image;
    CameraFilePtr cameraFile;
    RepresentationType representationType = RepresentationType::Path;
    std::optional<QString> modTimeHolder;
    std::optional<QVariantMap> metadata;
    std::optional<QVariantMap> metadataUser;
    QVariantMap metadataGenerated;
    bool checked = false;
    bool ingested = false;
    bool excluded = false;
    QString targetSubFolder;
    QString targetFilename;
    QString shoot;
    qint64 index = 0;
    double gpsLat = 0;
    double gpsLon = 0;
    double gpsEle = 0;
    QString gpsMessage;
    double gpsLatTemp = 0;
    double gpsLonTemp = 0;
    bool gpsManuallyGeotagged = false;
    double exifDatetime = 0;
    // Path items: files that travel with this one (a movie's .THM or Sony .XML, Companions.h).
    QStringList companions;

    // Counts property reads of path items (tests check that a file is read at most once).
    int metadataReads = 0;
    // Bumped by thumbnail() when it makes the picture; imageUID() also follows image.cacheKey(),
    // so assigning a new `image` directly changes the identity as well.
    quint64 imageGeneration = 0;
};

using ThumbItemPtr = std::shared_ptr<ThumbItem>;
using ThumbItemList = QList<ThumbItemPtr>;
