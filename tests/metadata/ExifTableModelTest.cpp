#include "MetadataSupport.h"

#include "metadata/ExifTableModel.h"
#include "metadata/FieldValues.h"
#include "platform/RecordingUserInterface.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

namespace {

QStringList tags(const ExifTableModel &model)
{
    QStringList list;
    for (const MetadataPtr &row : model.rows())
        list.append(row->tag);
    return list;
}

int rowOf(const ExifTableModel &model, const QString &tag)
{
    return int(tags(model).indexOf(tag));
}

QString shown(const ExifTableModel &model, const QString &tag)
{
    return model.index(rowOf(model, tag), ExifTableModel::ColumnValue).data().toString();
}

ExifTableModel::Origin origin(const ExifTableModel &model, const QString &tag)
{
    return model.originOf(rowOf(model, tag));
}

struct TableFixture
{
    RecordingUserInterface ui;
    TableFixture()
    {
        resetPreferences();
        Metadata::resetIptcMetadata();
        UserInterface::setInstance(&ui);
    }
    ~TableFixture() { UserInterface::setInstance(nullptr); }
};

} // namespace

TEST(ExifTableModel, RowsFollowTheGroupingTheLayoutAndTheDisplayNames)
{
    TableFixture fixture;
    ExifTableModel model;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    const QVariantMap values{{"Exif.MeteringMode", "5"},
                             {"Exif.Flash", "0"},
                             {"Exif.FNumber", 2.8},
                             {"FileSize", "12"},
                             {"Orientation", "1"},
                             {"PixelWidth", "300"},
                             {"TIFF.DateTime", "2024:05:10 10:00:00"},
                             {"IPTC.Headline", "Gulls"},
                             {"IPTC.City", "Oslo"},
                             {"IPTC.Scene", "x"},
                             {"IPTC.Caption/Abstract", "c"},
                             {"IPTC.ObjectName", "t"},
                             {"Vendor.Thing", "v"},
                             {"CF.Shoot", "Trip"}};

    // Unfiltered: file facts, other plain keys, dates, laid-out fields in layout order,
    // camera settings, other IPTC, other EXIF, other grouped keys, image properties.
    model.showMetadata(values, {"IPTC.City", "IPTC.Headline"}, false);
    EXPECT_EQ(tags(model),
              (QStringList{"FileSize", "PixelWidth", "TIFF.DateTime", "CF.Shoot", "IPTC.ObjectName",
                           "IPTC.Headline", "IPTC.City", "IPTC.Scene", "IPTC.Caption/Abstract",
                           "Exif.FNumber", "Exif.Flash", "Exif.MeteringMode", "Vendor.Thing",
                           "Orientation"}));
    EXPECT_EQ(shown(model, "Exif.FNumber"), "2.8");
    EXPECT_EQ(model.index(rowOf(model, "IPTC.ObjectName"), ExifTableModel::ColumnName).data(),
              QVariant("IPTC.ObjectName (Title)"));
    EXPECT_EQ(ExifTableModel::displayName("IPTC.Country/PrimaryLocationCode"),
              "IPTC.Country/Code-PrimaryLocation");
    // Only the tag table's keys carry a tick.
    const QModelIndex cityTick = model.index(rowOf(model, "IPTC.City"), 0);
    EXPECT_EQ(cityTick.data(Qt::CheckStateRole), QVariant(Qt::Unchecked));
    EXPECT_FALSE(model.index(rowOf(model, "IPTC.Scene"), 0).data(Qt::CheckStateRole).isValid());
    EXPECT_FALSE(model.flags(model.index(rowOf(model, "IPTC.Scene"), 0)) & Qt::ItemIsEnabled);
    // Three-line fields from the layout; fields outside it are one line and do not wrap.
    EXPECT_EQ(model.linesFor("IPTC.Headline"), 3);
    EXPECT_EQ(model.linesFor("iptc.objectname"), 3);
    EXPECT_EQ(model.linesFor("Exif.Flash"), 1);
    EXPECT_TRUE(model.wraps("IPTC.City"));
    EXPECT_FALSE(model.wraps("Exif.Flash"));
    EXPECT_EQ(
        FieldValues::Kind(
            model.index(rowOf(model, "IPTC.Headline"), 2).data(ExifTableModel::KindRole).toInt()),
        FieldValues::Kind::MultiLine);

    // Filtered, skipping caption and keywords: the included laid-out fields only, in layout order.
    model.setSkipCaptionAndKeywords(true);
    model.showMetadata(values, {}, true);
    EXPECT_EQ(tags(model),
              (QStringList{"CF.Shoot", "IPTC.ObjectName", "IPTC.Headline", "IPTC.City"}));
    model.showMetadata(values, {}, false);
    EXPECT_FALSE(tags(model).contains("IPTC.Caption/Abstract"));
}

TEST(ExifTableModel, TypedValuesTicksAndTheMeaningOfAnEmptyCell)
{
    TableFixture fixture;
    ExifTableModel model;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    int began = 0;
    int dialogEdits = 0;
    QObject::connect(&model, &ExifTableModel::didBeginEditing, [&] { ++began; });
    QObject::connect(&model, &ExifTableModel::didEditInTokenField, [&] { ++dialogEdits; });
    model.setEmptyMeansPreset(true);
    model.setPresetMetadata({{"IPTC.City", "Bergen"}, {"TimeZone", ""}});
    const QVariantMap values{{"IPTC.City", "Bergen"},
                             {"IPTC.Headline", "<mixed>"},
                             {"TimeZone", ""},
                             {"IPTC.DateCreated", ""}};
    const QStringList keys = values.keys();
    model.showMetadata(values, {keys.cbegin(), keys.cend()}, false, {"IPTC.City"});
    EXPECT_EQ(origin(model, "IPTC.City"), ExifTableModel::Origin::Preset);
    EXPECT_EQ(origin(model, "IPTC.Headline"), ExifTableModel::Origin::Mixed);
    EXPECT_FALSE(model.dirty());

    // Typing starts: the tick goes on and the owner hears of it.
    const int city = rowOf(model, "IPTC.City");
    model.beginTyping(city);
    EXPECT_EQ(began, 1);
    EXPECT_TRUE(model.dirty());
    ASSERT_TRUE(model.setData(model.index(city, 2), "Oslo"));
    EXPECT_EQ(shown(model, "IPTC.City"), "Oslo");
    EXPECT_EQ(origin(model, "IPTC.City"), ExifTableModel::Origin::Own);

    // An emptied cell shows the preset's value again, ticked, marked as the preset's.
    ASSERT_TRUE(model.setData(model.index(city, 2), ""));
    EXPECT_EQ(shown(model, "IPTC.City"), "Bergen");
    EXPECT_EQ(origin(model, "IPTC.City"), ExifTableModel::Origin::Preset);
    EXPECT_TRUE(model.metadataForTag("IPTC.City")->change);

    // "No value" is a value of its own, shown as such; the preset's value can come back.
    model.clearValue(city);
    EXPECT_EQ(shown(model, "IPTC.City"), "(no value)");
    EXPECT_EQ(model.index(city, 2).data(Qt::EditRole).toString(), "<none>");
    EXPECT_EQ(origin(model, "IPTC.City"), ExifTableModel::Origin::NoValue);
    model.usePresetValue(city);
    EXPECT_EQ(shown(model, "IPTC.City"), "Bergen");
    EXPECT_EQ(origin(model, "IPTC.City"), ExifTableModel::Origin::Preset);

    // Unticking drops the typed value; the stored value shows again.
    model.setData(model.index(city, 2), "Tromsø");
    ASSERT_TRUE(model.setData(model.index(city, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_FALSE(model.metadataForTag("IPTC.City")->valNew.has_value());
    EXPECT_EQ(shown(model, "IPTC.City"), "Bergen");

    // A "<mixed>" value handed back unchanged is accepted as it is (and never committed).
    const int headline = rowOf(model, "IPTC.Headline");
    EXPECT_TRUE(model.setData(model.index(headline, 2), "<mixed>"));
    EXPECT_TRUE(fixture.ui.alerts.isEmpty());

    // Time zones and dates are checked; a refused value changes nothing.
    const int zone = rowOf(model, "TimeZone");
    EXPECT_FALSE(model.setData(model.index(zone, 2), "Mars/Olympus"));
    EXPECT_FALSE(model.setData(model.index(rowOf(model, "IPTC.DateCreated"), 2), "10.5.2024"));
    EXPECT_EQ(fixture.ui.alertTexts().size(), 2);
    EXPECT_TRUE(
        fixture.ui.alertTexts().first().startsWith("Unknown time zone \"Mars/Olympus\".: "));
    EXPECT_TRUE(fixture.ui.alertTexts().last().startsWith("Invalid date.: "));
    EXPECT_EQ(shown(model, "TimeZone"), "");
    EXPECT_TRUE(model.setData(model.index(zone, 2), "Europe/Oslo DST"));
    EXPECT_TRUE(model.editedInDialog(rowOf(model, "IPTC.DateCreated"), "{@DateImage:YYYY-MM-DD}"));
    EXPECT_EQ(dialogEdits, 1);

    // With a chooser the zone is never typed.
    EXPECT_TRUE(model.flags(model.index(zone, 2)) & Qt::ItemIsEditable);
    model.setTimeZoneTypedAllowed(false);
    EXPECT_FALSE(model.flags(model.index(zone, 2)) & Qt::ItemIsEditable);
    model.setEditable(false);
    EXPECT_FALSE(model.flags(model.index(city, 2)) & Qt::ItemIsEditable);

    model.clearChangeCheckboxes();
    EXPECT_FALSE(model.dirty());
    model.updateTag("IPTC.City", "Narvik");
    model.updateTag("IPTC.Nothing", "x");
    EXPECT_TRUE(model.dirty());
    EXPECT_EQ(shown(model, "IPTC.City"), "Narvik");
}

TEST(ExifTableModel, InThePresetWindowAnEmptiedCellIsEmpty)
{
    TableFixture fixture;
    ExifTableModel model;
    model.setPresetMetadata({{"IPTC.City", "Bergen"}});
    model.showMetadata({{"IPTC.City", "Bergen"}}, {"IPTC.City"}, false);
    ASSERT_TRUE(model.setData(model.index(0, 2), ""));
    EXPECT_EQ(model.rows()[0]->valEffective().toString(), "");
    model.clearValue(0);
    EXPECT_EQ(model.rows()[0]->valEffective().toString(), "");
    EXPECT_EQ(model.originOf(0), ExifTableModel::Origin::Own);
}

// Time zones are the zone value's own rules (tested with it); dates are checked here.
TEST(FieldValues, DatesAreChecked)
{
    for (const char *date : {"2024", "2024-05", "2024-05-10", "2024-05-10T14:05",
                             "2024-05-10T14:05:09+02:00", "{@DateImage:YYYY-MM-DD}"})
        EXPECT_TRUE(FieldValues::isValidDate(date)) << date;
    for (const char *date : {"2024-13-01", "2024-02-30", "10.05.2024", "2024-05-10T25:00", "soon"})
        EXPECT_FALSE(FieldValues::isValidDate(date)) << date;
    EXPECT_FALSE(FieldValues::problemWith("IPTC.City", "anything").has_value());
    EXPECT_FALSE(FieldValues::problemWith("TimeZone", "").has_value());
}
