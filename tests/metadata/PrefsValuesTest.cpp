#include "metadata/PrefsValues.h"
#include "MetadataSupport.h"
#include "support/TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

// Raw extension lists are normalised (dots, commas, blanks, repeats in any case) or refused
// whole, with nothing half-valid to store.
TEST(PrefsValues, RawListsAreNormalisedOrRefusedWhole)
{
    const std::pair<const char *, const char *> rows[] = {
        {"NEF CR2", "NEF CR2"},
        {" .nef,  CR2\n\t*.ARW , ", "nef CR2 ARW"},
        {"NEF nef Nef CR2", "NEF CR2"},
        {"3FR X3F", "3FR X3F"}, // digits are letters
        {"  \n ", ""},          // empty: no raw files
        {"NEF/CR2", nullptr},
        {"RW-2", nullptr},
        {"N*F", nullptr}};
    for (const auto &[typed, stored] : rows) {
        const PrefsValues::Checked checked = PrefsValues::rawFileExtensions(typed);
        if (!stored) {
            EXPECT_FALSE(checked.ok()) << typed;
            EXPECT_FALSE(checked.value.isValid()) << typed;
        } else {
            EXPECT_TRUE(checked.ok()) << typed << ": " << checked.problem.toStdString();
            EXPECT_EQ(checked.value.toString(), QString::fromUtf8(stored)) << typed;
        }
    }
}

TEST(PrefsValues, ProgramsMustExistBeFilesAndRun)
{
    const QString folder = makeTestFolder("programs");
    const QString script = folder + "/convert";
    const QString plain = folder + "/plain";
    writeTestFile(script, "#!/bin/sh\nexit 0\n");
    writeTestFile(plain, "text");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(plain, QFile::ReadOwner | QFile::WriteOwner);

    EXPECT_EQ(PrefsValues::programProblem(script), QString());
    EXPECT_EQ(PrefsValues::programProblem(""), QString()) << "no program chosen";
    EXPECT_EQ(PrefsValues::programProblem(folder), folder + " is a folder, not a program.");
    EXPECT_EQ(PrefsValues::programProblem(plain), plain + " is not executable.");
    EXPECT_EQ(PrefsValues::programProblem(folder + "/gone"), folder + "/gone does not exist.");
    // "~" is the home folder, as the ingestion reads the path.
    const QString relative = "~" + script.mid(testHome().size());
    EXPECT_EQ(PrefsValues::programProblem(relative), QString());
    EXPECT_TRUE(PrefsValues::parse(Prefs::ConverterPath, {plain}).problem.endsWith("executable."));
}

TEST(PrefsValues, CustomFieldNamesAreCheckedAsKeys)
{
    using PrefsValues::customFieldKey;
    EXPECT_EQ(customFieldKey("my field", {}).value, "CF.my_field");
    EXPECT_EQ(customFieldKey("  cf.Place ", {}).value, "CF.Place");
    for (const char *bad : {"IPTC.City", "a:b", "at@home", "{x}", "one,two", "cf.", " "})
        EXPECT_FALSE(customFieldKey(bad, {}).ok()) << bad;
    EXPECT_EQ(PrefsValues::customFieldRefusalTitle(customFieldKey("a.b", {}).problem),
              "Field name not allowed.");
    const PrefsValues::Checked clash = customFieldKey("SHOOT", {"CF.Shoot"});
    EXPECT_EQ(clash.problem, "Field already defined as a custom field.");
    EXPECT_EQ(PrefsValues::customFieldRefusalTitle(clash.problem), clash.problem);
    // A field being renamed does not clash with itself.
    EXPECT_EQ(customFieldKey("shoot", {"CF.Shoot", "CF.Place"}, "CF.Shoot").value, "CF.shoot");
    EXPECT_FALSE(customFieldKey("place", {"CF.Shoot", "CF.Place"}, "CF.Shoot").ok());
}

// Every key's default goes out as text and comes back in unchanged: the command line can set
// back what it shows, for keys added to the table later too.
TEST(PrefsValues, EveryKeyRoundTripsThroughText)
{
    resetPreferences();
    for (const Prefs::Key *key : Prefs::all()) {
        QVariant value = key->defaultValue;
        if (key == &Prefs::LayedOutFields) {
            value =
                QVariantList{QVariantMap{{"name", "IPTC.City"}, {"included", true}, {"lines", 2}},
                             QVariantMap{{"name", "CF.Shoot"}, {"included", false}, {"lines", 1}}};
        }
        const QString text = PrefsValues::text(*key, value);
        const PrefsValues::Checked back = PrefsValues::parse(*key, {text});
        ASSERT_TRUE(back.ok()) << key->name << ": " << back.problem.toStdString();
        EXPECT_EQ(PrefsValues::text(*key, back.value), text) << key->name;
        EXPECT_FALSE(PrefsValues::typeName(key->type).isEmpty());
    }
}

TEST(PrefsValues, CommandLineWordsAreCheckedPerType)
{
    resetPreferences();
    using PrefsValues::parse;
    for (const char *yes : {"YES", "true", "On", "1"})
        EXPECT_EQ(parse(Prefs::WantEmbeddedRaw, {yes}).value, QVariant(true)) << yes;
    for (const char *no : {"no", "FALSE", "off", "0"})
        EXPECT_EQ(parse(Prefs::WantEmbeddedRaw, {no}).value, QVariant(false)) << no;
    EXPECT_FALSE(parse(Prefs::WantEmbeddedRaw, {"maybe"}).ok());
    EXPECT_FALSE(parse(Prefs::WantEmbeddedRaw, {}).ok());
    EXPECT_EQ(parse(Prefs::JpegPreview, {"-p2"}).value, "-p2");
    EXPECT_FALSE(parse(Prefs::JpegPreview, {"-p9"}).ok());
    EXPECT_EQ(parse(Prefs::RawFileExtensions, {"nef", ".cr2"}).value, "nef cr2");

    // Custom fields: words or commas, normalised, each once.
    EXPECT_EQ(parse(Prefs::CustomFields, {"my field, cf.Place", "Shoot"}).value,
              (QStringList{"CF.my_field", "CF.Place", "CF.Shoot"}));
    EXPECT_EQ(parse(Prefs::CustomFields, {}).value, QStringList());
    EXPECT_EQ(parse(Prefs::CustomFields, {"a", "A"}).problem, "\"A\" is given twice.");
    EXPECT_FALSE(parse(Prefs::CustomFields, {"a.b"}).ok());

    // The layout: JSON of known fields, in the catalogue's spelling, each once.
    const auto layout = [](const char *json) {
        return PrefsValues::parse(Prefs::LayedOutFields, {QString::fromUtf8(json)});
    };
    const PrefsValues::Checked good =
        layout(R"([{"name":"iptc.city","included":true,"lines":3},{"name":"TimeZone"}])");
    ASSERT_TRUE(good.ok()) << good.problem.toStdString();
    EXPECT_EQ(good.value.toList().at(0).toMap().value("name"), "IPTC.City");
    EXPECT_EQ(good.value.toList().at(1).toMap().value("lines"), 1);
    for (const char *bad :
         {R"({"name":"IPTC.City"})", "[1,", R"([{"name":"IPTC.Nope"}])",
          R"([{"name":"IPTC.Keywords"}])", R"([{"name":"TimeZone"},{"name":"timezone"}])",
          R"([{"name":"TimeZone","lines":0}])", R"([{"name":"TimeZone","lines":1.5}])",
          R"([{"name":"TimeZone","included":"yes"}])"})
        EXPECT_FALSE(layout(bad).ok()) << bad;
}

} // namespace
