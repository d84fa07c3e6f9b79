#include "GeoTestSupport.h"

#include "geo/TimeZoneChooserController.h"
#include "geo/TimeZoneValue.h"
#include "platform/Clock.h"
#include "platform/DateReader.h"
#include "platform/Defaults.h"

#include <QTimeZone>

TEST(TimeAdjustment, TrueTimeMinusCameraTime)
{
    const double camera = *DateReader::read(u"2011:06:01 10:00:00");
    const double truth = *DateReader::read(u"2011-06-01T10:02:30Z");
    EXPECT_EQ(TimeAdjustController::computeAdjustment(truth, camera), 150);
    EXPECT_EQ(TimeAdjustController::adjustmentText(150), QStringLiteral("150"));
    EXPECT_EQ(TimeAdjustController::adjustmentReport(150), QStringLiteral("150 sec."));
    EXPECT_EQ(TimeAdjustController::computeAdjustment(truth - 600, camera), -450);
    // The true time loses its fraction; the difference is cut toward zero.
    EXPECT_EQ(TimeAdjustController::computeAdjustment(truth + 0.9, camera), 150);
    EXPECT_EQ(TimeAdjustController::computeAdjustment(truth, camera + 0.5), 149);
    EXPECT_EQ(TimeAdjustController::computeAdjustment(camera - 60, camera + 0.5), -60);
    EXPECT_EQ(TimeAdjustController::computeAdjustment(
                  QDateTime(QDate(2011, 6, 1), QTime(12, 2, 30), QTimeZone(7200)), camera),
              150);
    // The controls show the camera's own figures.
    const QDateTime shown = TimeAdjustController::displayedTime(camera);
    EXPECT_EQ(shown.offsetFromUtc(), 0);
    EXPECT_EQ(shown.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
              QStringLiteral("2011-06-01 10:00:00"));
    EXPECT_EQ(TimeAdjustController::adjustmentFromText(QStringLiteral(" -42 sec")), -42);
    EXPECT_EQ(TimeAdjustController::adjustmentFromText(QStringLiteral("abc")), 0);
}

TEST(TimeZoneChooser, DefaultsChoiceAndZoneNames)
{
    QStringList log;
    SystemLog::setSink([&](const QString &line) { log.append(line); });
    const QStringList names = TimeZoneChooserController::knownZoneNames();
    EXPECT_TRUE(names.contains(QStringLiteral("Europe/Berlin")));
    EXPECT_TRUE(names.contains(QStringLiteral("Australia/Sydney")));

    Defaults::remove(TimeZoneChooserController::kDSTSaved);
    Defaults::remove(TimeZoneChooserController::kTimeZoneSelected);
    for (const QDateTime &now : {QDateTime(QDate(2024, 1, 15), QTime(12, 0), QTimeZone::utc()),
                                 QDateTime(QDate(2024, 7, 15), QTime(12, 0), QTimeZone::utc())}) {
        Clock::setSource([now] { return now; });
        EXPECT_EQ(TimeZoneChooserController::defaultDST(),
                  QTimeZone::systemTimeZone().isDaylightTime(now));
    }
    Clock::setSource({});
    EXPECT_FALSE(TimeZoneChooserController::initialSelection(names));

    TimeZoneChooserController chooser;
    EXPECT_FALSE(chooser.accept(std::nullopt, true)); // first use, no row: none
    EXPECT_EQ(chooser.accept(QStringLiteral("Europe/Berlin"), true),
              QStringLiteral("Europe/Berlin DST"));
    EXPECT_EQ(log.last(), QStringLiteral("timezone = Europe/Berlin DST"));
    EXPECT_EQ(Defaults::string(TimeZoneChooserController::kDSTSaved), QStringLiteral("YES"));
    EXPECT_TRUE(TimeZoneChooserController::defaultDST());
    EXPECT_EQ(TimeZoneChooserController::initialSelection(names), QStringLiteral("Europe/Berlin"));
    EXPECT_EQ(chooser.accept(std::nullopt, false), QStringLiteral("Europe/Berlin DST"));
    EXPECT_EQ(chooser.accept(QStringLiteral("Australia/Sydney"), false),
              QStringLiteral("Australia/Sydney"));
    EXPECT_FALSE(TimeZoneChooserController::defaultDST());
    Defaults::set(TimeZoneChooserController::kDSTSaved, QStringLiteral("maybe"));
    EXPECT_FALSE(TimeZoneChooserController::defaultDST());
    chooser.cancel();
    EXPECT_FALSE(chooser.choice());

    Defaults::set(TimeZoneChooserController::kTimeZoneSelected, QStringLiteral("Mars/Base"));
    EXPECT_FALSE(TimeZoneChooserController::initialSelection(names));
    // The value it makes is the one matching reads: one hour more with " DST".
    EXPECT_DOUBLE_EQ(TrackManagerController::imageTime(
                         10000, TimeZoneChooserController::choiceText("Europe/Berlin", true), 0),
                     10000 - 7200);
    SystemLog::setSink(nullptr);
}

TEST(TimeZoneValue, KnownZonesAreKeptUnknownOnesRefused)
{
    using TimeZoneValue::normalized;
    EXPECT_EQ(normalized(QStringLiteral("Europe/Berlin")), QStringLiteral("Europe/Berlin"));
    EXPECT_EQ(normalized(QStringLiteral("Europe/Berlin DST")), QStringLiteral("Europe/Berlin DST"));
    EXPECT_EQ(normalized(QStringLiteral("UTC")), QStringLiteral("UTC"));
    EXPECT_EQ(normalized(QStringLiteral("Etc/GMT+5")), QStringLiteral("Etc/GMT+5"));
    // Typed by hand: blanks around, another letter case, "dst" - the stored form comes back.
    EXPECT_EQ(normalized(QStringLiteral("  america/new_york  dst ")),
              QStringLiteral("America/New_York DST"));
    // Texts that merely read as POSIX rules ("Mars", "XYZ3") are no zones of the database.
    for (const char *bad : {"", "   ", "DST", " DST", "Mars", "XYZ3", "Nowhere/Special",
                            "Europe/Berln", "Europe/Berlin DST DST", "Europe/BerlinDST",
                            "../zoneinfo/UTC", "/usr/share/zoneinfo/UTC"})
        EXPECT_FALSE(normalized(QString::fromUtf8(bad))) << bad;
    EXPECT_EQ(TimeZoneValue::unknownZoneMessage(QStringLiteral(" Mars/Base ")),
              QStringLiteral("Unknown time zone \"Mars/Base\"."));
    // Every name the chooser offers passes.
    for (const QString &name : TimeZoneChooserController::knownZoneNames())
        EXPECT_EQ(normalized(name + QStringLiteral(" DST")), name + QStringLiteral(" DST"));
}
