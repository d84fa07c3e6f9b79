// The headless twins of the preferences and lookup windows, run as the built tool in the test
// home: the same store, the same checks, machine-readable output.
#include "platform/AppPaths.h"
#include "platform/Process.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

QJsonDocument json(const ProcessResult &result)
{
    EXPECT_EQ(result.exitCode, 0) << result.stderrData.constData();
    return QJsonDocument::fromJson(result.stdoutData);
}

QString out(const ProcessResult &result)
{
    return QString::fromUtf8(result.stdoutData);
}

QString settingsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Brindlewick");
}

} // namespace

// Which values each key takes is the preference values' own test; here one refusal and one
// change of each kind prove the words, statuses and output forms of the command.
TEST(CliPrefs, ListGetSetResetAndRefusals)
{
    // A refused value is said on stderr, status 1, and nothing is stored.
    const ProcessResult refused = runCli({"prefs", "set", "RawFileExtensions", "NEF/CR2"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.stderrData.contains("\"NEF/CR2\" is not a file extension"))
        << refused.stderrData.constData();
    EXPECT_TRUE(refused.stdoutData.isEmpty());

    // Every key is listed, unset ones with their defaults.
    const QJsonArray all = json(runCli({"prefs", "list", "--json"})).array();
    QStringList keys;
    for (const QJsonValue &entry : all) {
        keys.append(entry.toObject().value("key").toString());
        EXPECT_FALSE(entry.toObject().value("set").toBool()) << keys.last().toStdString();
    }
    ASSERT_TRUE(keys.contains("JpegPreview"));
    EXPECT_EQ(all.at(keys.indexOf("JpegPreview")).toObject().value("value").toString(), "-p0");
    EXPECT_TRUE(out(runCli({"prefs", "list"})).contains("JpegPreview = -p0   # default\n"));

    // Set takes several words and shows what it stored, get shows it in the form set takes.
    EXPECT_EQ(out(runCli({"prefs", "set", "RawFileExtensions", ".nef,", "CR2", "nef"})),
              "nef CR2\n");
    EXPECT_EQ(out(runCli({"prefs", "get", "RawFileExtensions"})), "nef CR2\n");
    const QJsonObject raw = json(runCli({"prefs", "get", "--json", "WantEmbeddedRaw"})).object();
    EXPECT_EQ(raw.value("value"), QJsonValue(false));
    EXPECT_EQ(raw.value("type").toString(), "boolean");

    // Custom fields enter the layout shown, at the top; the layout reads back as JSON.
    EXPECT_EQ(out(runCli({"prefs", "set", "CustomFields", "Shoot, my place"})),
              "CF.my_place, CF.Shoot\n");
    const QJsonArray layout = json(runCli({"prefs", "get", "--json", "LayedOutFields"}))
                                  .object()
                                  .value("value")
                                  .toArray();
    ASSERT_FALSE(layout.isEmpty());
    EXPECT_EQ(layout.at(0).toObject().value("name").toString(), "CF.my_place");
    EXPECT_TRUE(layout.at(0).toObject().value("included").toBool());

    // Reset brings the default back and marks the key unset.
    EXPECT_EQ(out(runCli({"prefs", "set", "JpegPreview", "-p2"})), "-p2\n");
    const QJsonObject reset = json(runCli({"prefs", "reset", "--json", "JpegPreview"})).object();
    EXPECT_EQ(reset.value("value").toString(), "-p0");
    EXPECT_FALSE(reset.value("set").toBool());

    // An unwritable settings folder is a failure, never reported as stored.
    ASSERT_TRUE(QDir(settingsFolder()).removeRecursively());
    ASSERT_TRUE(writeTestFile(settingsFolder(), "a file where the folder was"));
    const ProcessResult blocked = runCli({"prefs", "set", "JpegPreview", "-p1"});
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_TRUE(blocked.stderrData.contains("could not be saved"))
        << blocked.stderrData.constData();
    ASSERT_TRUE(QFile::remove(settingsFolder()));
}

TEST(CliLookups, ListSetRemoveAndDamagedFiles)
{
    EXPECT_EQ(out(runCli({"lookups", "list", "TIFF.Make"})), "TIFF.Make (Make.plist)\n");
    EXPECT_EQ(out(runCli({"lookups", "set", "tiff.make", "nikon*", "Nikon"})),
              "TIFF.Make (Make.plist)\n    nikon* = Nikon\n");
    EXPECT_EQ(runCli({"lookups", "set", "TIFF.Make", "*corp*", "Some Corp"}).exitCode, 0);

    const QJsonObject make = json(runCli({"lookups", "list", "--json", "TIFF.Make"})).object();
    EXPECT_EQ(make.value("table").toString(), "TIFF.Make");
    EXPECT_TRUE(make.value("file").toString().endsWith("/Brindlewick/Lookups/Make.plist"));
    const QJsonArray entries = make.value("entries").toArray();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries.at(0).toObject().value("pattern").toString(), "*corp*");
    EXPECT_EQ(entries.at(1).toObject().value("replacement").toString(), "Nikon");
    EXPECT_EQ(json(runCli({"lookups", "list", "--json"})).array().size(), 5);

    // Which patterns clash is the lookup tables' own test; one refusal proves the status.
    const ProcessResult twice = runCli({"lookups", "set", "TIFF.Make", "NIKON*", "x"});
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_TRUE(twice.stderrData.contains("case is ignored"));
    EXPECT_EQ(runCli({"lookups", "remove", "TIFF.Make", "*CORP*"}).exitCode, 0);
    EXPECT_EQ(runCli({"lookups", "remove", "TIFF.Make", "*corp*"}).exitCode, 1);
    EXPECT_EQ(out(runCli({"lookups", "list", "TIFF.Make"})),
              "TIFF.Make (Make.plist)\n    nikon* = Nikon\n");

    // A damaged file is named, its table starts empty, and the file is left as it is.
    const QString lens = AppPaths::supportFolder() + "/Lookups/Lens.plist";
    writeTestFile(lens, "<plist><dict><key>broken");
    const ProcessResult listed = runCli({"lookups", "list", "--json", "ExifAux.LensModel"});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_TRUE(listed.stderrData.contains(QFile::encodeName(lens) + " can't be read"));
    const QJsonObject lensTable = QJsonDocument::fromJson(listed.stdoutData).object();
    EXPECT_TRUE(lensTable.value("damaged").toBool());
    EXPECT_TRUE(lensTable.value("entries").toArray().isEmpty());
    EXPECT_EQ(runCli({"lookups", "set", "TIFF.Model", "d700", "Body"}).exitCode, 0);
    EXPECT_EQ(readTestFile(lens), "<plist><dict><key>broken") << "another table's write";
    // Writing the damaged table itself keeps the old file aside.
    EXPECT_EQ(runCli({"lookups", "set", "ExifAux.LensModel", "*24-70*", "Zoom"}).exitCode, 0);
    EXPECT_EQ(readTestFile(lens + ".damaged"), "<plist><dict><key>broken");
}
