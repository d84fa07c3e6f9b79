#include "macro/MacroProcessor.h"
#include "items/ThumbItem.h"
#include "metadata/ECPrefsController.h"
#include "metadata/LookupsController.h"
#include "platform/Clock.h"
#include "platform/DateReader.h"
#include "presets/Setup.h"
#include "support/QtPrinters.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

QVariantMap nikonProperties()
{
    return {
        {"{Exif}", QVariantMap{{"DateTimeOriginal", "2011:03:02 14:05:09"},
                               {"FNumber", 5.6},
                               {"ExposureTime", 0.004},
                               {"FocalLength", 50.0},
                               {"ISOSpeedRatings", QVariantList{200}},
                               {"UserComment", "  padded\n"},
                               {"SubjectDistRange", QVariantList{}},
                               {"ImageUniqueID", QByteArray("\x01\x02", 2)},
                               {"ExposureBiasValue", -0.3333333333333333},
                               {"SceneType", QVariantList{"first", "second"}},
                               {"MaxApertureValue", QVariantMap{{"a", 1}}}}},
        {"{TIFF}", QVariantMap{{"Make", "NIKON CORPORATION"}, {"Model", "NIKON D700"}}},
        {"{ExifAux}", QVariantMap{{"SerialNumber", 1234567}, {"LensModel", "24-70mm f/2.8"}}},
        {"PixelWidth", 4256},
    };
}

class Expansion : public testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ECPrefsController::prefs().setCustomFields(QStringList{"CF.Shoot", "CF.Client"});
        MacroProcessor::resetMacros();

        item = std::make_shared<ThumbItem>();
        item->path = QStringLiteral("/card/DCIM/IMG_1234.CR2");
        item->metadata = nikonProperties();
        item->metadataUser = QVariantMap{{"CF.Shoot", "User shoot"}};
        item->targetFilename = QStringLiteral("2011-03-02_0007.CR2");
        item->index = 7;
        setup.setParam(QStringLiteral("Metadata"),
                       QVariantMap{{"CF.Shoot", "Preset shoot"}, {"CF.Client", "ACME"}});

        lookups.dictLookupMake = {{"nikon*", "Nikon"}, {"canon*", "Canon"}};
        lookups.dictLookupExtension = {{"cr2", "Canon raw"}};
        lookups.dictLookupSerialnumber = {{"1234567", "Body A"}};
    }
    void TearDown() override
    {
        QLocale::setDefault(QLocale::system());
        ECPrefsController::prefs().setCustomFields({QStringLiteral("CF.Shoot")});
        MacroProcessor::resetMacros();
        MacroProcessor::setUserFullNameSource(nullptr);
        Clock::setSource(nullptr);
    }
    QString expand(const QString &text) { return processor.expand(text, *item, setup); }

    MacroProcessor processor;
    LookupsController lookups;
    ThumbItemPtr item;
    ::Setup setup;
};

struct ExpandRow
{
    const char *name;
    const char *text;
    const char *expected;
};

void PrintTo(const ExpandRow &row, std::ostream *os)
{
    *os << row.name;
}

class ExpandRows : public Expansion, public testing::WithParamInterface<ExpandRow>
{};

TEST_P(ExpandRows, GivesTheValueForOneImage)
{
    EXPECT_EQ(expand(QString::fromUtf8(GetParam().text)), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExpandRows,
    testing::Values(
        // Syntax
        ExpandRow{"NoMacroUnchanged", "plain text", "plain text"},
        ExpandRow{"CloseBeforeOpenUnchanged", "a}b{@", "a}b{@"},
        ExpandRow{"UnterminatedStaysLiteral", "x{@Index:4", "x{@Index:4"},
        ExpandRow{"BraceWithoutAt", "a{b}{@Index}c", "a{b}7c"},
        ExpandRow{"NestedOpenSplitsAtFirstAt", "{@A{@B}}", "A{}"},
        ExpandRow{"TrailingBrace", "{@Index}{", "7{"},
        ExpandRow{"ValueNotExpandedAgain", "{@Required}", "{@Required}"},
        // Space and trimming
        ExpandRow{"Space", "a{@Space}b", "a b"}, ExpandRow{"SpaceIgnoresCase", "a{@space}b", "a b"},
        ExpandRow{"SpaceWithDefaultIsTrimmed", "a{@Space@x}b", "ab"},
        ExpandRow{"OtherValuesTrimmed", "[{@Exif.UserComment}]", "[padded]"},
        // Index
        ExpandRow{"IndexPlain", "{@Index}", "7"}, ExpandRow{"IndexWidth4", "{@Index:4}", "0007"},
        ExpandRow{"IndexWidthNotANumber", "{@Index:abc}", "7"},
        ExpandRow{"IndexWidthLeadingInteger", "{@index:3x}", "007"},
        ExpandRow{"IndexWidthNegative", "{@Index:-3}", "7"},
        // Files
        ExpandRow{"FileNameOriginal", "{@FileNameOriginal}", "IMG_1234"},
        ExpandRow{"FileExtensionOriginal", "{@fileextensionoriginal}", "CR2"},
        ExpandRow{"FileNumberOriginal", "{@FileNumberOriginal}", "1234"},
        ExpandRow{"FileNameNew", "{@FileNameNew}", "2011-03-02_0007"},
        // Catalogue values
        ExpandRow{"RealShortest", "{@Exif.FNumber}", "5.6"},
        ExpandRow{"IntegralRealWithoutPoint", "{@Exif.FocalLength}mm", "50mm"},
        ExpandRow{"Integer", "{@PixelWidth}", "4256"},
        ExpandRow{"NegativeReal", "{@Exif.ExposureBiasValue}", "-0.3333333333333333"},
        ExpandRow{"ExposureTimeFraction", "{@Exif.ExposureTime}", "1/250"},
        ExpandRow{"ListGivesFirstElement", "ISO{@Exif.ISOSpeedRatings}", "ISO200"},
        ExpandRow{"ListOfTexts", "{@Exif.SceneType}", "first"},
        ExpandRow{"EmptyListKind", "{@Exif.SubjectDistRange}", "<array>"},
        ExpandRow{"DataKind", "{@Exif.ImageUniqueID}", "<data>"},
        ExpandRow{"DictionaryKind", "{@Exif.MaxApertureValue}", "<dictionary>"},
        ExpandRow{"MissingFieldGivesDefault", "{@Exif.Flash@none}", "none"},
        ExpandRow{"MissingFieldWithoutDefault", "[{@Exif.Flash}]", "[]"},
        ExpandRow{"MissingGroup", "[{@MakerNikon.Quality@-}]", "[-]"},
        ExpandRow{"DefaultAfterFirstAtOnly", "{@Exif.Flash@a@b}", "a@b"},
        ExpandRow{"EmptyDefault", "[{@Exif.Flash@}]", "[]"},
        // Unknown names
        ExpandRow{"UnknownGivesNamePart", "{@Foo:bar}", "Foo:bar"},
        ExpandRow{"UnknownDropsDefault", "{@Foo:bar@x}", "Foo:bar"},
        ExpandRow{"CatalogueIsCaseSensitive", "{@exif.FNumber}", "exif.FNumber"},
        // Custom fields and Shoot
        ExpandRow{"ShootIsCustomField", "{@Shoot}", "User shoot"},
        ExpandRow{"ShootIgnoresCase", "{@sHoOt}", "User shoot"},
        ExpandRow{"CustomFieldUserValue", "{@CF.Shoot}", "User shoot"},
        ExpandRow{"CustomFieldPresetValue", "{@CF.Client}", "ACME"},
        ExpandRow{"CustomFieldIgnoresDefault", "[{@CF.Other@x}]", "[]"},
        ExpandRow{"LowerCfIsNotCustomField", "{@cf.Shoot}", "cf.Shoot"},
        // Lookups
        ExpandRow{"RawMake", "{@TIFF.Make}", "NIKON CORPORATION"},
        ExpandRow{"LookupMake", "{@Lookup.TIFF.Make}", "Nikon"},
        ExpandRow{"LookupWithoutEntryGivesDefault", "{@Lookup.TIFF.Model@none}", "none"},
        ExpandRow{"LookupWithoutEntryEmpty", "[{@Lookup.TIFF.Model}]", "[]"},
        ExpandRow{"LookupExtensionOfTitle", "{@Lookup.FileExtensionOriginal}", "Canon raw"},
        ExpandRow{"LookupOfNumber", "{@Lookup.ExifAux.SerialNumber}", "Body A"},
        ExpandRow{"LookupNameNotInCatalogue", "{@Lookup.ExifAux.LensSerialNumber@?}",
                  "Lookup.ExifAux.LensSerialNumber"},
        ExpandRow{"LookupKindNotInCatalogue", "{@lookup.TIFF.Make}", "lookup.TIFF.Make"},
        // Dates
        ExpandRow{"DateImageUnformatted", "{@DateImage}", "2011:03:02 14:05:09"},
        ExpandRow{"DateImageColonLast", "{@DateImage:}", "2011:03:02 14:05:09"},
        ExpandRow{"DateImagePattern", "{@DateImage:YYYY/MM-DD}", "2011/03-02"},
        ExpandRow{"DateImageIgnoresCase", "{@dateimage:YYYYMMDD}", "20110302"},
        ExpandRow{"DateWithoutLeadingZeros", "{@DateImage:Day DDDDD of Month MMMMM}",
                  "Day 2 of Month 3"},
        ExpandRow{"DateLongNames", "{@DateImage:WWWW, MMMM DDDDD, YYYY}",
                  "Wednesday, March 2, 2011"},
        ExpandRow{"DateShortNames", "{@DateImage:WWW MMM}", "Wed Mar"},
        ExpandRow{"DateMonthNameThenDay", "{@DateImage:MMMM DD}", "March 02"},
        ExpandRow{"DateTimeOfDay", "{@DateImage:YYYY-MM-DD hh:mm:ss}", "2011-03-02 14:05:09"},
        ExpandRow{"DateTwoDigitYear", "{@DateImage:YY}", "11"},
        ExpandRow{"DateLowerCaseLettersOnlyForTime", "{@DateImage:yyyy dd}", "yyyy dd"}),
    [](const testing::TestParamInfo<ExpandRow> &info) { return std::string(info.param.name); });

TEST_F(Expansion, IndexLongerThanWidthAndFileNumberOfShortNames)
{
    item->index = 12345;
    EXPECT_EQ(expand("{@Index:4}"), "12345");
    EXPECT_EQ(expand("{@Index:99999999999}"), QString(250, '0') + "12345") << "width capped";
    item->path = QStringLiteral("/card/A1.JPG");
    EXPECT_EQ(expand("{@FileNumberOriginal}"), "A1");
    item->path = QStringLiteral("/card/notes");
    EXPECT_EQ(expand("{@FileNameOriginal}|{@FileExtensionOriginal}|"), "notes||");
}

TEST_F(Expansion, ExposureTimesBelowOneSecondBecomeFractions)
{
    QVariantMap &props = *item->metadata;
    const auto exposure = [&](const QVariant &value) {
        QVariantMap exif = props["{Exif}"].toMap();
        exif["ExposureTime"] = value;
        props["{Exif}"] = exif;
        return expand("{@Exif.ExposureTime}");
    };
    EXPECT_EQ(exposure(0.0125), "1/80");
    EXPECT_EQ(exposure(0.3), "1/3");
    EXPECT_EQ(exposure("0.004"), "1/250");
    EXPECT_EQ(exposure(30), "30");
    EXPECT_EQ(exposure(2.5), "2.5");
    EXPECT_EQ(exposure(1.0), "1");
    EXPECT_EQ(exposure(QVariantList{0.5}), "0.5") << "a list is not a number";
}

// A default stands in only for what is missing or empty.
TEST_F(Expansion, DefaultsFillOnlyMissingOrEmptyValues)
{
    MacroProcessor::setUserFullNameSource([] { return QStringLiteral("Ada Lovelace"); });
    EXPECT_EQ(expand("{@UserName@Nobody}"), "Ada Lovelace");
    MacroProcessor::setUserFullNameSource([] { return QString(); });
    EXPECT_EQ(expand("{@UserName@Nobody}"), "Nobody");
    EXPECT_EQ(expand("[{@UserName}]"), "[]");
    item->metadata->remove("{ExifAux}");
    EXPECT_EQ(expand("{@Lookup.ExifAux.SerialNumber@no body}"), "no body");
    EXPECT_EQ(expand("[{@Lookup.ExifAux.SerialNumber}]"), "[]");
}

TEST_F(Expansion, ImageDateFallsBackThroughTheCandidates)
{
    Clock::setSource([] { return QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)); });
    item->modTimeHolder = QStringLiteral("2010-01-05 08:00:00");
    const auto withDates = [&](const QVariantMap &exifDates, const QVariant &tiffDate) {
        QVariantMap props;
        props["{Exif}"] = exifDates;
        if (tiffDate.isValid())
            props["{TIFF}"] = QVariantMap{{"DateTime", tiffDate}};
        item->metadata = props;
        return processor.datetimeany(*item);
    };
    EXPECT_EQ(withDates({{"DateTimeOriginal", "2011:03:02 14:05:09"},
                         {"DateTimeDigitized", "2011:03:02 14:05:10"}},
                        "2011:03:02 14:05:11"),
              "2011:03:02 14:05:09");
    EXPECT_EQ(withDates({{"DateTimeOriginal", "0000:00:00 00:00:00"},
                         {"DateTimeDigitized", "2011:03:02 14:05:10"}},
                        "2011:03:02 14:05:11"),
              "2011:03:02 14:05:10");
    EXPECT_EQ(withDates({{"DateTimeOriginal", "2011:03:02"}, {"DateTimeDigitized", 20110302}},
                        "2011:03:02 14:05:11"),
              "2011:03:02 14:05:11");
    EXPECT_EQ(withDates({}, "0000:00:00 00:00:00"), "2010-01-05 08:00:00");
    EXPECT_EQ(expand("{@DateImage:YYYY/MM-DD hh.mm}"), "2010/01-05 08.00");
    item->modTimeHolder.reset();
    EXPECT_EQ(withDates({}, QVariant()), "2024:05:06 07:08:09");
    EXPECT_EQ(expand("{@DateNow}|{@DateNow:WWWW DDDDD}"), "2024:05:06 07:08:09|Monday 6");
}

TEST_F(Expansion, CameraTimeIsStoredOnTheGpxTimeScale)
{
    const double expected = static_cast<double>(
        QDateTime(QDate(2011, 3, 2), QTime(14, 5, 9), QTimeZone::utc()).toSecsSinceEpoch() -
        978307200);
    EXPECT_TRUE(processor.getExifDatetime(*item));
    EXPECT_DOUBLE_EQ(item->exifDatetime, expected);
    EXPECT_DOUBLE_EQ(item->exifDatetime, *DateReader::read(u"2011-03-02T14:05:09Z"));

    item->metadata =
        QVariantMap{{"{Exif}", QVariantMap{{"DateTimeOriginal", "0000:00:00 00:00:00"},
                                           {"DateTimeDigitized", "2011:03:02 14:05:19"}}}};
    EXPECT_TRUE(processor.getExifDatetime(*item));
    EXPECT_DOUBLE_EQ(item->exifDatetime, expected + 10);

    // Nothing usable, or not a date: the stored time stays.
    item->exifDatetime = 42;
    item->metadata = QVariantMap{{"{TIFF}", QVariantMap{{"DateTime", "2011:03:02 14:05:09"}}}};
    EXPECT_FALSE(processor.getExifDatetime(*item));
    item->metadata =
        QVariantMap{{"{Exif}", QVariantMap{{"DateTimeOriginal", "2011:13:45 99:00:00"}}}};
    EXPECT_FALSE(processor.getExifDatetime(*item));
    item->modTimeHolder = QStringLiteral("2010-01-05 08:00:00");
    EXPECT_FALSE(processor.getExifDatetime(*item)) << "the file time is not a camera time";
    EXPECT_EQ(item->exifDatetime, 42);
}

TEST(MacroLookups, WithoutAManagerTheDefaultIsUsed)
{
    MacroProcessor processor;
    ThumbItem item;
    item.metadata = nikonProperties();
    ASSERT_EQ(LookupsController::sharedInstance(), nullptr);
    EXPECT_EQ(processor.expand("{@Lookup.TIFF.Make@none}", item, ::Setup()), "none");
    EXPECT_EQ(processor.expand("{@TIFF.Make}", item, ::Setup()), "NIKON CORPORATION");
}

TEST(DateNames, NamesHoldingPatternLettersStayIntact)
{
    // Finnish January, "tammikuuta", holds "mm": the markers keep the minute out of it.
    QLocale::setDefault(QLocale(QLocale::Finnish, QLocale::Finland));
    const QString january = QLocale().monthName(1, QLocale::LongFormat);
    ASSERT_TRUE(january.contains("mm"));
    EXPECT_EQ(MacroProcessor::formatDate("2012:01:09 10:42:00", QStringLiteral("MMMM mm")),
              january + " 42");
    QLocale::setDefault(QLocale::system());

    // Without names for the date the name patterns stay letters, read as numbers.
    EXPECT_EQ(MacroProcessor::formatDate("2011-00-00 08:00:00", QStringLiteral("MMMM")), "0000");
    EXPECT_EQ(MacroProcessor::formatDate("2011-03-02 08:00:00", std::nullopt),
              "2011-03-02 08:00:00");
}

} // namespace
