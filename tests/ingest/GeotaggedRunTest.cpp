// A whole run with geotagging through the real property reader, the real XMP template and the
// real ExifTool: the position lands in the copy, and a second run over the same card still
// recognises every copy as a duplicate.
#include "geo/ManualTagController.h"
#include "geo/TrackManagerController.h"
#include "ingest/IngestFiles.h"
#include "items/ThumbItem.h"
#include "metadata/Prefs.h"
#include "platform/Process.h"
#include "presets/Setup.h"
#include "support/ImageFixtures.h"
#include "support/InstalledUserInterface.h"
#include "support/TestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

ThumbItemList chooseAll(const QString &card)
{
    ThumbItemList items;
    const QStringList names = QDir(card).entryList({"*.JPG"}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        ThumbItemPtr item = ThumbItem::initWithPath(card + QLatin1Char('/') + name);
        item->checked = true;
        items << item;
    }
    return items;
}

QString exifTool(const QStringList &arguments)
{
    ProcessRequest request;
    request.program = QStringLiteral("exiftool");
    request.arguments = QStringList{"-n", "-s3"} + arguments;
    request.captureStdout = true;
    return QString::fromUtf8(Process::run(request).stdoutData).simplified();
}

} // namespace

TEST(GeotaggedRun, MatchedAndManualPositionsReachTheCopyAndTheSecondRunSkipsIt)
{
    if (!Process::findProgram(QStringLiteral("exiftool")))
        GTEST_SKIP() << "exiftool not installed";
    InstalledUserInterface ui;
    IngestFiles::setTemplateResource(
        QStringLiteral(BRINDLEWICK_TESTS_DIR "/../resources/XMPtemplate.xmp"));

    const QString card = makeTestFolder(QStringLiteral("geocard"));
    for (int i = 0; i < 2; ++i) {
        const QString time = QStringLiteral("2024:06:01 10:%1:00").arg(10 + i * 20);
        ASSERT_TRUE(ImageFixtures::writeJpeg(card + QStringLiteral("/DSC_%1.JPG").arg(100 + i),
                                             QSize(320, 200),
                                             {{"Exif.Image.Make", "NIKON CORPORATION"},
                                              {"Exif.Image.DateTime", time},
                                              {"Exif.Photo.DateTimeOriginal", time},
                                              {"Exif.Photo.DateTimeDigitized", time},
                                              {"Exif.Photo.ExposureTime", "1/250"},
                                              {"Exif.Photo.FNumber", "56/10"}}));
    }
    const QString gpx = card + QStringLiteral("/../walk.gpx");
    ASSERT_TRUE(writeTestFile(
        gpx,
        "<?xml version=\"1.0\"?><gpx version=\"1.1\"><trk><name>walk</name><trkseg>"
        "<trkpt lat=\"51.50\" lon=\"-0.12\"><ele>-3</ele><time>2024-06-01T10:00:00Z</time></trkpt>"
        "<trkpt lat=\"51.51\" lon=\"-0.10\"><ele>-3</ele><time>2024-06-01T10:20:00Z</time></trkpt>"
        "<trkpt lat=\"51.52\" lon=\"-0.08\"><ele>-3</ele><time>2024-06-01T10:40:00Z</time></trkpt>"
        "</trkseg></trk></gpx>\n"));
    ASSERT_TRUE(TrackManagerController::sharedInstance().addFiles({gpx}).has_value());

    const QString primary = makeTestFolder(QStringLiteral("geoprimary"));
    ::Setup setup = ::Setup::defaultSetup();
    setup.setParam(QStringLiteral("PrimaryRootFolder"), primary);
    // Through a backup: ExifTool writes into the backup's copy after it was made, so the primary
    // tree must receive the file as it is then, not as it was read from the card.
    setup.setParam(QStringLiteral("WantBackup"), QStringLiteral("YES"));
    setup.setParam(QStringLiteral("BackupRootFolder"), makeTestFolder(QStringLiteral("geobackup")));
    setup.setParam(QStringLiteral("GeoTag"), QStringLiteral("YES"));
    setup.setParam(QStringLiteral("PostApp"), QString());
    QVariantMap metadata = setup.paramDict(QStringLiteral("Metadata"));
    metadata.insert(QStringLiteral("TimeZone"), QStringLiteral("UTC"));
    metadata.insert(QStringLiteral("IPTC.Caption/Abstract"), QStringLiteral("Thames walk"));
    setup.setParam(QStringLiteral("Metadata"), metadata);

    const ThumbItemList matched = chooseAll(card);
    {
        IngestFiles ingest;
        ingest.setItems(matched);
        ingest.go(setup, false);
        ASSERT_EQ(matched.first()->gpsMessage, QStringLiteral("Automatically geotagged"));
        EXPECT_EQ(ingest.numIngested(), 2) << ui.alertTexts().join('\n').toStdString();
        EXPECT_EQ(ingest.numTaggedByExifTool(), 2);
    }
    const QString first = primary + QStringLiteral("/DSC_100.JPG");
    ASSERT_TRUE(QFile::exists(first));
    // 10:10 lies halfway between the first two points; ExifTool wrote the position after the
    // packet was merged, which it kept, and the copy keeps the card file's time.
    const QStringList position =
        exifTool({"-GPSLatitude", "-GPSLongitude", first}).split(QLatin1Char(' '));
    ASSERT_EQ(position.size(), 2);
    EXPECT_NEAR(position[0].toDouble(), 51.505, 1e-4);
    EXPECT_NEAR(position[1].toDouble(), -0.11, 1e-4);
    EXPECT_EQ(exifTool({"-XMP-dc:Description", first}), QStringLiteral("Thames walk"));
    EXPECT_EQ(QFileInfo(first).lastModified(), QFileInfo(card + "/DSC_100.JPG").lastModified());

    // With matching turned off, the position the last run matched is not carried into the next.
    {
        ::Setup off = setup;
        off.setParam(QStringLiteral("GeoTag"), QStringLiteral("NO"));
        off.setParam(QStringLiteral("WantBackup"), QStringLiteral("NO"));
        off.setParam(QStringLiteral("PrimaryRootFolder"), makeTestFolder(QStringLiteral("geooff")));
        IngestFiles preview;
        preview.setItems(matched);
        preview.go(off, true);
        EXPECT_EQ(matched.first()->gpsLat, 0.0);
        EXPECT_TRUE(matched.first()->gpsMessage.isEmpty());
    }

    ui.clear();
    IngestFiles again;
    again.setItems(chooseAll(card));
    again.go(setup, false);
    EXPECT_EQ(again.numIngested(), 0);
    EXPECT_EQ(again.numDupes(), 2);
    EXPECT_FALSE(QFile::exists(primary + QStringLiteral("/DSC_100_1.JPG")));

    // Images placed by hand inside the same track keep their place: matching leaves them alone
    // whether it is on or off, and the position reaches the copy through the XMP and through
    // ExifTool.
    for (const bool viaExifTool : {false, true}) {
        SCOPED_TRACE(viaExifTool ? "ExifTool" : "XMP");
        const QString manualCard = makeTestFolder(QStringLiteral("manualcard%1").arg(viaExifTool));
        ASSERT_TRUE(
            ImageFixtures::writeJpeg(manualCard + QStringLiteral("/DSC_1.JPG"), QSize(64, 48),
                                     {{"Exif.Photo.DateTimeOriginal", "2024:06:01 10:10:00"},
                                      {"Exif.Image.Make", "NIKON CORPORATION"}}));
        const QString manualPrimary =
            makeTestFolder(QStringLiteral("manualprimary%1").arg(viaExifTool));
        ::Setup manual = setup;
        manual.setParam(QStringLiteral("PrimaryRootFolder"), manualPrimary);
        manual.setParam(QStringLiteral("WantBackup"), QStringLiteral("NO"));
        // Matching on for one run, off for the other: neither touches a manual position.
        manual.setParam(QStringLiteral("GeoTag"),
                        viaExifTool ? QStringLiteral("YES") : QStringLiteral("NO"));
        Prefs::set(Prefs::WantEmbeddedGPS, viaExifTool);

        const ThumbItemList items = chooseAll(manualCard);
        ui.clear();
        ASSERT_TRUE(
            ManualTagController::applyAnswer(items, {0}, QStringList{"-33.856800", "151.215300"}));
        IngestFiles ingest;
        ingest.setItems(items);
        ingest.go(manual, false);
        EXPECT_EQ(ingest.numIngested(), 1) << ui.alertTexts().join('\n').toStdString();
        EXPECT_EQ(items[0]->gpsMessage, QStringLiteral("Manually geotagged"));
        EXPECT_DOUBLE_EQ(items[0]->gpsLat, -33.8568);

        // Through the XMP: the packet in the JPEG; through ExifTool: the EXIF GPS fields.
        EXPECT_EQ(exifTool({"-XMP:GPSLatitude", "-EXIF:GPSLatitudeRef", "-EXIF:GPSLatitude",
                            "-EXIF:GPSLongitudeRef", "-EXIF:GPSLongitude",
                            manualPrimary + QStringLiteral("/DSC_1.JPG")}),
                  viaExifTool ? QStringLiteral("S 33.8568 E 151.2153")
                              : QStringLiteral("-33.8568"));
    }
    Prefs::set(Prefs::WantEmbeddedGPS, true);
    IngestFiles::setTemplateResource(QStringLiteral(":/XMPtemplate.xmp"));
}
