#include "platform/Format.h"

#include <gtest/gtest.h>

TEST(Format, MixesObjectPlaceholdersWithCConversionsAndNeverReadsAnArgumentAgain)
{
    EXPECT_EQ(formatMessage("Copied %d of %ld files to %@", 3, 10L, QStringLiteral("/x")),
              QStringLiteral("Copied 3 of 10 files to /x"));
    EXPECT_EQ(formatMessage("%.1f min. %5.2f|%-4d|%04d", 45.0, 3.14159, 7, 42),
              QStringLiteral("45.0 min.  3.14|7   |0042"));
    EXPECT_EQ(formatMessage("%s and %c%c", "bytes", 'o', 'k'), QStringLiteral("bytes and ok"));
    EXPECT_EQ(formatMessage("100%% done"), QStringLiteral("100% done"));
    EXPECT_EQ(formatMessage("%@ %@ %@", 5.6, 250, QVariant(0.004)),
              QStringLiteral("5.6 250 0.004"));

    EXPECT_EQ(formatMessage("ERROR copying file: %@", QStringLiteral("100%.jpg %d %@")),
              QStringLiteral("ERROR copying file: 100%.jpg %d %@"));
    EXPECT_EQ(formatMessage("%s", "50%s"), QStringLiteral("50%s"));

    EXPECT_EQ(formatMessage("a %@ b %d"), QStringLiteral("a (null) b 0"));
    EXPECT_EQ(formatMessage("trailing %"), QStringLiteral("trailing %"));
    EXPECT_EQ(formatMessage("%y kept"), QStringLiteral("%y kept"));
    EXPECT_EQ(formatMessage("unicode %@", QStringLiteral("Zürich")),
              QStringLiteral("unicode Zürich"));
}

TEST(Format, PropertyTreeListsNestedGroupsReadably)
{
    const QVariantMap tree{
        {"PixelWidth", 4000},
        {"{Exif}", QVariantMap{{"FNumber", 5.6}, {"ISOSpeedRatings", QVariantList{200}}}},
        {"{TIFF}", QVariantMap{{"Make", "NIKON"}}}};
    EXPECT_EQ(describePropertyTree(tree), QStringLiteral("{\n"
                                                         "    PixelWidth = 4000;\n"
                                                         "    {Exif} = {\n"
                                                         "        FNumber = 5.6;\n"
                                                         "        ISOSpeedRatings = (200);\n"
                                                         "    };\n"
                                                         "    {TIFF} = {\n"
                                                         "        Make = \"NIKON\";\n"
                                                         "    };\n"
                                                         "}"));
}
