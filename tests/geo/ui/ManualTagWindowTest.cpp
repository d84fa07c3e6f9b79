// The manual geotag window with its map in a real web engine, and the main window's actions
// that open the maps.
#include "geo/ui/ManualTagWindow.h"
#include "MapTestSupport.h"
#include "app/ui/LocationService.h"
#include "geo/ManualTagController.h"
#include "geo/ui/MapView.h"
#include "metadata/Prefs.h"
#include "support/InstalledUserInterface.h"
#include "support/ProgramFixture.h"

#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QWebEngineView>

namespace {

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

} // namespace

class ManualTagWindowTest : public QObject
{
    Q_OBJECT

private:
    InstalledUserInterface m_ui;

private Q_SLOTS:
    void initTestCase()
    {
        Prefs::set(Prefs::MapTileURL, QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
    }

    void init() { m_ui.clear(); }

    void aClickOnTheMapIsThePosition()
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
            window->findChild<QPushButton *>(QStringLiteral("buttonOK"))->click();
        });
        const auto answer = ManualTagWindow::getCoordinates({}, 0, 0);
        QVERIFY2(reason.isEmpty(), qPrintable(reason));
        QVERIFY(answer.has_value());
        const QStringList parts = expected.split(QLatin1Char(','));
        QCOMPARE(*answer, (QStringList{parts[1], parts[0]}));
        QCOMPARE(Defaults::string(ManualTagController::kTagLat), parts[1]);
        QCOMPARE(Defaults::string(ManualTagController::kTagLon), parts[0]);
    }

    void pastingMovesTheMapCancelKeepsThePlace()
    {
        // The second opening in a run starts where the first ended, whatever the fix.
        const QString lat = ManualTagController::shared().lat();
        QString reason;
        whenModalNamed(QStringLiteral("ManualTag"), [&](QWidget *modal) {
            auto *window = qobject_cast<ManualTagWindow *>(modal);
            if (!pageCame(window, reason))
                return;
            QCOMPARE(window->labelLat()->text(), lat);
            QGuiApplication::clipboard()->setText(QStringLiteral("33.8568° S, 151.2153° E"));
            window->findChild<QPushButton *>(QStringLiteral("buttonPaste"))->click();
            if (!pageCame(window, reason, 1))
                return;
            QVERIFY(waitForScript(window->mapView(),
                                  "Math.abs(window.brindlewick.map.getCenter().lat + 33.8568) < "
                                  "1e-4 && Math.abs(window.brindlewick.map.getCenter().lng - "
                                  "151.2153) < 1e-4"));
            QCOMPARE(window->labelLat()->text(), lat); // only the map moved
            // Degrees, minutes and seconds are explained, and nothing reloads.
            QGuiApplication::clipboard()->setText(QStringLiteral("33°51'24.5\"S 151°12'55.1\"E"));
            window->findChild<QPushButton *>(QStringLiteral("buttonPaste"))->click();
            QCOMPARE(m_ui.alerts.size(), 1);
            QCOMPARE(m_ui.alerts[0].title, QStringLiteral("Pasted coordinates appear to be in "
                                                          "degrees, minutes, and seconds."));
            QTest::qWait(200);
            QCOMPARE(window->mapView()->loadsFinished(), 2);
            window->findChild<QPushButton *>(QStringLiteral("buttonCancel"))->click();
        });
        const auto answer = ManualTagWindow::getCoordinates({}, 51.5, -0.12);
        QVERIFY2(reason.isEmpty(), qPrintable(reason));
        QVERIFY(!answer.has_value());
        QCOMPARE(Defaults::string(ManualTagController::kTagLat), lat);
    }

    void theMainWindowPlacesTheSelectedImages()
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
            tag->findChild<QPushButton *>(QStringLiteral("buttonOK"))->click();
        });
        window.actionManuallyGeotag->trigger();
        QVERIFY2(reason.isEmpty(), qPrintable(reason));
        QCOMPARE(m_ui.alertTexts(),
                 QStringList{QStringLiteral("2 images were geotagged.: (Ingest to make the "
                                            "geotagging permanent.)")});
        for (const ThumbItemPtr &item : program.app.items()) {
            QVERIFY(item->gpsManuallyGeotagged);
            QCOMPARE(item->gpsLat, 51.5);
            QCOMPARE(item->gpsMessage, QStringLiteral("Manually geotagged"));
        }

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
            tag->findChild<QPushButton *>(QStringLiteral("buttonCancel"))->click();
        });
        window.actionManuallyGeotag->trigger();
        Prefs::set(Prefs::MapTileURL, QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
        QVERIFY2(reason.isEmpty(), qPrintable(reason));
        QVERIFY(m_ui.alerts.isEmpty()); // cancelled: nothing written, nothing said
        LocationService::setOverride(std::nullopt);
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<ManualTagWindowTest>(argc, argv, prepareWebEngine);
}

#include "ManualTagWindowTest.moc"
