#include "GeoTestSupport.h"

#include "geo/GPSDeviceReader.h"
#include "geo/TrackAddController.h"
#include "metadata/Prefs.h"
#include "platform/Defaults.h"
#include "platform/Process.h"
#include "support/StandInProgram.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

namespace {

// A stand-in GPSBabel that writes an empty track file, then runs `more`.
StandInProgram gpsbabel(const QByteArray &more = {})
{
    return StandInProgram(QStringLiteral("gpsbabel"), gpsbabelWrites("<gpx/>") + '\n' + more);
}

// None on PATH at all.
StandInProgram noGpsbabel()
{
    return StandInProgram(QStringLiteral("gpsbabel"), QByteArray());
}

} // namespace

TEST_F(GeoTest, DeviceReadingRunsGPSBabelWithAnArgumentVectorAndAStoppableProgress)
{
    const StandInProgram onPath = gpsbabel();
    // The program the preference names comes first, whatever its file name.
    const QString chosen = makeTestFolder(QStringLiteral("chosen")) + QStringLiteral("/my babel");
    ASSERT_TRUE(writeExecutable(chosen, "#!/bin/sh\n" + gpsbabelWrites("<gpx/>") + "\n"));
    Prefs::set(Prefs::GPSBabelPath, chosen);
    TrackAddController dialog;
    // A file name with quotes, blanks and shell signs reaches the program unchanged: no shell.
    const QString output = folder + QStringLiteral("/it's \"my\" $track; 1.gpx");
    ASSERT_TRUE(dialog.readDevice(GPSDeviceReader::Device::Garmin, output))
        << ui.alertTexts().join('\n').toStdString();
    EXPECT_EQ(dialog.files, QStringList{output});
    EXPECT_TRUE(QFileInfo::exists(output));
    EXPECT_FALSE(QFileInfo::exists(onPath.args()));
    ASSERT_EQ(ui.progresses.size(), 1);
    EXPECT_EQ(ui.progresses[0]->options.message,
              QStringLiteral("Reading tracks from the GPS device."));
    EXPECT_TRUE(ui.progresses[0]->options.indeterminate);
    EXPECT_TRUE(ui.progresses[0]->ended);
    ASSERT_FALSE(systemLog.isEmpty());
    EXPECT_TRUE(systemLog.first().startsWith(QStringLiteral("runGPSBabel [")));
    EXPECT_TRUE(systemLog.first().contains(QStringLiteral("-t -i Garmin -f USB: -o gpx -F ")));

    // A preference that names no program: the one on PATH, and the system log says why.
    Prefs::set(Prefs::GPSBabelPath, folder + QStringLiteral("/nothing"));
    ASSERT_TRUE(dialog.readDevice(GPSDeviceReader::Device::Magellan, output));
    EXPECT_EQ(readTestFile(onPath.args()),
              "-t\n-i\nMagellan\n-f\nUSB:\n-o\ngpx\n-F\n" + output.toUtf8() + "\n");
    EXPECT_TRUE(systemLog.contains(QStringLiteral("GPSBabelPath \"") + folder +
                                   QStringLiteral("/nothing\" is not an executable program; "
                                                  "looking for gpsbabel on PATH")));
    Defaults::remove(QStringLiteral("GPSBabelPath"));
    EXPECT_TRUE(ui.alerts.isEmpty());

    // Without an output path the reader makes a temporary one ending in ".gpx".
    const auto result = GPSDeviceReader::run(
        GPSDeviceReader::inputArguments(GPSDeviceReader::Device::Garmin), QString());
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.outputPath.endsWith(QStringLiteral(".gpx")));
    EXPECT_TRUE(QFileInfo::exists(result.outputPath));
    EXPECT_TRUE(readTestFile(onPath.args()).startsWith("-t\n-i\nGarmin\n-f\nUSB:\n-o\n"));
    QFile::remove(result.outputPath);

    // Stop ends a device that never answers, with no alert; the dialog stays open.
    const StandInProgram hanging(QStringLiteral("gpsbabel"), "exec /bin/sleep 60");
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
        const StandInProgram nothing = noGpsbabel();
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
    ASSERT_EQ(store->tracks().size(), 2u);
    // The rows of the table are the points of the converted track, in order.
    const TrkPtr fromCsv =
        store->tracks()[0]->gpxfile == converted ? store->tracks()[0] : store->tracks()[1];
    ASSERT_EQ(fromCsv->gpxfile, converted);
    const auto &points = fromCsv->trksegs().at(0)->trkpts;
    ASSERT_EQ(points.size(), 2u);
    EXPECT_DOUBLE_EQ(points[1].lat, 52.6);
    EXPECT_DOUBLE_EQ(points[1].time - points[0].time, 60);
    // Two sources of one name in different folders do not share a converted file.
    EXPECT_NE(dialog.convertedPathFor(folder + QStringLiteral("/x/watch \"log\" 1.csv")),
              converted);

    // Converted and listed already: not converted again.
    const QDateTime written = QFileInfo(converted).lastModified();
    dialog.reset();
    dialog.setLoadedFiles(store->gpxfiles());
    EXPECT_TRUE(dialog.gpxFilesChosen({csv}));
    EXPECT_EQ(dialog.files, QStringList{converted});
    EXPECT_EQ(QFileInfo(converted).lastModified(), written);
}

TEST_F(GeoTest, DeviceReaderJudgesByTheErrorOutput)
{
    const QString output = folder + QStringLiteral("/device.gpx");
    {
        const StandInProgram warning = gpsbabel("printf 'Warning: clock skew\\nmore\\n' >&2");
        TrackAddController dialog;
        EXPECT_FALSE(dialog.readDevice(GPSDeviceReader::Device::Garmin, output));
        EXPECT_TRUE(dialog.files.isEmpty());
        EXPECT_EQ(ui.alertTexts(),
                  QStringList{QStringLiteral("Error running GPSBabel: Warning: clock skew\n")});
    }
    {
        ui.clear();
        systemLog.clear();
        const StandInProgram quietFailure(QStringLiteral("gpsbabel"), "exit 3");
        EXPECT_TRUE(GPSDeviceReader::run({}, output).ok);
        EXPECT_TRUE(systemLog.contains(QStringLiteral("runGPSBabel system returned 3")));
    }
    {
        const StandInProgram killed(QStringLiteral("gpsbabel"), "kill -9 $$");
        const auto result = GPSDeviceReader::run({}, output);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message, QStringLiteral("GPS device reader (gpsbabel) failed to run or "
                                                 "terminated improperly"));
    }
    {
        // A line longer than the buffer is cut at 299 characters.
        const StandInProgram chatty(QStringLiteral("gpsbabel"), "printf '%0400d\\n' 0 >&2");
        const auto result = GPSDeviceReader::run({}, output);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message.size(), 299);
    }
}

TEST_F(GeoTest, MissingGPSBabelCancelledPanelAndChosenFiles)
{
    const StandInProgram nothing = noGpsbabel();
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
