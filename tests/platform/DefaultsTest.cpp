#include "platform/Defaults.h"
#include "support/TestSupport.h"

#include <QFileInfo>

#include <gtest/gtest.h>

TEST(Defaults, AbsentIsToldApartFromEmptyAndTypesListsAndMapsSurvive)
{
    EXPECT_FALSE(Defaults::contains("PostApp"));
    EXPECT_EQ(Defaults::string("PostApp", "fallback"), QStringLiteral("fallback"));
    Defaults::set("PostApp", QString());
    EXPECT_TRUE(Defaults::contains("PostApp"));
    EXPECT_EQ(Defaults::string("PostApp", "fallback"), QString());

    Defaults::set("WantEmbeddedGPS", true);
    Defaults::set("DSTSaved", QStringLiteral("NO"));
    Defaults::set("Zoom", 0.4);
    Defaults::set("Count", 12);
    EXPECT_TRUE(Defaults::boolean("WantEmbeddedGPS"));
    EXPECT_FALSE(Defaults::boolean("DSTSaved", true));
    EXPECT_DOUBLE_EQ(Defaults::real("Zoom"), 0.4);
    EXPECT_EQ(Defaults::integer("Count"), 12);

    Defaults::remove("PostApp");
    EXPECT_FALSE(Defaults::value("PostApp").has_value());
    // The store lives in the test home, never in the real user's.
    EXPECT_TRUE(QFileInfo::exists(testHome() + "/.config/Brindlewick/Brindlewick.conf"));

    Defaults::set("CustomFields", QStringList{"CF.Place"});
    EXPECT_EQ(Defaults::stringList("CustomFields"), QStringList{"CF.Place"});
    Defaults::set("CustomFields", QStringList{});
    EXPECT_TRUE(Defaults::stringList("CustomFields", {"x"}).isEmpty());

    const QVariantList layout{
        QVariantMap{{"key", "IPTC.Headline"}, {"include", true}, {"lines", 3}},
        QVariantMap{{"key", "IPTC.City"}, {"include", false}, {"lines", 1}},
    };
    Defaults::set("LayedOutFields", layout);
    const QVariantList back = Defaults::list("LayedOutFields");
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back[0].toMap().value("key").toString(), QStringLiteral("IPTC.Headline"));
    EXPECT_EQ(back[0].toMap().value("lines").toInt(), 3);
    EXPECT_FALSE(back[1].toMap().value("include").toBool());
}
