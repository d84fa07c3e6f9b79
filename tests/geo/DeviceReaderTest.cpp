#include "GeoTestSupport.h"

#include "geo/GPSDeviceReader.h"
#include "geo/TrackAddController.h"
#include "metadata/Prefs.h"
#include "platform/Defaults.h"
#include "platform/Process.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

namespace {

// Puts a stand-in "gpsbabel" (a shell script) alone on PATH for the life of the object. The
// script records its arguments, one per line, in "args.txt" beside it.
class StandIn
{
public:
    explicit StandIn(const QByteArray &behaviour)
        : m_savedPath(qgetenv("PATH")), m_folder(makeTestFolder(QStringLiteral("standin")))
    {
        if (!behaviour.isNull()) {
            const QString script = m_folder + QStringLiteral("/gpsbabel");
            writeTestFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                                      args().toUtf8() + "'\n" + behaviour + "\n");
            QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", m_folder.toLocal8Bit());
    }
    ~StandIn() { qputenv("PATH", m_savedPath); }
    QString args() const { return m_folder + QStringLiteral("/args.txt"); }
    QString folder() const { return m_folder; }

private:
    QByteArray m_savedPath;
    QString m_folder;
};

// The script's way to the output file: the argument after "-F".
const QByteArray kWriteOutput = "out=''; prev=''; for a in \"$@\"; do [ \"$prev\" = -F ] && "
                                "out=\"$a\"; prev=\"$a\"; done; printf '<gpx/>' > \"$out\"";

void makeExecutable(const QString &path, const QByteArray &script)
{
    writeTestFile(path, script);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

TEST_F(GeoTest, DeviceReadingUsesThePreferenceAndAStoppableProgressWindow)
{
    StandIn onPath(kWriteOutput + "\nprintf 'from PATH\\n' >&2");
    // The program the preference names comes first, whatever its file name.
    const QString chosen = makeTestFolder(QStringLiteral("chosen")) + QStringLiteral("/my babel");
    makeExecutable(chosen, "#!/bin/sh\n" + kWriteOutput + "\n");
    Prefs::set(Prefs::GPSBabelPath, chosen);
    TrackAddController dialog;
    const QString output = folder + QStringLiteral("/it's a \"device\" track.gpx");
    ASSERT_TRUE(dialog.readDevice(GPSDeviceReader::Device::Garmin, output))
        << ui.alertTexts().join('\n').toStdString();
    EXPECT_EQ(dialog.files, QStringList{output});
    ASSERT_EQ(ui.progresses.size(), 1);
    EXPECT_EQ(ui.progresses[0]->options.message,
              QStringLiteral("Reading tracks from the GPS device."));
    EXPECT_TRUE(ui.progresses[0]->options.indeterminate);
    EXPECT_TRUE(ui.progresses[0]->ended);

    // A preference that names no program: the one on PATH, and the system log says why.
    Prefs::set(Prefs::GPSBabelPath, folder + QStringLiteral("/nothing"));
    EXPECT_FALSE(dialog.readDevice(GPSDeviceReader::Device::Magellan, output));
    EXPECT_EQ(ui.alertTexts(), QStringList{QStringLiteral("Error running GPSBabel: from PATH\n")});
    EXPECT_TRUE(systemLog.contains(QStringLiteral("GPSBabelPath \"") + folder +
                                   QStringLiteral("/nothing\" is not an executable program; "
                                                  "looking for gpsbabel on PATH")));
    Defaults::remove(QStringLiteral("GPSBabelPath"));

    // Stop ends a device that never answers, with no alert; the dialog stays open.
    ui.clear();
    StandIn hanging("exec /bin/sleep 60");
    ui.stopAtTurn = 4;
    QElapsedTimer clock;
    clock.start();
    TrackAddController waiting;
    EXPECT_FALSE(waiting.readDevice(GPSDeviceReader::Device::Garmin, output));
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_TRUE(ui.alerts.isEmpty());
    EXPECT_TRUE(waiting.files.isEmpty());
    EXPECT_TRUE(systemLog.contains(QStringLiteral("runGPSBabel stopped by the user")));
    ui.stopAtTurn = -1;
}

TEST_F(GeoTest, TrackFilesOfOtherFormatsAreConvertedOnTheWay)
{
    EXPECT_EQ(GPSDeviceReader::inputFormatFor(QStringLiteral("/a/b.TCX")),
              QStringLiteral("gtrnctr"));
    EXPECT_FALSE(GPSDeviceReader::inputFormatFor(QStringLiteral("/a/b.gpx")).has_value());
    EXPECT_TRUE(TrackAddController::openPanelFilters().first().contains(QStringLiteral("*.kml")));

    const QString gpx =
        writeGpx("plain.gpx", "<trk><name>A</name><trkseg>" + trkpt(1, 1, "2011-06-01T12:00:00Z") +
                                  "</trkseg></trk>");
    const QString csv = folder + QStringLiteral("/watch \"log\" 1.csv");
    writeTestFile(csv, "Latitude,Longitude,Date,Time\n52.5,13.4,2011/06/01,12:00:00\n"
                       "52.6,13.5,2011/06/01,12:01:00\n");
    const QString kml = folder + QStringLiteral("/broken.kml");
    writeTestFile(kml, "<kml");
    TrackAddController dialog;
    dialog.setConvertedFolder(folder + QStringLiteral("/GPS/Converted"));
    {
        // GPSBabel is missing: explained once for all files; the GPX file is still taken.
        StandIn nothing{QByteArray()};
        EXPECT_TRUE(dialog.gpxFilesChosen({csv, gpx, kml}));
        EXPECT_EQ(dialog.files, QStringList{gpx});
        ASSERT_EQ(ui.alerts.size(), 2);
        EXPECT_EQ(ui.alerts[0].title,
                  QStringLiteral("Reading track files other than GPX requires GPSBabel."));
        EXPECT_TRUE(ui.progresses.isEmpty());
    }
    if (!Process::findProgram(QStringLiteral("gpsbabel")))
        GTEST_SKIP() << "gpsbabel not installed";
    ui.clear();
    dialog.reset();
    EXPECT_TRUE(dialog.gpxFilesChosen({csv, gpx, kml}));
    const QString converted = dialog.convertedPathFor(csv);
    EXPECT_EQ(dialog.files, (QStringList{converted, gpx}));
    EXPECT_TRUE(QFileInfo(converted).fileName().startsWith(QStringLiteral("watch \"log\" 1-")));
    ASSERT_EQ(ui.alerts.size(), 1);
    EXPECT_EQ(ui.alerts[0].title, QStringLiteral("Error running GPSBabel"));
    EXPECT_EQ(ui.progresses.size(), 1);
    EXPECT_EQ(ui.progresses[0]->options.message,
              QStringLiteral("Converting 2 files with GPSBabel."));
    ASSERT_TRUE(store->addFiles(dialog.files).has_value());
    EXPECT_EQ(store->tracks().size(), 2u);
    // Two sources of one name in different folders do not share a converted file.
    EXPECT_NE(dialog.convertedPathFor(folder + QStringLiteral("/x/watch \"log\" 1.csv")),
              converted);

    // Converted and listed already: not converted again; the store then says it is loaded.
    const QDateTime written = QFileInfo(converted).lastModified();
    dialog.reset();
    dialog.setLoadedFiles(store->gpxfiles());
    EXPECT_TRUE(dialog.gpxFilesChosen({csv}));
    EXPECT_EQ(dialog.files, QStringList{converted});
    EXPECT_EQ(QFileInfo(converted).lastModified(), written);
    ui.clear();
    store->addFiles(dialog.files);
    EXPECT_EQ(ui.alertTexts(), QStringList{QStringLiteral("Track already loaded.: ") + converted});
}

TEST_F(GeoTest, DeviceReaderRunsTheStandInWithAnArgumentVector)
{
    StandIn standIn(kWriteOutput);
    const QString output = folder + QStringLiteral("/it's \"my\" $track; 1.gpx");
    TrackAddController dialog;
    ASSERT_TRUE(dialog.readDevice(GPSDeviceReader::Device::Garmin, output));
    EXPECT_EQ(dialog.files, QStringList{output});
    EXPECT_TRUE(QFileInfo::exists(output));
    EXPECT_EQ(readTestFile(standIn.args()),
              "-t\n-i\nGarmin\n-f\nUSB:\n-o\ngpx\n-F\n" + output.toUtf8() + "\n");
    EXPECT_TRUE(ui.alerts.isEmpty());
    ASSERT_FALSE(systemLog.isEmpty());
    EXPECT_TRUE(systemLog.first().startsWith(QStringLiteral("runGPSBabel [")));
    EXPECT_TRUE(systemLog.first().contains(QStringLiteral("-t -i Garmin -f USB: -o gpx -F ")));

    ASSERT_TRUE(dialog.readDevice(GPSDeviceReader::Device::Magellan, output));
    EXPECT_TRUE(readTestFile(standIn.args()).startsWith("-t\n-i\nMagellan\n-f\nUSB:\n-o\n"));

    // Without an output path the reader makes a temporary one ending in ".gpx".
    const auto result = GPSDeviceReader::run(
        GPSDeviceReader::inputArguments(GPSDeviceReader::Device::Garmin), QString());
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.outputPath.endsWith(QStringLiteral(".gpx")));
    EXPECT_TRUE(QFileInfo::exists(result.outputPath));
    QFile::remove(result.outputPath);
}

TEST_F(GeoTest, DeviceReaderJudgesByTheErrorOutput)
{
    const QString output = folder + QStringLiteral("/device.gpx");
    {
        StandIn warning(kWriteOutput + "\nprintf 'Warning: clock skew\\nmore\\n' >&2");
        TrackAddController dialog;
        EXPECT_FALSE(dialog.readDevice(GPSDeviceReader::Device::Garmin, output));
        EXPECT_TRUE(dialog.files.isEmpty());
        EXPECT_EQ(ui.alertTexts(),
                  QStringList{QStringLiteral("Error running GPSBabel: Warning: clock skew\n")});
    }
    {
        ui.clear();
        systemLog.clear();
        StandIn quietFailure("exit 3");
        EXPECT_TRUE(GPSDeviceReader::run({}, output).ok);
        EXPECT_TRUE(systemLog.contains(QStringLiteral("runGPSBabel system returned 3")));
    }
    {
        StandIn killed("kill -9 $$");
        const auto result = GPSDeviceReader::run({}, output);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message, QStringLiteral("GPS device reader (gpsbabel) failed to run or "
                                                 "terminated improperly"));
    }
    {
        // A line longer than the buffer is cut at 299 characters.
        StandIn chatty("printf '%0400d\\n' 0 >&2");
        const auto result = GPSDeviceReader::run({}, output);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message.size(), 299);
    }
}

TEST_F(GeoTest, MissingGPSBabelCancelledPanelAndChosenFiles)
{
    StandIn nothing{QByteArray()};
    TrackAddController dialog;
    EXPECT_FALSE(dialog.readDevice(GPSDeviceReader::Device::Garmin, std::nullopt));
    EXPECT_TRUE(ui.alerts.isEmpty()); // cancelled save panel: nothing runs

    EXPECT_FALSE(dialog.readDevice(GPSDeviceReader::Device::Garmin, folder + "/x.gpx"));
    ASSERT_EQ(ui.alerts.size(), 2);
    EXPECT_EQ(ui.alerts[0].title,
              QStringLiteral("Accessing Garmin or Magellan devices requires GPSBabel."));
    EXPECT_TRUE(ui.alerts[0].message.startsWith(QStringLiteral("1. ")));
    EXPECT_EQ(ui.alertTexts()[1],
              QStringLiteral("Error running GPSBabel: can't find GPSBabel executable"));

    const QStringList chosen{"/a/1.gpx", "/b/2.gpx", "/c/3.gpx"};
    EXPECT_FALSE(dialog.gpxFilesChosen({}));
    EXPECT_TRUE(dialog.gpxFilesChosen(chosen));
    EXPECT_EQ(dialog.files, chosen);
    EXPECT_EQ(TrackAddController::lastGPXFile(), QStringLiteral("/a/1.gpx"));
    TrackAddController::saveFileChosen(QStringLiteral("/d/4.gpx"));
    EXPECT_EQ(Defaults::string(QStringLiteral("TrackSaveFiles")), QStringLiteral("/d/4.gpx"));
    dialog.reset();
    EXPECT_TRUE(dialog.files.isEmpty());
}

TEST_F(GeoTest, RealGPSBabelConvertsAFileToGpx)
{
    if (!Process::findProgram(QStringLiteral("gpsbabel")))
        GTEST_SKIP() << "gpsbabel not installed";
    const QString input = folder + QStringLiteral("/in put.csv");
    writeTestFile(input, "Latitude,Longitude,Date,Time,Name\n"
                         "52.5,13.4,2011/06/01,12:00:00,A\n"
                         "52.6,13.5,2011/06/01,12:01:00,B\n");
    const QString output = folder + QStringLiteral("/it's converted.gpx");
    // unicsv gives waypoints; the filter makes them a track so that "-t" has one to write.
    const auto result =
        GPSDeviceReader::run({"-i", "unicsv", "-f", input, "-x", "transform,trk=wpt,del"}, output);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    store->readData();
    ASSERT_TRUE(store->loadGPXFile(output, true));
    ASSERT_EQ(store->tracks().size(), 1u);
    const auto &points = store->tracks()[0]->trksegs().at(0)->trkpts;
    ASSERT_EQ(points.size(), 2u);
    EXPECT_DOUBLE_EQ(points[1].lat, 52.6);
    EXPECT_DOUBLE_EQ(points[1].time - points[0].time, 60);
}
