#include "MetadataSupport.h"

#include <gtest/gtest.h>

TEST(Metadata, CatalogueStartsWithCustomFieldsThenFixedFields)
{
    resetPreferences();
    const QStringList keys = Metadata::iptcKeys();
    ASSERT_EQ(keys.size(), 36);
    EXPECT_EQ(keys.first(), QStringLiteral("CF.Shoot"));
    EXPECT_EQ(keys.at(1), QStringLiteral("TimeZone"));
    EXPECT_EQ(keys.at(2), QStringLiteral("IPTC.Caption/Abstract"));
    EXPECT_EQ(keys.last(), QStringLiteral("IPTC.CiUrlWork"));
    EXPECT_EQ(Metadata::fixedFieldKeys().size(), 35);
    EXPECT_EQ(Metadata::catalogueKeyFor("iptc.city"), QStringLiteral("IPTC.City"));
    EXPECT_FALSE(Metadata::catalogueKeyFor("IPTC.Nowhere"));

    // A new custom field reaches the catalogue only after the reset.
    ECPrefsController::prefs().setCustomFields({"CF.Place", "CF.Shoot"});
    EXPECT_EQ(Metadata::iptcKeys().size(), 36);
    Metadata::resetIptcMetadata();
    EXPECT_EQ(Metadata::iptcKeys().mid(0, 3), (QStringList{"CF.Place", "CF.Shoot", "TimeZone"}));
    // Rows start unedited and unflagged.
    const MetadataPtr row = Metadata::iptcMedata().first();
    EXPECT_FALSE(row->change);
    EXPECT_FALSE(row->changeable);
    EXPECT_FALSE(row->valNew.has_value());
}

TEST(Metadata, RanksPreferTheLayoutOverTheCatalogue)
{
    resetPreferences();
    const QMap<QString, int> ranks = ECPrefsController::fieldDict();
    // The layout (first start) lists every catalogue field but caption and keywords.
    EXPECT_EQ(ranks.value("CF.Shoot"), 1);
    EXPECT_EQ(ranks.value("TimeZone"), 2);
    EXPECT_EQ(ranks.value("IPTC.ObjectName"), 3);
    EXPECT_EQ(ranks.value("IPTC.Caption/Abstract"), 1002);
    EXPECT_EQ(ranks.value("IPTC.Keywords"), 1003);

    // A stored layout naming an IPTC field first ranks it 1; the rest follow in catalogue order.
    Defaults::set("LayedOutFields", QVariantList{QVariantMap{
                                        {"name", "IPTC.City"}, {"included", true}, {"lines", 1}}});
    ECPrefsController::init();
    const QMap<QString, int> stored = ECPrefsController::fieldDict();
    EXPECT_EQ(stored.value("IPTC.City"), 1);
    EXPECT_EQ(stored.value("CF.Shoot"), 2);
}

TEST(Metadata, EffectiveValueAndExposureFractions)
{
    Metadata row("IPTC.City");
    row.val = 12;
    EXPECT_EQ(row.valEffective(), QVariant(12));
    row.valNew = QString();
    EXPECT_EQ(row.valEffective(), QVariant(QString()));

    // Exposures under a second read as fractions; the rest, and what is no number, as given.
    const QList<std::pair<QVariant, QVariant>> fractions{
        {0.004, "1/250"}, {0.3, "1/3"}, {0.0125, "1/80"}, {"0.5", "1/2"}, {1, 1},
        {30, 30},         {2.5, 2.5},   {0, 0},           {-0.5, -0.5},   {"fast", "fast"}};
    for (const auto &[exposure, shown] : fractions)
        EXPECT_EQ(Metadata::fractionFor(exposure), shown) << exposure.toString().toStdString();
}
