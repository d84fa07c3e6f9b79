#include "GeoTestSupport.h"

#include "platform/Process.h"
#include "support/ImageFixtures.h"

#include <QFile>
#include <QImage>

namespace {

ProcessResult cli(const QStringList &args)
{
    return runCli(args);
}

} // namespace

TEST_F(GeoTest, CliTracksAndMatch)
{
    const QString gpx = writeGpx(
        "cli track.gpx", "<trk><name>Walk</name><trkseg>" + trkpt(10, 20, "2011-06-01T12:00:00Z") +
                             trkpt(12, 22, "2011-06-01T12:10:00Z") + "</trkseg></trk>");
    ProcessResult r = cli({"tracks", "add", gpx});
    EXPECT_EQ(r.exitCode, 0) << r.stderrData.constData();
    EXPECT_EQ(r.stdoutData, "added " + gpx.toUtf8() + "\n");
    r = cli({"tracks", "add", gpx});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.stderrData, "Track already loaded.: " + gpx.toUtf8() + "\n");
    r = cli({"tracks", "list"});
    EXPECT_EQ(r.stdoutData, gpx.toUtf8() + "\n    Walk: 2011-06-01 12:00:00 +0000 .. "
                                           "2011-06-01 12:10:00 +0000\n");

    // An image without a readable capture time.
    const QString image = folder + QStringLiteral("/IMG_1.JPG");
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(image, "JPG"));
    r = cli({"match", "--zone", "UTC", image});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.stdoutData, QByteArray("IMG_1.JPG: no capture time: Track not found\n"));
    EXPECT_EQ(cli({"match", folder + "/none.jpg"}).exitCode, 1);
    EXPECT_EQ(cli({"match", "--adjust", "soon", image}).exitCode, 2);

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
    r = cli({"match", "--zone", "Europe/Berlin DST", timed, placed, emptyBlock});
    EXPECT_EQ(r.stdoutData, QByteArray("IMG_2.JPG: 2011-06-01 14:05:00: Automatically geotagged "
                                       "11.000000 21.000000 0.0\n"
                                       "IMG_3.JPG: 2011-06-01 14:05:00: Already geotagged\n"
                                       "IMG_4.JPG: 2011-06-01 14:05:00: Automatically geotagged "
                                       "11.000000 21.000000 0.0\n"));
    // An unknown zone is refused, not taken for offset 0.
    r = cli({"match", "--zone", "Europe/Berln", timed});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.stdoutData.isEmpty());
    EXPECT_TRUE(r.stderrData.startsWith(
        "brindlewick-cli match: Unknown time zone \"Europe/Berln\". A time zone is a name"));
    r = cli({"match", "--zone", "Europe/Berlin", "--adjust", "-3600", timed});
    EXPECT_TRUE(r.stdoutData.contains("Automatically geotagged 11.000000")) << r.stdoutData.data();

    // A track file that can no longer be read is alerted, and the status says so.
    const QString moved = folder + QStringLiteral("/moved.gpx");
    ASSERT_TRUE(QFile::rename(gpx, moved));
    r = cli({"match", "--zone", "Europe/Berlin DST", timed});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.stderrData.contains("Can't read file: " + gpx.toUtf8()));
    ASSERT_TRUE(QFile::rename(moved, gpx));

    EXPECT_EQ(cli({"tracks", "remove", folder + "/other.gpx"}).exitCode, 1);
    r = cli({"tracks", "remove", gpx});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(cli({"tracks", "list"}).stdoutData, QByteArray());
    EXPECT_EQ(cli({"tracks"}).exitCode, 2);
}
