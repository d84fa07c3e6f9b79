// The command-line tool never reports a failure as success, and never drops what it was told:
// damaged presets, values for fields a preset lacks, unknown zones, GPX files named twice, a
// track store that cannot be written, a card with a folder it cannot read.
#include "platform/AppPaths.h"
#include "platform/Defaults.h"
#include "platform/Process.h"
#include "presets/Setup.h"
#include "support/ImageFixtures.h"
#include "support/Permissions.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

ProcessResult cli(const QStringList &args)
{
    return runCli(args);
}

QString presetsFolder()
{
    const QString folder = AppPaths::supportFolder();
    AppPaths::ensureFolder(folder);
    return folder;
}

// A preset that copies into `root`/Primary under the original names, changed by `changes`.
void writePreset(const QString &name, const QString &root, const QVariantMap &changes = {})
{
    QVariantMap dict = Setup::defaultSetup().dict();
    dict.insert(QStringLiteral("PrimaryRootFolder"), root + QStringLiteral("/Primary"));
    dict.insert(QStringLiteral("PostApp"), QString());
    for (auto it = changes.begin(); it != changes.end(); ++it)
        dict.insert(it.key(), it.value());
    ASSERT_TRUE(Setup::writeFile(presetsFolder() + "/" + name + ".plist", dict));
}

QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = QDir(root).relativeFilePath(it.next());
        if (!file.startsWith(QLatin1String("ascmhl/"))) // the copy manifests
            files << file;
    }
    files.sort();
    return files;
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

QString writeGpx(const QString &path)
{
    QByteArray body;
    for (int minute = 0; minute <= 10; ++minute)
        body += QStringLiteral("<trkpt lat=\"%1\" lon=\"-0.120000\"><time>2011-06-01T14:%2:00Z"
                               "</time></trkpt>")
                    .arg(51.5 + minute * 0.001, 0, 'f', 6)
                    .arg(minute, 2, 10, QLatin1Char('0'))
                    .toUtf8();
    EXPECT_TRUE(writeTestFile(path, "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" "
                                    "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><name>T"
                                    "</name><trkseg>" +
                                        body + "</trkseg></trk></gpx>\n"));
    return path;
}

// The local zone of the child processes started while this lives.
struct LocalZone
{
    explicit LocalZone(const char *zone)
    {
        const char *old = std::getenv("TZ");
        m_old = old ? std::optional<QByteArray>(old) : std::nullopt;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~LocalZone()
    {
        if (m_old)
            setenv("TZ", m_old->constData(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::optional<QByteArray> m_old;
};

} // namespace

TEST(CliFaults, DamagedPresetIsNamedAndNeverRunAsTheDefaults)
{
    const QString card = makeSmallCard("card-damaged-preset");
    const QString out = makeTestFolder("damaged-preset-out");
    writePreset("Good", out);
    const QString damaged = presetsFolder() + "/Trips.plist";
    ASSERT_TRUE(writeTestFile(damaged, "<?xml version=\"1.0\"?><plist><dict><key>Primary"));
    ASSERT_TRUE(writeTestFile(presetsFolder() + "/Listed.plist",
                              "<?xml version=\"1.0\"?><plist><array/></plist>"));

    ProcessResult r = cli({"presets", "list"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.stdoutData, QByteArray("Default\nGood\n"));
    EXPECT_TRUE(r.stderrData.contains("\"" + damaged.toUtf8() + "\" is damaged"));
    EXPECT_TRUE(r.stderrData.contains("Listed.plist\" is damaged"));

    r = cli({"presets", "show", "trips"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.stdoutData.isEmpty());
    EXPECT_TRUE(r.stderrData.startsWith("brindlewick-cli presets: The preset \"Trips\" can't be "
                                        "used: its file \"" +
                                        damaged.toUtf8() + "\" is damaged"));

    // Nothing is copied anywhere: not to the default folder, not with the default names.
    for (const QString &command : {QStringLiteral("ingest"), QStringLiteral("preview")}) {
        r = cli({command, card, "--preset", "Trips"});
        EXPECT_EQ(r.exitCode, 1) << command.toStdString();
        EXPECT_TRUE(r.stderrData.contains(damaged.toUtf8())) << command.toStdString();
    }
    EXPECT_EQ(cli({"macro", "--preset", "Trips", "{@FileNameOriginal}", card + "/DCIM/IMG_1.JPG"})
                  .exitCode,
              1);
    EXPECT_FALSE(QFileInfo::exists(QDir::homePath() + "/Pictures"));

    // The desktop program's remembered preset is damaged: the same, without --preset.
    Defaults::set(QStringLiteral("Preset"), QStringLiteral("Trips"));
    r = cli({"ingest", card});
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
    ASSERT_EQ(cli({"tracks", "add", gpx}).exitCode, 0);
    // A hand-written preset without any "Metadata": only folders, names and geotagging.
    const QString out = makeTestFolder("given-out");
    QVariantMap bare{{"PrimaryRootFolder", out + "/Primary"},
                     {"FilenameArrangement", "{@FileNameOriginal}"},
                     {"GeoTag", "YES"}};
    ASSERT_TRUE(Setup::writeFile(presetsFolder() + "/Bare.plist", bare));

    // The position goes into the XMP packet, where it can be read back without ExifTool.
    Defaults::set(QStringLiteral("WantEmbeddedGPS"), false);
    // The camera clock ran on UTC while this computer is nine hours ahead: only the zone given
    // on the command line places the images on the track.
    LocalZone tokyo("Asia/Tokyo");
    const QStringList unknownZone{"ingest", card, "--preset", "Bare", "--timezone", "Mars/Base"};
    ProcessResult r = cli(unknownZone);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.stderrData.contains("Unknown time zone \"Mars/Base\"."));
    EXPECT_TRUE(filesBelow(out).isEmpty());

    r = cli({"ingest", card, "--preset", "Bare", "--caption", "Hello", "--set", "IPTC.City=Oslo",
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
}

TEST(CliFaults, TracksAddedTwiceOrNotStoredAreNotSuccesses)
{
    const QString gpx = writeGpx(makeTestFolder("twice") + "/walk.gpx");
    ProcessResult r = cli({"tracks", "add", gpx, gpx});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.stdoutData, "added " + gpx.toUtf8() + "\n");
    EXPECT_EQ(r.stderrData, "Track already loaded.: " + gpx.toUtf8() + "\n");
    r = cli({"tracks", "remove", gpx, gpx});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.stdoutData, "removed " + gpx.toUtf8() + "\n");

    // A store that cannot be written ("GPS" is a file here) keeps nothing: not a success.
    const QString store = presetsFolder() + "/GPS";
    ASSERT_TRUE(QDir(store).removeRecursively());
    ASSERT_TRUE(writeTestFile(store, "in the way"));
    r = cli({"tracks", "add", gpx});
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
    writePreset("Plain", out);
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
