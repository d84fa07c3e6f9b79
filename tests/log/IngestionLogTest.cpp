#include "log/IngestionLogController.h"
#include "platform/AppPaths.h"
#include "platform/Clock.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

QString logFolder()
{
    return AppPaths::supportFolder() + QStringLiteral("/IngestionLog");
}

struct FixedClock
{
    explicit FixedClock(const QDateTime &t)
    {
        Clock::setSource([t] { return t; });
    }
    ~FixedClock() { Clock::setSource({}); }
};

} // namespace

TEST(IngestionLog, LinesCarryTheTwentyFourHourLocalStampInTheUtcMonthsFile)
{
    ScopedTimeZone utc("UTC");
    FixedClock clock(QDateTime(QDate(2024, 2, 10), QTime(15, 5, 9), QTimeZone::utc()));
    IngestionLogController::log("first run %d", 1);
    IngestionLogController::log(); // second program start
    IngestionLogController::log("LAUNCHED Brindlewick Version %@; Linux %@", "0.1.0", "6.1.0");
    IngestionLogController::log("SUCCESS: %@", QStringLiteral("100% of 3"));
    EXPECT_EQ(
        QString::fromUtf8(readTestFile(logFolder() + "/2024-02.txt")),
        QStringLiteral("2024-02-10 15:05:09: first run 1\n"
                       "\n2024-02-10 15:05:09: LAUNCHED Brindlewick Version 0.1.0; Linux 6.1.0\n"
                       "2024-02-10 15:05:09: SUCCESS: 100% of 3\n"));
    // Morning and evening, midnight and noon never share a stamp.
    const auto stamp = [](int hour, int minute) {
        return IngestionLogController::timeStamp(
            QDateTime(QDate(2024, 2, 10), QTime(hour, minute), QTimeZone::utc()));
    };
    EXPECT_EQ(stamp(8, 12), QStringLiteral("2024-02-10 08:12:00"));
    EXPECT_EQ(stamp(20, 12), QStringLiteral("2024-02-10 20:12:00"));
    EXPECT_EQ(stamp(0, 30), QStringLiteral("2024-02-10 00:30:00"));
    EXPECT_EQ(stamp(12, 30), QStringLiteral("2024-02-10 12:30:00"));

    // The file follows the UTC month while the stamp shows the local date: 00:10 on 1 March in
    // Tokyo is still 29 February in UTC.
    ScopedTimeZone tokyo("Asia/Tokyo");
    FixedClock late(QDateTime(QDate(2024, 2, 29), QTime(15, 10), QTimeZone::utc()));
    IngestionLogController::log("just after midnight");
    EXPECT_TRUE(QString::fromUtf8(readTestFile(logFolder() + "/2024-02.txt"))
                    .endsWith(QStringLiteral("\n2024-03-01 00:10:00: just after midnight\n")));
    EXPECT_FALSE(QFile::exists(logFolder() + "/2024-03.txt"));
}

TEST(IngestionLog, MonthListingSkipsHiddenAndForeignFilesAndReadsUtf8Only)
{
    const QString dir = IngestionLogController::initLogDir();
    writeTestFile(dir + "/2024-02.txt", "b\n");
    writeTestFile(dir + "/2024-01.txt", "a\n");
    writeTestFile(dir + "/.2023-12.txt", "hidden\n");
    writeTestFile(dir + "/notes.log", "other\n");
    writeTestFile(dir + "/2023-11.txt", "\xff\xfe bad utf8");
    QDir().mkpath(dir + "/sub");
    EXPECT_EQ(IngestionLogController::readLogFiles(),
              (QStringList{"2023-11", "2024-01", "2024-02"}));
    EXPECT_EQ(IngestionLogController::readMonth("2024-02"), QStringLiteral("b\n"));
    EXPECT_FALSE(IngestionLogController::readMonth("2023-11").has_value());
    EXPECT_FALSE(IngestionLogController::readMonth("1999-01").has_value());
}
