#include "log/IngestionLogController.h"
#include "platform/Process.h"
#include "support/TestSupport.h"

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
    const QString dir = IngestionLogController::initLogDir(); // inside the test home
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
