#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class TrackManagerController;

// One track point: a plain record. `time` is seconds since 2001-01-01 00:00:00 UTC.
struct Trkpt
{
    double lat = 0;
    double lon = 0;
    double ele = 0;
    double time = 0;
};

// One track segment: its points in file order. The points are filled by the GPX reader and
// read-only afterwards; the matcher remembers whether their times are in order.
struct Trkseg
{
    std::vector<Trkpt> trkpts;

    // True when every point's time is at or after the previous one's (NaN counts as disorder).
    // Cached for the current contents of `trkpts`.
    bool isOrdered() const;

private:
    mutable const Trkpt *m_orderedData = nullptr;
    mutable std::size_t m_orderedSize = 0;
    mutable bool m_ordered = false;
};

using TrksegList = std::vector<std::shared_ptr<Trkseg>>;

// One GPX track, identified by (`gpxfile`, `name`). Its segments are read from the file only
// when first asked for, through the store that owns it.
class Trk
{
public:
    // Instants beyond every real time: the start and end of a track before its first point.
    static constexpr double kDistantFuture = 63113904000.0; // 4001-01-01
    static constexpr double kDistantPast = -63114076800.0;  // 0001-01-01

    explicit Trk(TrackManagerController *store = nullptr) : m_store(store) {}

    QString gpxfile;
    QString name;
    std::optional<TrksegList> trksegsHolder;
    Trkpt start;
    Trkpt end;

    // The segments, reading the GPX file on first use; empty when the file can't be read or no
    // longer holds a track of this name (it is tried again on the next use).
    const TrksegList &trksegs();

    TrackManagerController *store() const { return m_store; }
    void setStore(TrackManagerController *store) { m_store = store; }

private:
    TrackManagerController *m_store;
};

using TrkPtr = std::shared_ptr<Trk>;
