#include "metadata/LookupsController.h"
#include "platform/PropertyList.h"
#include "platform/RecordingUserInterface.h"
#include "platform/SystemLog.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

// Failures show texts as texts.
static void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

// Patterns match by their star form: "x*" begins, "*x*" contains, "*x" ends, "x" equals, all
// ignoring case and surrounding blanks; a star elsewhere is a plain character.
TEST(LookupPatterns, MatchByTheirStarForm)
{
    struct Row
    {
        const char *pattern;
        const char *value;
        bool matches;
    };
    for (const Row &row : std::initializer_list<Row>{{"nikon*", "NIKON CORPORATION", true},
                                                     {"nikon*", "THE NIKON", false},
                                                     {"*nikon*", "The Nikon Company", true},
                                                     {"*nikon*", "nikon", true},
                                                     {"*nikon*", "Canon", false},
                                                     {"*corporation", "NIKON CORPORATION", true},
                                                     {"*nikon", "NIKON CORPORATION", false},
                                                     {"nikon", "  NiKoN \n", true},
                                                     {"nikon", "nikon corporation", false},
                                                     {"NiKoN*", "nikon d700", true},
                                                     {"*", "anything", false},
                                                     {"**", "anything", false},
                                                     {"", "", false},
                                                     {"ni*on", "ni*on", true}})
        EXPECT_EQ(LookupsController::patternMatches(QString::fromUtf8(row.pattern),
                                                    QString::fromUtf8(row.value)),
                  row.matches)
            << row.pattern << " ~ " << row.value;
}

TEST(LookupTables, AnswerThroughTheOneManagerInDisplayOrder)
{
    EXPECT_EQ(LookupsController::lookupKey("NIKON", "TIFF.Make"), std::nullopt) << "no manager";
    LookupsController lookups;
    lookups.dictLookupMake = {{"nikon*", "Nikon"}, {"*CORPORATION", "Some Corp"}};
    lookups.dictLookupExtension = {{"cr2", "Canon Raw"}};

    // Both patterns match; "*CORPORATION" sorts first ignoring case, and its replacement comes
    // back as stored.
    EXPECT_EQ(LookupsController::lookupKey(" NIKON CORPORATION ", "tiff.make"), "Some Corp");
    EXPECT_EQ(LookupsController::lookupKey("Nikon D700", "TIFF.Make"), "Nikon");
    EXPECT_EQ(LookupsController::lookupKey("CR2", "FileExtensionOriginal"), "Canon Raw");
    EXPECT_EQ(LookupsController::lookupKey("Canon", "TIFF.Make"), std::nullopt);
    EXPECT_EQ(LookupsController::lookupKey("NIKON", "TIFF.Model"), std::nullopt) << "empty table";
    EXPECT_EQ(LookupsController::lookupKey("NIKON", "Exif.Make"), std::nullopt) << "no table";
}

class Lookups : public testing::Test
{
protected:
    // The manager over a fresh presets folder (no table files yet).
    void SetUp() override
    {
        presets = makeTestFolder(QStringLiteral("presets"));
        folder = presets + "/Lookups";
        lookups.initializeWithPresetsFolder(presets);
    }
    bool writePlist(const QString &file, const QByteArray &body)
    {
        return writeTestFile(
            folder + "/" + file,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body +
                "\n</plist>\n");
    }
    QString presets;
    QString folder;
    LookupsController lookups;
};

TEST_F(Lookups, TablesLiveInTheLookupsFolderAndSurviveAWriteAndRead)
{
    EXPECT_EQ(lookups.folder(), folder);
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(lookups.dictLookupMake.isEmpty()) << "missing files give empty tables";
    lookups.dictLookupLens = {{"*24-70*", "Zoom"}};
    lookups.dictLookupSerialnumber = {{"1234567", "Body A"}};
    lookups.dictLookupExtension = {{"nef", "Nikon Raw"}};
    lookups.dictLookupMake = {{"nikon*", "Nikon"}, {"Ünïcödé & <xml>", "\"quoted\""}};
    lookups.dictLookupModel = {};
    EXPECT_TRUE(lookups.writeLookups());
    const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files, (QStringList{"Extension.plist", "Lens.plist", "Make.plist", "Model.plist",
                                  "Serialnumber.plist"}));
    EXPECT_EQ(PropertyList::read(folder + "/Make.plist")->toMap().value("nikon*"), "Nikon");

    LookupsController again;
    again.initializeWithPresetsFolder(presets);
    EXPECT_EQ(again.dictLookupMake.value("Ünïcödé & <xml>"), "\"quoted\"");
    EXPECT_EQ(again.dictLookupLens.value("*24-70*"), "Zoom");
    EXPECT_EQ(again.dictLookupSerialnumber.value("1234567"), "Body A");
    EXPECT_EQ(again.dictLookupExtension.value("nef"), "Nikon Raw");
    EXPECT_TRUE(again.dictLookupModel.isEmpty());
}

// A damaged file reads as an empty table (or keeps what can be read of it), is named for the
// user and left as it is until its own table is written; then it is kept aside, once.
TEST_F(Lookups, DamagedFilesAreNamedAndKeptAsideWhenTheirTableIsWritten)
{
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(writeTestFile(folder + "/Model.plist", "<plist><dict><key>broken"));
    ASSERT_TRUE(writePlist("Lens.plist", "<array><string>not a table</string></array>"));
    ASSERT_TRUE(writePlist("Make.plist", "<dict><key>nikon*</key><string>Nikon</string>"
                                         "<key>count</key><integer>3</integer>"
                                         "<key>nested</key><dict/></dict>"));
    QStringList systemLog;
    SystemLog::setSink([&](const QString &line) { systemLog << line; });
    lookups.initializeWithPresetsFolder(presets);
    SystemLog::setSink(nullptr);
    EXPECT_TRUE(lookups.dictLookupModel.isEmpty());
    EXPECT_TRUE(lookups.dictLookupLens.isEmpty());
    EXPECT_EQ(lookups.dictLookupMake,
              (LookupsController::Table{{"nikon*", "Nikon"}, {"count", "3"}}));
    EXPECT_EQ(systemLog.size(), 2) << "one line per damaged table";
    EXPECT_EQ(lookups.damagedFiles(),
              (QStringList{folder + "/Lens.plist", folder + "/Model.plist"}));
    EXPECT_TRUE(lookups.damagedMessage().startsWith(folder + "/Lens.plist can't be read"));
    EXPECT_TRUE(lookups.damagedMessage().contains("Lens.plist.damaged"));

    // One table written on its own: only its file is set aside and written.
    lookups.dictLookupModel.insert("d700", "Body");
    EXPECT_TRUE(lookups.writeLookup("TIFF.Model"));
    EXPECT_EQ(readTestFile(folder + "/Model.plist.damaged"), "<plist><dict><key>broken");
    EXPECT_EQ(PropertyList::read(folder + "/Model.plist")->toMap().value("d700"), "Body");
    EXPECT_FALSE(QFileInfo::exists(folder + "/Serialnumber.plist")) << "only the one table";
    EXPECT_FALSE(QFileInfo::exists(folder + "/Lens.plist.damaged")) << "left as it is";
    EXPECT_FALSE(lookups.isDirty());

    // Writing every table sets the other aside; the next write has nothing left to set aside.
    EXPECT_TRUE(lookups.writeLookups());
    EXPECT_TRUE(QFileInfo::exists(folder + "/Lens.plist.damaged"));
    EXPECT_TRUE(lookups.writeLookups());
    EXPECT_FALSE(QFileInfo::exists(folder + "/Model.plist.damaged-2"));
    EXPECT_FALSE(QFileInfo::exists(folder + "/Lens.plist.damaged-2"));
}

// A write that fails is reported, and OK then keeps the window open with the reason and the
// edits; with no presets folder nothing is written.
TEST_F(Lookups, WriteFailureIsReported)
{
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(writeTestFile(folder, "a file where the folder was"));
    EXPECT_FALSE(lookups.writeLookups());

    RecordingUserInterface ui;
    UserInterface::setInstance(&ui);
    lookups.setupPanel();
    lookups.actionAdd();
    EXPECT_EQ(lookups.actionOK(), 0);
    UserInterface::setInstance(nullptr);
    ASSERT_EQ(ui.alerts.size(), 1);
    EXPECT_EQ(ui.alerts[0].title, "Lookup tables could not be saved.");
    EXPECT_TRUE(ui.alerts[0].message.contains("Make.plist")) << ui.alerts[0].message.toStdString();
    EXPECT_TRUE(lookups.dictLookupMake.contains("<new key>")) << "the edits are kept";

    LookupsController unplaced;
    unplaced.initializeWithPresetsFolder(QString());
    EXPECT_EQ(unplaced.folder(), QString());
    EXPECT_FALSE(unplaced.writeLookups()) << "no presets folder, nothing written";
}

TEST_F(Lookups, WindowEditsAddRenameAndRemoveRows)
{
    lookups.dictLookupMake = {{"canon*", "Canon"}, {"Nikon*", "Nikon"}, {"apple", "Apple"}};
    lookups.setupPanel();
    EXPECT_EQ(lookups.currentLookup(), "TIFF.Make");
    EXPECT_EQ(lookups.arrayLookup(), (QStringList{"apple", "canon*", "Nikon*"}));
    EXPECT_EQ(lookups.objectValue(2, "1"), "Nikon*");
    EXPECT_EQ(lookups.objectValue(2, "2"), "Nikon");
    EXPECT_EQ(lookups.objectValue(3, "1"), "");

    // Adding twice keeps one new row and selects it again.
    EXPECT_EQ(lookups.actionAdd(), 3);
    EXPECT_EQ(lookups.actionAdd(), 3);
    EXPECT_EQ(lookups.numberOfRowsInTableView(), 4);
    EXPECT_EQ(lookups.dictLookupMake.value("<new key>"), "<new value>");

    // Renaming keeps the replacement; editing the replacement keeps the pattern.
    EXPECT_TRUE(lookups.editedRow(3, 0, "sony*"));
    EXPECT_TRUE(lookups.editedRow(3, 1, "Sony"));
    EXPECT_EQ(lookups.arrayLookup()[3], "sony*");
    EXPECT_FALSE(lookups.dictLookupMake.contains("<new key>"));
    EXPECT_EQ(lookups.dictLookupMake.value("sony*"), "Sony");
    EXPECT_EQ(LookupsController::lookupKey("Sony Corp", "TIFF.Make"), "Sony")
        << "edits count at once";

    // Renaming onto an existing pattern gives that pattern this row's replacement.
    EXPECT_TRUE(lookups.editedRow(0, 0, "canon*"));
    EXPECT_EQ(lookups.dictLookupMake.value("canon*"), "Apple");
    EXPECT_EQ(lookups.arrayLookup(), (QStringList{"canon*", "canon*", "Nikon*", "sony*"}));

    EXPECT_FALSE(lookups.editedRow(9, 0, "x"));
    EXPECT_FALSE(lookups.editedRow(1, 2, "x"));
    EXPECT_FALSE(lookups.actionLookupChoice("Exif.Make"));
    EXPECT_EQ(lookups.currentLookup(), "TIFF.Make");

    // Removing selects the same position, or the last row after removing the last.
    lookups.dictLookupModel = {{"a", "1"}, {"b", "2"}, {"c", "3"}};
    EXPECT_TRUE(lookups.actionLookupChoice("TIFF.Model"));
    EXPECT_EQ(lookups.actionRemove(1), 1);
    EXPECT_EQ(lookups.arrayLookup(), (QStringList{"a", "c"}));
    EXPECT_EQ(lookups.actionRemove(1), 0);
    EXPECT_EQ(lookups.actionRemove(0), -1);
    EXPECT_TRUE(lookups.dictLookupModel.isEmpty());
    EXPECT_EQ(lookups.actionRemove(0), -1) << "nothing to remove";
}

TEST_F(Lookups, OkWritesAndCancelDropsEdits)
{
    lookups.setupPanel();
    lookups.actionAdd();
    lookups.editedRow(0, 0, "nikon*");
    QStringList console;
    SystemLog::setSink([&](const QString &line) { console << line; });
    EXPECT_TRUE(lookups.cellEdited(0, 1, "Nikon"));
    SystemLog::setSink(nullptr);
    EXPECT_EQ(console, QStringList{"edited: [Nikon]"});
    EXPECT_EQ(lookups.actionOK(), 1);

    lookups.editedRow(0, 1, "Changed");
    lookups.actionAdd();
    EXPECT_EQ(lookups.actionCancel(), 0);
    EXPECT_EQ(lookups.dictLookupMake, (LookupsController::Table{{"nikon*", "Nikon"}}));
    EXPECT_EQ(lookups.arrayLookup(), QStringList{"nikon*"}) << "the shown table is re-read too";
}

// The bad input of the window and the command-line tool: a pattern another row already has (in
// any case) or an empty one is refused and changes nothing; set and remove name patterns.
TEST_F(Lookups, DuplicateAndEmptyPatternsAreRefused)
{
    lookups.dictLookupMake = {{"nikon*", "Nikon"}, {"canon", "Canon"}};
    ASSERT_TRUE(lookups.writeLookups());
    lookups.setupPanel();
    const LookupsController::Table before = lookups.dictLookupMake;

    EXPECT_FALSE(lookups.cellEdited(0, 0, "nikon*")); // row 0 is "canon"
    EXPECT_EQ(lookups.refusal().title, "Pattern already in the table.");
    EXPECT_EQ(lookups.refusal().message,
              "The pattern \"nikon*\" is already in the TIFF.Make table.");
    EXPECT_FALSE(lookups.cellEdited(0, 0, "NIKON*"));
    EXPECT_TRUE(lookups.refusal().message.contains("as \"nikon*\"; case is ignored"));
    EXPECT_FALSE(lookups.cellEdited(0, 0, "  "));
    EXPECT_EQ(lookups.refusal().title, "Pattern missing.");
    EXPECT_EQ(lookups.dictLookupMake, before);
    EXPECT_EQ(lookups.arrayLookup(), (QStringList{"canon", "nikon*"}));
    EXPECT_FALSE(lookups.isDirty());

    // A row may change its own pattern's case, and a replacement may be anything.
    EXPECT_TRUE(lookups.cellEdited(0, 0, "Canon"));
    EXPECT_TRUE(lookups.cellEdited(0, 1, ""));
    EXPECT_EQ(lookups.dictLookupMake,
              (LookupsController::Table{{"nikon*", "Nikon"}, {"Canon", ""}}));
    EXPECT_TRUE(lookups.isDirty());

    // The tool's set: a new pattern, a new replacement for one spelt the same, refusals.
    QString problem;
    EXPECT_TRUE(lookups.setEntry("TIFF.Make", "sony*", "Sony", &problem));
    EXPECT_TRUE(lookups.setEntry("TIFF.Make", "sony*", "SONY", &problem));
    EXPECT_FALSE(lookups.setEntry("TIFF.Make", "Sony*", "x", &problem));
    EXPECT_TRUE(problem.contains("case is ignored"));
    EXPECT_FALSE(lookups.setEntry("TIFF.Make", "", "x", &problem));
    EXPECT_FALSE(lookups.setEntry("Exif.Make", "a", "x", &problem));
    EXPECT_EQ(lookups.dictLookupMake.value("sony*"), "SONY");
    EXPECT_EQ(lookups.arrayLookup(), (QStringList{"Canon", "nikon*", "sony*"}))
        << "the shown table follows";

    // Remove takes the exact spelling, else the one equal ignoring case.
    EXPECT_TRUE(lookups.removeEntry("TIFF.Make", "canon"));
    EXPECT_FALSE(lookups.removeEntry("TIFF.Make", "canon"));
    EXPECT_FALSE(lookups.removeEntry("TIFF.Make", "pentax"));
    EXPECT_EQ(lookups.dictLookupMake.keys(), (QStringList{"nikon*", "sony*"}));
    EXPECT_EQ(LookupsController::canonicalField("tiff.MODEL"), "TIFF.Model");
    EXPECT_EQ(LookupsController::canonicalField("Exif.Make"), QString());

    // Display order: by pattern or by replacement, either way, ignoring case.
    lookups.dictLookupMake = {{"b", "x"}, {"A", "z"}, {"c", "Y"}};
    lookups.setCurrentLookup("TIFF.Make");
    lookups.sortRows(1, false);
    EXPECT_EQ(lookups.arrayLookup(), (QStringList{"b", "c", "A"}));
    lookups.sortRows(0, true);
    EXPECT_EQ(lookups.arrayLookup(), (QStringList{"c", "b", "A"}));
}

} // namespace
