// The track manager and its add dialog, driven through their real widgets, with the map page
// in a real web engine (tiles from an address where nothing answers, as offline).
#include "geo/ui/TrackManagerWindow.h"
#include "MapTestSupport.h"
#include "geo/TrackManagerController.h"
#include "geo/ui/MapView.h"
#include "geo/ui/TrackAddWindow.h"
#include "metadata/Prefs.h"
#include "platform/SystemLog.h"
#include "platform/WebEngineStartup.h"
#include "support/GpxFixtures.h"
#include "support/InstalledUserInterface.h"
#include "support/Permissions.h"
#include "support/ProgramFixture.h"
#include "support/StandInProgram.h"

#include <QAbstractItemView>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

namespace {

// A GPX file with one track of `count` points a minute apart, heading north-east from Oslo.
QByteArray osloTrack(const char *name, int count)
{
    QByteArray points;
    const QDateTime start(QDate(2024, 6, 1), QTime(10, 0), QTimeZone::utc());
    for (int i = 0; i < count; ++i)
        points += trkpt(59.91 + i * 0.0004, 10.75 + i * 0.0006,
                        qPrintable(start.addSecs(60 * i).toString(Qt::ISODate)),
                        qPrintable(QStringLiteral("<ele>%1</ele>").arg(20 + i % 7))) +
                  '\n';
    return gpxTrack(name, points);
}

// A stand-in GPSBabel that writes a track of four points, then runs `extra`.
StandInProgram standInGpsbabel(const QByteArray &extra = {})
{
    return StandInProgram(QStringLiteral("gpsbabel"),
                          gpsbabelWrites(osloTrack("Device", 4)) + '\n' + extra);
}

// Answers a file panel with names typed into its name field.
void answerPanel(QWidget *modal, const QString &folder, const QString &typed)
{
    auto *panel = qobject_cast<QFileDialog *>(modal);
    QVERIFY(panel);
    panel->setDirectory(folder);
    auto *name = panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    // As a person typing: whatever the panel had selected from its last use is let go.
    for (auto *view : panel->findChildren<QAbstractItemView *>())
        if (view->selectionModel())
            view->selectionModel()->clear();
    name->setText(typed);
    static_cast<QDialog *>(panel)->accept();
}

} // namespace

class TrackManagerWindowTest : public QObject
{
    Q_OBJECT

private:
    InstalledUserInterface m_ui;
    QList<QUrl> m_opened;

private Q_SLOTS:
    void initTestCase()
    {
        MapView::setExternalOpener([this](const QUrl &url) { m_opened << url; });
        SystemLog::setSink([](const QString &) {});
    }

    void cleanupTestCase()
    {
        MapView::setExternalOpener({});
        SystemLog::setSink(nullptr);
    }

    void init()
    {
        m_ui.clear();
        // Nothing answers there: the pages behave as with no network.
        Prefs::set(Prefs::MapTileURL, QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
    }

    // The main window opens the track manager plainly, and through Load Track with its add
    // dialog first; nothing loaded, nothing is written.
    void theMainWindowOpensTheTrackManager()
    {
        Program program;
        bool sawManager = false;
        whenModalNamed(QStringLiteral("TrackManager"), [&](QWidget *manager) {
            sawManager = true;
            manager->findChild<QPushButton *>(QStringLiteral("buttonOK"))->click();
        });
        program.window.actionTrackManager->trigger();
        QVERIFY(sawManager);
        bool sawAdd = false;
        sawManager = false;
        whenModalNamed(QStringLiteral("TrackAdd"), [&](QWidget *add) {
            sawAdd = true;
            grabWindow(add, QStringLiteral("track-add-dialog"));
            add->findChild<QPushButton *>(QStringLiteral("buttonCancel"))->click();
            whenModalNamed(QStringLiteral("TrackManager"), [&](QWidget *window) {
                sawManager = true;
                auto *manager = qobject_cast<TrackManagerWindow *>(window);
                QCOMPARE(manager->tableViewFiles()->rowCount(), 0);
                QCOMPARE(manager->textViewOutput()->toPlainText(), QString());
                window->findChild<QPushButton *>(QStringLiteral("buttonOK"))->click();
            });
        });
        program.window.actionLoadTrack->trigger();
        QVERIFY(sawAdd);
        QVERIFY(sawManager);
        QVERIFY(!QFile::exists(TrackManagerController::sharedInstance().presetsFolder() +
                               QStringLiteral("/GPS/gpxfiles.plist")));
    }

    void addingFilesListsThemAndDrawsTheMap()
    {
        const QString folder = makeTestFolder(QStringLiteral("tracks"));
        writeTestFile(folder + QStringLiteral("/walk.gpx"), osloTrack("Walk", 25));
        writeTestFile(folder + QStringLiteral("/bad.gpx"), "<gpx><trk>");
        writeTestFile(folder + QStringLiteral("/Later.gpx"), osloTrack("Later", 2));
        TrackManagerController store(makeTestFolder(QStringLiteral("support")));
        TrackManagerWindow window(store);
        window.setPhotos({{59.912, 10.752, QStringLiteral("IMG_0001.JPG")}});
        window.go(false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        whenModalNamed(QStringLiteral("TrackAdd"), [&](QWidget *add) {
            whenModalNamed(QStringLiteral("openPanel"), [&](QWidget *panel) {
                answerPanel(panel, folder,
                            QStringLiteral("\"walk.gpx\" \"bad.gpx\" \"Later.gpx\""));
            });
            add->findChild<QPushButton *>(QStringLiteral("buttonGPXFile"))->click();
        });
        window.findChild<QPushButton *>(QStringLiteral("buttonAdd"))->click();

        // One progress step per file; the damaged one is named and left out.
        QCOMPARE(m_ui.progresses.size(), 1);
        QCOMPARE(m_ui.progresses[0]->options.message, QStringLiteral("Loading 3 files."));
        QCOMPARE(m_ui.progresses[0]->steps, 3);
        QVERIFY(m_ui.progresses[0]->ended);
        QCOMPARE(m_ui.alerts.size(), 1);
        QCOMPARE(m_ui.alerts[0].title,
                 QStringLiteral("Error parsing GPX file ") + folder + QStringLiteral("/bad.gpx"));
        QTableWidget *table = window.tableViewFiles();
        QCOMPARE(table->rowCount(), 2);
        // Sorted without regard to case; the first added file is selected and listed.
        QCOMPARE(table->item(0, 0)->text(), folder + QStringLiteral("/Later.gpx"));
        QCOMPARE(window.selectedRows(), QList<int>{1});
        const QString listing = window.textViewOutput()->toPlainText();
        QVERIFY(listing.startsWith(folder + QStringLiteral("/walk.gpx\n\nTrack Walk\n\tStart:\n")));
        QVERIFY(listing.contains(QStringLiteral("\t\t2024-06-01 10:24:00 +0000")));

        // The map: the whole track, both ends, the photo, and the word about missing tiles.
        VERIFY_MAP_PAGE(window.mapView(), 0);
        const auto points =
            evaluate(window.mapView(), QStringLiteral("window.brindlewick.pointCount"));
        QVERIFY2(points, "the map page's script did not answer");
        QCOMPARE(points->toInt(), 25);
        QCOMPARE(evaluate(window.mapView(), "window.brindlewick.photoCount")->toInt(), 1);
        QCOMPARE(evaluate(window.mapView(), "document.querySelectorAll('path.leaflet-interactive')"
                                            ".length")
                     ->toInt(),
                 4); // the line, start, end and the photo
        QVERIFY(
            waitForScript(window.mapView(), QStringLiteral("window.brindlewick.noticeShown()")));
        QVERIFY(evaluate(window.mapView(), "document.getElementById('notice').textContent")
                    ->toString()
                    .contains(QStringLiteral("could not be loaded")));

        // The tile provider's credit opens in the web browser; the map stays.
        const int loads = window.mapView()->loadsFinished();
        evaluate(window.mapView(),
                 "document.querySelector('.leaflet-control-attribution a[href*=\"openstreetmap\"]')"
                 ".click(); true");
        QTRY_COMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened[0], QUrl(QStringLiteral("https://www.openstreetmap.org/copyright")));
        QCOMPARE(window.mapView()->loadsFinished(), loads);

        // Two rows: nothing listed, nothing drawn.
        table->selectAll();
        QCOMPARE(window.textViewOutput()->toPlainText(), QString());
        QVERIFY(window.mapView()->pageText().isEmpty());

        // Remove and close: both store files rewritten without the removed one.
        table->clearSelection();
        table->selectRow(0);
        QVERIFY(window.textViewOutput()->toPlainText().contains(QStringLiteral("Track Later")));
        window.findChild<QPushButton *>(QStringLiteral("buttonRemove"))->click();
        QCOMPARE(table->rowCount(), 1);
        QVERIFY(!window.findChild<QPushButton *>(QStringLiteral("buttonRemove"))->isEnabled());
        window.findChild<QPushButton *>(QStringLiteral("buttonOK"))->click();
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QFile files(store.presetsFolder() + QStringLiteral("/GPS/gpxfiles.plist"));
        QVERIFY(files.open(QIODevice::ReadOnly));
        const QByteArray saved = files.readAll();
        QVERIFY(saved.contains("walk.gpx"));
        QVERIFY(!saved.contains("Later.gpx"));
        QFile tracks(store.presetsFolder() + QStringLiteral("/GPS/tracks.plist"));
        QVERIFY(tracks.open(QIODevice::ReadOnly));
        QVERIFY(!tracks.readAll().contains("Later"));

        // A store that cannot be written is said when the window closes.
        const QString gps = store.presetsFolder() + QStringLiteral("/GPS");
        TrackManagerWindow again(store);
        again.go(false);
        again.tableViewFiles()->selectRow(0);
        again.findChild<QPushButton *>(QStringLiteral("buttonRemove"))->click();
        m_ui.clear();
        QFile::setPermissions(gps, QFile::ReadOwner | QFile::ExeOwner);
        {
            PermissionsHoldForThisThread asUser;
            again.reject(); // Escape or the title bar: the same as OK
        }
        QFile::setPermissions(gps, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(again.result(), int(QDialog::Accepted));
        QCOMPARE(m_ui.alerts.size(), 1);
        QCOMPARE(m_ui.alerts[0].title,
                 QStringLiteral("The list of loaded tracks could not be saved."));
        QVERIFY(m_ui.alerts[0].message.contains(gps));
    }

    void devicesAreReadThroughTheDialog()
    {
        const QString folder = makeTestFolder(QStringLiteral("device"));
        TrackManagerController store(makeTestFolder(QStringLiteral("support-device")));
        TrackManagerWindow window(store);
        window.go(false);
        window.show();
        {
            // A file name with a quote and blanks reaches GPSBabel unchanged: no shell.
            const StandInProgram gpsbabel = standInGpsbabel();
            whenModalNamed(QStringLiteral("TrackAdd"), [&](QWidget *add) {
                whenModalNamed(QStringLiteral("savePanel"), [&](QWidget *panel) {
                    answerPanel(panel, folder, QStringLiteral("it's my $garmin; track"));
                });
                add->findChild<QPushButton *>(QStringLiteral("buttonGarmin"))->click();
                if (add->isVisible()) // failed: the checks below say how, nothing waits
                    static_cast<QDialog *>(add)->reject();
            });
            window.findChild<QPushButton *>(QStringLiteral("buttonAdd"))->click();
        }
        const QString saved = folder + QStringLiteral("/it's my $garmin; track.gpx");
        QVERIFY2(m_ui.alerts.isEmpty(), qPrintable(m_ui.alertTexts().join('\n')));
        QCOMPARE(store.gpxfiles(), QStringList{saved});
        QCOMPARE(window.selectedRows(), QList<int>{0});
        QVERIFY(window.textViewOutput()->toPlainText().contains(QStringLiteral("Track Device")));
        QCOMPARE(m_ui.progresses.first()->options.message,
                 QStringLiteral("Reading tracks from the GPS device."));
        VERIFY_MAP_PAGE(window.mapView(), 0);
        QCOMPARE(evaluate(window.mapView(), "window.brindlewick.pointCount")->toInt(), 4);
        window.accept();

        // A warning on GPSBabel's error output: the alert, and the dialog stays open.
        TrackAddWindow add;
        add.show();
        {
            const StandInProgram warning = standInGpsbabel("echo 'Warning: no fix on unit' >&2");
            whenModalNamed(QStringLiteral("savePanel"), [&](QWidget *panel) {
                answerPanel(panel, folder, QStringLiteral("second"));
            });
            m_ui.clear();
            add.findChild<QPushButton *>(QStringLiteral("buttonMagellan"))->click();
            QCOMPARE(m_ui.alertTexts(), QStringList{QStringLiteral(
                                            "Error running GPSBabel: Warning: no fix on unit\n")});
            QVERIFY(add.isVisible());
            QVERIFY(add.files().isEmpty());
        }
        // A cancelled save panel runs nothing.
        whenModalNamed(QStringLiteral("savePanel"),
                       [](QWidget *panel) { static_cast<QDialog *>(panel)->reject(); });
        m_ui.clear();
        add.findChild<QPushButton *>(QStringLiteral("buttonGarmin"))->click();
        QVERIFY(m_ui.alerts.isEmpty());
        QVERIFY(m_ui.progresses.isEmpty());
        add.findChild<QPushButton *>(QStringLiteral("buttonCancel"))->click();
        QCOMPARE(add.result(), int(QDialog::Rejected));
    }

    // With tiles from a server the map looks as it does online; a track too large to hand to
    // the engine inline goes through a private file and is drawn whole.
    void tilesComeFromThePreferencesAndALongTrackIsDrawnWhole()
    {
        LocalTileServer server;
        QVERIFY(server.isListening());
        Prefs::set(Prefs::MapTileURL, server.tileAddress());
        const QString folder = makeTestFolder(QStringLiteral("online"));
        writeTestFile(folder + QStringLiteral("/ride.gpx"), osloTrack("Ride", 40));
        writeTestFile(folder + QStringLiteral("/zday.gpx"), osloTrack("Day", 50000));
        TrackManagerController store(makeTestFolder(QStringLiteral("support-online")));
        store.readData();
        QVERIFY(store
                    .addFiles({folder + QStringLiteral("/ride.gpx"),
                               folder + QStringLiteral("/zday.gpx")})
                    .has_value());
        TrackManagerWindow window(store);
        window.go(false);
        window.show();
        VERIFY_MAP_PAGE(window.mapView(), 0);
        QVERIFY(waitForScript(window.mapView(), "window.brindlewick.tilesLoaded() > 3"));
        QVERIFY(!evaluate(window.mapView(), "window.brindlewick.noticeShown()")->toBool());
        // The tile servers' usage rules ask the program to say who it is.
        QVERIFY(!server.userAgents.isEmpty());
        QVERIFY2(server.userAgents.first().startsWith(QStringLiteral("Brindlewick/")),
                 qPrintable(server.userAgents.first()));
        QTest::qWait(300);
        grabWindow(&window, QStringLiteral("track-manager"));

        const int loads = window.mapView()->loadsFinished();
        window.tableViewFiles()->selectRow(1);
        QVERIFY(window.mapView()->pageText().toUtf8().size() > MapView::kInlineLimit);
        VERIFY_MAP_PAGE(window.mapView(), loads);
        const auto points =
            evaluate(window.mapView(), QStringLiteral("window.brindlewick.pointCount"));
        QVERIFY(points);
        QCOMPARE(points->toInt(), 50000);
        window.accept();
    }

    void withoutAWorkingEngineTheWindowSaysWhy()
    {
        // As root with the sandbox on the engine would end the program: no web view is made.
        WebEngineStartup::setFactsForTests(WebEngineStartup::Facts{true, false, true});
        TrackManagerController store(makeTestFolder(QStringLiteral("support-noengine")));
        TrackManagerWindow window(store);
        WebEngineStartup::setFactsForTests(std::nullopt);
        QVERIFY(!window.mapView()->hasWebView());
        auto *notice = window.mapView()->findChild<QLabel *>(QStringLiteral("labelNoMap"));
        QVERIFY(notice);
        QVERIFY(notice->text().contains(QStringLiteral("root")));
        window.go(false);
        window.mapView()->showPage(QStringLiteral("<p>x</p>")); // nothing to load it into
        window.accept();
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<TrackManagerWindowTest>(argc, argv, prepareWebEngine);
}

#include "TrackManagerWindowTest.moc"
