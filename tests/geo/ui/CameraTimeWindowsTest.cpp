// The windows about the camera's clock: the time adjustment (and the image viewer it doubles
// as) and the time-zone chooser, each reached from the main window.
#include "geo/TimeAdjustController.h"
#include "geo/TimeZoneChooserController.h"
#include "geo/TrackManagerController.h"
#include "geo/ui/LargeImageView.h"
#include "geo/ui/TimeAdjustWindow.h"
#include "geo/ui/TimeZoneChooserWindow.h"
#include "metadata/ExifTableModel.h"
#include "metadata/ui/ExifTableView.h"
#include "platform/NotificationCenter.h"
#include "support/CameraFileFixture.h"
#include "support/GpxFixtures.h"
#include "support/GrabSupport.h"
#include "support/InstalledUserInterface.h"
#include "support/LogCapture.h"
#include "support/ProgramFixture.h"
#include "support/WindowDriving.h"
#include "support/WindowTestSupport.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTimeZone>
#include <QtTest>

namespace {

QDateTime utc(int year, int month, int day, int h, int m, int s)
{
    return QDateTime(QDate(year, month, day), QTime(h, m, s), QTimeZone::utc());
}

QString selectedName(QWidget *window)
{
    const QModelIndexList rows =
        child<QListView>(window, "listZones")->selectionModel()->selectedRows();
    return rows.isEmpty() ? QString() : rows.first().data().toString();
}

} // namespace

class CameraTimeWindowsTest : public QObject
{
    Q_OBJECT

private:
    InstalledUserInterface m_ui;

private Q_SLOTS:
    void initTestCase() { Defaults::set(QStringLiteral("WantEmbeddedGPS"), false); }

    // A picture of a clock read 10:02:30 where the camera wrote 10:00:00: the main window shows
    // 150 sec., and the track store that every geotagging asks holds it (the matching's test
    // moves an image along its track by the store's adjustment).
    void adjustmentOfAKnownImageReachesTheMatching()
    {
        const QString card =
            makeTimedCard(QStringLiteral("clock-card"),
                          {"2024:06:01 10:00:00", "2024:06:01 10:30:00"}, QSize(1600, 1200));
        Program program(card);
        MainWindow &w = program.window;
        w.imageBrowser->selectRows({0}, false);
        QCOMPARE(w.labelTimeAdj->text(), QStringLiteral("0 sec."));

        bool checked = false;
        whenModal([&checked](QWidget *modal) {
            auto *window = qobject_cast<TimeAdjustWindow *>(modal);
            QVERIFY(window);
            QCOMPARE(window->windowTitle(), QStringLiteral("Time Adjustment"));
            QVERIFY(!child<QCheckBox>(window, "checkboxIngest")->isVisible());
            auto *camera = child<QDateTimeEdit>(window, "dateCamera");
            auto *truth = child<QDateTimeEdit>(window, "dateTrue");
            QCOMPARE(camera->dateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                     QStringLiteral("2024-06-01 10:00:00"));
            QCOMPARE(truth->dateTime(), camera->dateTime());
            // The picture is the file decoded for the view, not the strip's thumbnail.
            QTRY_VERIFY(window->imageView()->showsFile());
            // Larger than the 500-point preview an item keeps.
            QVERIFY(window->imageView()->image().width() > 500);
            auto *strip = child<QListView>(window, "listImages");
            QTRY_VERIFY(strip->model()->index(1, 0).data(Qt::DecorationRole).isValid());
            truth->setFocus();
            truth->setDateTime(utc(2024, 6, 1, 10, 2, 30));
            QCOMPARE(child<QLineEdit>(window, "fieldAdjustment")->text(), QStringLiteral("150"));
            QCOMPARE(child<QLabel>(window, "labelDifference")->text(),
                     QStringLiteral("The true time is 2 min 30 s later than the camera's."));
            grabWindow(window, QStringLiteral("time-adjustment"));
            checked = true;
            QTest::mouseClick(child<QPushButton>(window, "buttonOK"), Qt::LeftButton);
        });
        QTest::mouseClick(w.buttonTimeAdj, Qt::LeftButton);
        QVERIFY(checked);
        QCOMPARE(w.labelTimeAdj->text(), QStringLiteral("150 sec."));
        QCOMPARE(TrackManagerController::sharedInstance().timeAdjustment(), 150);

        TrackManagerController::sharedInstance().setTimeAdjustment(0);
    }

    void cancelCloseAndTypedValues()
    {
        const QString card =
            makeTimedCard(QStringLiteral("typo-card"), {"2024:06:01 10:00:00"}, QSize(320, 240));
        const ThumbItemList images{ThumbItem::initWithPath(card + QStringLiteral("/IMG_0001.JPG"))};

        // A true time before 1970 is taken as typed and the difference shows it; Cancel keeps
        // the caller's adjustment.
        whenModal([](QWidget *modal) {
            auto *truth = child<QDateTimeEdit>(modal, "dateTrue");
            truth->setDateTime(utc(1969, 7, 20, 20, 17, 0));
            QVERIFY(child<QLineEdit>(modal, "fieldAdjustment")->text().startsWith(u'-'));
            QVERIFY(child<QLabel>(modal, "labelDifference")
                        ->text()
                        .startsWith(QStringLiteral("The true time is 20039 days 13 h 43 min")));
            QTest::mouseClick(child<QPushButton>(modal, "buttonCancel"), Qt::LeftButton);
        });
        qint64 adjustment = 7;
        QVERIFY(!TimeAdjustWindow::adjust(images, &adjustment, {}, 99, nullptr));
        QCOMPARE(adjustment, 7);

        // A number typed in the field wins, and the close control ends the dialog as OK does.
        whenModal([](QWidget *modal) {
            auto *field = child<QLineEdit>(modal, "fieldAdjustment");
            field->setFocus();
            field->selectAll();
            QTest::keyClicks(field, QStringLiteral("-42"));
            QCOMPARE(child<QLabel>(modal, "labelDifference")->text(),
                     QStringLiteral("The true time is 42 s earlier than the camera's."));
            modal->close();
        });
        QVERIFY(TimeAdjustWindow::adjust(images, &adjustment, {}, 0, nullptr));
        QCOMPARE(adjustment, -42);

        // Escape is Cancel.
        whenModal([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QVERIFY(!TimeAdjustWindow::adjust(images, &adjustment, {}, 0, nullptr));
        QCOMPARE(adjustment, -42);
    }

    void viewerMovesTicksAndShowsWhatCannotBeDecoded()
    {
        const QString card = makeTimedCard(
            QStringLiteral("viewer-card"),
            {"2024:06:01 10:00:00", "2024:06:01 10:01:00", "2024:06:01 10:02:00"}, QSize(800, 600));
        const QString broken = card + QStringLiteral("/IMG_0004.JPG");
        QVERIFY(writeTestFile(broken, QByteArray("\xFF\xD8\xFF\xE0 not really a picture", 26)));
        ThumbItemList images;
        for (int i = 1; i <= 4; ++i)
            images << ThumbItem::initWithPath(
                card + QStringLiteral("/IMG_%1.JPG").arg(i, 4, 10, QChar(u'0')));
        images[2]->excluded = true;
        images[0]->checked = true;
        int refreshed = 0;

        whenModal([&images](QWidget *modal) {
            auto *window = qobject_cast<TimeAdjustWindow *>(modal);
            QVERIFY(window);
            QCOMPARE(window->windowTitle(), QStringLiteral("Image Viewer"));
            auto *strip = child<QListView>(window, "listImages");
            auto *ingest = child<QCheckBox>(window, "checkboxIngest");
            auto *title = child<QLabel>(window, "labelTitle");
            QVERIFY(!child<QPushButton>(window, "buttonCancel")->isVisible());
            QVERIFY(!child<QWidget>(window, "dateControls")->isVisible());
            QCOMPARE(title->text(), QStringLiteral("IMG_0002.JPG"));
            QTRY_VERIFY(strip->hasFocus());

            // Space ticks the image on show, Right moves on.
            QVERIFY(!images[1]->checked);
            QTest::keyClick(strip, Qt::Key_Space);
            QVERIFY(images[1]->checked);
            QVERIFY(ingest->isChecked());
            QTest::keyClick(strip, Qt::Key_Right);
            QCOMPARE(title->text(), QStringLiteral("IMG_0003.JPG"));
            // Excluded: its marker instead of the box, and Space does nothing.
            QVERIFY(!ingest->isVisible());
            QVERIFY(child<QLabel>(window, "exclusionImage")->isVisible());
            QTest::keyClick(strip, Qt::Key_Space);
            QVERIFY(!images[2]->checked);

            // A file that is no picture: a clear note, the window goes on.
            QTest::keyClick(strip, Qt::Key_Right);
            QCOMPARE(title->text(), QStringLiteral("IMG_0004.JPG"));
            QTRY_VERIFY(window->imageView()->failed());
            QVERIFY(!child<QPushButton>(window, "buttonNext")->isEnabled());
            QTest::keyClick(strip, Qt::Key_Right);
            QCOMPARE(title->text(), QStringLiteral("IMG_0004.JPG"));

            QTest::mouseClick(child<QPushButton>(window, "buttonCheckNone"), Qt::LeftButton);
            for (const ThumbItemPtr &item : images)
                QVERIFY(!item->checked);
            QTest::mouseClick(child<QPushButton>(window, "buttonCheckAll"), Qt::LeftButton);
            QVERIFY(images[0]->checked && images[1]->checked && images[3]->checked);
            QVERIFY(!images[2]->checked);
            QVERIFY(ingest->isChecked());

            QTest::keyClick(strip, Qt::Key_Home);
            QCOMPARE(title->text(), QStringLiteral("IMG_0001.JPG"));
            QTRY_VERIFY(window->imageView()->showsFile());
            QTest::mouseClick(child<QPushButton>(window, "buttonNext"), Qt::LeftButton);
            QCOMPARE(title->text(), QStringLiteral("IMG_0002.JPG"));
            QTest::mouseClick(ingest, Qt::LeftButton);
            QVERIFY(!images[1]->checked);
            QTest::mouseClick(child<QPushButton>(window, "buttonPrevious"), Qt::LeftButton);
            QTRY_VERIFY(window->imageView()->showsFile());
            grabWindow(window, QStringLiteral("image-viewer"));
            // The viewer's Escape closes it.
            QTest::keyClick(strip, Qt::Key_Escape);
        });
        QVERIFY(TimeAdjustWindow::adjust(
            images, nullptr, [&refreshed] { ++refreshed; }, 1, nullptr));
        QCOMPARE(refreshed, 4);
    }

    void cameraImagesAreFetchedAndMetadataIsAwaited()
    {
        const QString source = QDir::homePath() + QStringLiteral("/camera-source.jpg");
        QVERIFY(ImageFixtures::writeJpeg(source, QSize(900, 600),
                                         {{"Exif.Photo.DateTimeOriginal", "2023:01:02 08:00:00"}}));
        auto file = std::make_shared<NamedCameraFile>(QStringLiteral("DSC_0001.JPG"));
        QImage thumb(160, 120, QImage::Format_RGB32);
        thumb.fill(Qt::darkGreen);
        ThumbItemPtr item = ThumbItem::initWithImage(thumb);
        item->cameraFile = file;
        item->metadata.reset(); // the camera has not sent it yet

        QString saved;
        TimeAdjustController &controller = TimeAdjustController::sharedInstance();
        controller.setCameraDownloader([&saved, source](const ThumbItemPtr &, const QString &folder,
                                                        const QString &name,
                                                        TimeAdjustController::FileReady done) {
            saved = folder + QLatin1Char('/') + name;
            QFile::copy(source, saved);
            // The camera answers later, on the main loop.
            QTimer::singleShot(20, [done, path = saved] { done(path); });
            return true;
        });
        whenModal([item](QWidget *modal) {
            auto *window = qobject_cast<TimeAdjustWindow *>(modal);
            QVERIFY(window);
            // No metadata yet: the dates wait and OK cannot be pressed.
            auto *ok = child<QPushButton>(window, "buttonOK");
            QVERIFY(child<QLabel>(window, "labelReadingMetadata")->isVisible());
            QVERIFY(!ok->isEnabled());
            QVERIFY(!child<QWidget>(window, "dateControls")->isVisible());
            QTRY_VERIFY(window->imageView()->showsFile());
            item->metadata = QVariantMap{
                {QStringLiteral("{Exif}"),
                 QVariantMap{{QStringLiteral("DateTimeOriginal"), "2023:01:02 08:00:00"}}}};
            NotificationCenter::defaultCenter().post(QStringLiteral("MetadataHasArrived"));
            QVERIFY(ok->isEnabled());
            QVERIFY(child<QWidget>(window, "dateControls")->isVisible());
            QCOMPARE(child<QDateTimeEdit>(window, "dateCamera")->dateTime(),
                     utc(2023, 1, 2, 8, 0, 0));
            child<QDateTimeEdit>(window, "dateTrue")->setDateTime(utc(2023, 1, 2, 9, 0, 0));
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        qint64 adjustment = 0;
        QVERIFY(TimeAdjustWindow::adjust({item}, &adjustment, {}, 0, nullptr));
        QCOMPARE(adjustment, 3600);
        // The fetched file was ours and is gone; the camera's own file is untouched.
        QVERIFY(!saved.isEmpty());
        QVERIFY(!QFile::exists(saved));
        QVERIFY(QFile::exists(source));
        controller.setCameraDownloader({});
    }

    void typingFiltersAndOnlyListedZonesAreChosen()
    {
        Defaults::remove(TimeZoneChooserController::kDSTSaved);
        Defaults::remove(TimeZoneChooserController::kTimeZoneSelected);
        SystemLogCapture logged;

        // First use: the box follows the local zone, no row is chosen, OK answers none.
        TimeZoneChooserController controller;
        TimeZoneChooserWindow window(controller);
        window.go();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *find = child<QLineEdit>(&window, "fieldFind");
        auto *list = child<QListView>(&window, "listZones");
        auto *dst = child<QCheckBox>(&window, "checkboxDST");
        QCOMPARE(dst->isChecked(),
                 QTimeZone::systemTimeZone().isDaylightTime(QDateTime::currentDateTime()));
        QVERIFY(selectedName(&window).isEmpty());
        QVERIFY(list->model()->rowCount() > 300);
        QVERIFY(find->hasFocus());
        window.actionOK();
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QVERIFY(!controller.choice());

        // Typing narrows the list and offers the first match; Enter takes it.
        window.go();
        window.show();
        QTest::keyClicks(find, QStringLiteral("berl"));
        QCOMPARE(list->model()->rowCount(), 1);
        QCOMPARE(selectedName(&window), QStringLiteral("Europe/Berlin"));
        // A name that is no zone leaves nothing to choose.
        QTest::keyClicks(find, QStringLiteral("in on mars"));
        QCOMPARE(list->model()->rowCount(), 0);
        QVERIFY(selectedName(&window).isEmpty());
        QVERIFY(!window.selectedZone());
        find->clear();
        QTest::keyClicks(find, QStringLiteral("berlin"));
        dst->setChecked(true);
        QCOMPARE(child<QLabel>(&window, "labelZone")->text(),
                 QStringLiteral("Camera times are read as UTC+02:00."));
        grabWindow(&window, QStringLiteral("time-zone-chooser"));
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QCOMPARE(controller.choice(), QStringLiteral("Europe/Berlin DST"));
        QCOMPARE(logged.lines.last(), QStringLiteral("timezone = Europe/Berlin DST"));
        QCOMPARE(Defaults::string(TimeZoneChooserController::kDSTSaved), QStringLiteral("YES"));

        // Opened again: the remembered zone is chosen, Down moves on, Cancel answers none.
        window.go();
        window.show();
        QCOMPARE(selectedName(&window), QStringLiteral("Europe/Berlin"));
        QVERIFY(dst->isChecked());
        QTest::keyClick(find, Qt::Key_Down);
        QVERIFY(selectedName(&window) != QStringLiteral("Europe/Berlin"));
        QTest::mouseClick(child<QPushButton>(&window, "buttonCancel"), Qt::LeftButton);
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QVERIFY(!controller.choice());

        // A double click on a row acts as OK, through the class-level choose.
        Defaults::set(TimeZoneChooserController::kDSTSaved, QStringLiteral("NO"));
        whenModal([](QWidget *modal) {
            TimeZoneChooserWindow *chooser = qobject_cast<TimeZoneChooserWindow *>(modal);
            QVERIFY(chooser);
            auto *zones = child<QListView>(chooser, "listZones");
            QTest::keyClicks(child<QLineEdit>(chooser, "fieldFind"), QStringLiteral("Tokyo"));
            const QModelIndex first = zones->model()->index(0, 0);
            QTRY_VERIFY(zones->viewport()->rect().contains(zones->visualRect(first)));
            // A double click is a press and release followed by the double-click event.
            const QPoint at = zones->visualRect(first).center();
            QTest::mouseClick(zones->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(zones->viewport(), Qt::LeftButton, {}, at);
        });
        QCOMPARE(TimeZoneChooserWindow::choose(), QStringLiteral("Asia/Tokyo"));
        whenModal([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QVERIFY(!TimeZoneChooserWindow::choose());
    }

    // The zone chosen in the main window reaches the selected images, the matching reads their
    // camera times in that zone, and the ingested file carries the position of that instant.
    void theChosenZoneGeotagsTheIngestedImage()
    {
        Defaults::remove(TimeZoneChooserController::kTimeZoneSelected);
        m_ui.clear();
        // Taken at 12:10 on a camera set to Berlin summer time: 10:10 UTC.
        const QString card = makeTimedCard(QStringLiteral("zone-card"), {"2024:06:01 12:10:00"});
        QVERIFY(loadTrack(QStringLiteral("walk.gpx"), londonWalk()));

        Program program(card);
        MainWindow &w = program.window;
        const QString primary = QDir::homePath() + QStringLiteral("/zone-primary");
        Setup &setup = program.app.setupController()->currentSetup();
        setup.setParam(QStringLiteral("PrimaryRootFolder"), primary);
        setup.setParam(QStringLiteral("GeoTag"), QStringLiteral("YES"));
        setup.setParam(QStringLiteral("PostApp"), QString());
        QVERIFY(setup.paramDict(QStringLiteral("Metadata")).contains(QStringLiteral("TimeZone")));
        QCOMPARE(w.imageBrowser->selectedRows(), QList<int>{0});

        whenModal([](QWidget *modal) {
            TimeZoneChooserWindow *chooser = qobject_cast<TimeZoneChooserWindow *>(modal);
            QVERIFY(chooser);
            QTest::keyClicks(child<QLineEdit>(chooser, "fieldFind"), QStringLiteral("Berlin"));
            child<QCheckBox>(chooser, "checkboxDST")->setChecked(true);
            QTest::mouseClick(child<QPushButton>(chooser, "buttonOK"), Qt::LeftButton);
        });
        QTest::mouseClick(w.buttonTimeZone, Qt::LeftButton);
        // The table's row shows it, ticked for the selected image.
        const MetadataPtr row =
            w.tableMetadata->exifModel()->metadataForTag(QStringLiteral("TimeZone"));
        QVERIFY(row);
        QVERIFY(row->change);
        QCOMPARE(row->valEffective().toString(), QStringLiteral("Europe/Berlin DST"));

        QTest::mouseClick(w.buttonIngest, Qt::LeftButton);
        QCOMPARE(program.item(0)->metadataUser->value(QStringLiteral("TimeZone")).toString(),
                 QStringLiteral("Europe/Berlin DST"));
        QCOMPARE(program.item(0)->gpsMessage, QStringLiteral("Automatically geotagged"));
        QFile copy(primary + QStringLiteral("/IMG_0001.JPG"));
        QVERIFY2(copy.open(QIODevice::ReadOnly), qPrintable(m_ui.alertTexts().join('\n')));
        const QByteArray bytes = copy.readAll();
        // 10:10 UTC lies halfway between the first two points.
        QVERIFY(bytes.contains("<exif:GPSLatitude>51.505000N</exif:GPSLatitude>"));
        QVERIFY(bytes.contains("<exif:GPSLongitude>0.110000W</exif:GPSLongitude>"));
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<CameraTimeWindowsTest>(argc, argv);
}

#include "CameraTimeWindowsTest.moc"
