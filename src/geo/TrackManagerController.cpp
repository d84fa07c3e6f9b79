#include "geo/TrackManagerController.h"

#include "geo/GpxReader.h"
#include "geo/TimeZoneValue.h"
#include "items/ThumbItem.h"
#include "log/ConsoleLog.h"
#include "platform/AppPaths.h"
#include "platform/DateReader.h"
#include "platform/Format.h"
#include "platform/ImageProperties.h"
#include "platform/PropertyList.h"
#include "platform/SystemLog.h"
#include "platform/UserInterface.h"

#include <QDir>
#include <QFile>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

const QString kUnnamedTrack = QStringLiteral("[Unnamed Track]");

TrackManagerController *g_installed = nullptr;
std::unique_ptr<TrackManagerController> g_own;

Trkpt pointFrom(const QVariantMap &entry, const QString &prefix)
{
    Trkpt point;
    point.lat = entry.value(prefix + QLatin1String("lat")).toDouble();
    point.lon = entry.value(prefix + QLatin1String("lon")).toDouble();
    point.ele = entry.value(prefix + QLatin1String("ele")).toDouble();
    point.time = entry.value(prefix + QLatin1String("time")).toDouble();
    return point;
}

void storePoint(QVariantMap &entry, const QString &prefix, const Trkpt &point)
{
    entry.insert(prefix + QLatin1String("lat"), point.lat);
    entry.insert(prefix + QLatin1String("lon"), point.lon);
    entry.insert(prefix + QLatin1String("ele"), point.ele);
    entry.insert(prefix + QLatin1String("time"), point.time);
}

// "2011-06-01 17:02:41 +0000", the way the listing shows an instant.
QString describeTime(double time)
{
    return DateReader::fromReference(time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
           QStringLiteral(" +0000");
}

} // namespace

bool Trkseg::isOrdered() const
{
    if (m_orderedData != trkpts.data() || m_orderedSize != trkpts.size()) {
        bool ordered = true;
        for (std::size_t i = 0; i < trkpts.size(); ++i) {
            // Written so that a NaN time counts as disorder.
            if (std::isnan(trkpts[i].time) || (i > 0 && !(trkpts[i - 1].time <= trkpts[i].time))) {
                ordered = false;
                break;
            }
        }
        m_ordered = ordered;
        m_orderedData = trkpts.data();
        m_orderedSize = trkpts.size();
    }
    return m_ordered;
}

const TrksegList &Trk::trksegs()
{
    static const TrksegList none;
    if (!trksegsHolder) {
        TrackManagerController &store =
            m_store ? *m_store : TrackManagerController::sharedInstance();
        store.loadGPXFile(gpxfile, true);
    }
    return trksegsHolder ? *trksegsHolder : none;
}

TrackManagerController::TrackManagerController(const QString &presetsFolder)
    : m_presetsFolder(presetsFolder)
{}

TrackManagerController::~TrackManagerController()
{
    // Tracks outlive their store when someone still holds them; they must not call back.
    for (const TrkPtr &track : m_tracks)
        if (track->store() == this)
            track->setStore(nullptr);
    if (g_installed == this)
        g_installed = nullptr;
}

TrackManagerController &TrackManagerController::sharedInstance()
{
    if (g_installed)
        return *g_installed;
    if (!g_own)
        g_own = std::make_unique<TrackManagerController>(AppPaths::supportFolder());
    return *g_own;
}

void TrackManagerController::setSharedInstance(TrackManagerController *controller)
{
    g_installed = controller;
}

void TrackManagerController::readData()
{
    if (!m_gpxfilesPath.isEmpty())
        return;
    const QDir folder(m_presetsFolder);
    m_gpxfilesPath = folder.filePath(QStringLiteral("GPS/gpxfiles.plist"));
    m_tracksPath = folder.filePath(QStringLiteral("GPS/tracks.plist"));
    AppPaths::ensureFolder(folder.filePath(QStringLiteral("GPS")));
    m_gpxfiles.clear();
    if (const auto list = PropertyList::read(m_gpxfilesPath)) {
        if (list->typeId() == QMetaType::QVariantList) {
            for (const QVariant &entry : list->toList())
                if (entry.typeId() == QMetaType::QString)
                    m_gpxfiles.append(entry.toString());
        }
    }
    readTracks();
}

void TrackManagerController::readTracks()
{
    m_tracks.clear();
    if (m_tracksPath.isEmpty())
        m_tracksPath = QDir(m_presetsFolder).filePath(QStringLiteral("GPS/tracks.plist"));
    const auto list = PropertyList::read(m_tracksPath);
    if (!list || list->typeId() != QMetaType::QVariantList)
        return;
    for (const QVariant &value : list->toList()) {
        // A damaged entry is passed over rather than turned into a track without a file.
        if (value.typeId() != QMetaType::QVariantMap)
            continue;
        const QVariantMap entry = value.toMap();
        auto track = std::make_shared<Trk>(this);
        track->gpxfile = entry.value(QStringLiteral("gpxfile")).toString();
        track->name = entry.value(QStringLiteral("name")).toString();
        track->start = pointFrom(entry, QStringLiteral("start-"));
        track->end = pointFrom(entry, QStringLiteral("end-"));
        m_tracks.push_back(std::move(track));
    }
}

bool TrackManagerController::saveTracks()
{
    QVariantList list;
    list.reserve(static_cast<qsizetype>(m_tracks.size()));
    for (const TrkPtr &track : m_tracks) {
        QVariantMap entry;
        entry.insert(QStringLiteral("gpxfile"), track->gpxfile);
        entry.insert(QStringLiteral("name"), track->name);
        storePoint(entry, QStringLiteral("start-"), track->start);
        storePoint(entry, QStringLiteral("end-"), track->end);
        list.append(entry);
    }
    if (m_tracksPath.isEmpty())
        m_tracksPath = QDir(m_presetsFolder).filePath(QStringLiteral("GPS/tracks.plist"));
    if (!PropertyList::writeXml(m_tracksPath, list)) {
        SystemLog::write(QStringLiteral("Failed to write tracks"));
        return false;
    }
    return true;
}

bool TrackManagerController::save()
{
    if (!m_isDirty)
        return true;
    if (m_gpxfilesPath.isEmpty())
        m_gpxfilesPath = QDir(m_presetsFolder).filePath(QStringLiteral("GPS/gpxfiles.plist"));
    AppPaths::ensureFolder(QDir(m_presetsFolder).filePath(QStringLiteral("GPS")));
    QVariantList files;
    for (const QString &path : std::as_const(m_gpxfiles))
        files.append(path);
    bool written = PropertyList::writeXml(m_gpxfilesPath, files);
    if (!written)
        SystemLog::write(QStringLiteral("Failed to write gpxfiles"));
    written = saveTracks() && written;
    m_isDirty = false;
    return written;
}

void TrackManagerController::removeTracksInFile(const QString &path)
{
    for (auto i = m_tracks.size(); i-- > 0;) {
        if (m_tracks[i]->gpxfile == path)
            m_tracks.erase(m_tracks.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

TrkPtr TrackManagerController::findTrack(const QString &gpxfile, const QString &name) const
{
    for (const TrkPtr &track : m_tracks)
        if (track->gpxfile == gpxfile && track->name == name)
            return track;
    return nullptr;
}

void TrackManagerController::closeSegment()
{
    if (m_curTrkseg && !m_curTrkseg->trkpts.empty() && m_curTrk)
        m_curSegments.push_back(m_curTrkseg);
    m_curTrkseg.reset();
}

void TrackManagerController::closeTrack(bool setTracks)
{
    if (!m_curTrk || m_curSegments.empty())
        return;
    // The segments are handed over only when the track element held any, so an empty element
    // of the same name later in the file (GPSBabel writes one) does not wipe the points.
    m_curTrk->trksegsHolder = std::move(m_curSegments);
    m_curSegments.clear();
    if (setTracks && std::find(m_tracks.begin(), m_tracks.end(), m_curTrk) == m_tracks.end())
        m_tracks.push_back(m_curTrk);
}

bool TrackManagerController::loadGPXFile(const QString &path, bool setTracks)
{
    m_curGPXFile = path;
    m_curTrk.reset();
    m_curTrkseg.reset();
    m_curSegments.clear();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        SystemLog::write(formatMessage("Error parsing GPX: failed to read file %@", path));
        UserInterface::instance().alert(QStringLiteral("Can't read file"), path);
        return false;
    }
    GpxReader reader;
    if (!reader.read(file)) {
        SystemLog::write(formatMessage("Error parsing GPX file: %@\n----------GPX: %@",
                                       reader.errorRecord(), path));
        UserInterface::instance().alert(formatMessage("Error parsing GPX file %@", path),
                                        reader.errorString());
        return false;
    }

    const std::vector<Trkpt> &points = reader.points();
    for (const GpxReader::Event &event : reader.events()) {
        switch (event.kind) {
        case GpxReader::Event::Trk: {
            closeSegment();
            closeTrack(setTracks);
            QString name = reader.names().at(event.index);
            if (name.isEmpty())
                name = kUnnamedTrack;
            m_curTrk = findTrack(path, name);
            if (!m_curTrk) {
                m_curTrk = std::make_shared<Trk>(this);
                m_curTrk->gpxfile = path;
                m_curTrk->name = name;
                m_curTrk->start.time = Trk::kDistantFuture;
                m_curTrk->end.time = Trk::kDistantPast;
            }
            m_curSegments.clear();
            m_curTrkseg.reset();
            break;
        }
        case GpxReader::Event::Trkseg:
            closeSegment();
            m_curTrkseg = std::make_shared<Trkseg>();
            break;
        case GpxReader::Event::Trkpt: {
            if (!m_curTrk)
                break;
            const Trkpt &point = points[event.index];
            if (point.time < m_curTrk->start.time)
                m_curTrk->start = point;
            if (point.time > m_curTrk->end.time)
                m_curTrk->end = point;
            if (m_curTrkseg)
                m_curTrkseg->trkpts.push_back(point);
            break;
        }
        case GpxReader::Event::UntimedTrkpt:
            break;
        }
    }
    closeSegment();
    closeTrack(setTracks);

    if (!setTracks) {
        QString text = QStringLiteral("[");
        if (m_curTrk && m_curTrk->trksegsHolder) {
            // "[%f, %f]," per point, written without regard to the user's locale.
            for (const auto &segment : *m_curTrk->trksegsHolder) {
                for (const Trkpt &point : segment->trkpts) {
                    text += QLatin1Char('[') + QString::number(point.lon, 'f', 6) +
                            QLatin1String(", ") + QString::number(point.lat, 'f', 6) +
                            QLatin1String("],");
                }
            }
        }
        text += QLatin1Char(']');
        m_trackpoints = text;
    }
    return true;
}

std::optional<QString> TrackManagerController::addFiles(const QStringList &paths)
{
    readData();
    std::optional<QString> firstAdded;
    ProgressOptions options;
    options.message = formatMessage("Loading %ld files.", static_cast<long>(paths.size()));
    options.max = static_cast<int>(paths.size());
    auto session = UserInterface::instance().beginProgress(options);
    for (const QString &path : paths) {
        if (session && !session->runOnce())
            break;
        if (session)
            session->step();
        if (m_gpxfiles.contains(path)) {
            UserInterface::instance().alert(QStringLiteral("Track already loaded."), path);
            continue;
        }
        if (!loadGPXFile(path, true))
            continue;
        m_gpxfiles.append(path);
        m_isDirty = true;
        if (!firstAdded)
            firstAdded = path;
    }
    std::stable_sort(m_gpxfiles.begin(), m_gpxfiles.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    if (session)
        session->end();
    return firstAdded;
}

void TrackManagerController::removeFiles(const QStringList &paths)
{
    readData();
    for (const QString &path : paths) {
        removeTracksInFile(path);
        m_gpxfiles.removeAll(path);
    }
    m_isDirty = true;
}

QString TrackManagerController::listing(const QString &path) const
{
    QString text = formatMessage("%@\n\n", path);
    bool any = false;
    for (const TrkPtr &track : m_tracks) {
        if (track->gpxfile != path)
            continue;
        any = true;
        text += formatMessage("Track %@\n", track->name);
        text += formatMessage("\tStart:\n\t\tLat %f\n\t\tLon %f\n\t\tAlt %f\n\t\t%@\n",
                              track->start.lat, track->start.lon, track->start.ele,
                              describeTime(track->start.time));
        text +=
            formatMessage("\tEnd:\n\t\tLat %f\n\t\tLon %f\n\t\tAlt %f\n\t\t%@\n", track->end.lat,
                          track->end.lon, track->end.ele, describeTime(track->end.time));
    }
    if (!any)
        text += QStringLiteral("GPX file contains no tracks.");
    return text;
}

TrackManagerController::Selection TrackManagerController::selectRows(const QList<int> &rows)
{
    m_curGPXFileShowing.reset();
    Selection selection;
    if (rows.size() != 1 || rows.first() < 0 || rows.first() >= m_gpxfiles.size())
        return selection;
    const QString path = m_gpxfiles.at(rows.first());
    m_curGPXFileShowing = path;
    bool any = false;
    for (const TrkPtr &track : m_tracks) {
        if (track->gpxfile != path)
            continue;
        any = true;
        for (auto [from, to] : {std::pair{&track->start, &m_curTrkptShowing},
                                std::pair{&track->end, &m_curTrkptShowingEnd}}) {
            to->lat = from->lat;
            to->lon = from->lon;
            to->ele = from->ele;
        }
    }
    selection.listing = listing(path);
    if (any)
        selection.mapFile = path;
    return selection;
}

std::optional<QString> TrackManagerController::showTrack(const QString &name,
                                                         const QString &gpxfile,
                                                         const QList<MapPages::Photo> &photos)
{
    // A file that can no longer be read must not leave the previous file's line in place.
    if (!loadGPXFile(gpxfile, false))
        m_trackpoints = QStringLiteral("[]");
    const std::optional<QString> page = MapPages::readPage(QStringLiteral("TrackMap.html"));
    if (!page)
        return std::nullopt;
    MapPages::TrackMapFields fields;
    fields.start = m_curTrkptShowing;
    fields.end = m_curTrkptShowingEnd;
    fields.trackName = name;
    fields.gpxfile = gpxfile;
    fields.trackpoints = m_trackpoints;
    fields.photos = photos;
    fields.tiles = MapPages::currentTiles();
    return MapPages::fillTrackMap(*page, fields);
}

std::optional<int> TrackManagerController::initialRow() const
{
    if (m_tracks.empty() || m_gpxfiles.isEmpty())
        return std::nullopt;
    return 0;
}

// ---- matching

double TrackManagerController::distanceInFeet(const Trkpt &a, const Trkpt &b)
{
    const float dy = static_cast<float>((b.lat - a.lat) * 69.1);
    const float dx = static_cast<float>(std::cos(a.lat / 57.3) * ((b.lon - a.lon) * 69.1));
    const double x = dx;
    const double y = dy;
    return std::sqrt(x * x + y * y) * 5280.0;
}

int TrackManagerController::zoneOffset(const QString &zoneName)
{
    const QTimeZone zone(zoneName.toUtf8());
    if (!zone.isValid())
        return 0;
    static const QDateTime instant(QDate(2011, 1, 1), QTime(0, 0), QTimeZone::utc());
    return zone.offsetFromUtc(instant);
}

double TrackManagerController::imageTime(double exifDatetime, const QString &zoneValue,
                                         qint64 adjustment)
{
    QString zone = zoneValue;
    bool dst = false;
    if (zone.endsWith(QLatin1String(" DST"))) {
        zone.chop(4);
        dst = true;
    }
    const int offset = zoneOffset(zone);
    return exifDatetime - static_cast<double>(offset + (dst ? 3600 : 0)) +
           static_cast<double>(adjustment);
}

TrackManagerController::PointPair
TrackManagerController::findPointPairByWalk(const TrksegList &segments, double t)
{
    PointPair pair;
    for (const auto &segment : segments) {
        for (const Trkpt &point : segment->trkpts) {
            if (t >= point.time)
                pair.before = &point;
            if (point.time >= t) {
                pair.after = &point;
                break;
            }
        }
        if (pair.before && pair.after)
            break;
    }
    return pair;
}

TrackManagerController::PointPair TrackManagerController::findPointPair(const TrksegList &segments,
                                                                        double t)
{
    if (std::isnan(t))
        return findPointPairByWalk(segments, t);
    PointPair pair;
    for (const auto &segment : segments) {
        const std::vector<Trkpt> &points = segment->trkpts;
        if (!segment->isOrdered()) {
            for (const Trkpt &point : points) {
                if (t >= point.time)
                    pair.before = &point;
                if (point.time >= t) {
                    pair.after = &point;
                    break;
                }
            }
        } else if (!points.empty()) {
            // In time order the walk stops at the first point at or after t; every point it
            // passed was before t, the last of them being the before-point.
            const auto first = std::lower_bound(
                points.begin(), points.end(), t,
                [](const Trkpt &point, double value) { return point.time < value; });
            if (first == points.end()) {
                pair.before = &points.back();
            } else {
                pair.after = &*first;
                if (first->time == t)
                    pair.before = &*first;
                else if (first != points.begin())
                    pair.before = &*(first - 1);
            }
        }
        if (pair.before && pair.after)
            break;
    }
    return pair;
}

void TrackManagerController::geotag(ThumbItem &item, const std::optional<QString> &timeZone)
{
    item.gpsMessage.clear();
    item.loadMetadata();
    // Only a real position counts: a GPS block with a version tag alone must still be matched.
    if (item.metadata && ImageProperties::hasPosition(*item.metadata)) {
        item.gpsMessage = QStringLiteral("Already geotagged");
        return;
    }
    readData();

    QString zone =
        timeZone ? *timeZone : item.metadataGenerated.value(QStringLiteral("TimeZone")).toString();
    if (zone.trimmed().isEmpty()) {
        if (m_showTimeZoneWarning) {
            UserInterface::instance().alert(
                QStringLiteral("TimeZone not set."),
                QStringLiteral(
                    "Local time zone will be assumed, but geotagging may be wrong or missing."));
            m_showTimeZoneWarning = false;
        }
        zone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    } else if (const std::optional<QString> known = TimeZoneValue::normalized(zone)) {
        zone = *known;
    } else {
        // An unknown zone would count as offset 0 and place the image hours away on the track.
        item.gpsMessage = TimeZoneValue::unknownZoneMessage(zone);
        logPrint("Image %@: %@\n", item.title(), item.gpsMessage);
        return;
    }
    const double t = imageTime(item.exifDatetime, zone, m_timeAdjustment);

    TrkPtr track;
    for (const TrkPtr &candidate : m_tracks) {
        if (candidate->start.time <= t && candidate->end.time >= t) {
            track = candidate;
            break;
        }
    }
    if (!track) {
        item.gpsMessage = QStringLiteral("Track not found");
        return;
    }
    const TrksegList &segments = track->trksegs();
    if (segments.empty()) {
        item.gpsMessage = QStringLiteral("Track found; before-point not found");
        return;
    }
    const PointPair pair = findPointPair(segments, t);
    if (!pair.before) {
        item.gpsMessage = QStringLiteral("Track found; before-point not found");
        return;
    }
    if (!pair.after) {
        item.gpsMessage = QStringLiteral("Track found; before-point found; after-point not found");
        return;
    }
    const Trkpt &before = *pair.before;
    const Trkpt &after = *pair.after;
    const double gap = after.time - before.time;
    const double distance = distanceInFeet(before, after);
    if (!(gap <= 1800.0 || distance < 200.0)) {
        item.gpsMessage = formatMessage(
            "Before and after points more than %.0f min. apart (%.1f min.)", 30.0, gap / 60.0);
        logPrint("Image %@: %@", item.title(), item.gpsMessage);
        return;
    }
    const double span = after.time - before.time;
    const double f = span == 0 ? 0.0 : (t - before.time) / span;
    item.gpsLat = before.lat + (after.lat - before.lat) * f;
    item.gpsLon = before.lon + (after.lon - before.lon) * f;
    item.gpsEle = before.ele + (after.ele - before.ele) * f;
    item.gpsMessage = QStringLiteral("Automatically geotagged");
}
