#include "PresetsSupport.h"

#include <gtest/gtest.h>

TEST(Setup, ParamsReadStringsBooleansAndDictionaries)
{
    ::Setup setup(QVariantMap{{"WantBackup", "YES"},
                              {"GeoTag", "no"},
                              {"WantConversion", "NO"},
                              {"WantJPEGVerify", ""},
                              {"Metadata", QVariantMap{{"IPTC.City", "Paris"}}}});
    // Only "NO" itself is false; a missing or empty value is false too.
    for (const auto &[key, on] :
         std::initializer_list<std::pair<const char *, bool>>{{"WantBackup", true},
                                                              {"GeoTag", true},
                                                              {"WantConversion", false},
                                                              {"WantJPEGVerify", false},
                                                              {"WantBackup2", false}})
        EXPECT_EQ(setup.paramBool(key), on) << key;
    EXPECT_FALSE(setup.paramBool(QString()));

    EXPECT_EQ(setup.paramString("BackupRootFolder2"), QString(""));
    EXPECT_EQ(setup.paramDict("Metadata").value("IPTC.City"), QVariant("Paris"));

    // A missing dictionary is a new one: writing into it leaves the record alone.
    QVariantMap missing = setup.paramDict("Nothing");
    missing.insert("x", "y");
    EXPECT_FALSE(setup.dict().contains("Nothing"));
    EXPECT_EQ(setup.dict().size(), 5);
}

TEST(Setup, TheDefaultsRebuiltOnEveryCallAndTheirListing)
{
    PresetsFixture fixture;
    ::Setup &defaults = ::Setup::defaultSetup();
    EXPECT_FALSE(defaults.dict().contains("WantBackup2"));
    EXPECT_FALSE(defaults.dict().contains("PromptForFolder"));

    const QVariantMap metadata = defaults.paramDict("Metadata");
    EXPECT_EQ(metadata.size(), 36);
    EXPECT_EQ(metadata.value("CF.Shoot"), QVariant(""));
    EXPECT_EQ(metadata.value("IPTC.CopyrightStatus"), QVariant("True"));
    EXPECT_EQ(metadata.value("IPTC.CopyrightNotice"),
              QVariant(QStringLiteral("©{@DateNow:YYYY} {@UserName}. All rights reserved.")));
    EXPECT_EQ(metadata.value("IPTC.Byline"), QVariant("{@UserName}"));

    // A change made to the shared defaults does not survive the next request (its metadata
    // follows the catalogue, whose changes the preferences window's test follows).
    defaults.setParam("WantBackup", "YES");
    ::Setup &again = ::Setup::defaultSetup();
    EXPECT_EQ(&again, &defaults);
    EXPECT_EQ(again.paramString("WantBackup"), QStringLiteral("NO"));

    // The log lists them exactly.
    again.putlog();
    EXPECT_EQ(fixture.pane.text(), QStringLiteral("Primary Root: ~/Pictures/Brindlewick\n"
                                                  "Want Backup: No\n"
                                                  "Want 2nd Backup: No\n"
                                                  "Folder Arrangement: \n"
                                                  "Filename Arrangement: {@FileNameOriginal}\n"
                                                  "Want DNG Conversion: No     Verify Only: No\n"
                                                  "Verify JPEGs: No     Want Geotagging: No\n"
                                                  "Post-Processing App: \n"
                                                  "Included Extensions: [all]\n"));

    // Backup roots appear only when their backup is wanted.
    fixture.pane.clear();
    ::Setup setup(QVariantMap{{"BackupRootFolder", "/b1"},
                              {"WantBackup2", "YES"},
                              {"BackupRootFolder2", "/b2"},
                              {"WantRawVerify", "YES"},
                              {"GeoTag", "YES"},
                              {"Inclusions", "JPG NEF"}});
    setup.putlog();
    const QString text = fixture.pane.text();
    EXPECT_FALSE(text.contains("Backup Root: /b1"));
    EXPECT_TRUE(text.contains("Want 2nd Backup: Yes\n2nd Backup Root: /b2\n"));
    EXPECT_TRUE(text.contains("Want DNG Conversion: No     Verify Only: Yes\n"));
    EXPECT_TRUE(text.contains("Verify JPEGs: No     Want Geotagging: Yes\n"));
    EXPECT_TRUE(text.contains("Included Extensions: JPG NEF\n"));
}
