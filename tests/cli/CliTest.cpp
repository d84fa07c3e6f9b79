#include "log/IngestionLogController.h"
#include "platform/Process.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

ProcessResult cli(const QStringList &args)
{
    return runCli(args);
}

} // namespace

TEST(Cli, VersionHelpAndUsageErrors)
{
    const ProcessResult version = cli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.stdoutData, QByteArray("brindlewick-cli " BRINDLEWICK_VERSION "\n"));

    const ProcessResult help = cli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.stdoutData.contains("log "));

    EXPECT_EQ(cli({}).exitCode, 2);
    EXPECT_EQ(cli({"no-such-command"}).exitCode, 2);
    EXPECT_EQ(cli({"log", "show", "Feb"}).exitCode, 2);
    EXPECT_EQ(cli({"log", "--help"}).exitCode, 0);
}

TEST(Cli, LogListAndShowReadTheSameStoreAsTheProgram)
{
    const QString dir = IngestionLogController::initLogDir(); // inside the test home
    writeTestFile(dir + "/2024-01.txt", "2024-01-05 10:00:00: SUCCESS: 3 files\n");
    writeTestFile(dir + "/2024-02.txt", "x\n");
    writeTestFile(dir + "/.hidden.txt", "x\n");

    const ProcessResult list = cli({"log", "list"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.stdoutData, QByteArray("2024-01\n2024-02\n"));

    const ProcessResult show = cli({"log", "show", "2024-01"});
    EXPECT_EQ(show.exitCode, 0);
    EXPECT_EQ(show.stdoutData, QByteArray("2024-01-05 10:00:00: SUCCESS: 3 files\n"));
    EXPECT_EQ(cli({"log", "show", "2023-12"}).exitCode, 1);
}
