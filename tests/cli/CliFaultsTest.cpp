// The command-line tool never reports a failure as success, and never drops what it was told:
// damaged presets, values for fields a preset lacks, unknown zones, GPX files named twice, a
// track store that cannot be written, a card with a folder it cannot read.
#include "platform/Defaults.h"
#include "platform/Process.h"
#include "support/GpxFixtures.h"
#include "support/ImageFixtures.h"
#include "support/Permissions.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QString presetsFolder()
{
    const QString folder = AppPaths::supportFolder();
    AppPaths::ensureFolder(folder);
    return folder;
}

// A preset that copies into `root`/Primary under the original names.
void writePlainPreset(const QString &name, const QString &root)
{
    ASSERT_TRUE(writePreset(name, {{"PrimaryRootFolder", root + "/Primary"}, {"PostApp", ""}}));
}

// Two JPEGs taken at 14:05 and 14:06 on a UTC camera clock.
QString makeSmallCard(const QString &name)
{
    const QString card = makeTestFolder(name);
    EXPECT_TRUE(ImageFixtures::writeJpeg(card + "/DCIM/IMG_1.JPG", QSize(32, 24),
                                         {{"Exif.Photo.DateTimeOriginal", "2011:06:01 14:05:00"}}));
    EXPECT_TRUE(ImageFixtures::writeJpeg(card + "/DCIM/IMG_2.JPG", QSize(32, 24),
                                         {{"Exif.Photo.DateTimeOriginal", "2011:06:01 14:06:00"}},
                                         QColor(200, 90, 40)));
    return card;
}

// A track along the card's minutes, 14:00 to 14:10 UTC, from 51.500 north.
QString writeGpx(const QString &path)
{
    QByteArray points;
    for (int minute = 0; minute <= 10; ++minute)
        points += trkpt(51.5 + minute * 0.001, -0.12,
                        QStringLiteral("2011-06-01T14:%1:00Z")
                            .arg(minute, 2, 10, QLatin1Char('0'))
                            .toUtf8()
                            .constData());
    EXPECT_TRUE(writeTestFile(path, gpxTrack("T", points)));
    return path;
}

} // namespace

TEST(CliFaults, DamagedPresetIsNamedAndNeverRunAsTheDefaults)
{
    const QString card = makeSmallCard("card-damaged-preset");
    const QString out = makeTestFolder("damaged-preset-out");
    writePlainPreset("Good", out);
    const QString damaged = presetsFolder() + "/Trips.plist";
    ASSERT_TRUE(writeTestFile(damaged, "<?xml version=\"1.0\"?><plist><dict><key>Primary"));

    ProcessResult r = runCli({"presets", "list"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.stdoutData, QByteArray("Default\nGood\n"));
    EXPECT_TRUE(r.stderrData.contains("\"" + damaged.toUtf8() + "\" is damaged"));

    r = runCli({"presets", "show", "trips"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.stdoutData.isEmpty());
    EXPECT_TRUE(r.stderrData.startsWith("brindlewick-cli presets: The preset \"Trips\" can't be "
                                        "used: its file \"" +
                                        damaged.toUtf8() + "\" is damaged"));

    // Nothing is copied anywhere: not to the default folder, not with the default names.
    for (const QString &command : {QStringLiteral("ingest"), QStringLiteral("preview")}) {
        r = runCli({command, card, "--preset", "Trips"});
        EXPECT_EQ(r.exitCode, 1) << command.toStdString();
        EXPECT_TRUE(r.stderrData.contains(damaged.toUtf8())) << command.toStdString();
    }
    EXPECT_EQ(
        runCli({"macro", "--preset", "Trips", "{@FileNameOriginal}", card + "/DCIM/IMG_1.JPG"})
            .exitCode,
        1);
    EXPECT_FALSE(QFileInfo::exists(QDir::homePath() + "/Pictures"));

    // The desktop program's remembered preset is damaged: the same, without --preset.
    Defaults::set(QStringLiteral("Preset"), QStringLiteral("Trips"));
    r = runCli({"ingest", card});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.stderrData.contains(damaged.toUtf8()));
    Defaults::remove(QStringLiteral("Preset"));
    EXPECT_FALSE(QFileInfo::exists(QDir::homePath() + "/Pictures"));
    EXPECT_EQ(readTestFile(damaged),
              QByteArray("<?xml version=\"1.0\"?><plist><dict><key>Primary"));
}

TEST(CliFaults, GivenFieldsAndZoneReachEveryFileWhosePresetLacksThem)
{
    const QString card = makeSmallCard("card-given");
    const QString gpx = writeGpx(makeTestFolder("given-gpx") + "/walk.gpx");
    ASSERT_EQ(runCli({"tracks", "add", gpx}).exitCode, 0);
    // A hand-written preset without any "Metadata": only folders, names and geotagging.
    const QString out = makeTestFolder("given-out");
    QVariantMap bare{{"PrimaryRootFolder", out + "/Primary"},
                     {"FilenameArrangement", "{@FileNameOriginal}"},
                     {"GeoTag", "YES"}};
    ASSERT_TRUE(writePreset("Bare", bare, {}));

    // The position goes into the XMP packet, where it can be read back without ExifTool.
    Defaults::set(QStringLiteral("WantEmbeddedGPS"), false);
    // The camera clock ran on UTC while this computer is nine hours ahead: only the zone given
    // on the command line places the images on the track.
    ScopedTimeZone tokyo("Asia/Tokyo");
    const QStringList unknownZone{"ingest", card, "--preset", "Bare", "--timezone", "Mars/Base"};
    ProcessResult r = runCli(unknownZone);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.stderrData.contains("Unknown time zone \"Mars/Base\"."));
    EXPECT_TRUE(filesBelow(out).isEmpty());

    r = runCli({"ingest", card, "--preset", "Bare", "--caption", "Hello", "--set", "IPTC.City=Oslo",
                "--keywords", "river, walk", "--timezone", "utc"});
    ASSERT_EQ(r.exitCode, 0) << r.stderrData.constData() << r.stdoutData.constData();
    EXPECT_FALSE(r.stderrData.contains("TimeZone not set.")) << r.stderrData.constData();
    const QStringList files = filesBelow(out + "/Primary");
    ASSERT_EQ(files, (QStringList{"IMG_1.JPG", "IMG_2.JPG"}));
    for (const QString &file : files) {
        const QByteArray bytes = readTestFile(out + "/Primary/" + file);
        EXPECT_TRUE(bytes.contains(">Hello<")) << file.toStdString();
        EXPECT_TRUE(bytes.contains(">Oslo<")) << file.toStdString();
        EXPECT_TRUE(bytes.contains(">river<")) << file.toStdString();
        EXPECT_TRUE(bytes.contains("<exif:GPSLatitude>51.50")) << file.toStdString();
    }
    // The preset file is left as it was written.
    EXPECT_EQ(Setup::readFile(presetsFolder() + "/Bare.plist"), bare);
    Defaults::remove(QStringLiteral("WantEmbeddedGPS"));
}

TEST(CliFaults, TracksAddedTwiceOrNotStoredAreNotSuccesses)
{
    const QString gpx = writeGpx(makeTestFolder("twice") + "/walk.gpx");
    ProcessResult r = runCli({"tracks", "add", gpx, gpx});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.stdoutData, "added " + gpx.toUtf8() + "\n");
    EXPECT_EQ(r.stderrData, "Track already loaded.: " + gpx.toUtf8() + "\n");
    r = runCli({"tracks", "remove", gpx, gpx});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.stdoutData, "removed " + gpx.toUtf8() + "\n");

    // A store that cannot be written ("GPS" is a file here) keeps nothing: not a success.
    const QString store = presetsFolder() + "/GPS";
    ASSERT_TRUE(QDir(store).removeRecursively());
    ASSERT_TRUE(writeTestFile(store, "in the way"));
    r = runCli({"tracks", "add", gpx});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.stdoutData.isEmpty());
    EXPECT_TRUE(r.stderrData.contains("the track store could not be written"));
    ASSERT_TRUE(QFile::remove(store));
}

TEST(CliFaults, UnreadableFolderOfACardIsNamedAndTheRunSaysSo)
{
    const QString card = makeSmallCard("card-locked");
    ASSERT_TRUE(ImageFixtures::writeJpeg(card + "/PRIVATE/IMG_9.JPG", QSize(8, 8)));
    const QString locked = card + "/PRIVATE";
    const QString out = makeTestFolder("locked-out");
    writePlainPreset("Plain", out);
    QFile::setPermissions(locked, QFileDevice::Permissions());
    const ProcessResult r =
        Process::run(withPermissionsHolding(cliRequest({"ingest", card, "--preset", "Plain"})));
    QFile::setPermissions(locked,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(r.exitCode, 1) << r.stderrData.constData();
    EXPECT_TRUE(
        r.stdoutData.contains("WARNING: The folder \"" + locked.toUtf8() + "\" couldn't be read"))
        << r.stdoutData.constData();
    EXPECT_TRUE(r.stderrData.contains("1 folder(s) of the source could not be read"));
    EXPECT_EQ(filesBelow(out + "/Primary"), (QStringList{"IMG_1.JPG", "IMG_2.JPG"}));
}
