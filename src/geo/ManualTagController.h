#pragma once

#include "geo/MapPages.h"
#include "items/ThumbItem.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

// The data half of the manual geotag window: the position on show (`lat`, `lon`, decimal
// degrees as text), where the map is centred, the remembered location ("TagLat", "TagLon"),
// the page's "geotag://LON,LAT" reports, pasted coordinates, and what the main window does with
// the answer. One instance for the run, made on first use; main thread only.
class ManualTagController
{
public:
    static const QString kTagLat;
    static const QString kTagLon;
    static const QString kDefaultLat; // "40.018801050331305"
    static const QString kDefaultLon; // "-105.27821660042588"

    static ManualTagController &shared();
    // Forgets the instance, as at the start of a run (tests).
    static void reset();

    // Opening: on the first use `lat` and `lon` come from the given current location ("%f"),
    // or from "TagLat"/"TagLon" (or their defaults) when both are 0; later uses keep the values
    // of the previous one. The map is centred on them.
    void open(double currentLat, double currentLon);
    bool wasOpened() const { return m_opened; }

    QString lat() const { return m_lat; }
    QString lon() const { return m_lon; }
    QString mapLat() const { return m_mapLat; }
    QString mapLon() const { return m_mapLon; }
    // Positions of the selected images, marked on the map.
    void setPhotos(const QList<MapPages::Photo> &photos) { m_photos = photos; }

    // "GeotagMap.html" centred on the map position, with a pin at `lat`, `lon`; nullopt when
    // the page is missing.
    std::optional<QString> page() const;

    // The page navigated to `address`. A "geotag://LON,LAT" address is taken (true: `lat`,
    // `lon` changed) when it holds exactly two parts that are a longitude and a latitude.
    bool takeAddress(const QString &address);

    // Pasted text moves the map (true) when it holds a latitude and a longitude in decimal
    // degrees, each followed by a degree sign ("40.0188° -105.2782°", also with N/S/E/W);
    // degrees, minutes and seconds get the alert that says so. `lat` and `lon` do not change.
    bool pasteLocation(const QString &text);

    // "TagLat" := lat, "TagLon" := lon.
    void saveLocation();
    // OK saves the location; the window closes (true) unless the alternate key is held.
    bool ok(bool alternateHeld);
    // Cancel saves the location too.
    void cancel();
    // What the window answers on OK: (latitude, longitude).
    QStringList answer() const { return {m_lat, m_lon}; }

    // The main window's part: no selection gets the alert "Select one or more images." (true:
    // refused, the window does not open).
    static bool refuseEmptySelection(const QList<int> &rows);
    // A two-number answer is written into every selected item inside the list as a manual
    // position, and the "%ld %@ geotagged." alert follows; false (nothing changed) otherwise.
    static bool applyAnswer(const ThumbItemList &items, const QList<int> &rows,
                            const std::optional<QStringList> &answer);
    // The known positions of the selected items (a manual one, a matched one, or the one the
    // file carries), for the maps.
    static QList<MapPages::Photo> photosOf(const ThumbItemList &items, const QList<int> &rows);

    // A latitude (|v| <= 90) or longitude (|v| <= 180) written as a plain decimal number.
    static std::optional<double> coordinate(const QString &text, double limit);

private:
    ManualTagController() = default;

    bool m_opened = false;
    QString m_lat;
    QString m_lon;
    QString m_mapLat;
    QString m_mapLon;
    QList<MapPages::Photo> m_photos;
};
