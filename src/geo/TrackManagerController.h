#pragma once

#include "geo/MapPages.h"
#include "geo/Track.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class ThumbItem;

// The data half of the track manager: the store of loaded GPX files and their track summaries
// ("GPS/gpxfiles.plist" and "GPS/tracks.plist" under the application-support folder), the GPX
// reader, and the matching of image times against the tracks. One instance serves the whole
// process (sharedInstance()); the class-level geotag operations reach it through Geotag.h.
// Main thread only; nothing is locked.
class TrackManagerController
{
public:
    explicit TrackManagerController(const QString &presetsFolder);
    ~TrackManagerController();
    TrackManagerController(const TrackManagerController &) = delete;
    TrackManagerController &operator=(const TrackManagerController &) = delete;

    // The one process-wide instance: the installed one, else one over the application-support
    // folder made on first use. The application controller (or a test) may install its own;
    // nullptr goes back to the default.
    static TrackManagerController &sharedInstance();
    static void setSharedInstance(TrackManagerController *controller);

    // ---- the store
    // Reads both property lists once per run (creating the "GPS" folder on the way).
    void readData();
    // Replaces `tracks` by the summaries of "GPS/tracks.plist" (segments not read).
    void readTracks();
    // False when the file could not be written (also logged).
    bool saveTracks();
    // Writes both files when the store changed, then clears isDirty. False when either write
    // failed (each failure is also a system-log line).
    bool save();
    void removeTracksInFile(const QString &path);
    // Reads one GPX file. With setTracks its tracks that are new join `tracks`; without it
    // `trackpoints` is built from its last track. Known tracks get their segments either way.
    // Failure (unreadable or malformed file) shows an alert and leaves the store as it was.
    bool loadGPXFile(const QString &path, bool setTracks);

    // Adds GPX files as the track manager's add action does: one progress step per file
    // ("Loading %ld files."), "Track already loaded." for a listed path, failures alerted and
    // not listed; `gpxfiles` sorted afterwards. Answers the first path added, if any.
    std::optional<QString> addFiles(const QStringList &paths);
    // Forgets files and their tracks (paths not listed are ignored); marks the store dirty.
    void removeFiles(const QStringList &paths);
    // The listing of one file as the track manager shows it, "GPX file contains no tracks."
    // when the store knows none of its tracks.
    QString listing(const QString &path) const;

    // ---- what the track manager window shows
    struct Selection
    {
        QString listing;                // for the listing view
        std::optional<QString> mapFile; // the file whose map to draw, when any track was listed
    };
    // The file table's selection changed: one row in range lists that file's tracks (their
    // start and end points become the map's, the last listed track's winning); none or several
    // rows give an empty listing and no map.
    Selection selectRows(const QList<int> &rows);
    const std::optional<QString> &curGPXFileShowing() const { return m_curGPXFileShowing; }
    const Trkpt &curTrkptShowing() const { return m_curTrkptShowing; }
    const Trkpt &curTrkptShowingEnd() const { return m_curTrkptShowingEnd; }
    // "TrackMap.html" filled for the file on show: the file is read again without adding tracks
    // for its point list (a file that fails gives an empty line). nullopt without the page.
    std::optional<QString> showTrack(const QString &name, const QString &gpxfile,
                                     const QList<MapPages::Photo> &photos = {});
    // The row to select when the window opens with none selected: 0 when any track is known.
    std::optional<int> initialRow() const;

    QString presetsFolder() const { return m_presetsFolder; }
    QString gpxfilesPath() const { return m_gpxfilesPath; }
    QString tracksPath() const { return m_tracksPath; }
    QStringList &gpxfiles() { return m_gpxfiles; }
    std::vector<TrkPtr> &tracks() { return m_tracks; }
    bool isDirty() const { return m_isDirty; }
    void setDirty(bool dirty) { m_isDirty = dirty; }
    QString curGPXFile() const { return m_curGPXFile; }
    TrkPtr curTrk() const { return m_curTrk; }
    const QString &trackpoints() const { return m_trackpoints; }
    // The track with this file and name, or null.
    TrkPtr findTrack(const QString &gpxfile, const QString &name) const;

    // ---- matching
    // Places an image on the stored tracks by its capture time; the outcome (position and
    // gpsMessage) is left in the item. Without a zone value the item's "TimeZone" is used; an
    // unknown zone places nothing and says so. Only a GPS block holding a position counts as
    // the image's own ("Already geotagged").
    void geotag(ThumbItem &item, const std::optional<QString> &timeZone = std::nullopt);
    void resetTimeZoneWarning() { m_showTimeZoneWarning = true; }
    bool showTimeZoneWarning() const { return m_showTimeZoneWarning; }
    qint64 timeAdjustment() const { return m_timeAdjustment; }
    void setTimeAdjustment(qint64 seconds) { m_timeAdjustment = seconds; }

    // Flat-earth distance between two points in feet.
    static double distanceInFeet(const Trkpt &a, const Trkpt &b);
    // A zone's offset from GMT in seconds at 2011-01-01 00:00:00 UTC; 0 for an unknown name.
    static int zoneOffset(const QString &zoneName);
    // The image time on the tracks' scale for a "TimeZone" value ("Europe/Berlin DST").
    static double imageTime(double exifDatetime, const QString &zoneValue, qint64 adjustment);

    struct PointPair
    {
        const Trkpt *before = nullptr;
        const Trkpt *after = nullptr;
    };
    // The before- and after-points around t, walking the segments in order point by point.
    static PointPair findPointPairByWalk(const TrksegList &segments, double t);
    // The same answer, with a binary search over every segment whose times are in order.
    static PointPair findPointPair(const TrksegList &segments, double t);

private:
    void closeSegment();
    void closeTrack(bool setTracks);

    QString m_presetsFolder;
    QString m_gpxfilesPath;
    QString m_tracksPath;
    QStringList m_gpxfiles;
    std::vector<TrkPtr> m_tracks;
    bool m_isDirty = false;
    QString m_curGPXFile;
    TrkPtr m_curTrk;
    std::shared_ptr<Trkseg> m_curTrkseg;
    TrksegList m_curSegments; // the segments of the track element being read
    QString m_trackpoints;

    std::optional<QString> m_curGPXFileShowing;
    Trkpt m_curTrkptShowing;
    Trkpt m_curTrkptShowingEnd;

    qint64 m_timeAdjustment = 0;
    bool m_showTimeZoneWarning = false;
};
