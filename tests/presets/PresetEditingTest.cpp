#include "PresetsSupport.h"

#include "presets/PresetEditing.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

using Status = PresetEditing::Outcome::Status;

// A presets folder holding Trips, Birds and a damaged Broken.
struct StoreFixture : PresetsFixture
{
    QString folder = makeTestFolder("presets");
    StoreFixture()
    {
        ::Setup::writeFile(folder + "/Trips.plist",
                           {{"PrimaryRootFolder", "/trips"},
                            {"Extra", "kept"},
                            {"Metadata", QVariantMap{{"IPTC.City", "Oslo"}}}});
        ::Setup::writeFile(folder + "/Birds.plist", {{"PrimaryRootFolder", "/birds"}});
        writeTestFile(folder + "/Broken.plist", "<?xml version=\"1.0\"?><plist><dict><key>");
    }
    QVariantMap read(const QString &name) const
    {
        return ::Setup::readFile(folder + "/" + name + ".plist").value_or(QVariantMap());
    }
    QByteArray bytes(const QString &name) const
    {
        return readTestFile(folder + "/" + name + ".plist");
    }
};

} // namespace

TEST(PresetEditing, NamesThatCannotBePresets)
{
    for (const char *bad : {"", "  ", ".hidden", "a/b", "Default", "untitled", "Trips (edited)",
                            "x (damaged)", "tab\there"})
        EXPECT_TRUE(SetupController::nameProblem(QString::fromUtf8(bad)).has_value()) << bad;
    for (const char *good : {"Trips", "My trips 2024", "a:b", "Ünïcode"})
        EXPECT_FALSE(SetupController::nameProblem(QString::fromUtf8(good)).has_value()) << good;
}

TEST(PresetEditing, NewSetAndTheirRefusals)
{
    StoreFixture fixture;
    SetupController store(fixture.folder);
    EXPECT_TRUE(store.isDamaged("Broken"));
    EXPECT_EQ(store.presets(), (QStringList{"Birds", "Broken", "Trips"}));

    // New from the defaults, and as a copy that keeps keys the program does not know.
    EXPECT_TRUE(PresetEditing::create(store, "Night", std::nullopt).ok());
    EXPECT_EQ(fixture.read("Night").value("FilenameArrangement"), QVariant("{@FileNameOriginal}"));
    EXPECT_TRUE(PresetEditing::create(store, "Trips copy", QString("trips")).ok());
    EXPECT_EQ(fixture.read("Trips copy").value("Extra"), QVariant("kept"));
    EXPECT_TRUE(store.listedName("trips copy").has_value());

    // Clashes in any case, reserved and bad names, damaged or missing sources: nothing written.
    EXPECT_EQ(PresetEditing::create(store, "TRIPS", std::nullopt).status, Status::Failed);
    EXPECT_EQ(PresetEditing::create(store, "a/b", std::nullopt).status, Status::BadArgument);
    const auto damaged = PresetEditing::create(store, "Copy", QString("Broken"));
    EXPECT_EQ(damaged.status, Status::Failed);
    EXPECT_TRUE(damaged.message.contains("Broken.plist is damaged"));
    EXPECT_EQ(PresetEditing::create(store, "Copy", QString("Nothing")).status, Status::Failed);
    EXPECT_FALSE(QFileInfo::exists(fixture.folder + "/Copy.plist"));

    // Set: keys in any case, switches as YES/NO, extensions normalised, metadata fields.
    EXPECT_TRUE(PresetEditing::set(store, "night", "wantbackup", "on").ok());
    EXPECT_TRUE(PresetEditing::set(store, "Night", "Inclusions", " jpg  cr2 ").ok());
    EXPECT_TRUE(PresetEditing::set(store, "Night", "iptc.city", "Bergen").ok());
    EXPECT_TRUE(PresetEditing::set(store, "Night", "Metadata.TimeZone", "Europe/Oslo DST").ok());
    EXPECT_TRUE(PresetEditing::set(store, "Night", "FolderArrangement",
                                   "{@DateImage:YYYY}/{@DateImage:MM-DD}")
                    .ok());
    const QVariantMap night = fixture.read("Night");
    EXPECT_EQ(night.value("WantBackup"), QVariant("YES"));
    EXPECT_EQ(night.value("Inclusions"), QVariant("JPG CR2"));
    EXPECT_EQ(night.value("Metadata").toMap().value("IPTC.City"), QVariant("Bergen"));
    EXPECT_EQ(night.value("Metadata").toMap().value("TimeZone"), QVariant("Europe/Oslo DST"));
    EXPECT_EQ(night.value("FolderArrangement"), QVariant("{@DateImage:YYYY}/{@DateImage:MM-DD}"));

    // Refused values leave the file byte for byte as it was.
    const QByteArray before = fixture.bytes("Night");
    const auto open = PresetEditing::set(store, "Night", "FilenameArrangement", "{@Index:4");
    EXPECT_EQ(open.status, Status::BadArgument);
    EXPECT_EQ(open.message, "FilenameArrangement: unterminated macro at character 1: {@Index:4");
    EXPECT_EQ(PresetEditing::set(store, "Night", "WantBackup", "maybe").status,
              Status::BadArgument);
    EXPECT_EQ(PresetEditing::set(store, "Night", "TimeZone", "Mars/Olympus").status,
              Status::BadArgument);
    const auto unknown = PresetEditing::set(store, "Night", "Colour", "red");
    EXPECT_EQ(unknown.status, Status::BadArgument);
    EXPECT_TRUE(unknown.message.contains("PrimaryRootFolder, BackupRootFolder"));
    EXPECT_EQ(PresetEditing::set(store, "Default", "GeoTag", "YES").status, Status::Failed);
    EXPECT_EQ(PresetEditing::set(store, "Broken", "GeoTag", "YES").status, Status::Failed);
    EXPECT_EQ(fixture.bytes("Night"), before);
    EXPECT_FALSE(QFileInfo::exists(fixture.folder + "/Default.plist"));
}

TEST(PresetEditing, RenameDeleteExportImport)
{
    StoreFixture fixture;
    SetupController store(fixture.folder);
    Defaults::set("Preset", "Trips");

    // Rename follows the remembered current preset; never over another preset.
    EXPECT_EQ(PresetEditing::rename(store, "Trips", "Birds").status, Status::Failed);
    EXPECT_EQ(PresetEditing::rename(store, "Nothing", "X").status, Status::Failed);
    EXPECT_EQ(PresetEditing::rename(store, "Default", "X").status, Status::Failed);
    EXPECT_EQ(PresetEditing::rename(store, "Trips", "").status, Status::BadArgument);
    EXPECT_TRUE(PresetEditing::rename(store, "trips", "Journeys").ok());
    EXPECT_FALSE(QFileInfo::exists(fixture.folder + "/Trips.plist"));
    EXPECT_EQ(fixture.read("Journeys").value("Extra"), QVariant("kept"));
    EXPECT_EQ(Defaults::string("Preset"), QStringLiteral("Journeys"));
    // A change of case only is a rename.
    EXPECT_TRUE(PresetEditing::rename(store, "Journeys", "JOURNEYS").ok());
    EXPECT_EQ(store.presets(), (QStringList{"Birds", "Broken", "JOURNEYS"}));

    // Export and import round trip; an existing file is kept unless forced.
    const QString exported = makeTestFolder("out") + "/j.plist";
    EXPECT_TRUE(PresetEditing::exportTo(store, "journeys", exported, false).ok());
    EXPECT_EQ(PresetEditing::exportTo(store, "Birds", exported, false).status, Status::Failed);
    EXPECT_EQ(::Setup::readFile(exported)->value("Extra"), QVariant("kept"));
    EXPECT_TRUE(PresetEditing::exportTo(store, "Default", exported, true).ok());
    EXPECT_EQ(::Setup::readFile(exported)->value("FilenameArrangement"),
              QVariant("{@FileNameOriginal}"));
    EXPECT_EQ(PresetEditing::exportTo(store, "Broken", exported, true).status, Status::Failed);
    EXPECT_EQ(PresetEditing::importFrom(store, exported, std::nullopt).status, Status::Ok);
    EXPECT_TRUE(store.listedName("j").has_value());
    EXPECT_EQ(PresetEditing::importFrom(store, exported, std::nullopt).status, Status::Failed);
    EXPECT_TRUE(PresetEditing::importFrom(store, exported, QString("Second")).ok());
    EXPECT_EQ(
        PresetEditing::importFrom(store, fixture.folder + "/Broken.plist", QString("B2")).status,
        Status::Failed);
    const QString badArrangement = makeTestFolder("in") + "/Bad.plist";
    ::Setup::writeFile(badArrangement, {{"FolderArrangement", "{@DateImage:YYYY"}});
    const auto refused = PresetEditing::importFrom(store, badArrangement, std::nullopt);
    EXPECT_EQ(refused.status, Status::Failed);
    EXPECT_TRUE(refused.message.contains("unterminated macro at character 1"));
    EXPECT_FALSE(store.listedName("Bad").has_value());

    // Delete: the remembered preset falls back to Default; built-in names cannot go.
    EXPECT_EQ(PresetEditing::remove(store, "Default").status, Status::Failed);
    EXPECT_TRUE(PresetEditing::remove(store, "Journeys").ok());
    EXPECT_EQ(Defaults::string("Preset"), QStringLiteral("Default"));
    EXPECT_EQ(PresetEditing::remove(store, "Journeys").status, Status::Failed);

    // A presets folder that cannot be written to: a message, nothing listed.
    const QString notAFolder = makeTestFolder("flat") + "/presets";
    writeTestFile(notAFolder, "a file where the folder should be");
    SetupController blocked(notAFolder);
    const auto unwritable = PresetEditing::create(blocked, "Night", std::nullopt);
    EXPECT_EQ(unwritable.status, Status::Failed);
    EXPECT_TRUE(unwritable.message.startsWith("can't write " + notAFolder + "/Night.plist"));
}

TEST(PresetEditing, TheWindowsRulesForDamagedFilesClashesAndOutsideChanges)
{
    StoreFixture fixture;
    SetupController controller(fixture.folder);

    // A damaged file is listed, not choosable, and never offered for Update or Delete.
    controller.setCurrentSetupName("Broken");
    PresetMenu menu = controller.populatePresetsMenu(true);
    EXPECT_EQ(menu.titles,
              (QStringList{"Birds", "Broken (damaged)", "Trips", "Default", "", "Save As..."}));
    EXPECT_EQ(menu.damagedTitles, QStringList{"Broken (damaged)"});

    // Saving over the damaged file is the user's explicit choice.
    PresetForm form;
    controller.updateFromPreset(QString("Trips"), &form);
    fixture.ui.promptAnswers = {QString("Broken")};
    fixture.ui.confirmAnswers = {1};
    ASSERT_EQ(controller.saveAs(), QStringLiteral("Broken"));
    EXPECT_FALSE(controller.isDamaged("Broken"));
    EXPECT_EQ(fixture.read("Broken").value("PrimaryRootFolder"), QVariant("/trips"));

    // Another program changes the preset being edited: saving asks first.
    controller.updateFromPreset(QString("Trips"), &form);
    EXPECT_FALSE(controller.changedOnDisk());
    ::Setup::writeFile(fixture.folder + "/Trips.plist", {{"PrimaryRootFolder", "/elsewhere"}});
    EXPECT_TRUE(controller.changedOnDisk());
    form.geoTag = true;
    controller.presetWasChanged();
    fixture.ui.clear();
    fixture.ui.confirmAnswers = {0};
    controller.actionPresets("Update Trips", form);
    ASSERT_EQ(fixture.ui.confirmations.size(), 1);
    EXPECT_EQ(fixture.ui.confirmations[0].title,
              QStringLiteral("Preset \"Trips\" was changed on disk."));
    EXPECT_EQ(fixture.read("Trips").value("PrimaryRootFolder"), QVariant("/elsewhere"));
    EXPECT_TRUE(controller.isDirty());
    EXPECT_TRUE(form.geoTag);
    fixture.ui.confirmAnswers = {1};
    controller.actionPresets("Update Trips", form);
    EXPECT_EQ(fixture.read("Trips").value("GeoTag"), QVariant("YES"));
    EXPECT_FALSE(controller.changedOnDisk());

    // An arrangement that does not parse is never saved: by OK, Update or Save As.
    fixture.ui.clear();
    controller.updateFromPreset(QString("Trips"), &form);
    const QByteArray before = fixture.bytes("Trips");
    form.filenameArrangement = "{@DateImage:YYYYMMDD}-{@Index:4";
    controller.presetWasChanged();
    EXPECT_FALSE(controller.actionOK(form));
    controller.actionPresets("Update Trips", form);
    controller.actionPresets("Save As...", form);
    EXPECT_EQ(fixture.ui.alertTexts().size(), 3);
    EXPECT_EQ(fixture.ui.alertTexts().first(),
              "Invalid file name arrangement.: The preset was not saved: unterminated macro at "
              "character 23: {@Index:4.");
    EXPECT_TRUE(fixture.ui.prompts.isEmpty());
    EXPECT_EQ(fixture.bytes("Trips"), before);
    EXPECT_EQ(form.filenameArrangement, QStringLiteral("{@DateImage:YYYYMMDD}-{@Index:4"));
}
