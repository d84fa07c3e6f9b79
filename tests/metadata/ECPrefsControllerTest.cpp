#include "MetadataSupport.h"
#include "metadata/NumberFormatterNumericOnly.h"
#include "platform/RecordingUserInterface.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

// The fields' names, or only those of the fields shown.
QStringList names(const QList<LayedOutField> &fields, bool onlyIncluded = false)
{
    QStringList result;
    for (const LayedOutField &field : fields)
        if (field.included || !onlyIncluded)
            result.append(field.name);
    return result;
}

struct ScriptedUi
{
    RecordingUserInterface ui;
    ScriptedUi() { UserInterface::setInstance(&ui); }
    ~ScriptedUi() { UserInterface::setInstance(nullptr); }
};

} // namespace

// The defaults the window shows are its test's; the whole raw list is checked here.
TEST(ECPrefsController, DefaultsOkAndCancel)
{
    resetPreferences();
    ECPrefsController &prefs = ECPrefsController::prefs();
    EXPECT_EQ(prefs.rawFileExtensions(), QStringLiteral("ARW CR2 CRW DCR DNG EEF IIQ KDC MOS MRW "
                                                        "NEF NRW ORF PEF RAF RAW RW2 SR2 SRF TIF "
                                                        "X3F"));
    EXPECT_FALSE(Prefs::isSet(Prefs::DNGConverter));

    // OK stores every key; a new instance reads the same values back.
    prefs.setRawFileExtensions("NEF");
    prefs.setWantEmbeddedRaw(true);
    prefs.setJpegPreview("-p1");
    prefs.ok();
    for (const Prefs::Key *key : Prefs::all()) {
        if (key != &Prefs::DNGConverter) {
            EXPECT_TRUE(Prefs::isSet(*key)) << key->name;
        }
    }
    ECPrefsController &again = ECPrefsController::init();
    EXPECT_EQ(again.rawFileExtensions(), QStringLiteral("NEF"));
    EXPECT_TRUE(again.wantEmbeddedRaw());
    EXPECT_EQ(again.jpegPreview(), QStringLiteral("-p1"));

    // Cancel drops unsaved edits; reverting brings the default raw list back unsaved.
    again.setConverterPath("/opt/conv");
    again.revertRawFileExtensions();
    EXPECT_TRUE(ECPrefsController::isRaw("CR2"));
    again.cancel();
    EXPECT_EQ(again.converterPath(), QString());
    EXPECT_EQ(again.rawFileExtensions(), QStringLiteral("NEF"));
}

TEST(ECPrefsController, IsRawMatchesWholeWordsOnly)
{
    resetPreferences();
    for (const char *raw : {"nef", "NeF", "ARW", "X3F"})
        EXPECT_TRUE(ECPrefsController::isRaw(raw)) << raw;
    for (const char *other : {"ne", "EF", "jpg", "NEF CR2"})
        EXPECT_FALSE(ECPrefsController::isRaw(other)) << other;

    ECPrefsController::prefs().setRawFileExtensions("CR2  NEF\nORF\tRAF");
    for (const char *raw : {"cr2", "nef", "orf", "raf"})
        EXPECT_TRUE(ECPrefsController::isRaw(raw)) << raw;
    // An empty extension is never raw, even though the list holds two blanks in a row.
    EXPECT_FALSE(ECPrefsController::isRaw(""));
}

TEST(ECPrefsController, FirstStartLayoutAndStoredLayout)
{
    resetPreferences();
    const QList<LayedOutField> layout = ECPrefsController::includedFields();
    EXPECT_EQ(layout.size(), 34); // every catalogue field but caption and keywords
    EXPECT_FALSE(names(layout).contains("IPTC.Caption/Abstract"));
    EXPECT_FALSE(names(layout).contains("IPTC.Keywords"));
    EXPECT_EQ(
        names(layout, true),
        (QStringList{"CF.Shoot", "TimeZone", "IPTC.ObjectName", "IPTC.Headline", "IPTC.Byline",
                     "IPTC.City", "IPTC.Province/State", "IPTC.Country/PrimaryLocationName"}));
    for (const LayedOutField &field : layout) {
        const bool tall = field.name == "IPTC.Headline" || field.name == "IPTC.ObjectName";
        EXPECT_EQ(field.lines, tall ? 3 : 1) << field.name.toStdString();
    }

    // Stored entries keep their order; unknown, empty, repeated and caption entries are dropped;
    // lines below one read as one; the rest follow unticked.
    Defaults::set(
        "LayedOutFields",
        QVariantList{QVariantMap{{"name", "IPTC.City"}, {"included", true}, {"lines", 2}},
                     QVariantMap{{"name", "CF.Gone"}, {"included", true}, {"lines", 1}},
                     QVariantMap{{"name", ""}, {"included", true}, {"lines", 1}},
                     QVariantMap{{"name", "IPTC.Keywords"}, {"included", true}},
                     QVariantMap{{"name", "IPTC.City"}, {"included", false}},
                     QVariantMap{{"name", "TimeZone"}, {"included", "NO"}, {"lines", 0}}});
    ECPrefsController::init();
    const QList<LayedOutField> stored = ECPrefsController::includedFields();
    EXPECT_EQ(stored.size(), 34);
    EXPECT_EQ(stored.at(0), (LayedOutField{"IPTC.City", true, 2}));
    EXPECT_EQ(stored.at(1), (LayedOutField{"TimeZone", false, 1}));
    EXPECT_EQ(stored.at(2), (LayedOutField{"CF.Shoot", false, 1}));
    EXPECT_EQ(names(stored, true), QStringList{"IPTC.City"});

    // Writing and reading back is lossless, and regrouping puts the included entries first.
    ECPrefsController &prefs = ECPrefsController::prefs();
    prefs.toggleIncluded(3);
    prefs.setLinesIndex(3, 4);
    const QString third = stored.at(3).name;
    prefs.regroup();
    EXPECT_EQ(names(prefs.layedOutFields()).mid(0, 2), (QStringList{"IPTC.City", third}));
    EXPECT_EQ(prefs.layedOutFields().at(1).lines, 5);
    EXPECT_EQ(ECPrefsController::linesIndex(prefs.layedOutFields().at(1)), 4);
    EXPECT_EQ(names(prefs.layedOutFields()).mid(2, 2), (QStringList{"TimeZone", "CF.Shoot"}));
    EXPECT_FALSE(prefs.toggleIncluded(99));
}

TEST(ECPrefsController, AddingAndDeletingCustomFields)
{
    resetPreferences();
    ScriptedUi script;
    ECPrefsController &prefs = ECPrefsController::prefs();

    script.ui.promptAnswers = {QString("my field"), QString("CF.My_Field"), QString("cf.Place"),
                               QString(""),         std::nullopt,           QString("cf.  ")};
    EXPECT_EQ(prefs.addCustomField(), QStringLiteral("CF.my_field"));
    EXPECT_EQ(script.ui.prompts.first().prompt, QStringLiteral("Field Name"));
    EXPECT_FALSE(prefs.addCustomField());
    EXPECT_EQ(script.ui.alertTexts(), QStringList{"Field already defined as a custom field.: "});
    EXPECT_EQ(prefs.addCustomField(), QStringLiteral("CF.Place"));
    EXPECT_FALSE(prefs.addCustomField()); // empty
    EXPECT_FALSE(prefs.addCustomField()); // cancelled
    EXPECT_FALSE(prefs.addCustomField()); // nothing after the prefix
    EXPECT_EQ(script.ui.alerts.size(), 1);

    EXPECT_EQ(ECPrefsController::customFields(),
              (QStringList{"CF.my_field", "CF.Place", "CF.Shoot"}));
    EXPECT_EQ(ECPrefsController::customFieldTitle("CF.Place"), QStringLiteral("Place"));
    EXPECT_EQ(ECPrefsController::customFieldTitle("cf.x"), QStringLiteral("x"));
    // The last added field is shown, at the top; the one before stays shown.
    EXPECT_EQ(prefs.layedOutFields().at(0), (LayedOutField{"CF.Place", true, 1}));
    EXPECT_EQ(prefs.layedOutFields().at(1), (LayedOutField{"CF.my_field", true, 1}));
    EXPECT_EQ(Metadata::iptcKeys().mid(0, 3), (QStringList{"CF.my_field", "CF.Place", "CF.Shoot"}));

    // Deleting selects the same row, or the last one; the field leaves the layout.
    EXPECT_EQ(prefs.deleteCustomField(1), 1);
    EXPECT_FALSE(names(prefs.layedOutFields()).contains("CF.Place"));
    EXPECT_EQ(prefs.deleteCustomField(1), 0);
    EXPECT_EQ(prefs.deleteCustomField(0), -1);
    EXPECT_EQ(prefs.deleteCustomField(0), -1);
    EXPECT_TRUE(ECPrefsController::customFields().isEmpty());

    // Custom fields are stored only on OK; the layout already was.
    prefs.cancel();
    EXPECT_EQ(ECPrefsController::customFields(), QStringList{"CF.Shoot"});
    EXPECT_FALSE(names(prefs.layedOutFields()).contains("CF.my_field"));
    EXPECT_EQ(Metadata::iptcKeys().first(), QStringLiteral("CF.Shoot"));
}

// Renaming keeps the field's place, tick and lines in the layout; names the macros would
// misread, and names of fields that exist, are refused with an alert and change nothing.
TEST(ECPrefsController, RenamingAndRefusingCustomFields)
{
    resetPreferences();
    ScriptedUi script;
    ECPrefsController &prefs = ECPrefsController::prefs();
    prefs.setLinesIndex(0, 2); // CF.Shoot, shown at first start, gets three lines
    script.ui.promptAnswers = {QString("Place"), QString("Session"), QString("place"),
                               QString("a.b"),   QString("x}"),      std::nullopt};
    ASSERT_EQ(prefs.addCustomField(), QStringLiteral("CF.Place"));
    const int shoot = int(ECPrefsController::customFields().indexOf("CF.Shoot"));
    const auto layoutRow = [&](const QString &name) {
        for (int i = 0; i < prefs.layedOutFields().size(); ++i) {
            if (prefs.layedOutFields().at(i).name == name)
                return i;
        }
        return -1;
    };
    const int before = layoutRow("CF.Shoot");

    EXPECT_EQ(prefs.renameCustomField(shoot), QStringLiteral("CF.Session"));
    EXPECT_EQ(script.ui.prompts.last().defaultText, QStringLiteral("Shoot"));
    EXPECT_EQ(ECPrefsController::customFields(), (QStringList{"CF.Place", "CF.Session"}));
    EXPECT_EQ(layoutRow("CF.Session"), before);
    EXPECT_EQ(prefs.layedOutFields().at(before), (LayedOutField{"CF.Session", true, 3}));
    EXPECT_EQ(layoutRow("CF.Shoot"), -1);
    EXPECT_TRUE(Metadata::iptcKeys().contains("CF.Session"));

    EXPECT_FALSE(prefs.renameCustomField(1)); // "place" clashes with CF.Place
    EXPECT_FALSE(prefs.addCustomField());     // "a.b"
    EXPECT_FALSE(prefs.addCustomField());     // "x}"
    EXPECT_FALSE(prefs.renameCustomField(0)); // cancelled
    EXPECT_FALSE(prefs.renameCustomField(7)); // no such row: not even asked
    EXPECT_EQ(script.ui.alertTexts(),
              (QStringList{"Field already defined as a custom field.: ",
                           "Field name not allowed.: A field name can't contain \".\", \":\", "
                           "\"@\", \"{\", \"}\" or \",\": \"a.b\".",
                           "Field name not allowed.: A field name can't contain \".\", \":\", "
                           "\"@\", \"{\", \"}\" or \",\": \"x}\"."}));
    EXPECT_EQ(ECPrefsController::customFields(), (QStringList{"CF.Place", "CF.Session"}));
    EXPECT_TRUE(prefs.isDirty());
    ASSERT_TRUE(prefs.ok());
    EXPECT_FALSE(prefs.isDirty());
    EXPECT_EQ(Prefs::stringList(Prefs::CustomFields), (QStringList{"CF.Place", "CF.Session"}));

    // The command line's whole new list: new fields are shown at the top, gone ones leave.
    prefs.replaceCustomFields({"CF.A", "CF.Place", "CF.B"});
    EXPECT_EQ(names(prefs.layedOutFields()).mid(0, 2), (QStringList{"CF.A", "CF.B"}));
    EXPECT_EQ(layoutRow("CF.Session"), -1);
    EXPECT_TRUE(prefs.layedOutFields().at(0).included);
}

// OK checks before it stores: a refused value stores nothing and says why; accepted values are
// stored normalised. A store that can't be written is reported, not taken for saved.
TEST(ECPrefsController, OkChecksValuesAndReportsAnUnwritableStore)
{
    resetPreferences();
    ScriptedUi script;
    ECPrefsController &prefs = ECPrefsController::prefs();
    const QString folder = makeTestFolder("converter");
    const QString converter = folder + "/converter";
    writeTestFile(converter, "#!/bin/sh\n");
    QFile::setPermissions(converter, QFile::ReadOwner | QFile::ExeOwner);

    prefs.setRawFileExtensions("NEF/CR2");
    prefs.setWantEmbeddedRaw(true);
    EXPECT_FALSE(prefs.ok());
    EXPECT_EQ(prefs.lastRefusedKey(), &Prefs::RawFileExtensions);
    EXPECT_EQ(script.ui.alerts.last().title, "Raw file extensions not valid.");
    EXPECT_FALSE(Prefs::isSet(Prefs::WantEmbeddedRaw)) << "nothing stored";

    prefs.setRawFileExtensions(".nef, cr2 NEF");
    prefs.setConverterPath(folder);
    EXPECT_FALSE(prefs.ok());
    EXPECT_EQ(prefs.lastRefusedKey(), &Prefs::ConverterPath);
    EXPECT_EQ(script.ui.alertTexts().last(),
              "DNG Converter can't be used.: " + folder + " is a folder, not a program.");
    EXPECT_FALSE(Prefs::isSet(Prefs::RawFileExtensions));

    // The chooser refuses the same, and its start folder follows the last choice.
    EXPECT_FALSE(prefs.chooseConverter(folder + "/missing"));
    EXPECT_EQ(prefs.converterPath(), folder) << "unchanged";
    EXPECT_EQ(prefs.converterChooserStart(), folder + "/missing");
    EXPECT_TRUE(prefs.chooseConverter(converter));
    EXPECT_TRUE(prefs.ok());
    EXPECT_EQ(Prefs::string(Prefs::RawFileExtensions), "nef cr2");
    EXPECT_EQ(prefs.rawFileExtensions(), "nef cr2");
    EXPECT_EQ(Prefs::string(Prefs::ConverterPath), converter);
    EXPECT_TRUE(Prefs::boolean(Prefs::WantEmbeddedRaw));

    // The settings folder replaced by a file: nothing can be written there.
    const QString settings = Defaults::storePath();
    const QString settingsFolder = QFileInfo(settings).absolutePath();
    ASSERT_TRUE(QDir(settingsFolder).removeRecursively());
    ASSERT_TRUE(writeTestFile(settingsFolder, "not a folder"));
    prefs.setWantEmbeddedRaw(false);
    EXPECT_FALSE(prefs.ok());
    EXPECT_EQ(script.ui.alerts.last().title, "Preferences could not be saved.");
    EXPECT_TRUE(script.ui.alerts.last().message.contains(settings))
        << script.ui.alerts.last().message.toStdString();
    EXPECT_TRUE(prefs.isDirty()) << "the edit is still there to retry";
    ASSERT_TRUE(QFile::remove(settingsFolder));
    EXPECT_TRUE(prefs.ok());
    EXPECT_FALSE(Prefs::boolean(Prefs::WantEmbeddedRaw));
}

TEST(ECPrefsController, DragMovesRows)
{
    resetPreferences();
    ECPrefsController &prefs = ECPrefsController::prefs();
    const QStringList before = names(prefs.layedOutFields());

    // Row 5 dropped before row 2: taken out, put in at 2, row 2 selected.
    EXPECT_EQ(prefs.moveLayedOutField(5, 2), 2);
    QStringList expected = before;
    expected.move(5, 2);
    EXPECT_EQ(names(prefs.layedOutFields()), expected);

    // Row 1 dropped before row 4: it lands at 3, which is selected.
    EXPECT_EQ(prefs.moveLayedOutField(1, 4), 3);
    expected.move(1, 3);
    EXPECT_EQ(names(prefs.layedOutFields()), expected);

    // Onto the end, and impossible moves.
    const int count = int(expected.size());
    EXPECT_EQ(prefs.moveLayedOutField(0, count), count - 1);
    EXPECT_EQ(prefs.moveLayedOutField(count, 0), -1);
    EXPECT_EQ(prefs.moveLayedOutField(0, count + 1), -1);
    EXPECT_EQ(prefs.layedOutFields().size(), count);

    EXPECT_EQ(ECPrefsController::unarchiveRows(ECPrefsController::archiveRows({5, 7})),
              (QList<int>{5, 7}));
    EXPECT_TRUE(ECPrefsController::unarchiveRows("garbage").isEmpty());
}

TEST(ECPrefsController, NumericOnlyValidator)
{
    for (const char *good : {"", "-", "0", "-12", "007"})
        EXPECT_TRUE(NumberFormatterNumericOnly::isPartialStringValid(good)) << good;
    for (const char *bad : {"1.5", "--1", "1-", "+1", " 1", "a", "١"})
        EXPECT_FALSE(NumberFormatterNumericOnly::isPartialStringValid(QString::fromUtf8(bad)))
            << bad;
    NumberFormatterNumericOnly validator;
    QString text = "-42";
    int pos = 0;
    EXPECT_EQ(validator.validate(text, pos), QValidator::Acceptable);
    text = "4x";
    EXPECT_EQ(validator.validate(text, pos), QValidator::Invalid);
}
