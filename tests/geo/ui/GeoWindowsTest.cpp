// The geotagging windows, driven through their real widgets. The map windows, with their pages in
// a real web engine (tiles from an address where nothing answers, as offline, unless a test
// serves them): the track manager and its add dialog, and the manual geotag window. The windows
// about the camera's clock: the time adjustment (and the image viewer it doubles as) and the
// time-zone chooser. Each is also reached from the main window.
#include "app/ui/LocationService.h"
#include "geo/ManualTagController.h"
#include "geo/TimeAdjustController.h"
#include "geo/TimeZoneChooserController.h"
#include "geo/TrackManagerController.h"
#include "geo/ui/LargeImageView.h"
#include "geo/ui/ManualTagWindow.h"
#include "geo/ui/MapView.h"
#include "geo/ui/TimeAdjustWindow.h"
#include "geo/ui/TimeZoneChooserWindow.h"
#include "geo/ui/TrackAddWindow.h"
#include "geo/ui/TrackManagerWindow.h"
#include "metadata/ExifTableModel.h"
#include "metadata/Prefs.h"
#include "metadata/ui/ExifTableView.h"
#include "platform/NotificationCenter.h"
#include "platform/SystemLog.h"
#include "platform/WebEngineStartup.h"
#include "support/CameraFileFixture.h"
#include "support/GpxFixtures.h"
#include "support/GrabSupport.h"
#include "support/InstalledUserInterface.h"
#include "support/Permissions.h"
#include "support/ProgramFixture.h"
#include "support/StandInProgram.h"
#include "support/WindowDriving.h"
#include "support/WindowTestSupport.h"

#include <QAbstractItemView>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTimeEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimeZone>
#include <QWebEngineView>
#include <QtTest>

#include <optional>

// The web engine set up to run headless (as root too), waiting for a page and its script.

// Before the application exists: as for any web view, and there is no GPU under the offscreen
// platform.
inline void prepareWebEngine()
{
    prepareWebViews();
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
}

// The value of a script in the page, or nullopt when the page did not answer in time.
inline std::optional<QVariant> evaluate(MapView *map, const QString &script, int timeoutMs = 10000)
{
    auto result = std::make_shared<std::optional<QVariant>>();
    map->runJavaScript(script, [result](const QVariant &value) { *result = value; });
    QElapsedTimer clock;
    clock.start();
    while (!*result && clock.elapsed() < timeoutMs)
        QTest::qWait(10);
    return *result;
}

// Polls a script until it answers true.
inline bool waitForScript(MapView *map, const QString &script, int timeoutMs = 15000)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        const auto value = evaluate(map, script);
        if (value && value->toBool())
            return true;
        QTest::qWait(50);
    }
    return false;
}

// Waits until the view has finished more than `before` loads. Empty when it did; otherwise
// why not, so that the test fails with the reason instead of passing over the map.
inline QString waitForPage(MapView *map, int before, int timeoutMs = 30000)
{
    if (!map->hasWebView())
        return QStringLiteral("the map cannot be shown: ") + MapView::unavailableReason();
    QElapsedTimer clock;
    clock.start();
    while (map->loadsFinished() <= before && clock.elapsed() < timeoutMs)
        QTest::qWait(20);
    if (map->loadsFinished() <= before)
        return QStringLiteral("Qt WebEngine did not finish loading the map page within %1 s: "
                              "the engine cannot run on this machine")
            .arg(timeoutMs / 1000);
    if (!map->lastLoadSucceeded())
        return QStringLiteral("Qt WebEngine reported that the map page failed to load");
    // The load counted may be the blank page shown before the map; the map's own script
    // answers once its page is the one shown.
    if (!waitForScript(map, QStringLiteral("typeof window.brindlewick === 'object'")))
        return QStringLiteral("the map page's script did not start");
    return QString();
}

// Fails the test, with the reason, unless the map finishes another page load.
#define VERIFY_MAP_PAGE(map, before)                                                               \
    do {                                                                                           \
        const QString whyNot = waitForPage(map, before);                                           \
        QVERIFY2(whyNot.isEmpty(), qPrintable(whyNot));                                            \
    } while (false)

// A map tile server on the loopback address, so that a test sees the pages as they are online
// without touching the network: every tile is a pale square with its z/x/y written in it. It
// records the User-Agent of each request.
class LocalTileServer : public QTcpServer
{
public:
    LocalTileServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_pending[socket] += socket->readAll();
                    if (!m_pending[socket].contains("\r\n\r\n"))
                        return;
                    answer(socket, m_pending.take(socket));
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        listen(QHostAddress::LocalHost);
    }
    QString tileAddress() const
    {
        return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(serverPort());
    }
    QStringList userAgents;
    int served = 0;

private:
    void answer(QTcpSocket *socket, const QByteArray &request)
    {
        const QList<QByteArray> lines = request.split('\n');
        const QByteArray path = lines.value(0).split(' ').value(1);
        for (const QByteArray &line : lines)
            if (line.toLower().startsWith("user-agent:"))
                userAgents << QString::fromUtf8(line.mid(11).trimmed());
        QImage tile(256, 256, QImage::Format_RGB32);
        tile.fill(QColor(0xe8, 0xf0, 0xe0));
        QPainter painter(&tile);
        painter.setPen(QColor(0xb8, 0xc8, 0xb0));
        painter.drawRect(0, 0, 255, 255);
        painter.drawText(tile.rect(), Qt::AlignCenter, QString::fromUtf8(path));
        painter.end();
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        tile.save(&buffer, "PNG");
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                      QByteArray::number(png.size()) +
                      "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + png);
        socket->disconnectFromHost();
        ++served;
    }
    QHash<QTcpSocket *, QByteArray> m_pending;
};

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
    auto *name = child<QLineEdit>(panel, "fileNameEdit");
    // As a person typing: whatever the panel had selected from its last use is let go.
    for (auto *view : panel->findChildren<QAbstractItemView *>())
        if (view->selectionModel())
            view->selectionModel()->clear();
    name->setText(typed);
    static_cast<QDialog *>(panel)->accept();
}

// Clicks the map at a point of the view; answers the longitude and latitude the page itself
// gives that point ("LON,LAT", six decimals), so the test knows what the click must report.
QString clickMap(MapView *map, QPoint at)
{
    const auto expected = evaluate(
        map, QStringLiteral("(function () { var p = window.brindlewick.map.containerPointToLatLng("
                            "[%1, %2]).wrap(); return p.lng.toFixed(6) + ',' + p.lat.toFixed(6); "
                            "})()")
                 .arg(at.x())
                 .arg(at.y()));
    if (!expected)
        return QString();
#ifdef BRINDLEWICK_HAVE_WEBENGINE
    // The engine takes input through its focus proxy: a real press and release, as a mouse.
    QWidget *input = map->webView()->focusProxy();
    QTest::mouseClick(input ? input : map->webView(), Qt::LeftButton, {}, at);
#endif
    return expected->toString();
}

// Waits for the window's page; when it does not come, closes the window with the reason kept.
bool pageCame(ManualTagWindow *window, QString &reason, int before = 0)
{
    reason = waitForPage(window->mapView(), before);
    if (reason.isEmpty())
        return true;
    window->reject();
    return false;
}

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

class GeoWindowsTest : public QObject
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
        Defaults::set(QStringLiteral("WantEmbeddedGPS"), false);
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
    void trackManagerOpensFromTheMainWindow()
    {
        Program program;
        bool sawManager = false;
        whenModalNamed(QStringLiteral("TrackManager"), [&](QWidget *manager) {
            sawManager = true;
            child<QPushButton>(manager, "buttonOK")->click();
        });
        program.window.actionTrackManager->trigger();
        QVERIFY(sawManager);
        bool sawAdd = false;
        sawManager = false;
        whenModalNamed(QStringLiteral("TrackAdd"), [&](QWidget *add) {
            sawAdd = true;
            grabWindow(add, QStringLiteral("track-add-dialog"));
            child<QPushButton>(add, "buttonCancel")->click();
            whenModalNamed(QStringLiteral("TrackManager"), [&](QWidget *window) {
                sawManager = true;
                auto *manager = qobject_cast<TrackManagerWindow *>(window);
                QCOMPARE(manager->tableViewFiles()->rowCount(), 0);
                QCOMPARE(manager->textViewOutput()->toPlainText(), QString());
                child<QPushButton>(window, "buttonOK")->click();
            });
        });
        program.window.actionLoadTrack->trigger();
        QVERIFY(sawAdd);
        QVERIFY(sawManager);
        QVERIFY(!QFile::exists(TrackManagerController::sharedInstance().presetsFolder() +
                               QStringLiteral("/GPS/gpxfiles.plist")));
    }

    void trackManagerListsAddedFilesAndDrawsTheMap()
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
            child<QPushButton>(add, "buttonGPXFile")->click();
        });
        child<QPushButton>(&window, "buttonAdd")->click();

        // One progress step per file; the damaged one is named and left out.
        QCOMPARE(m_ui.progresses.size(), 1);
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
        QVERIFY(window.textViewOutput()->toPlainText().startsWith(
            folder + QStringLiteral("/walk.gpx\n\nTrack Walk\n")));

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

        // Two rows: nothing drawn.
        table->selectAll();
        QVERIFY(window.mapView()->pageText().isEmpty());

        // Remove and close: both store files rewritten without the removed one.
        table->clearSelection();
        table->selectRow(0);
        QVERIFY(window.textViewOutput()->toPlainText().contains(QStringLiteral("Track Later")));
        child<QPushButton>(&window, "buttonRemove")->click();
        QCOMPARE(table->rowCount(), 1);
        QVERIFY(!child<QPushButton>(&window, "buttonRemove")->isEnabled());
        child<QPushButton>(&window, "buttonOK")->click();
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
        child<QPushButton>(&again, "buttonRemove")->click();
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

    void trackManagerReadsDevicesThroughItsAddDialog()
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
                child<QPushButton>(add, "buttonGarmin")->click();
                if (add->isVisible()) // failed: the checks below say how, nothing waits
                    static_cast<QDialog *>(add)->reject();
            });
            child<QPushButton>(&window, "buttonAdd")->click();
        }
        const QString saved = folder + QStringLiteral("/it's my $garmin; track.gpx");
        QVERIFY2(m_ui.alerts.isEmpty(), qPrintable(m_ui.alertTexts().join('\n')));
        QCOMPARE(store.gpxfiles(), QStringList{saved});
        QCOMPARE(window.selectedRows(), QList<int>{0});
        QVERIFY(window.textViewOutput()->toPlainText().contains(QStringLiteral("Track Device")));
        window.accept();

        // A warning on GPSBabel's error output: an alert, and the dialog stays open.
        TrackAddWindow add;
        add.show();
        {
            const StandInProgram warning = standInGpsbabel("echo 'Warning: no fix on unit' >&2");
            whenModalNamed(QStringLiteral("savePanel"), [&](QWidget *panel) {
                answerPanel(panel, folder, QStringLiteral("second"));
            });
            m_ui.clear();
            child<QPushButton>(&add, "buttonMagellan")->click();
            QCOMPARE(m_ui.alerts.size(), 1);
            QVERIFY(add.isVisible());
            QVERIFY(add.files().isEmpty());
        }
        // A cancelled save panel runs nothing.
        whenModalNamed(QStringLiteral("savePanel"),
                       [](QWidget *panel) { static_cast<QDialog *>(panel)->reject(); });
        m_ui.clear();
        child<QPushButton>(&add, "buttonGarmin")->click();
        QVERIFY(m_ui.alerts.isEmpty());
        QVERIFY(m_ui.progresses.isEmpty());
        child<QPushButton>(&add, "buttonCancel")->click();
        QCOMPARE(add.result(), int(QDialog::Rejected));
    }

    // With tiles from a server the map looks as it does online; a track too large to hand to
    // the engine inline goes through a private file and is drawn whole.
    void trackManagerTakesTilesFromThePreferencesAndDrawsALongTrackWhole()
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

    void trackManagerSaysWhyWithoutAWorkingEngine()
    {
        // As root with the sandbox on the engine would end the program: no web view is made.
        WebEngineStartup::setFactsForTests(WebEngineStartup::Facts{true, false, true});
        TrackManagerController store(makeTestFolder(QStringLiteral("support-noengine")));
        TrackManagerWindow window(store);
        WebEngineStartup::setFactsForTests(std::nullopt);
        QVERIFY(!window.mapView()->hasWebView());
        QVERIFY(
            child<QLabel>(window.mapView(), "labelNoMap")->text().contains(QStringLiteral("root")));
        window.go(false);
        window.mapView()->showPage(QStringLiteral("<p>x</p>")); // nothing to load it into
        window.accept();
    }

    void manualTagTakesAClickOnTheMapAndAPasteMovesTheMap()
    {
        ManualTagController::reset();
        QString expected, reason;
        whenModalNamed(QStringLiteral("ManualTag"), [&](QWidget *modal) {
            auto *window = qobject_cast<ManualTagWindow *>(modal);
            if (!pageCame(window, reason))
                return;
            QVERIFY(waitForScript(window->mapView(), "window.brindlewick.noticeShown()"));
            expected = clickMap(window->mapView(), QPoint(260, 170));
            const QStringList parts = expected.split(QLatin1Char(','));
            QCOMPARE(parts.size(), 2);
            QTRY_COMPARE(window->labelLat()->text(), parts[1]);
            QCOMPARE(window->labelLon()->text(), parts[0]);
            // The pin went where the click was, and the page stayed.
            QVERIFY(waitForScript(window->mapView(),
                                  QStringLiteral("Math.abs(window.brindlewick.pin.getLatLng().lat"
                                                 " - %1) < 1e-5")
                                      .arg(parts[1])));
            QCOMPARE(window->mapView()->loadsFinished(), 1);
            child<QPushButton>(window, "buttonOK")->click();
        });
        const auto answer = ManualTagWindow::getCoordinates({}, 0, 0);
        QVERIFY2(reason.isEmpty(), qPrintable(reason));
        QVERIFY(answer.has_value());
        const QStringList parts = expected.split(QLatin1Char(','));
        QCOMPARE(*answer, (QStringList{parts[1], parts[0]}));

        // The second opening in a run starts where the first ended, whatever the fix; a paste
        // moves the map only, and Cancel keeps the place.
        const QString lat = ManualTagController::shared().lat();
        whenModalNamed(QStringLiteral("ManualTag"), [&](QWidget *modal) {
            auto *window = qobject_cast<ManualTagWindow *>(modal);
            if (!pageCame(window, reason))
                return;
            QCOMPARE(window->labelLat()->text(), lat);
            QGuiApplication::clipboard()->setText(QStringLiteral("33.8568° S, 151.2153° E"));
            child<QPushButton>(window, "buttonPaste")->click();
            if (!pageCame(window, reason, 1))
                return;
            QVERIFY(waitForScript(window->mapView(),
                                  "Math.abs(window.brindlewick.map.getCenter().lat + 33.8568) < "
                                  "1e-4 && Math.abs(window.brindlewick.map.getCenter().lng - "
                                  "151.2153) < 1e-4"));
            QCOMPARE(window->labelLat()->text(), lat); // only the map moved
            // Degrees, minutes and seconds are explained, and nothing reloads.
            QGuiApplication::clipboard()->setText(QStringLiteral("33°51'24.5\"S 151°12'55.1\"E"));
            child<QPushButton>(window, "buttonPaste")->click();
            QCOMPARE(m_ui.alerts.size(), 1);
            QTest::qWait(200);
            QCOMPARE(window->mapView()->loadsFinished(), 2);
            child<QPushButton>(window, "buttonCancel")->click();
        });
        QVERIFY(!ManualTagWindow::getCoordinates({}, 51.5, -0.12).has_value());
        QVERIFY2(reason.isEmpty(), qPrintable(reason));
        QCOMPARE(Defaults::string(ManualTagController::kTagLat), lat);
    }

    void manualTagFromTheMainWindowPlacesTheSelectedImages()
    {
        ManualTagController::reset();
        LocationService::setOverride(std::make_pair(51.5, -0.12));
        Program program(
            makeTimedCard(QStringLiteral("card"), {"2024:06:01 10:00:00", "2024:06:01 10:01:00"}));
        MainWindow &window = program.window;
        QCOMPARE(program.app.items().size(), 2);
        QCOMPARE(window.imageBrowser->selectedRows().size(), 2);

        // The window starts at the machine's position; OK places both selected images.
        QString reason;
        whenModalNamed(QStringLiteral("ManualTag"), [&](QWidget *modal) {
            auto *tag = qobject_cast<ManualTagWindow *>(modal);
            reason = waitForPage(tag->mapView(), 0);
            QCOMPARE(tag->labelLat()->text(), QStringLiteral("51.500000"));
            QCOMPARE(tag->labelLon()->text(), QStringLiteral("-0.120000"));
            child<QPushButton>(tag, "buttonOK")->click();
        });
        window.actionManuallyGeotag->trigger();
        QVERIFY2(reason.isEmpty(), qPrintable(reason));
        QCOMPARE(m_ui.alertTexts(),
                 QStringList{QStringLiteral("2 images were geotagged.: (Ingest to make the "
                                            "geotagging permanent.)")});
        for (const ThumbItemPtr &item : program.app.items())
            QCOMPARE(item->gpsLat, 51.5);

        // Opened again, the window marks where the selected images already are; with tiles
        // from a server it looks as it does online.
        LocalTileServer server;
        Prefs::set(Prefs::MapTileURL, server.tileAddress());
        m_ui.clear();
        whenModalNamed(QStringLiteral("ManualTag"), [&](QWidget *modal) {
            auto *tag = qobject_cast<ManualTagWindow *>(modal);
            reason = waitForPage(tag->mapView(), 0);
            if (reason.isEmpty()) {
                QCOMPARE(evaluate(tag->mapView(), "window.brindlewick.photoCount")->toInt(), 2);
                QVERIFY(waitForScript(tag->mapView(), "window.brindlewick.tilesLoaded() > 3"));
                QVERIFY(!evaluate(tag->mapView(), "window.brindlewick.noticeShown()")->toBool());
                QTest::qWait(300);
                grabWindow(tag, QStringLiteral("manual-geotag"));
            }
            child<QPushButton>(tag, "buttonCancel")->click();
        });
        window.actionManuallyGeotag->trigger();
        Prefs::set(Prefs::MapTileURL, QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
        QVERIFY2(reason.isEmpty(), qPrintable(reason));
        QVERIFY(m_ui.alerts.isEmpty()); // cancelled: nothing written, nothing said
        LocationService::setOverride(std::nullopt);
    }

    // A picture of a clock read 10:02:30 where the camera wrote 10:00:00: the main window shows
    // 150 sec., and the track store holds the adjustment the next geotagging applies.
    void timeAdjustOfAKnownImageReachesTheTrackStore()
    {
        Program program(makeTimedCard(QStringLiteral("clock-card"),
                                      {"2024:06:01 10:00:00", "2024:06:01 10:30:00"},
                                      QSize(1600, 1200)));
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

    void timeAdjustCancelCloseAndTypedValues()
    {
        const QString card =
            makeTimedCard(QStringLiteral("typo-card"), {"2024:06:01 10:00:00"}, QSize(320, 240));
        const ThumbItemList images{ThumbItem::initWithPath(card + QStringLiteral("/IMG_0001.JPG"))};

        // A true time before 1970 is taken as typed; Cancel keeps the caller's adjustment.
        whenModal([](QWidget *modal) {
            child<QDateTimeEdit>(modal, "dateTrue")->setDateTime(utc(1969, 7, 20, 20, 17, 0));
            QVERIFY(child<QLineEdit>(modal, "fieldAdjustment")->text().startsWith(u'-'));
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

    void timeAdjustViewerMovesTicksAndShowsWhatCannotBeDecoded()
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

    void timeAdjustFetchesCameraImagesAndAwaitsTheirMetadata()
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

    void timeZoneChooserFiltersAsYouTypeAndChoosesListedZonesOnly()
    {
        Defaults::remove(TimeZoneChooserController::kDSTSaved);
        Defaults::remove(TimeZoneChooserController::kTimeZoneSelected);

        // First use: no row is chosen, OK answers none.
        TimeZoneChooserController controller;
        TimeZoneChooserWindow window(controller);
        window.go();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *find = child<QLineEdit>(&window, "fieldFind");
        auto *list = child<QListView>(&window, "listZones");
        auto *dst = child<QCheckBox>(&window, "checkboxDST");
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
        dst->setChecked(true);
        QCOMPARE(child<QLabel>(&window, "labelZone")->text(),
                 QStringLiteral("Camera times are read as UTC+02:00."));
        grabWindow(&window, QStringLiteral("time-zone-chooser"));
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QCOMPARE(controller.choice(), QStringLiteral("Europe/Berlin DST"));

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
    void timeZoneChooserZoneGeotagsTheIngestedImage()
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
        QVERIFY2(QFile::exists(primary + QStringLiteral("/IMG_0001.JPG")),
                 qPrintable(m_ui.alertTexts().join('\n')));
        // 10:10 UTC lies halfway between the first two points.
        QCOMPARE(program.item(0)->gpsLat, 51.505);
        QCOMPARE(program.item(0)->gpsLon, -0.11);
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<GeoWindowsTest>(argc, argv, prepareWebEngine);
}

#include "GeoWindowsTest.moc"
