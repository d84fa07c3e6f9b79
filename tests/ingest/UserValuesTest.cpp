#include "items/UserValues.h"
#include "ingest/IngestFiles.h"
#include "macro/MacroProcessor.h"
#include "presets/Setup.h"
#include "support/InstalledUserInterface.h"

#include <gtest/gtest.h>

// What an image's own values make of the preset's texts when its metadata is generated: a
// cleared field stays empty whatever the preset says, and a value for a field the preset does
// not carry is written all the same.
TEST(UserValues, ClearedFieldsStayEmptyAndFieldsThePresetLacksAreWritten)
{
    InstalledUserInterface ui;
    IngestFiles engine;
    auto item = ThumbItem::initWithPath(QStringLiteral("/nowhere/IMG_0001.JPG"));
    item->metadataUser = QVariantMap{{"IPTC.City", UserValues::kNoValue},
                                     {"IPTC.Caption/Abstract", "Hello"},
                                     {"IPTC.Keywords", "river, walk"},
                                     {"NotAField", "x"},
                                     {"CF.Shoot", UserValues::kNoValue}};
    const ::Setup setup(
        QVariantMap{{"Metadata", QVariantMap{{"IPTC.City", "Bergen"},
                                             {"IPTC.Headline", "{@FileNameOriginal}"},
                                             {"CF.Shoot", "Trip"}}}});
    engine.generateMetadataFor(*item, setup);
    EXPECT_FALSE(item->metadataGenerated.contains("IPTC.City"));
    EXPECT_FALSE(item->metadataGenerated.contains("CF.Shoot"));
    EXPECT_EQ(item->metadataGenerated.value("IPTC.Headline").toString(), "IMG_0001");
    EXPECT_EQ(item->metadataGenerated.value("IPTC.Caption/Abstract").toString(), "Hello");
    EXPECT_EQ(item->metadataGenerated.value("IPTC.Keywords").toString(), "river, walk");
    EXPECT_FALSE(item->metadataGenerated.contains("NotAField"));
    // The custom-field macro follows the same rule in folder and file names.
    EXPECT_EQ(engine.macroProcessor().expand("[{@CF.Shoot}]", *item, setup), "[]");
    item->metadataUser->remove("CF.Shoot");
    EXPECT_EQ(engine.macroProcessor().expand("[{@CF.Shoot}]", *item, setup), "[Trip]");
}
