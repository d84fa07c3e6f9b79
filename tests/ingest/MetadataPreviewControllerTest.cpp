#include "ingest/MetadataPreviewController.h"

#include "ingest/MetadataWriterFixtures.h"

#include <gtest/gtest.h>

using namespace fixtures;

namespace {

ThumbItemPtr ticked(const QVariantMap &generated = {})
{
    auto item = std::make_shared<ThumbItem>();
    item->checked = true;
    item->metadataGenerated = generated;
    item->metadata = QVariantMap();
    return item;
}

} // namespace

TEST(MetadataPreviewController, RowsTitleHeightsAndColours)
{
    Capture capture;
    MetadataPreviewController preview;
    auto three = ticked({{"IPTC.City", "Bath"}, {"CF.Shoot", "x"}, {"MissingData", "yes"}});
    auto one = ticked({{"IPTC.City", "Bath"}});
    auto unticked = ticked();
    unticked->checked = false;
    preview.items = {three, unticked, one};
    preview.numMissingData = 1;

    ASSERT_TRUE(preview.go());
    EXPECT_EQ(preview.itemsChecked, (ThumbItemList{three, one}));
    EXPECT_EQ(preview.windowTitle(), "Metadata Preview - 1 photo(s) have missing data");
    EXPECT_EQ(preview.heightOfRow(0), 112);
    EXPECT_EQ(preview.heightOfRow(1), 100);
    EXPECT_EQ(preview.heightOfRow(7), 100);
    EXPECT_TRUE(preview.isRed(0));
    EXPECT_FALSE(preview.isRed(1));
    EXPECT_FALSE(preview.showsMapLink(0));
    EXPECT_EQ(preview.cellValue("2", 0), "IPTC.City: Bath\n");
    EXPECT_EQ(preview.cellValue("3", 0), "");
    EXPECT_EQ(preview.cellValue("2", 2), "");
    EXPECT_TRUE(preview.mapLinkAddress(5).isEmpty());

    // A position raises the row and shows the link; a message counts as one more line.
    one->gpsLat = 1;
    one->gpsMessage = "Matched track";
    EXPECT_EQ(preview.heightOfRow(1), (1 + 1 + 8) * 14);
    EXPECT_TRUE(preview.showsMapLink(1));

    preview.numMissingData = 0;
    preview.items = {unticked};
    EXPECT_FALSE(preview.go());
    EXPECT_EQ(preview.windowTitle(), "Metadata Preview");
    ASSERT_EQ(capture.ui.alerts.size(), 1);
    EXPECT_EQ(capture.ui.alerts[0].title, "Nothing to preview.");
    EXPECT_EQ(capture.ui.alerts[0].message, "Choose some images from the main window.");
}

TEST(MetadataPreviewController, TextBlocks)
{
    ThumbItem item;
    EXPECT_EQ(MetadataPreviewController::formatMetadata(item), "NOT CHECKED\n");
    item.checked = true;
    EXPECT_EQ(MetadataPreviewController::formatMetadata(item), "Not geotagged\n");

    item.targetFilename = "a.jpg";
    item.targetSubFolder = "2024/x";
    item.metadataGenerated = {{"b", "2"}, {"A", "1"}, {"CF.x", "no"}, {"MissingData", "no"}};
    item.gpsLat = -33.5;
    item.gpsMessage = "Manually geotagged";
    EXPECT_EQ(MetadataPreviewController::formatMetadata(item),
              "Target Filename: a.jpg\nTarget Subfolder: 2024/x\nA: 1\nb: 2\n"
              "GPS Lat: -33.500000\nGPS Lon: 0.000000\nGPS Alt: 0.000000\nManually geotagged\n");

    // The image's own position wins over the run's.
    ThumbItem own;
    own.checked = true;
    own.gpsLat = 5;
    QVariantMap gps{{"Latitude", 10.0},    {"LatitudeRef", "S"}, {"Longitude", 20.0},
                    {"LongitudeRef", "E"}, {"Altitude", 7.5},    {"AltitudeRef", 0}};
    own.metadata = QVariantMap{{"{GPS}", gps}};
    EXPECT_EQ(MetadataPreviewController::formatMetadata(own),
              "GPS Lat: -10.000000\nGPS Lon: 20.000000\nGPS Alt: 7.500000\nAlready geotagged\n");
    // A GPS block without a full position (a version tag only, or a reference missing) is no
    // position: the image is not shown at 0, 0 and gets no map link.
    gps.remove("LatitudeRef");
    for (const QVariantMap &block : {gps, QVariantMap{{"GPSVersion", QVariantList{2, 2, 0, 0}}}}) {
        ThumbItemPtr empty = ticked();
        empty->metadata = QVariantMap{{"{GPS}", block}};
        EXPECT_EQ(MetadataPreviewController::formatMetadata(*empty), "Not geotagged\n");
        MetadataPreviewController preview;
        preview.items = {empty};
        ASSERT_TRUE(preview.go());
        EXPECT_FALSE(preview.showsMapLink(0));
    }
}

TEST(MetadataPreviewController, CoordinatesAndMapLink)
{
    double lat = 9, lon = 9, ele = 9;
    MetadataPreviewController::getCoordinates({{"Latitude", 33.5},
                                               {"LatitudeRef", "S"},
                                               {"Longitude", 0.12},
                                               {"LongitudeRef", "W"},
                                               {"Altitude", 3.0},
                                               {"AltitudeRef", 1}},
                                              lat, lon, ele);
    EXPECT_EQ(lat, -33.5);
    EXPECT_EQ(lon, -double(0.12f)); // single precision, as the properties service gives it
    EXPECT_EQ(ele, -3.0);
    MetadataPreviewController::getCoordinates(
        {{"LatitudeRef", "N"}, {"LongitudeRef", "E"}, {"Altitude", 3.0}, {"AltitudeRef", "x"}}, lat,
        lon, ele);
    EXPECT_EQ(lat, 0);
    EXPECT_EQ(lon, 0);
    EXPECT_EQ(ele, 0);

    MetadataPreviewController preview;
    auto geotagged = ticked();
    geotagged->gpsLat = 51.5;
    geotagged->gpsLon = -0.12;
    auto own = ticked();
    own->metadata = QVariantMap{{"{GPS}", QVariantMap{{"Latitude", 1.5},
                                                      {"LatitudeRef", "N"},
                                                      {"Longitude", 2.25},
                                                      {"LongitudeRef", "W"}}}};
    preview.items = {geotagged, own};
    ASSERT_TRUE(preview.go());
    EXPECT_TRUE(preview.showsMapLink(1));
    EXPECT_EQ(preview.mapLinkAddress(0).toString(),
              "https://maps.google.com/maps?q=51.500000,-0.120000&spn=0.001,0.001&t=k&hl=en");
    preview.cellValue("2", 1); // showing the text records the image's own position
    EXPECT_EQ(preview.mapLinkAddress(1).query(), "q=1.500000,-2.250000&spn=0.001,0.001&t=k&hl=en");
}
