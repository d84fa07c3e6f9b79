#pragma once

#include "geo/Track.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

#include <optional>

// The two map pages, "TrackMap.html" and "GeotagMap.html": reading them from the resources,
// filling their placeholders, and the rules by which the program answers what they ask for.
// The pages draw with the Leaflet copy in the resources (":/leaflet/") and fetch map tiles
// from the address in the preferences.
namespace MapPages {

// Where map tiles come from: an address with {z}, {x} and {y}, and the credit its provider
// asks for (HTML). The preferences "MapTileURL" and "MapTileAttribution".
struct Tiles
{
    QString url;
    QString attribution;
};
Tiles currentTiles();

// A known position of a selected image, marked on the maps.
struct Photo
{
    double lat = 0;
    double lon = 0;
    QString name;
};

// What the track map shows.
struct TrackMapFields
{
    Trkpt start;         // its latitude and longitude fill "@@@LAT@@@" and "@@@LON@@@"
    Trkpt end;           // "@@@LAT-END@@@" and "@@@LON-END@@@"
    QString trackName;   // "@@@TRACKNAME@@@": the file's last path component
    QString gpxfile;     // "@@@GPXFILE@@@": the full path
    QString trackpoints; // "@@@TRACK@@@": "[[lon, lat],...,]"
    QList<Photo> photos; // "@@@PHOTOS@@@"
    Tiles tiles;         // "@@@TILES@@@"
};

// A page of the resources (":/NAME") as UTF-8 text; nullopt when it cannot be read.
std::optional<QString> readPage(const QString &name);

// Replaces every "@@@NAME@@@" of the page whose NAME is a key of `values`, in one pass: text
// that a value brings in is never looked at again. Unknown placeholders stay as they are.
QString fillPlaceholders(const QString &page, const QMap<QString, QString> &values);

// The track map page filled: coordinates with six decimals, names HTML-escaped (they stand in
// the page's markup), photos and tiles as JSON.
QString fillTrackMap(const QString &page, const TrackMapFields &fields);
// The manual geotag page centred on lat, lon (texts put in exactly as they stand: the caller
// passes numbers); `chosen` is the position the window answers, marked with a pin (none: the
// centre).
QString fillGeotagMap(const QString &page, const QString &lat, const QString &lon,
                      const std::optional<std::pair<QString, QString>> &chosen = std::nullopt,
                      const QList<Photo> &photos = {}, const Tiles &tiles = currentTiles());

// "&", "<", ">", '"' and "'" as entities.
QString escapeHtml(const QString &text);
// JSON that can stand inside a <script> element ("<" written as \u003c).
QString jsonForScript(const QVariant &value);

// The page with Leaflet's script and style sheet written into it (its pictures as data
// addresses), so it needs nothing from the program: for a page opened in a web browser.
// nullopt when the Leaflet resources are missing.
std::optional<QString> inlineLeaflet(const QString &page);

// The page asks for the GPX file on show by an address whose path ends in ".gpx": the
// answer is the local file. Requests for other files are not redirected.
std::optional<QUrl> gpxRedirect(const QUrl &request, const QString &fileOnShow);

// The address a page navigated to, as the page wrote it. A "geotag://LON,LAT" address has a
// comma where QUrl expects a host name, so it arrives as an invalid QUrl that still carries
// the text in its error description.
QString addressText(const QUrl &url);

enum class Navigation { Load, Geotag, OpenExternally, Refuse };
// How a navigation of a map page is answered: "geotag://" addresses are the page's report of
// a click; the page itself (data, about, qrc and the program's own file) loads; a web link the
// user clicked (the tile provider's credit) opens in the web browser; anything else is refused
// so that the window never leaves its map.
Navigation decide(const QString &address, bool userClicked);

} // namespace MapPages
