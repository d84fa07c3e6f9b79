#include "GeoTestSupport.h"

#include "platform/Process.h"
#include "support/ImageFixtures.h"

#include <QFile>
#include <QImage>

TEST_F(GeoTest, CliTracksAndMatch)
{
    const QString gpx = writeGpx(
        "cli track.gpx", "<trk><name>Walk</name><trkseg>" + trkpt(10, 20, "2011-06-01T12:00:00Z") +
                             trkpt(12, 22, "2011-06-01T12:10:00Z") + "</trkseg></trk>");
    ProcessResult r = runCli({"tracks", "add", gpx});
    EXPECT_EQ(r.exitCode, 0) << r.stderrData.constData();
    EXPECT_EQ(r.stdoutData, "added " + gpx.toUtf8() + "\n");
    r = runCli({"tracks", "add", gpx});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.stderrData, "Track already loaded.: " + gpx.toUtf8() + "\n");
    r = runCli({"tracks", "list"});
    EXPECT_EQ(r.stdoutData, gpx.toUtf8() + "\n    Walk: 2011-06-01 12:00:00 +0000 .. "
                                           "2011-06-01 12:10:00 +0000\n");

    // An image without a readable capture time.
    const QString image = folder + QStringLiteral("/IMG_1.JPG");
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(image, "JPG"));
    r = runCli({"match", "--zone", "UTC", image});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.stdoutData, QByteArray("IMG_1.JPG: no capture time: Track not found\n"));
    EXPECT_EQ(runCli({"match", folder + "/none.jpg"}).exitCode, 1);
    EXPECT_EQ(runCli({"match", "--adjust", "soon", image}).exitCode, 2);

    // Capture times from the image's own EXIF; a file that carries a position is left alone,
    // while one whose GPS block holds only a version tag (as many cameras write) is matched.
    const QString timed = folder + QStringLiteral("/IMG_2.JPG");
    const QString placed = folder + QStringLiteral("/IMG_3.JPG");
    const QString emptyBlock = folder + QStringLiteral("/IMG_4.JPG");
    ASSERT_TRUE(ImageFixtures::writeJpeg(timed, QSize(16, 16),
                                         {{"Exif.Photo.DateTimeOriginal", "2011:06:01 14:05:00"}}));
    ASSERT_TRUE(ImageFixtures::writeJpeg(placed, QSize(16, 16),
                                         {{"Exif.Photo.DateTimeDigitized", "2011:06:01 14:05:00"},
                                          {"Exif.GPSInfo.GPSLatitude", "51/1 30/1 0/1"},
                                          {"Exif.GPSInfo.GPSLatitudeRef", "N"},
                                          {"Exif.GPSInfo.GPSLongitude", "0/1 7/1 0/1"},
                                          {"Exif.GPSInfo.GPSLongitudeRef", "W"}}));
    ASSERT_TRUE(ImageFixtures::writeJpeg(emptyBlock, QSize(16, 16),
                                         {{"Exif.Photo.DateTimeOriginal", "2011:06:01 14:05:00"},
                                          {"Exif.GPSInfo.GPSVersionID", "2 3 0 0"}}));
    r = runCli({"match", "--zone", "Europe/Berlin DST", timed, placed, emptyBlock});
    EXPECT_EQ(r.stdoutData, QByteArray("IMG_2.JPG: 2011-06-01 14:05:00: Automatically geotagged "
                                       "11.000000 21.000000 0.0\n"
                                       "IMG_3.JPG: 2011-06-01 14:05:00: Already geotagged\n"
                                       "IMG_4.JPG: 2011-06-01 14:05:00: Automatically geotagged "
                                       "11.000000 21.000000 0.0\n"));
    // An unknown zone is refused, not taken for offset 0.
    r = runCli({"match", "--zone", "Europe/Berln", timed});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.stdoutData.isEmpty());
    EXPECT_TRUE(r.stderrData.startsWith(
        "brindlewick-cli match: Unknown time zone \"Europe/Berln\". A time zone is a name"));
    r = runCli({"match", "--zone", "Europe/Berlin", "--adjust", "-3600", timed});
    EXPECT_TRUE(r.stdoutData.contains("Automatically geotagged 11.000000")) << r.stdoutData.data();

    // A track file that can no longer be read is alerted, and the status says so.
    const QString moved = folder + QStringLiteral("/moved.gpx");
    ASSERT_TRUE(QFile::rename(gpx, moved));
    r = runCli({"match", "--zone", "Europe/Berlin DST", timed});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.stderrData.contains("Can't read file: " + gpx.toUtf8()));
    ASSERT_TRUE(QFile::rename(moved, gpx));

    EXPECT_EQ(runCli({"tracks", "remove", folder + "/other.gpx"}).exitCode, 1);
    r = runCli({"tracks", "remove", gpx});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(runCli({"tracks", "list"}).stdoutData, QByteArray());
    EXPECT_EQ(runCli({"tracks"}).exitCode, 2);
}

TEST_F(GeoTest, CliShowsAndMapsATrack)
{
    const QString gpx =
        writeGpx("it's a walk.gpx", "<trk><name>Walk</name><trkseg>" +
                                        trkpt(10, 20, "2011-06-01T12:00:00Z", "<ele>3</ele>") +
                                        trkpt(12, 22, "2011-06-01T12:10:00Z") + "</trkseg></trk>");
    const QByteArray listing = gpx.toUtf8() + "\n\nTrack Walk\n"
                                              "\tStart:\n\t\tLat 10.000000\n\t\tLon 20.000000\n"
                                              "\t\tAlt 3.000000\n\t\t2011-06-01 12:00:00 +0000\n"
                                              "\tEnd:\n\t\tLat 12.000000\n\t\tLon 22.000000\n"
                                              "\t\tAlt 0.000000\n\t\t2011-06-01 12:10:00 +0000\n";
    // Not loaded: read for the listing only, the store stays empty.
    ProcessResult r = runCli({"tracks", "show", gpx});
    EXPECT_EQ(r.exitCode, 0) << r.stderrData.constData();
    EXPECT_EQ(r.stdoutData, listing);
    EXPECT_EQ(runCli({"tracks", "list"}).stdoutData, QByteArray());
    ASSERT_EQ(runCli({"tracks", "add", gpx}).exitCode, 0);
    EXPECT_EQ(runCli({"tracks", "show", gpx}).stdoutData, listing);

    const QString empty = writeGpx("empty.gpx", "<wpt lat=\"1\" lon=\"2\"/>");
    EXPECT_EQ(runCli({"tracks", "show", empty}).stdoutData,
              empty.toUtf8() + "\n\nGPX file contains no tracks.\n");
    r = runCli({"tracks", "show", folder + "/missing.gpx"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.stderrData.contains("Can't read file: ")) << r.stderrData.constData();
    EXPECT_EQ(runCli({"tracks", "show"}).exitCode, 2);

    // A page a browser opens offline: Leaflet inside, the track's points, the tiles' credit.
    const QString page = folder + QStringLiteral("/map \"1\".html");
    r = runCli({"tracks", "map", gpx, "-o", page});
    ASSERT_EQ(r.exitCode, 0) << r.stderrData.constData();
    const QByteArray html = readTestFile(page);
    EXPECT_TRUE(html.contains("var points = [[20.000000, 10.000000],[22.000000, 12.000000],];"));
    EXPECT_TRUE(html.contains("Leaflet 1.9.4"));
    EXPECT_FALSE(html.contains("qrc:"));
    EXPECT_TRUE(html.contains("OpenStreetMap"));
    EXPECT_TRUE(html.contains("<title>it&#39;s a walk.gpx</title>"));
    // An existing file is replaced only when asked.
    writeTestFile(page, "mine");
    r = runCli({"tracks", "map", gpx, "-o", page});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readTestFile(page), QByteArray("mine"));
    EXPECT_EQ(runCli({"tracks", "map", gpx, "-o", page, "--force"}).exitCode, 0);
    EXPECT_EQ(readTestFile(page), html);
    EXPECT_EQ(runCli({"tracks", "map", gpx, "-o", "-"}).stdoutData, html);
    EXPECT_EQ(runCli({"tracks", "map", empty, "-o", folder + "/e.html"}).exitCode, 1);
    EXPECT_FALSE(QFile::exists(folder + "/e.html"));
    EXPECT_EQ(runCli({"tracks", "map", gpx}).exitCode, 2);
}
