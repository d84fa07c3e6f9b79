// The data half of manual geotagging: where the window starts, what a click and a paste do,
// what is remembered, and what the main window writes into the selected images.
#include "GeoTestSupport.h"

#include "geo/ManualTagController.h"
#include "platform/Defaults.h"

namespace {

class ManualTagTest : public GeoTest
{
protected:
    void SetUp() override
    {
        GeoTest::SetUp();
        ManualTagController::reset();
        Defaults::remove(ManualTagController::kTagLat);
        Defaults::remove(ManualTagController::kTagLon);
    }
    void TearDown() override
    {
        ManualTagController::reset();
        GeoTest::TearDown();
    }
};

ThumbItemList someItems(int count)
{
    ThumbItemList items;
    for (int i = 0; i < count; ++i)
        items << ThumbItem::initWithPath(QStringLiteral("/card/IMG_%1.JPG").arg(i));
    return items;
}

} // namespace

TEST_F(ManualTagTest, FirstOpeningPicksTheStartLaterOnesKeepThePosition)
{
    // No fix and nothing saved: the built-in location, exactly as written.
    ManualTagController &tag = ManualTagController::shared();
    tag.open(0, 0);
    EXPECT_EQ(tag.lat(), QStringLiteral("40.018801050331305"));
    EXPECT_EQ(tag.lon(), QStringLiteral("-105.27821660042588"));
    // A later opening in the run ignores the fix.
    tag.open(51.5, -0.12);
    EXPECT_EQ(tag.lat(), QStringLiteral("40.018801050331305"));

    // A fix on the first opening: six decimals.
    ManualTagController::reset();
    ManualTagController::shared().open(51.5, -0.12);
    EXPECT_EQ(ManualTagController::shared().lat(), QStringLiteral("51.500000"));
    EXPECT_EQ(ManualTagController::shared().lon(), QStringLiteral("-0.120000"));

    // The saved location; a damaged value (it would land in the page's script) is not used.
    Defaults::set(ManualTagController::kTagLat, QStringLiteral("-33.85"));
    Defaults::set(ManualTagController::kTagLon, QStringLiteral("151.2]; alert(1); ["));
    ManualTagController::reset();
    ManualTagController::shared().open(0, 0);
    EXPECT_EQ(ManualTagController::shared().lat(), QStringLiteral("-33.85"));
    EXPECT_EQ(ManualTagController::shared().lon(), QStringLiteral("-105.27821660042588"));
}

TEST_F(ManualTagTest, ClicksPastesAndTheRememberedLocation)
{
    ManualTagController &tag = ManualTagController::shared();
    tag.open(0, 0);

    // The page reports a click longitude first.
    EXPECT_TRUE(tag.takeAddress(QStringLiteral("geotag://-105.2,40.0")));
    EXPECT_EQ(tag.lat(), QStringLiteral("40.0"));
    EXPECT_EQ(tag.lon(), QStringLiteral("-105.2"));
    for (const char *ignored :
         {"geotag://1,2,3", "geotag://-105.2", "geotag://x,1", "geotag://1,95", "geotag://181,1",
          "geotag://1,2);alert(1", "https://1,2"})
        EXPECT_FALSE(tag.takeAddress(QString::fromUtf8(ignored))) << ignored;
    EXPECT_EQ(tag.lat(), QStringLiteral("40.0"));

    // Degrees, minutes and seconds: the alert, nothing moves.
    const QString before = tag.mapLat();
    EXPECT_FALSE(tag.pasteLocation(QStringLiteral("40°1'7.68\"N 105°16'41.58\"W")));
    EXPECT_FALSE(tag.pasteLocation(QStringLiteral("40° 1\u2032 N")));
    ASSERT_EQ(ui.alerts.size(), 2);
    EXPECT_EQ(ui.alerts[0].title,
              QStringLiteral("Pasted coordinates appear to be in degrees, minutes, and seconds."));
    EXPECT_EQ(ui.alerts[0].message, QStringLiteral("Make sure the source app (e.g., Google Earth) "
                                                   "has its preferences set to Decimal Degrees."));
    EXPECT_EQ(tag.mapLat(), before);
    // No degree sign: nothing at all.
    ui.clear();
    EXPECT_FALSE(tag.pasteLocation(QStringLiteral("40.5 -105.25")));
    EXPECT_TRUE(ui.alerts.isEmpty());

    // Decimal degrees move the map, not the chosen position.
    EXPECT_TRUE(tag.pasteLocation(QStringLiteral(" 40.5°\n -105.25° ")));
    EXPECT_EQ(tag.mapLat(), QStringLiteral("40.5"));
    EXPECT_EQ(tag.mapLon(), QStringLiteral("-105.25"));
    EXPECT_EQ(tag.lat(), QStringLiteral("40.0"));
    const auto page = tag.page();
    EXPECT_TRUE(page->contains(QStringLiteral("var centre = [40.5, -105.25];")));
    EXPECT_TRUE(page->contains(QStringLiteral("{\"lat\":40,\"lon\":-105.2}")));
    // Hemisphere letters as map programs copy them.
    EXPECT_TRUE(tag.pasteLocation(QStringLiteral("33.8568° S, 151.2153° E")));
    EXPECT_EQ(tag.mapLat(), QStringLiteral("-33.8568"));
    EXPECT_EQ(tag.mapLon(), QStringLiteral("151.2153"));
    EXPECT_TRUE(tag.pasteLocation(QStringLiteral("N 40.0188°, W 105.2782°")));
    EXPECT_EQ(tag.mapLon(), QStringLiteral("-105.2782"));
    // Text that is no position is refused with a word, and never reaches the page.
    EXPECT_FALSE(tag.pasteLocation(QStringLiteral("40°]; alert(1); [°")));
    EXPECT_FALSE(tag.pasteLocation(QStringLiteral("95° 10°")));
    EXPECT_EQ(ui.alertTexts().last(),
              QStringLiteral("Pasted text is not a location.: Copy a latitude and a longitude in "
                             "decimal degrees, each followed by a degree sign, for example "
                             "40.0188° -105.2782°."));
    EXPECT_EQ(tag.mapLon(), QStringLiteral("-105.2782"));

    // OK with the alternate key saves and stays open; OK and Cancel both save.
    EXPECT_FALSE(tag.ok(true));
    EXPECT_EQ(Defaults::string(ManualTagController::kTagLat), QStringLiteral("40.0"));
    EXPECT_EQ(Defaults::string(ManualTagController::kTagLon), QStringLiteral("-105.2"));
    tag.takeAddress(QStringLiteral("geotag://2.5,1.5"));
    tag.cancel();
    EXPECT_EQ(Defaults::string(ManualTagController::kTagLat), QStringLiteral("1.5"));
    EXPECT_TRUE(tag.ok(false));
    EXPECT_EQ(tag.answer(), (QStringList{"1.5", "2.5"}));
}

TEST_F(ManualTagTest, TheMainWindowWritesTheAnswerIntoTheSelection)
{
    const ThumbItemList items = someItems(4);
    EXPECT_TRUE(ManualTagController::refuseEmptySelection({}));
    EXPECT_EQ(ui.alertTexts(), QStringList{QStringLiteral("Select one or more images.: ")});
    EXPECT_FALSE(ManualTagController::refuseEmptySelection({2}));

    ui.clear();
    EXPECT_FALSE(ManualTagController::applyAnswer(items, {1}, std::nullopt)); // cancelled
    EXPECT_FALSE(ManualTagController::applyAnswer(items, {1}, QStringList{"1"}));
    EXPECT_FALSE(ManualTagController::applyAnswer(items, {1}, QStringList{"x", "2"}));
    EXPECT_TRUE(ui.alerts.isEmpty());
    EXPECT_FALSE(items[1]->gpsManuallyGeotagged);

    items[1]->gpsEle = 12;
    ASSERT_TRUE(ManualTagController::applyAnswer(items, {1}, QStringList{"40.0", "-105.2"}));
    EXPECT_DOUBLE_EQ(items[1]->gpsLat, 40.0);
    EXPECT_DOUBLE_EQ(items[1]->gpsLon, -105.2);
    EXPECT_DOUBLE_EQ(items[1]->gpsEle, 0);
    EXPECT_EQ(items[1]->gpsMessage, QStringLiteral("Manually geotagged"));
    EXPECT_TRUE(items[1]->gpsManuallyGeotagged);
    EXPECT_EQ(ui.alertTexts(),
              QStringList{QStringLiteral("1 image was geotagged.: (Ingest to make the geotagging "
                                         "permanent.)")});
    ui.clear();
    ASSERT_TRUE(ManualTagController::applyAnswer(items, {0, 2, 3}, QStringList{"1", "2"}));
    EXPECT_EQ(ui.alerts.first().title, QStringLiteral("3 images were geotagged."));
    EXPECT_TRUE(items[3]->gpsManuallyGeotagged);

    // The known positions drawn on the maps: manual, matched, or the file's own.
    items[0]->gpsManuallyGeotagged = false;
    items[0]->gpsMessage = QStringLiteral("Automatically geotagged");
    items[2]->gpsManuallyGeotagged = false;
    items[2]->gpsMessage = QStringLiteral("Track not found");
    items[2]->metadata = QVariantMap{{"{GPS}", QVariantMap{{"Latitude", 33.5},
                                                           {"LatitudeRef", "S"},
                                                           {"Longitude", 70.25},
                                                           {"LongitudeRef", "W"}}}};
    items[3]->gpsManuallyGeotagged = false;
    items[3]->gpsMessage.clear();
    // Coordinates without their references are no position (as for "Already geotagged").
    items[3]->metadata = QVariantMap{
        {"{GPS}",
         QVariantMap{{"GPSVersion", QVariantList{2, 3}}, {"Latitude", 10.0}, {"Longitude", 20.0}}}};
    const QList<MapPages::Photo> photos = ManualTagController::photosOf(items, {0, 1, 2, 3, 9});
    ASSERT_EQ(photos.size(), 3);
    EXPECT_DOUBLE_EQ(photos[0].lat, 1);
    EXPECT_EQ(photos[1].name, QStringLiteral("IMG_1.JPG"));
    EXPECT_DOUBLE_EQ(photos[2].lat, -33.5);
    EXPECT_DOUBLE_EQ(photos[2].lon, -70.25);
}
