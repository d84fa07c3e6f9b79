#include "geo/ui/TimeZoneChooserWindow.h"
#include "geo/TimeZoneChooserController.h"
#include "geo/TrackManagerController.h"
#include "ingest/IngestFiles.h"
#include "metadata/ExifTableModel.h"
#include "metadata/ui/ExifTableView.h"
#include "platform/Defaults.h"
#include "support/GpxFixtures.h"
#include "support/GrabSupport.h"
#include "support/InstalledUserInterface.h"
#include "support/LogCapture.h"
#include "support/ProgramFixture.h"
#include "support/WindowDriving.h"
#include "support/WindowTestSupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTimeZone>
#include <QtTest>

namespace {

QString selectedName(QWidget *window)
{
    const QModelIndexList rows =
        child<QListView>(window, "listZones")->selectionModel()->selectedRows();
    return rows.isEmpty() ? QString() : rows.first().data().toString();
}

} // namespace

class TimeZoneChooserWindowTest : public QObject
{
    Q_OBJECT

private:
    InstalledUserInterface m_ui;

private Q_SLOTS:
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
        Defaults::set(QStringLiteral("WantEmbeddedGPS"), false);
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
    return runWindowTests<TimeZoneChooserWindowTest>(argc, argv);
}

#include "TimeZoneChooserWindowTest.moc"
