#include "ingest/ExifToolWriter.h"

#include "ingest/ExifToolSession.h"
#include "ingest/MetadataWriter.h"
#include "items/ThumbItem.h"
#include "log/IngestionLogController.h"
#include "platform/Defaults.h"

#include "ingest/MetadataWriterFixtures.h"
#include "support/StandInProgram.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>

#include <exiv2/exiv2.hpp>

#include <gtest/gtest.h>

using namespace fixtures;

namespace {

ThumbItem itemAt(double lat, double lon, double ele)
{
    ThumbItem item;
    item.gpsLat = lat;
    item.gpsLon = lon;
    item.gpsEle = ele;
    return item;
}

// A stand-in ExifTool: a shell script with the given body.
QString fakeExifTool(const QString &folder, const QByteArray &body)
{
    const QString path = makeTestFolder(folder) + QStringLiteral("/exiftool");
    writeExecutable(path, "#!/bin/sh\n" + body);
    return path;
}

struct ProgramOverride
{
    explicit ProgramOverride(const QString &program) { setExifToolProgramForTesting(program); }
    ~ProgramOverride() { setExifToolProgramForTesting(QString()); }
};

QString lastIngestionLog()
{
    const QStringList months = IngestionLogController::readLogFiles();
    return months.isEmpty() ? QString()
                            : IngestionLogController::readMonth(months.last()).value_or(QString());
}

} // namespace

TEST(ExifToolWriter, ArgumentsForEachHemisphere)
{
    EXPECT_EQ(exifToolGpsArguments(51.5, -0.12, -3, QStringLiteral("/a/b c.jpg")),
              (QStringList{"-m", "-overwrite_original_in_place", "-gps:GPSLatitudeRef=N",
                           "-gps:GPSLatitude=51.500000", "-gps:GPSLongitudeRef=W",
                           "-gps:GPSLongitude=0.120000", "-gps:GPSAltitudeRef=Below Sea Level",
                           "-gps:GPSAltitude=3.000000", "/a/b c.jpg"}));
    const QStringList equator = exifToolGpsArguments(0.0, 10.0, 0, QStringLiteral("-x.jpg"));
    EXPECT_EQ(equator[2], "-gps:GPSLatitudeRef=N");
    EXPECT_EQ(equator[4], "-gps:GPSLongitudeRef=E");
    EXPECT_EQ(equator[6], "-gps:GPSAltitudeRef=Above Sea Level");
    EXPECT_EQ(equator[8], "./-x.jpg"); // never read as an option
}

TEST(ExifToolWriter, ErrorOutputFailsTheRun)
{
    // A warning on the error stream fails the call though the program wrote the file and ended
    // well; with the run already failed the program still runs but is neither read nor counted.
    Capture capture;
    const QString path =
        makeTestFolder(QStringLiteral("exiftool-warning")) + QStringLiteral("/y.jpg");
    writeTestFile(path, "x");
    ProgramOverride fake(fakeExifTool(QStringLiteral("fake-warning"),
                                      "for last; do :; done\necho tagged >> \"$last\"\n"
                                      "echo 'Warning: odd thing' >&2\n"));
    MetadataWriteContext context;
    context.keepExifToolOpen = false;
    ThumbItem item = itemAt(1, 2, 3);
    EXPECT_FALSE(embedGPSFrom(item, path, context));
    EXPECT_TRUE(context.hadError);
    EXPECT_TRUE(capture.console().endsWith(QStringLiteral(": Warning: odd thing\n")));
    EXPECT_EQ(readTestFile(path), "xtagged\n");
    capture.pane.clear();
    EXPECT_TRUE(embedGPSFrom(item, path, context));
    EXPECT_EQ(context.numTaggedByExifTool, 0);
    EXPECT_TRUE(capture.console().isEmpty());
    EXPECT_EQ(readTestFile(path), "xtagged\ntagged\n");
}

// One program serves a run: a file it cannot tag fails on its own, names no command line could
// carry reach it unchanged, and each copy keeps its time stamp and decodes.
TEST(ExifToolWriter, OneProgramKeptOpenTagsOddNamesEachOnItsOwn)
{
    Capture capture;
    const QString folder = makeTestFolder(QStringLiteral("exiftool-session"));
    const QString bad = folder + QStringLiteral("/bad.jpg");
    const QString odd = folder + QStringLiteral("/it's a $test; #1.jpg");
    const QString broken = folder + QStringLiteral("/new\nline.jpg"); // no line can carry it
    writeTestFile(bad, "not an image");
    ASSERT_TRUE(writeQtJpeg(odd));
    ASSERT_TRUE(writeQtJpeg(broken));
    setModificationTime(odd, 1600000000, 5000);
    ThumbItem north = itemAt(51.5, -0.12, -3);
    ThumbItem south = itemAt(-33.5, 151.25, 20);
    MetadataWriteContext context;
    EXPECT_FALSE(embedGPSFrom(north, bad, context));
    EXPECT_TRUE(context.hadError);
    EXPECT_EQ(context.numTaggedByExifTool, 0);
    EXPECT_TRUE(capture.console().startsWith(QStringLiteral("\nERROR: processing '")));
    EXPECT_TRUE(lastIngestionLog().contains(QStringLiteral("ERROR: processing '")));
    ASSERT_TRUE(context.exifToolSession);
    context.hadError = false;
    capture.pane.clear();
    EXPECT_TRUE(embedGPSFrom(north, odd, context)) << capture.console().toStdString();
    EXPECT_TRUE(embedGPSFrom(south, broken, context)) << capture.console().toStdString();
    EXPECT_EQ(context.numTaggedByExifTool, 2);
    EXPECT_FALSE(context.hadError);

    // Each hemisphere's arguments are the argument test's; here each file got its own.
    const QJsonObject gps = exiftoolRead(odd, {"-GPS:all"}, true);
    EXPECT_DOUBLE_EQ(gps.value("GPSLatitude").toDouble(), 51.5);
    EXPECT_EQ(gps.value("GPSAltitudeRef").toInt(), 1);
    const QJsonObject southGps = exiftoolRead(broken, {"-GPS:all"}, true);
    EXPECT_EQ(southGps.value("GPSLatitudeRef").toString(), "S");
    EXPECT_DOUBLE_EQ(southGps.value("GPSLongitude").toDouble(), 151.25);
    const timespec kept = modificationTime(odd);
    EXPECT_EQ(kept.tv_sec, 1600000000);
    EXPECT_EQ(kept.tv_nsec, 5000);
    EXPECT_TRUE(decodesFully(odd));
    // ExifTool changes the files in place and leaves no backup behind.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 3);

    // No position: nothing runs and nothing is counted.
    ThumbItem nowhere = itemAt(0, 0, 12);
    EXPECT_TRUE(embedGPSFrom(nowhere, odd, context));
    EXPECT_EQ(context.numTaggedByExifTool, 2);
    context.exifToolSession.reset(); // ends the program
}

TEST(ExifToolWriter, MissingOrDyingProgramIsAFailure)
{
    const QString path =
        makeTestFolder(QStringLiteral("exiftool-missing")) + QStringLiteral("/z.jpg");
    writeTestFile(path, "x");
    ThumbItem item = itemAt(1, 2, 3);
    {
        Capture capture;
        ProgramOverride missing(QStringLiteral("/nonexistent/exiftool"));
        MetadataWriteContext context;
        EXPECT_FALSE(embedGPSFrom(item, path, context));
        EXPECT_EQ(capture.console(), "\nERROR: Can't access ExifTool\n");
        EXPECT_TRUE(lastIngestionLog().contains(QStringLiteral("ERROR: Can't access ExifTool")));
    }
    {
        Capture capture;
        ProgramOverride dying(fakeExifTool(QStringLiteral("fake-dying"), "kill -9 $$\n"));
        MetadataWriteContext context;
        context.keepExifToolOpen = false;
        EXPECT_FALSE(embedGPSFrom(item, path, context));
        EXPECT_TRUE(context.hadError);
        EXPECT_EQ(context.numTaggedByExifTool, 0);
        EXPECT_TRUE(capture.console().contains(QStringLiteral("killed by signal 9")));
    }
    {
        // Executable but not startable (a script whose interpreter is missing).
        Capture capture;
        const QString broken =
            makeTestFolder(QStringLiteral("fake-broken")) + QStringLiteral("/exiftool");
        writeTestFile(broken, "#!/nonexistent/interpreter\n");
        QFile::setPermissions(broken, QFile::ReadOwner | QFile::ExeOwner);
        ProgramOverride cannotStart(broken);
        MetadataWriteContext context;
        EXPECT_FALSE(embedGPSFrom(item, path, context));
        EXPECT_TRUE(context.hadError);
        EXPECT_TRUE(capture.console().startsWith(QStringLiteral("Can't execute '")));
    }
}

TEST(ExifToolWriter, WriteGpsFollowsTheUserDefault)
{
    const QString path =
        makeTestFolder(QStringLiteral("exiftool-default")) + QStringLiteral("/w.jpg");
    writeTestFile(path, "x");
    ProgramOverride fake(fakeExifTool(QStringLiteral("fake-ok"), "echo run >> \"$0.log\"\n"));
    ThumbItem item = itemAt(1, 2, 3);
    MetadataWriteContext context;
    context.keepExifToolOpen = false;
    Defaults::set("WantEmbeddedGPS", false);
    EXPECT_TRUE(writeGPSFrom(item, path, context));
    EXPECT_EQ(context.numTaggedByExifTool, 0);
    Defaults::set("WantEmbeddedGPS", true);
    EXPECT_TRUE(writeGPSFrom(item, path, context));
    EXPECT_EQ(context.numTaggedByExifTool, 1);
    Defaults::remove("WantEmbeddedGPS");
}

namespace {

// A camera-like JPEG: the properties the duplicate rule compares.
bool writeCameraJpeg(const QString &path)
{
    return ImageFixtures::writeJpeg(path, QSize(64, 48),
                                    {{"Exif.Photo.DateTimeOriginal", "2024:05:01 10:11:12"},
                                     {"Exif.Photo.DateTimeDigitized", "2024:05:01 10:11:12"},
                                     {"Exif.Image.DateTime", "2024:05:01 10:11:12"},
                                     {"Exif.Photo.ExposureTime", "1/250"},
                                     {"Exif.Photo.FNumber", "56/10"}});
}

QMap<QString, QString> exifOf(const QString &path)
{
    QMap<QString, QString> values;
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    for (const Exiv2::Exifdatum &datum : image->exifData())
        values.insert(QString::fromStdString(datum.key()),
                      QString::fromStdString(datum.toString()));
    return values;
}

} // namespace

TEST(ExifToolWriter, TaggedCopyStillMatchesItsSourceForTheDuplicateRule)
{
    Capture capture;
    const QString folder = makeTestFolder(QStringLiteral("exiftool-duplicate"));
    const QString card = folder + QStringLiteral("/card.jpg");
    const QString copy = folder + QStringLiteral("/copy.jpg");
    ASSERT_TRUE(writeCameraJpeg(card));
    ASSERT_TRUE(QFile::copy(card, copy));
    setModificationTime(card, 1700000000);
    setModificationTime(copy, 1700000000);

    ThumbItem source = itemAt(51.5, -0.12, -3);
    source.path = card;
    MetadataWriteContext context;
    ASSERT_TRUE(embedGPSFrom(source, copy, context)) << capture.console().toStdString();

    // Same time stamp, and every property the rule compares still equal to the card image's.
    EXPECT_EQ(ThumbItem::stringFromDate(QFileInfo(copy).lastModified()),
              ThumbItem::stringFromDate(QFileInfo(card).lastModified()));
    const auto before = exifOf(card);
    const auto after = exifOf(copy);
    for (const char *key :
         {"Exif.Photo.DateTimeOriginal", "Exif.Photo.DateTimeDigitized", "Exif.Image.DateTime",
          "Exif.Photo.ExposureTime", "Exif.Photo.FNumber"}) {
        ASSERT_TRUE(before.contains(key)) << key;
        EXPECT_EQ(after.value(key), before.value(key)) << key;
    }
    EXPECT_FALSE(before.contains("Exif.GPSInfo.GPSLatitude"));
    EXPECT_TRUE(after.contains("Exif.GPSInfo.GPSLatitude"));
}

TEST(ExifToolWriter, HungProgramIsStoppedAndTheFileFails)
{
    // A program that never answers; with no limit a run would wait for it (here 20 seconds).
    const QString hung = fakeExifTool(QStringLiteral("fake-hung"), "exec sleep 20\n");
    const QString path = makeTestFolder(QStringLiteral("exiftool-hung")) + QStringLiteral("/h.jpg");
    ASSERT_TRUE(writeQtJpeg(path));
    ExifToolSession::setTimeLimitForTesting(500);
    struct Reset
    {
        ~Reset() { ExifToolSession::setTimeLimitForTesting(0); }
    } reset;
    ThumbItem item = itemAt(1, 2, 3);
    for (const bool keepOpen : {true, false}) {
        SCOPED_TRACE(keepOpen);
        Capture capture;
        ProgramOverride override(hung);
        MetadataWriteContext context;
        context.keepExifToolOpen = keepOpen;
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(embedGPSFrom(item, path, context));
        EXPECT_LT(clock.elapsed(), 15000);
        EXPECT_TRUE(context.hadError);
        EXPECT_EQ(context.numTaggedByExifTool, 0);
        EXPECT_TRUE(capture.console().endsWith(
            QStringLiteral(": no answer within 1 seconds; ExifTool was stopped\n")))
            << capture.console().toStdString();
        EXPECT_FALSE(context.exifToolSession); // the next file starts a fresh program
    }

    // The limit grows with the file: a minute and a half for a small one, more for a large one.
    ExifToolSession::setTimeLimitForTesting(0);
    EXPECT_EQ(ExifToolSession::timeLimitMs(1, 1000), 90000);
    EXPECT_EQ(ExifToolSession::timeLimitMs(1, qint64(4) << 30), 90000 + 512000);
    EXPECT_EQ(ExifToolSession::timeLimitMs(3, 0), 150000);

    // After a hang the real program serves the next file.
    if (!Process::findProgram(QStringLiteral("exiftool")))
        GTEST_SKIP() << "exiftool not installed";
    Capture capture;
    MetadataWriteContext context;
    EXPECT_TRUE(embedGPSFrom(item, path, context)) << capture.console().toStdString();
    EXPECT_EQ(context.numTaggedByExifTool, 1);
    context.exifToolSession.reset();
}
