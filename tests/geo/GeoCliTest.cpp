#include "GeoTestSupport.h"

#include "platform/Process.h"
#include "support/ImageFixtures.h"

#include <QFile>
#include <QImage>

// One track through the tool's track and match commands: shown, stored, matched, mapped, removed.
TEST_F(GeoTest, CliTracksMatchAndMap)
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
    r = runCli({"tracks", "add", gpx});
    EXPECT_EQ(r.exitCode, 0) << r.stderrData.constData();
    EXPECT_EQ(r.stdoutData, "added " + gpx.toUtf8() + "\n");
    EXPECT_EQ(runCli({"tracks", "show", gpx}).stdoutData, listing);
    EXPECT_EQ(runCli({"tracks", "list"}).stdoutData,
              gpx.toUtf8() +
                  "\n    Walk: 2011-06-01 12:00:00 +0000 .. 2011-06-01 12:10:00 +0000\n");

    const QString empty = writeGpx("empty.gpx", "<wpt lat=\"1\" lon=\"2\"/>");
    EXPECT_EQ(runCli({"tracks", "show", empty}).stdoutData,
              empty.toUtf8() + "\n\nGPX file contains no tracks.\n");
    r = runCli({"tracks", "show", folder + "/missing.gpx"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.stderrData.contains("Can't read file: ")) << r.stderrData.constData();
    EXPECT_EQ(runCli({"tracks", "show"}).exitCode, 2);

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

    // The capture time from the image's own EXIF, read in the zone and adjustment given.
    const QString timed = folder + QStringLiteral("/IMG_2.JPG");
    ASSERT_TRUE(ImageFixtures::writeJpeg(timed, QSize(16, 16),
                                         {{"Exif.Photo.DateTimeOriginal", "2011:06:01 14:05:00"}}));
    r = runCli({"match", "--zone", "Europe/Berlin DST", timed});
    EXPECT_EQ(r.stdoutData, QByteArray("IMG_2.JPG: 2011-06-01 14:05:00: Automatically geotagged "
                                       "11.000000 21.000000 1.5\n"));
    r = runCli({"match", "--zone", "Europe/Berlin", "--adjust", "-3600", timed});
    EXPECT_TRUE(r.stdoutData.contains("Automatically geotagged 11.000000")) << r.stdoutData.data();
    // An unknown zone is refused, not taken for offset 0.
    r = runCli({"match", "--zone", "Europe/Berln", timed});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.stdoutData.isEmpty());
    EXPECT_TRUE(r.stderrData.startsWith(
        "brindlewick-cli match: Unknown time zone \"Europe/Berln\". A time zone is a name"));

    // A page a browser opens offline: nothing asked of the program, the track's points, the
    // tiles' credit.
    const QString page = folder + QStringLiteral("/map \"1\".html");
    r = runCli({"tracks", "map", gpx, "-o", page});
    ASSERT_EQ(r.exitCode, 0) << r.stderrData.constData();
    const QByteArray html = readTestFile(page);
    EXPECT_TRUE(html.contains("var points = [[20.000000, 10.000000],[22.000000, 12.000000],];"));
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

    // A track file that can no longer be read is alerted, and the status says so.
    const QString moved = folder + QStringLiteral("/moved.gpx");
    ASSERT_TRUE(QFile::rename(gpx, moved));
    r = runCli({"match", "--zone", "Europe/Berlin DST", timed});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.stderrData.contains("Can't read file: " + gpx.toUtf8()));
    ASSERT_TRUE(QFile::rename(moved, gpx));

    EXPECT_EQ(runCli({"tracks", "remove", folder + "/other.gpx"}).exitCode, 1);
    EXPECT_EQ(runCli({"tracks", "remove", gpx}).exitCode, 0);
    EXPECT_EQ(runCli({"tracks", "list"}).stdoutData, QByteArray());
    EXPECT_EQ(runCli({"tracks"}).exitCode, 2);
}
