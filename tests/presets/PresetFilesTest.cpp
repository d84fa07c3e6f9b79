#include "PresetsSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QByteArray xmlPlist(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n" +
           body + "\n</plist>\n";
}

} // namespace

TEST(PresetFiles, ListSkipsDotFilesAndFoldersAndSortsIgnoringCase)
{
    PresetsFixture fixture;
    const QString folder = makeTestFolder("presets");
    for (const char *name : {"trips.plist", "Birds.plist", "alpha.plist", ".hidden.plist",
                             "notes.txt", "Weddings.PLIST", "Trips.plist"})
        writeTestFile(folder + "/" + name, xmlPlist("<dict/>"));
    QDir(folder).mkdir("Folder.plist");
    QDir(folder).mkdir("Lookups");

    SetupController controller(folder);
    // Two spellings of one name are one entry.
    EXPECT_EQ(controller.presets(), (QStringList{"alpha", "Birds", "Trips"}));
    EXPECT_EQ(controller.presetPath("Birds"), folder + "/Birds.plist");
    EXPECT_EQ(controller.currentSetupName(), QStringLiteral("Default"));

    // The stored name of the current preset is taken at start.
    Defaults::set("Preset", "Birds");
    EXPECT_EQ(SetupController(folder).currentSetupName(), QStringLiteral("Birds"));

    // A presets folder that does not exist yet is made, with the lookup tables' folder; the
    // lookup-table manager made here is the one the program asks.
    const QString fresh = makeTestFolder("fresh") + "/deep/Brindlewick";
    SetupController made(fresh);
    EXPECT_TRUE(made.presets().isEmpty());
    EXPECT_TRUE(QFileInfo(fresh + "/Lookups").isDir());
    ASSERT_NE(made.lookupsController(), nullptr);
    EXPECT_EQ(LookupsController::sharedInstance(), made.lookupsController());
    EXPECT_EQ(made.lookupsController()->folder(), fresh + "/Lookups");
}

TEST(PresetFiles, XmlAndBinaryFilesLoadAndMergeWithTheCatalogue)
{
    PresetsFixture fixture;
    const QString folder = makeTestFolder("presets");
    // Written before CF.Place existed, naming a field that is gone (in another case), with a
    // key of the catalogue spelt in lower case and a top-level key this program does not know.
    const QByteArray body = "<dict>\n"
                            "<key>PrimaryRootFolder</key><string>/photos</string>\n"
                            "<key>WantBackup</key><string>YES</string>\n"
                            "<key>Extra</key><string>kept</string>\n"
                            "<key>Metadata</key><dict>\n"
                            "  <key>IPTC.City</key><string>Lyon</string>\n"
                            "  <key>cf.OLDFIELD</key><string>gone</string>\n"
                            "  <key>CF.OldField</key><string>gone</string>\n"
                            "  <key>iptc.country/primarylocationname</key><string>France</string>\n"
                            "</dict>\n"
                            "</dict>";
    writeTestFile(folder + "/Trips.plist", xmlPlist(body));

    ECPrefsController::prefs().setCustomFields({"CF.Place", "CF.Shoot"});
    Metadata::resetIptcMetadata();
    SetupController controller(folder);
    controller.makeCurrent("Trips");
    const ::Setup &setup = controller.currentSetup();
    EXPECT_EQ(setup.paramString("PrimaryRootFolder"), QStringLiteral("/photos"));
    EXPECT_EQ(setup.paramString("Extra"), QStringLiteral("kept"));
    const QVariantMap metadata = setup.paramDict("Metadata");
    EXPECT_EQ(metadata.value("IPTC.City"), QVariant("Lyon"));
    EXPECT_EQ(metadata.value("CF.Place"), QVariant(""));
    EXPECT_EQ(metadata.value("IPTC.Byline"), QVariant("")); // merged keys are empty
    EXPECT_EQ(metadata.value("IPTC.Country/PrimaryLocationName"), QVariant("France"));
    EXPECT_EQ(metadata.size(), 37); // the catalogue's fields only
    EXPECT_FALSE(controller.isDirty());

    // The same content as a binary property list reads the same.
    const QString binary = folder + "/Binary.plist";
    if (runTool("plistutil", {"-i", folder + "/Trips.plist", "-o", binary, "-f", "bin"}) != 0)
        GTEST_SKIP() << "plistutil is not available";
    ASSERT_FALSE(readTestFile(binary).startsWith("<?xml"));
    controller.makeCurrent("Binary");
    EXPECT_EQ(controller.currentSetup().dict(), setup.dict());

    // Without a Metadata entry none is added.
    writeTestFile(folder + "/Bare.plist",
                  xmlPlist("<dict><key>GeoTag</key><string>YES</string></dict>"));
    controller.makeCurrent("Bare");
    EXPECT_FALSE(controller.currentSetup().dict().contains("Metadata"));
    EXPECT_TRUE(controller.currentSetup().paramBool("GeoTag"));
}

TEST(PresetFiles, DamagedFilesAreNamedAndNeverStandForTheDefaults)
{
    PresetsFixture fixture;
    const QString folder = makeTestFolder("presets");
    writeTestFile(folder + "/Damaged.plist", xmlPlist("<dict><key>WantBackup</key><str"));
    writeTestFile(folder + "/Array.plist", xmlPlist("<array><string>x</string></array>"));
    writeTestFile(folder + "/Empty.plist", "");
    writeTestFile(folder + "/Noise.plist", QByteArray(300, '\xff'));
    writeTestFile(folder + "/Truncated.plist", QByteArray("bplist00\xd1\x01\x02", 11));
    writeTestFile(folder + "/Trips.plist",
                  xmlPlist("<dict><key>GeoTag</key><string>YES</string></dict>"));

    SetupController controller(folder);
    const QVariantMap defaults = ::Setup::defaultSetup().dict();
    for (const char *name : {"Damaged", "Array", "Empty", "Noise", "Truncated"}) {
        controller.setCurrentSetupName("Trips");
        EXPECT_FALSE(controller.makeCurrent(name)) << name;
        // "Default" is what is current now, under its own name; the file is left as it was.
        EXPECT_EQ(controller.currentSetupName(), QStringLiteral("Default")) << name;
        EXPECT_EQ(controller.currentSetup().dict(), defaults) << name;
        EXPECT_EQ(controller.presetFileProblem(name),
                  QStringLiteral("The preset \"%1\" can't be used: its file \"%2\" is damaged (it "
                                 "is not a property list holding a dictionary).")
                      .arg(QString::fromUtf8(name), folder + "/" + name + ".plist"));
    }
    EXPECT_FALSE(controller.presetFileProblem("Trips"));
    EXPECT_TRUE(QFileInfo(folder + "/Empty.plist").exists());

    // Choosing one in the preset window keeps the edits.
    controller.updateFromPreset(QStringLiteral("Trips"));
    PresetForm form = controller.presetToControls();
    form.folderArrangement = QStringLiteral("{@DateImage:YYYY}");
    controller.presetWasChanged();
    controller.actionPresets(QStringLiteral("Noise (damaged)"), form);
    EXPECT_EQ(controller.currentSetupName(), QStringLiteral("Trips"));
    EXPECT_EQ(form.folderArrangement, QStringLiteral("{@DateImage:YYYY}"));
    EXPECT_TRUE(
        fixture.ui.alertTexts().last().startsWith("Can't use preset.: The preset \"Noise\""));
    // Reopening a damaged preset by name (as the window does with the remembered one) leaves
    // "Default" current and remembered.
    controller.updateFromPreset(QStringLiteral("Array"));
    EXPECT_EQ(controller.currentSetupName(), QStringLiteral("Default"));
    EXPECT_EQ(Defaults::string(QLatin1String(SetupController::kPresetDefaultsKey)),
              QStringLiteral("Default"));

    // A missing file is no damage: the defaults under the name asked for.
    EXPECT_TRUE(controller.makeCurrent("Missing"));
    EXPECT_FALSE(controller.presetFileProblem("Missing"));
    EXPECT_EQ(controller.currentSetup().dict(), defaults);
    // "Default" has no file of its own, unless there is one.
    controller.makeCurrent("Default");
    EXPECT_EQ(controller.currentSetup().dict(), defaults);
    writeTestFile(folder + "/Default.plist",
                  xmlPlist("<dict><key>PostApp</key><string>/usr/bin/gimp</string></dict>"));
    controller.makeCurrent("Default");
    EXPECT_EQ(controller.currentSetup().paramString("PostApp"), QStringLiteral("/usr/bin/gimp"));

    // No presets folder at all: nothing listed, the defaults load, saving writes nothing.
    SetupController nowhere{QString()};
    EXPECT_TRUE(nowhere.presets().isEmpty());
    nowhere.makeCurrent("Trips");
    EXPECT_EQ(nowhere.currentSetup().dict(), defaults);
    EXPECT_TRUE(nowhere.newOrUpdatePreset("Trips"));
    EXPECT_FALSE(QFileInfo::exists("/Trips.plist"));
}

TEST(PresetFiles, SavedFilesAreXmlThatOtherToolsRead)
{
    PresetsFixture fixture;
    const QString folder = makeTestFolder("presets");
    SetupController controller(folder);
    controller.currentSetup().setParam("FolderArrangement", "{@Year}/<{@Month}> & \"x\"");
    ASSERT_TRUE(controller.newOrUpdatePreset("Trips"));
    const QString path = folder + "/Trips.plist";
    const QByteArray content = readTestFile(path);
    EXPECT_TRUE(content.startsWith("<?xml"));

    SetupController reread(folder);
    reread.makeCurrent("Trips");
    EXPECT_EQ(reread.currentSetup().dict(), controller.currentSetup().dict());

    // With no current preset an empty dictionary is written.
    SetupController empty(folder);
    ASSERT_TRUE(empty.newOrUpdatePreset("Blank"));
    EXPECT_EQ(::Setup::readFile(folder + "/Blank.plist"), QVariantMap());

    // A write that fails (a folder stands where the file would go) is reported and changes
    // nothing.
    const QString other = makeTestFolder("blocked");
    QDir(other).mkdir("Trips.plist");
    SetupController failing(other);
    EXPECT_FALSE(failing.newOrUpdatePreset("Trips"));
    ASSERT_EQ(fixture.ui.alerts.size(), 1);
    EXPECT_EQ(fixture.ui.alerts.first().title, QStringLiteral("Can't save preset."));
    EXPECT_TRUE(failing.presets().isEmpty());
    EXPECT_EQ(failing.currentSetupName(), QStringLiteral("Default"));

    // Another reader of property lists sees the same values.
    const QString script = "import plistlib,sys\n"
                           "d=plistlib.load(open(sys.argv[1],'rb'))\n"
                           "print(d['FolderArrangement'])\n"
                           "print(d['Metadata']['IPTC.Byline'])\n";
    QByteArray output;
    const QString python = QStandardPaths::findExecutable("python3");
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is not available";
    ASSERT_EQ(runTool(python, {"-c", script, path}, &output), 0);
    EXPECT_EQ(QString::fromUtf8(output),
              QStringLiteral("{@Year}/<{@Month}> & \"x\"\n{@UserName}\n"));
}
