// The map pages as the program fills them, and the rules for what a page may ask for.
#include "GeoTestSupport.h"

#include "geo/MapPages.h"
#include "metadata/Prefs.h"

#include <QFile>
#include <QRegularExpression>

namespace {

// The placeholders of the track map that the store fills.
QStringList placeholdersIn(const QString &page)
{
    QStringList names;
    static const QRegularExpression placeholder(QStringLiteral("@@@[A-Z-]+@@@"));
    for (auto it = placeholder.globalMatch(page); it.hasNext();)
        names << it.next().captured();
    return names;
}

} // namespace

TEST_F(GeoTest, TrackMapIsFilledFromTheListedFile)
{
    const QByteArray segment = "<trkseg>" + trkpt(1, 2, "2011-06-01T10:00:00Z") +
                               trkpt(3, 4, "2011-06-01T10:10:00Z", "<ele>8.25</ele>") + "</trkseg>";
    // A name that looks like markup and like a placeholder must reach the page as text.
    const QString odd = writeGpx(QStringLiteral("it's <b>@@@LAT@@@<b> & \"more\".gpx"),
                                 "<trk><name>Walk</name>" + segment + "</trk>");
    const QString other =
        writeGpx("other.gpx", "<trk><name>Far</name><trkseg>" +
                                  trkpt(-33.5, 151.25, "2012-01-01T10:00:00Z") + "</trkseg></trk>");
    ASSERT_TRUE(store->addFiles({odd, other}).has_value());
    const int row = int(store->gpxfiles().indexOf(odd));

    const TrackManagerController::Selection selection = store->selectRows({row});
    ASSERT_EQ(selection.mapFile, odd);
    EXPECT_TRUE(selection.listing.startsWith(odd + QStringLiteral("\n\nTrack Walk\n")));
    EXPECT_EQ(store->curGPXFileShowing(), odd);
    EXPECT_DOUBLE_EQ(store->curTrkptShowingEnd().ele, 8.25);

    const auto page = store->showTrack(QStringLiteral("it's <b>@@@LAT@@@<b> & \"more\".gpx"), odd,
                                       {{51.5, -0.125, QStringLiteral("</script>IMG_1.JPG")}});
    ASSERT_TRUE(page.has_value());
    // What stays is the name's own text (title, name, file), never filled in.
    EXPECT_EQ(placeholdersIn(*page), QStringList(3, QStringLiteral("@@@LAT@@@")));
    EXPECT_TRUE(page->contains(QStringLiteral("var points = [[2.000000, 1.000000],[4.000000, "
                                              "3.000000],];")));
    EXPECT_TRUE(page->contains(QStringLiteral("var start = [1.000000, 2.000000];")));
    EXPECT_TRUE(page->contains(QStringLiteral("var end = [3.000000, 4.000000];")));
    EXPECT_TRUE(page->contains(QStringLiteral(
        "data-name=\"it&#39;s &lt;b&gt;@@@LAT@@@&lt;b&gt; &amp; &quot;more&quot;.gpx\"")));
    // The photo's name cannot end the script element that carries it.
    EXPECT_TRUE(page->contains(QStringLiteral("\"name\":\"\\u003c/script>IMG_1.JPG\"")));
    EXPECT_TRUE(page->contains(QStringLiteral("\"lon\":-0.125")));
    EXPECT_TRUE(page->contains(QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png")));

    // The tile address is the user's preference.
    Prefs::set(Prefs::MapTileURL, QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
    EXPECT_TRUE(store->showTrack("x", odd)->contains(QStringLiteral("http://127.0.0.1:9/")));
    Prefs::set(Prefs::MapTileURL, Prefs::MapTileURL.defaultValue);

    // Several rows or none: nothing on show. A file gone since: an empty line, never the
    // previous file's.
    EXPECT_EQ(store->selectRows({0, 1}).listing, QString());
    EXPECT_FALSE(store->selectRows({}).mapFile.has_value());
    EXPECT_FALSE(store->curGPXFileShowing().has_value());
    EXPECT_FALSE(store->selectRows({7}).mapFile.has_value());
    ASSERT_TRUE(QFile::remove(other));
    ui.clear();
    const int otherRow = int(store->gpxfiles().indexOf(other));
    ASSERT_EQ(store->selectRows({otherRow}).mapFile, other);
    const auto gone = store->showTrack("other.gpx", other);
    ASSERT_TRUE(gone.has_value());
    EXPECT_TRUE(gone->contains(QStringLiteral("var points = [];")));
    EXPECT_TRUE(gone->contains(QStringLiteral("var start = [-33.500000, 151.250000];")));
    EXPECT_EQ(ui.alertTexts(), QStringList{QStringLiteral("Can't read file: ") + other});
}

TEST_F(GeoTest, GeotagMapAndTheStandalonePage)
{
    const auto page = MapPages::readPage(QStringLiteral("GeotagMap.html"));
    ASSERT_TRUE(page.has_value());
    const QStringList names = placeholdersIn(*page);
    EXPECT_EQ(
        QSet<QString>(names.begin(), names.end()),
        (QSet<QString>{"@@@LAT@@@", "@@@LON@@@", "@@@CHOSEN@@@", "@@@PHOTOS@@@", "@@@TILES@@@"}));
    const QString filled =
        MapPages::fillGeotagMap(*page, "40.018801050331305", "-105.27821660042588",
                                std::make_pair(QString("1.5"), QString("-2")));
    EXPECT_TRUE(placeholdersIn(filled).isEmpty());
    EXPECT_TRUE(filled.contains(QStringLiteral("var centre = [40.018801050331305, "
                                               "-105.27821660042588];")));
    EXPECT_TRUE(filled.contains(QStringLiteral("{\"lat\":1.5,\"lon\":-2}")));
    EXPECT_FALSE(MapPages::readPage(QStringLiteral("NoSuchMap.html")).has_value());

    // Written for a web browser: Leaflet and its pictures inside, nothing asked of the program.
    const auto standalone = MapPages::inlineLeaflet(filled);
    ASSERT_TRUE(standalone.has_value());
    EXPECT_FALSE(standalone->contains(QStringLiteral("qrc:")));
    EXPECT_TRUE(standalone->contains(QStringLiteral("url(data:image/png;base64,")));
    EXPECT_TRUE(standalone->contains(QStringLiteral("Leaflet 1.9.4")));
    EXPECT_GT(standalone->size(), filled.size() + 100000);
}

TEST_F(GeoTest, WhatAMapPageMayAskFor)
{
    // A click comes back as "geotag://LON,LAT", which QUrl cannot hold as an address.
    const QUrl click(QStringLiteral("geotag://-105.2,40.0"));
    EXPECT_FALSE(click.isValid());
    EXPECT_EQ(MapPages::addressText(click), QStringLiteral("geotag://-105.2,40.0"));
    EXPECT_EQ(MapPages::decide(MapPages::addressText(click), true), MapPages::Navigation::Geotag);
    EXPECT_EQ(MapPages::decide("geotag://1,2", false), MapPages::Navigation::Geotag);

    using N = MapPages::Navigation;
    EXPECT_EQ(MapPages::decide("data:text/html;charset=UTF-8,x", false), N::Load);
    EXPECT_EQ(MapPages::decide("about:blank", false), N::Load);
    EXPECT_EQ(MapPages::decide("file:///tmp/x/map.html", false), N::Load);
    EXPECT_EQ(MapPages::decide("file:///etc/passwd", true), N::Refuse);
    EXPECT_EQ(MapPages::decide("https://www.openstreetmap.org/copyright", true), N::OpenExternally);
    EXPECT_EQ(MapPages::decide("https://example.org/", false), N::Refuse);
    EXPECT_EQ(MapPages::decide("javascript:alert(1)", true), N::Refuse);
    EXPECT_EQ(MapPages::decide(MapPages::addressText(QUrl("x-unknown:thing")), true), N::Refuse);

    // Only the file on show is answered from disk, its name quoted or not.
    const QString file = QStringLiteral("/home/me/it's a walk.gpx");
    const auto redirect = MapPages::gpxRedirect(
        QUrl(QStringLiteral("https://gpx.invalid/home/me/it's%20a%20walk.gpx")), file);
    ASSERT_TRUE(redirect.has_value());
    EXPECT_EQ(*redirect, QUrl::fromLocalFile(file));
    EXPECT_FALSE(MapPages::gpxRedirect(QUrl::fromLocalFile(file), file).has_value());
    EXPECT_FALSE(MapPages::gpxRedirect(QUrl("https://x/home/me/other.gpx"), file).has_value());
    EXPECT_FALSE(MapPages::gpxRedirect(QUrl("https://x/home/me/it's a walk.gpx"), QString()));
    EXPECT_FALSE(MapPages::gpxRedirect(QUrl("https://x/tile/1/2/3.png"), file).has_value());
}
