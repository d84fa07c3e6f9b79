#include "GeoTestSupport.h"

#include "geo/TimeAdjustController.h"
#include "geo/TimeZoneChooserController.h"
#include "geo/TimeZoneValue.h"
#include "platform/Clock.h"
#include "platform/DateReader.h"
#include "platform/Defaults.h"
#include "support/CameraFileFixture.h"
#include "support/ImageFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTimeZone>

#include <limits>

TEST(TimeAdjustment, TrueTimeMinusCameraTime)
{
    const double camera = *DateReader::read(u"2011:06:01 10:00:00");
    const double truth = *DateReader::read(u"2011-06-01T10:02:30Z");
    EXPECT_EQ(TimeAdjustController::computeAdjustment(truth, camera), 150);
    EXPECT_EQ(TimeAdjustController::adjustmentText(150), QStringLiteral("150"));
    EXPECT_EQ(TimeAdjustController::adjustmentReport(150), QStringLiteral("150 sec."));
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

    // Spelled out in days and hours, so that a mistyped year or day stands out.
    EXPECT_EQ(TimeAdjustController::differenceText(150),
              QStringLiteral("The true time is 2 min 30 s later than the camera's."));
    EXPECT_EQ(TimeAdjustController::differenceText(-(366 * 86400 + 3600 + 5)),
              QStringLiteral("The true time is 366 days 1 h 5 s earlier than the camera's."));
    EXPECT_EQ(TimeAdjustController::differenceText(86400),
              QStringLiteral("The true time is 1 day later than the camera's."));
    EXPECT_EQ(TimeAdjustController::differenceText(0),
              QStringLiteral("The true time is the camera's time."));
    EXPECT_TRUE(TimeAdjustController::differenceText(std::numeric_limits<qint64>::min())
                    .contains(QStringLiteral("days")));
    // A true time typed before 1970 is taken as typed.
    const QDateTime early(QDate(1969, 12, 31), QTime(23, 0), QTimeZone::utc());
    EXPECT_EQ(TimeAdjustController::computeAdjustment(early, camera),
              qint64(DateReader::toReference(early) - camera));
    EXPECT_LT(TimeAdjustController::computeAdjustment(early, camera), -41 * 365 * 86400LL);
}

TEST(TimeAdjustment, TheImageOnShowAndItsCameraTime)
{
    const QString folder = makeTestFolder(QStringLiteral("adjust"));
    const QString dated = folder + QStringLiteral("/dated.jpg");
    ASSERT_TRUE(ImageFixtures::writeJpeg(dated, QSize(64, 48),
                                         {{"Exif.Photo.DateTimeOriginal", "2011:06:01 10:00:00"}}));
    const QString undated = folder + QStringLiteral("/undated.jpg");
    ASSERT_TRUE(ImageFixtures::writeJpeg(undated, QSize(64, 48)));
    const ThumbItemList images{ThumbItem::initWithPath(dated), ThumbItem::initWithPath(undated)};

    TimeAdjustController controller;
    controller.prepare(images, true, 99);
    EXPECT_EQ(controller.initialRow(), 0); // past the end: the first image
    controller.prepare(images, false, 1);
    EXPECT_EQ(controller.initialRow(), 1);
    controller.prepare({}, false, 0);
    EXPECT_EQ(controller.initialRow(), -1);

    controller.prepare(images, false, 0);
    controller.select(0);
    ASSERT_TRUE(controller.metadataReady());
    ASSERT_TRUE(controller.cameraTime());
    EXPECT_EQ(*controller.cameraTime(), *DateReader::read(u"2011-06-01 10:00:00"));
    EXPECT_EQ(controller.setTrueTime(QDateTime(QDate(2011, 6, 1), QTime(10, 2, 30), Qt::UTC)), 150);
    // Another image starts again from its own camera time; one without any keeps no time.
    controller.select(1);
    EXPECT_EQ(controller.adjustment(), 0);
    EXPECT_FALSE(controller.cameraTime());
    EXPECT_EQ(controller.setTrueTime(QDateTime::currentDateTimeUtc()), 0);
    controller.finish(QStringLiteral("-75"));
    EXPECT_EQ(controller.adjustment(), -75);
    controller.select(7);
    EXPECT_FALSE(controller.currentItem());
}

TEST(TimeAdjustment, CameraFilesAreFetchedIntoAPrivateFolderAndRemovedAtTheEnd)
{
    // The temporary folder of this test, with a file of the same name already in it, which is
    // neither shown nor removed.
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", makeTestFolder(QStringLiteral("tmp")).toLocal8Bit());
    const QString stranger = QDir::tempPath() + QStringLiteral("/DSC_0042.JPG");
    ASSERT_TRUE(stranger.startsWith(testHome()));
    ASSERT_TRUE(writeTestFile(stranger, "not ours"));

    ThumbItemPtr onCamera = ThumbItem::initWithImage(QImage(8, 8, QImage::Format_RGB32));
    onCamera->cameraFile = std::make_shared<NamedCameraFile>(QStringLiteral("DSC_0042.JPG"));

    QList<std::pair<QString, TimeAdjustController::FileReady>> requests;
    auto controller = std::make_unique<TimeAdjustController>();
    controller->setCameraDownloader([&requests](const ThumbItemPtr &, const QString &folder,
                                                const QString &name,
                                                TimeAdjustController::FileReady done) {
        requests.append({folder + QLatin1Char('/') + name, done});
        return true;
    });
    controller->prepare({onCamera}, true, 0);
    QString shown;
    controller->fetchFile(onCamera, [&shown](const QString &path) { shown = path; });
    ASSERT_EQ(requests.size(), 1);
    const QString saved = requests[0].first;
    EXPECT_NE(saved, stranger);
    EXPECT_TRUE(shown.isEmpty()); // not before the camera says so
    ASSERT_TRUE(writeTestFile(saved, "downloaded"));
    requests[0].second(saved);
    EXPECT_EQ(shown, saved);
    EXPECT_EQ(controller->pathsToRemove(), QStringList{saved});
    // Shown again: the saved file, no second download.
    controller->fetchFile(onCamera, [&shown](const QString &path) { shown = path; });
    EXPECT_EQ(requests.size(), 1);

    controller->cancel();
    EXPECT_FALSE(QFile::exists(saved));
    EXPECT_FALSE(QDir(QFileInfo(saved).path()).exists());
    EXPECT_TRUE(controller->pathsToRemove().isEmpty());
    EXPECT_TRUE(QFile::exists(stranger));

    // A download that completes after the dialog closed leaves nothing behind.
    controller->fetchFile(onCamera, [&shown](const QString &path) { shown = path; });
    ASSERT_EQ(requests.size(), 2);
    controller->finish(QStringLiteral("0"));
    shown.clear();
    ASSERT_TRUE(writeTestFile(requests[1].first, "late"));
    requests[1].second(requests[1].first);
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_FALSE(QFile::exists(requests[1].first));
    EXPECT_FALSE(QDir(QFileInfo(requests[1].first).path()).exists());

    // A failed download: nothing to show, nothing kept.
    controller->fetchFile(onCamera, [&shown](const QString &path) { shown = path; });
    ASSERT_EQ(requests.size(), 3);
    requests[2].second(QString());
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_TRUE(controller->pathsToRemove().isEmpty());
    const QString lastFolder = QFileInfo(requests[2].first).path();
    controller.reset();
    EXPECT_FALSE(QDir(lastFolder).exists());
    EXPECT_EQ(readTestFile(stranger), QByteArray("not ours"));
    if (savedTmp.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", savedTmp);
}

TEST(TimeZoneChooser, DefaultsChoiceAndZoneNames)
{
    const QStringList names = TimeZoneChooserController::knownZoneNames();
    EXPECT_TRUE(names.contains(QStringLiteral("Europe/Berlin")));

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

    SystemLogCapture logged;
    TimeZoneChooserController chooser;
    EXPECT_FALSE(chooser.accept(std::nullopt, true)); // first use, no row: none
    EXPECT_EQ(chooser.accept(QStringLiteral("Europe/Berlin"), true),
              QStringLiteral("Europe/Berlin DST"));
    EXPECT_EQ(logged.lines.last(), QStringLiteral("timezone = Europe/Berlin DST"));
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
    // Only names the time-zone database knows can be chosen.
    EXPECT_FALSE(TimeZoneChooserController::isKnownZone(QStringLiteral("Mars/Base")));
    EXPECT_FALSE(TimeZoneChooserController::isKnownZone(QString()));
    EXPECT_FALSE(chooser.accept(QStringLiteral("Mars/Base"), true));
    EXPECT_EQ(Defaults::string(TimeZoneChooserController::kTimeZoneSelected),
              QStringLiteral("Mars/Base"));

    // Typing narrows the list: every word, any case, "_" and "/" as blanks.
    EXPECT_TRUE(TimeZoneChooserController::filterZones(names, QStringLiteral(" BERLIN "))
                    .contains(QStringLiteral("Europe/Berlin")));
    EXPECT_TRUE(
        TimeZoneChooserController::filterZones(names, QStringLiteral("europe/berlin")).size() == 1);
    EXPECT_EQ(TimeZoneChooserController::filterZones(names, QStringLiteral("  ")), names);
    EXPECT_TRUE(
        TimeZoneChooserController::filterZones(names, QStringLiteral("atlantis")).isEmpty());
    EXPECT_EQ(TimeZoneChooserController::offsetText(QStringLiteral("Europe/Berlin"), true),
              QStringLiteral("Camera times are read as UTC+02:00."));
    EXPECT_EQ(TimeZoneChooserController::offsetText(QStringLiteral("America/St_Johns"), false),
              QStringLiteral("Camera times are read as UTC-03:30."));
    // The value it makes is the one matching reads: one hour more with " DST".
    EXPECT_DOUBLE_EQ(TrackManagerController::imageTime(
                         10000, TimeZoneChooserController::choiceText("Europe/Berlin", true), 0),
                     10000 - 7200);
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
    for (const char *bad :
         {"", "   ", "DST", " DST", "Mars", "XYZ3", "Nowhere/Special", "Europe/Berln",
          "Europe/Berlin DST DST", "Europe/BerlinDST", "Europe/Berlin XYZ", "Europe / Berlin",
          "../zoneinfo/UTC", "/usr/share/zoneinfo/UTC"})
        EXPECT_FALSE(normalized(QString::fromUtf8(bad))) << bad;
    EXPECT_EQ(TimeZoneValue::unknownZoneMessage(QStringLiteral(" Mars/Base ")),
              QStringLiteral("Unknown time zone \"Mars/Base\"."));
    // Every name the chooser offers passes.
    for (const QString &name : TimeZoneChooserController::knownZoneNames())
        EXPECT_EQ(normalized(name + QStringLiteral(" DST")), name + QStringLiteral(" DST"));
}
