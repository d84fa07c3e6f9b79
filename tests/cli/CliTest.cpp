#include "log/IngestionLogController.h"
#include "platform/Process.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

TEST(Cli, VersionHelpAndUsageErrors)
{
    const ProcessResult version = runCli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.stdoutData, QByteArray("brindlewick-cli " BRINDLEWICK_VERSION "\n"));
    EXPECT_TRUE(runCli({"--help"}).stdoutData.contains("log "));
    EXPECT_TRUE(runCli({"presets", "--help"}).stdoutData.contains("presets set NAME KEY VALUE"));
    // Every command answers --help with its own usage.
    for (const char *command : {"log", "presets", "prefs", "lookups", "ingest", "verify", "watch",
                                "macro", "macros", "tracks", "info"}) {
        const ProcessResult help = runCli({command, "--help"});
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_TRUE(help.stdoutData.startsWith("Usage: brindlewick-cli " + QByteArray(command)))
            << command;
    }

    // A wrong command, name, key or missing argument is status 2 with a word on stderr, before
    // anything is read or stored. Which names and keys are wrong is the core's test.
    const QList<QStringList> usageErrors{
        {},
        {"no-such-command"},
        {"log", "show", "Feb"},
        {"presets", "frobnicate"},
        {"presets", "new"},
        {"presets", "new", "a/b"},
        {"presets", "new", "Copy", "--from"},
        {"presets", "set", "x", "y"},
        {"prefs", "frobnicate"},
        {"prefs", "get"},
        {"prefs", "get", "NoSuchKey"},
        {"prefs", "set", "WantEmbeddedGPS"},
        {"lookups", "drop"},
        {"lookups", "list", "Exif.Make"},
        {"lookups", "set", "TIFF.Make", "a"},
        {"watch"},
        {"watch", "--preset", "Nowhere"},
        {"verify"},
        {"verify", "--bogus", testHome()},
        {"ingest"},
        {"ingest", testHome(), "--preset", "Nope"},
        {"ingest", testHome(), "--set", "NoSuchField=1"},
    };
    for (const QStringList &args : usageErrors) {
        const ProcessResult result = runCli(args);
        EXPECT_EQ(result.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(result.stderrData.isEmpty()) << args.join(' ').toStdString();
    }
}

TEST(Cli, LogListAndShowReadTheSameStoreAsTheProgram)
{
    // Inside the test home; emptied of the months other cases' runs wrote when they share it.
    QDir(IngestionLogController::initLogDir()).removeRecursively();
    const QString dir = IngestionLogController::initLogDir();
    writeTestFile(dir + "/2024-01.txt", "2024-01-05 10:00:00: SUCCESS: 3 files\n");
    writeTestFile(dir + "/2024-02.txt", "x\n");
    writeTestFile(dir + "/.hidden.txt", "x\n");

    const ProcessResult list = runCli({"log", "list"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.stdoutData, QByteArray("2024-01\n2024-02\n"));
    const ProcessResult show = runCli({"log", "show", "2024-01"});
    EXPECT_EQ(show.exitCode, 0);
    EXPECT_EQ(show.stdoutData, QByteArray("2024-01-05 10:00:00: SUCCESS: 3 files\n"));
    EXPECT_EQ(runCli({"log", "show", "2023-12"}).exitCode, 1);
}

// The properties themselves are the image readers' test (and their agreement with exiftool);
// here the output forms of one file and of several, with a missing one named.
TEST(Cli, InfoPrintsThePropertiesOfEachFile)
{
    const QString image = makeTestFolder("info") + "/IMG_1.JPG";
    ASSERT_TRUE(ImageFixtures::writeJpeg(image, QSize(32, 24), {{"Exif.Image.Make", "Nikon"}}));
    const ProcessResult one = runCli({"info", "--json", image});
    EXPECT_EQ(one.exitCode, 0) << one.stderrData.constData();
    const QJsonObject props = QJsonDocument::fromJson(one.stdoutData).object();
    EXPECT_EQ(props.value("{TIFF}").toObject().value("Make").toString(), "Nikon");
    EXPECT_EQ(props.value("PixelWidth").toInt(), 32);
    EXPECT_TRUE(runCli({"info", image}).stdoutData.contains("Nikon"));

    const QString missing = testHome() + "/missing.jpg";
    const ProcessResult several = runCli({"info", "--json", image, missing});
    EXPECT_EQ(several.exitCode, 1);
    EXPECT_TRUE(several.stderrData.contains(missing.toUtf8() + ": no such file"));
    const QJsonArray all = QJsonDocument::fromJson(several.stdoutData).array();
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all.at(0).toObject().value("SourceFile").toString(), image);
    EXPECT_EQ(all.at(0).toObject().value("{TIFF}").toObject().value("Make").toString(), "Nikon");
    EXPECT_EQ(all.at(1).toObject().value("SourceFile").toString(), missing);
}
