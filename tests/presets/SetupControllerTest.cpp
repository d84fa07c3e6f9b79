#include "PresetsSupport.h"

#include <gtest/gtest.h>

namespace {

// A presets folder holding Trips (with a backup) and Birds.
struct ManagerFixture : PresetsFixture
{
    QString folder = makeTestFolder("presets");
    ManagerFixture()
    {
        ::Setup::writeFile(folder + "/Trips.plist", {{"PrimaryRootFolder", "/trips"},
                                                     {"WantBackup", "YES"},
                                                     {"BackupRootFolder", "/trips-backup"}});
        ::Setup::writeFile(folder + "/Birds.plist", {{"PrimaryRootFolder", "/birds"}});
    }
};

} // namespace

TEST(SetupController, MenuEntriesFollowTheNameAndTheEdits)
{
    ManagerFixture fixture;
    SetupController controller(fixture.folder);
    EXPECT_EQ(controller.currentSetup().paramString("PrimaryRootFolder"),
              QStringLiteral("~/Pictures/Brindlewick")); // lazily "Default"

    PresetMenu menu = controller.populatePresetsMenu(false);
    EXPECT_EQ(menu.titles, (QStringList{"Birds", "Trips", "Default"}));
    EXPECT_EQ(menu.selectedTitle, QStringLiteral("Default"));

    // An edit of the defaults turns them into "Untitled", without Update or Delete.
    controller.presetWasChanged();
    EXPECT_EQ(controller.currentSetupName(), QStringLiteral("Untitled"));
    menu = controller.populatePresetsMenu(true);
    EXPECT_EQ(menu.titles,
              (QStringList{"Birds", "Trips", "Untitled (edited)", "Default", "", "Save As..."}));
    EXPECT_EQ(menu.selectedTitle, QStringLiteral("Untitled (edited)"));

    // Trips, edited, offers Update Trips and Delete Trips.
    PresetForm form;
    controller.updateFromPreset("Trips", &form);
    EXPECT_EQ(Defaults::string("Preset"), QStringLiteral("Trips"));
    EXPECT_EQ(form.primaryRootFolder, QStringLiteral("/trips"));
    EXPECT_FALSE(controller.isDirty());
    controller.presetWasChanged();
    menu = controller.populatePresetsMenu(true);
    EXPECT_EQ(menu.titles, (QStringList{"Birds", "Trips (edited)", "Default", "", "Save As...",
                                        "Update Trips", "Delete Trips"}));
    EXPECT_EQ(menu.selectedTitle, QStringLiteral("Trips (edited)"));

    // Choosing the edited entry stays on Trips with the edits.
    form.primaryRootFolder = "/trips-edited";
    controller.actionPresets("Trips (edited)", form);
    EXPECT_EQ(controller.currentSetupName(), QStringLiteral("Trips"));
    EXPECT_TRUE(controller.isDirty());
    EXPECT_EQ(form.primaryRootFolder, QStringLiteral("/trips-edited"));
    EXPECT_EQ(controller.currentSetup().paramString("PrimaryRootFolder"),
              QStringLiteral("/trips-edited"));
    EXPECT_TRUE(fixture.ui.alerts.isEmpty());

    // Update Trips saves the edits; choosing Birds then Trips shows them.
    controller.actionPresets("Update Trips", form);
    EXPECT_FALSE(controller.isDirty());
    controller.actionPresets("Birds", form);
    EXPECT_EQ(form.primaryRootFolder, QStringLiteral("/birds"));
    controller.actionPresets("Trips", form);
    EXPECT_EQ(form.primaryRootFolder, QStringLiteral("/trips-edited"));
    EXPECT_EQ(form.backupRootFolder, QStringLiteral("/trips-backup"));

    // Update and Delete of the built-in names are refused.
    controller.actionPresets("Update Default", form);
    controller.actionPresets("Delete Untitled", form);
    EXPECT_EQ(fixture.ui.alertTexts(),
              (QStringList{"Can't update preset.: ", "Can't delete preset.: "}));
    EXPECT_FALSE(QFileInfo::exists(fixture.folder + "/Default.plist"));
    EXPECT_TRUE(fixture.ui.confirmations.isEmpty());
}

TEST(SetupController, SaveAsNamesAndCaseOnlyDuplicates)
{
    ManagerFixture fixture;
    SetupController controller(fixture.folder);
    PresetForm form;
    controller.setupPanel(form);
    form.geoTag = true;
    controller.presetWasChanged();

    fixture.ui.promptAnswers = {QString("a b/c:d")};
    controller.actionPresets("Save As...", form);
    EXPECT_EQ(fixture.ui.prompts.first().prompt, QStringLiteral("New preset name"));
    EXPECT_TRUE(QFileInfo::exists(fixture.folder + "/a_b_c_d.plist"));
    EXPECT_EQ(controller.currentSetupName(), QStringLiteral("a_b_c_d"));
    EXPECT_TRUE(form.geoTag);
    EXPECT_EQ(controller.presets(), (QStringList{"a_b_c_d", "Birds", "Trips"}));

    // Cancelled, empty and hidden names save nothing.
    fixture.ui.promptAnswers = {std::nullopt, QString(""), QString(".secret")};
    EXPECT_FALSE(controller.saveAs());
    EXPECT_FALSE(controller.saveAs());
    EXPECT_FALSE(controller.saveAs());
    EXPECT_FALSE(QFileInfo::exists(fixture.folder + "/.plist"));
    EXPECT_FALSE(QFileInfo::exists(fixture.folder + "/.secret.plist"));
    EXPECT_EQ(fixture.ui.alerts.size(), 2);
    EXPECT_EQ(controller.presets().size(), 3);

    // A listed name, in any case, is replaced only when the user says so; then the listed
    // preset is updated: one entry, one file.
    fixture.ui.promptAnswers = {QString("trips"), QString("trips")};
    fixture.ui.confirmAnswers = {0, 1};
    EXPECT_FALSE(controller.saveAs());
    EXPECT_FALSE(::Setup::readFile(fixture.folder + "/Trips.plist")->contains("GeoTag"));
    EXPECT_EQ(controller.saveAs(), QStringLiteral("Trips"));
    ASSERT_EQ(fixture.ui.confirmations.size(), 2);
    EXPECT_EQ(fixture.ui.confirmations[0].title,
              QStringLiteral("A preset named \"Trips\" already exists."));
    EXPECT_EQ(fixture.ui.confirmations[0].buttons, (QStringList{"Cancel", "Replace"}));
    EXPECT_EQ(controller.presets(), (QStringList{"a_b_c_d", "Birds", "Trips"}));
    EXPECT_FALSE(QFileInfo::exists(fixture.folder + "/trips.plist"));
    EXPECT_TRUE(::Setup::readFile(fixture.folder + "/Trips.plist")->value("GeoTag") ==
                QVariant("YES"));
}

TEST(SetupController, DeletingAsksThenFallsBackToDefault)
{
    ManagerFixture fixture;
    SetupController controller(fixture.folder);
    controller.setCurrentSetupName("Trips");
    PresetForm form;
    controller.setupPanel(form);
    EXPECT_EQ(controller.previousSetupName(), QStringLiteral("Trips"));

    // Keep reloads the saved version.
    form.primaryRootFolder = "/edited";
    controller.presetWasChanged();
    fixture.ui.confirmAnswers = {1, 0};
    controller.actionPresets("Delete Trips", form);
    ASSERT_EQ(fixture.ui.confirmations.size(), 1);
    EXPECT_EQ(fixture.ui.confirmations.first().title, QStringLiteral("Delete preset \"Trips\"?"));
    EXPECT_EQ(fixture.ui.confirmations.first().message, QStringLiteral("(Cannot be undone.)"));
    EXPECT_EQ(fixture.ui.confirmations.first().buttons, (QStringList{"Delete", "Keep"}));
    EXPECT_EQ(form.primaryRootFolder, QStringLiteral("/trips"));
    EXPECT_TRUE(QFileInfo::exists(fixture.folder + "/Trips.plist"));

    // Delete removes the file and the entry; the preset the window opened with was Trips, so
    // Default becomes both current and previous.
    controller.actionPresets("Delete Trips", form);
    EXPECT_FALSE(QFileInfo::exists(fixture.folder + "/Trips.plist"));
    EXPECT_EQ(controller.presets(), QStringList{"Birds"});
    EXPECT_EQ(controller.currentSetupName(), QStringLiteral("Default"));
    EXPECT_EQ(controller.previousSetupName(), QStringLiteral("Default"));
    EXPECT_EQ(form.primaryRootFolder, QStringLiteral("~/Pictures/Brindlewick"));
    controller.actionCancel();
    EXPECT_EQ(controller.currentSetupName(), QStringLiteral("Default"));

    // A preset literally called "Delete Birds" is a preset, not a command, unless Birds is
    // current.
    ::Setup::writeFile(fixture.folder + "/Delete Birds.plist", {{"PrimaryRootFolder", "/db"}});
    controller.readPresets();
    controller.actionPresets("Delete Birds", form);
    EXPECT_EQ(form.primaryRootFolder, QStringLiteral("/db"));
    EXPECT_EQ(fixture.ui.confirmations.size(), 2);
}

TEST(SetupController, ControlsToPresetRulesAndAlertOrder)
{
    PresetsFixture fixture;
    SetupController controller(makeTestFolder("presets"));
    PresetForm form = controller.presetToControls();
    ASSERT_EQ(form.metadata.first()->tag, QStringLiteral("CF.Shoot"));

    // Conversion without a backup: one alert, the backup filled from the primary root; then the
    // missing converter unticks conversion.
    form.primaryRootFolder = "/photos/";
    form.wantConversion = true;
    form.inclusions = " \n JPG  CR2   NEF \t\n";
    form.metadata.at(0)->valNew = QString("shoot-1");
    controller.controlsToPreset(form);
    EXPECT_EQ(fixture.ui.alertTexts(),
              (QStringList{"DNG Conversion requires a Backup Root Folder.: ",
                           "You must setup the DNG Converter in the Preferences if you want DNG "
                           "Conversion.: "}));
    EXPECT_TRUE(form.wantBackup);
    EXPECT_EQ(form.backupRootFolder, QStringLiteral("/photos/Backup"));
    EXPECT_FALSE(form.wantConversion);
    const ::Setup &setup = controller.currentSetup();
    EXPECT_EQ(setup.paramString("Inclusions"), QStringLiteral("JPG CR2  NEF"));
    EXPECT_EQ(setup.paramString("WantBackup"), QStringLiteral("YES"));
    EXPECT_EQ(setup.paramString("WantConversion"), QStringLiteral("NO"));
    EXPECT_EQ(setup.paramString("PromptForFolder"), QStringLiteral("NO"));
    EXPECT_EQ(setup.paramString("BackupRootFolder"), QStringLiteral("/photos/Backup"));
    EXPECT_EQ(setup.paramDict("Metadata").value("CF.Shoot"), QVariant("shoot-1"));
    EXPECT_EQ(setup.paramDict("Metadata").value("IPTC.Byline"), QVariant("{@UserName}"));

    // With a converter set, the second backup gets its own root and alert.
    fixture.ui.clear();
    Defaults::set("ConverterPath", "/opt/dng");
    form.wantConversion = true;
    form.wantBackup2 = true;
    controller.controlsToPreset(form);
    EXPECT_EQ(fixture.ui.alertTexts(), QStringList{"2nd Backup Root has been provided.: "});
    EXPECT_EQ(form.backupRootFolder2, QStringLiteral("/photos/Backup2"));
    EXPECT_TRUE(controller.currentSetup().paramBool("WantConversion"));

    // A ticked first backup with no root is provided one.
    fixture.ui.clear();
    form.wantConversion = false;
    form.backupRootFolder.clear();
    controller.controlsToPreset(form);
    EXPECT_EQ(fixture.ui.alertTexts(), QStringList{"Backup Root has been provided.: "});

    // Unticking the first backup unticks the second; the enabled controls follow the ticks.
    SetupController::setWantBackup(form, false);
    EXPECT_FALSE(form.wantBackup2);
    PresetControlsEnabled enabled = SetupController::enableControls(form);
    EXPECT_FALSE(enabled.backupRoot);
    EXPECT_FALSE(enabled.wantBackup2);
    EXPECT_FALSE(enabled.converter);
    form.wantConversion = true;
    EXPECT_TRUE(SetupController::enableControls(form).wantRawVerify);
}

TEST(SetupController, OkCancelAndTheChoosers)
{
    ManagerFixture fixture;
    SetupController controller(fixture.folder);
    PresetForm form;
    controller.setupPanel(form);

    // Edited defaults ask for a name; a cancelled prompt keeps the window open.
    form.postApp = "/usr/bin/darktable";
    controller.presetWasChanged();
    EXPECT_FALSE(controller.actionOK(form));
    EXPECT_EQ(fixture.ui.prompts.size(), 1);
    fixture.ui.promptAnswers = {QString("Night")};
    EXPECT_TRUE(controller.actionOK(form));
    EXPECT_EQ(Defaults::string("Preset"), QStringLiteral("Night"));
    EXPECT_EQ(::Setup::readFile(fixture.folder + "/Night.plist")->value("PostApp"),
              QVariant("/usr/bin/darktable"));

    // OK on a saved preset saves it under its own name.
    controller.setupPanel(form);
    form.geoTag = true;
    controller.presetWasChanged();
    EXPECT_TRUE(controller.actionOK(form));
    EXPECT_EQ(::Setup::readFile(fixture.folder + "/Night.plist")->value("GeoTag"), QVariant("YES"));

    // Cancel reloads the preset the window opened with.
    controller.setupPanel(form);
    controller.actionPresets("Birds", form);
    form.geoTag = false;
    controller.presetWasChanged();
    controller.actionCancel();
    EXPECT_EQ(controller.currentSetupName(), QStringLiteral("Night"));
    EXPECT_TRUE(controller.currentSetup().paramBool("GeoTag"));
    EXPECT_FALSE(controller.isDirty());

    // OK on the untouched defaults saves no file.
    controller.updateFromPreset(std::nullopt, &form);
    controller.setupPanel(form);
    EXPECT_TRUE(controller.actionOK(form));
    EXPECT_FALSE(QFileInfo::exists(fixture.folder + "/Default.plist"));
    EXPECT_EQ(Defaults::string("Preset"), QStringLiteral("Default"));

    // A chosen folder is an edit, and the chooser starts there next time.
    controller.rootFolderChosen("BackupRootFolder2", "/mnt/two", form);
    EXPECT_EQ(form.backupRootFolder2, QStringLiteral("/mnt/two"));
    EXPECT_EQ(SetupController::chooserStart("BackupRootFolder2"), QStringLiteral("/mnt/two"));
    EXPECT_EQ(controller.currentSetupName(), QStringLiteral("Untitled"));
    // A cancelled post-processing chooser clears the application but keeps the last choice.
    controller.postAppChosen(QString("/usr/bin/gimp"), form);
    controller.postAppChosen(std::nullopt, form);
    EXPECT_EQ(form.postApp, QString());
    EXPECT_EQ(SetupController::chooserStart("PostApp"), QStringLiteral("/usr/bin/gimp"));
}
