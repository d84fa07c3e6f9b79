#include "platform/AppPaths.h"
#include "platform/Process.h"
#include "presets/Setup.h"
#include "support/TestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

QVariantMap preset(const QString &name)
{
    return Setup::readFile(AppPaths::supportFolder() + "/" + name + ".plist")
        .value_or(QVariantMap());
}

QString out(const ProcessResult &result)
{
    return QString::fromUtf8(result.stdoutData);
}

QString err(const ProcessResult &result)
{
    return QString::fromUtf8(result.stderrData);
}

} // namespace

// Each command of the presets command line reaches the store, with its exit statuses: 0 done,
// 1 the store refused, 2 a wrong key or value. Which names, keys and values the store takes is
// the editing rules' own test; here one of each proves the words and statuses get through.
TEST(PresetsCli, MakeChangeRenameDeleteExportImport)
{
    QDir(AppPaths::supportFolder()).removeRecursively();
    EXPECT_EQ(runCli({"presets", "new", "Trips"}).exitCode, 0);
    EXPECT_EQ(preset("Trips").value("FilenameArrangement"), QVariant("{@FileNameOriginal}"));
    const ProcessResult clash = runCli({"presets", "new", "trips"});
    EXPECT_EQ(clash.exitCode, 1);
    EXPECT_TRUE(err(clash).contains("a preset named \"Trips\" already exists"));

    EXPECT_EQ(runCli({"presets", "set", "Trips", "FolderArrangement",
                      "{@DateImage:YYYY}/{@DateImage:MM}"})
                  .exitCode,
              0);
    EXPECT_EQ(runCli({"presets", "set", "Trips", "WantBackup", "yes"}).exitCode, 0);
    EXPECT_EQ(runCli({"presets", "set", "Trips", "BackupRootFolder", "/mnt/backup"}).exitCode, 0);
    EXPECT_EQ(runCli({"presets", "set", "Trips", "IPTC.City", "Oslo"}).exitCode, 0);
    const ProcessResult open =
        runCli({"presets", "set", "Trips", "FilenameArrangement", "IMG-{@Index:4"});
    EXPECT_EQ(open.exitCode, 2);
    EXPECT_TRUE(err(open).contains("unterminated macro at character 5"));
    EXPECT_EQ(runCli({"presets", "set", "Default", "GeoTag", "YES"}).exitCode, 1);
    const ProcessResult shown = runCli({"presets", "show", "trips"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_TRUE(out(shown).contains("Folder Arrangement: {@DateImage:YYYY}/{@DateImage:MM}\n"));
    EXPECT_TRUE(out(shown).contains("Filename Arrangement: {@FileNameOriginal}\n"));
    EXPECT_TRUE(out(shown).contains("Backup Root: /mnt/backup\n"));
    EXPECT_EQ(preset("Trips").value("Metadata").toMap().value("IPTC.City"), QVariant("Oslo"));

    EXPECT_EQ(runCli({"presets", "new", "Birds", "--from", "Trips"}).exitCode, 0);
    EXPECT_EQ(preset("Birds").value("BackupRootFolder"), QVariant("/mnt/backup"));
    EXPECT_EQ(runCli({"presets", "rename", "Trips", "Journeys"}).exitCode, 0);
    EXPECT_EQ(out(runCli({"presets", "list"})), QStringLiteral("Default\nBirds\nJourneys\n"));

    // An existing export is kept unless forced.
    const QString file = makeTestFolder("exports") + "/harbour.plist";
    EXPECT_EQ(runCli({"presets", "export", "Journeys", file}).exitCode, 0);
    EXPECT_EQ(runCli({"presets", "export", "Journeys", file}).exitCode, 1);
    EXPECT_EQ(runCli({"presets", "export", "Journeys", file, "--force"}).exitCode, 0);
    EXPECT_EQ(runCli({"presets", "import", file}).exitCode, 0);
    EXPECT_EQ(preset("harbour").value("BackupRootFolder"), QVariant("/mnt/backup"));
    EXPECT_EQ(runCli({"presets", "import", file, "--name", "Coast"}).exitCode, 0);

    EXPECT_EQ(runCli({"presets", "delete", "Coast"}).exitCode, 0);
    EXPECT_FALSE(QFileInfo::exists(AppPaths::supportFolder() + "/Coast.plist"));
}
