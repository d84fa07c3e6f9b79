// The card prompt, the Card menu and the main window's Eject Card button, driven against a
// private system bus with a mock disk service and a private session bus with a mock
// notification service.

#include "app/ui/CardPrompt.h"
#include "log/IngestionLogController.h"
#include "metadata/Prefs.h"
#include "platform/RecordingUserInterface.h"
#include "support/GrabSupport.h"
#include "support/PrivateBus.h"
#include "support/ProgramFixture.h"
#include "support/RunFixtures.h"
#include "support/WindowTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

// A card with `count` JPEGs in DCIM/100CANON.
QString makeCard(const QString &name, int count)
{
    const QString root = QDir::homePath() + QStringLiteral("/media/") + name;
    const QString folder = root + QStringLiteral("/DCIM/100CANON");
    for (int i = 1; i <= count; ++i)
        ImageFixtures::writeJpeg(folder + QStringLiteral("/IMG_%1.JPG").arg(i, 4, 10, QChar('0')),
                                 QSize(160, 120), {}, QColor::fromHsv(i * 70 % 360, 150, 220));
    return root;
}

int jpegsBelow(const QString &folder)
{
    return filesBelow(folder).filter(QStringLiteral(".JPG")).size();
}

} // namespace

class CardInsertionWindowTest : public QObject
{
    Q_OBJECT

private:
    RecordingUserInterface m_ui;
    std::unique_ptr<PrivateBus> m_system;
    std::unique_ptr<PrivateBus> m_session;

    // The started, shown program with its desktop integration on the private buses, once it
    // knows the volumes there.
    std::unique_ptr<Program> start()
    {
        auto program =
            std::make_unique<Program>(QString(), m_system->connection(), m_session->connection());
        // The offscreen platform never makes a window active: say so per test.
        program->desktop->runNotifier().setActiveProbe([] { return true; });
        program->window.show();
        waitUntil([&] { return program->desktop->volumes().isReady(); }, 10000);
        return program;
    }

private Q_SLOTS:
    void initTestCase()
    {
        UserInterface::setInstance(&m_ui);
        m_system = std::make_unique<PrivateBus>(QStringLiteral("window-system"));
        m_session = std::make_unique<PrivateBus>(QStringLiteral("window-session"));
        QVERIFY2(m_system->isRunning() && m_session->isRunning(), "dbus-daemon is needed");
    }

    void cleanupTestCase()
    {
        UserInterface::setInstance(nullptr);
        m_session.reset();
        m_system.reset();
    }

    void init()
    {
        m_ui.clear();
        for (const Prefs::Key *key : {&Prefs::OfferCards, &Prefs::OfferAnyRemovableVolume,
                                      &Prefs::AutoIngestCards, &Prefs::EjectAfterIngest})
            Defaults::remove(QLatin1String(key->name));
        Defaults::remove(QStringLiteral("Preset"));
    }

    // Put in, asked about, opened, ingested, ejected.
    void cardIsOfferedOpenedIngestedAndEjected()
    {
        MockUDisks disks(*m_system, *m_session);
        QVERIFY2(disks.isRunning(), "python3-dbusmock is needed");
        auto program = start();
        MainWindow &w = program->window;
        DesktopIntegration &desktop = *program->desktop;
        QVERIFY(!w.buttonEject->isVisible());
        QVERIFY(!desktop.actionNoDiskService->isVisible());

        // The card is offered, once.
        const QString card = makeCard(QStringLiteral("EOS_DIGITAL"), 3);
        const QString cardPath =
            disks.addCard(QStringLiteral("sdb"), QStringLiteral("EOS_DIGITAL"), QString());
        disks.mountCard(QStringLiteral("sdb"), card);
        QTRY_VERIFY_WITH_TIMEOUT(desktop.promptFor(cardPath), 10000);
        CardPrompt *prompt = desktop.promptFor(cardPath);
        QVERIFY(QTest::qWaitForWindowExposed(prompt));
        QCOMPARE(prompt->labelQuestion->text(), QStringLiteral("Ingest from EOS_DIGITAL?"));
        QVERIFY(prompt->labelDetail->text().contains(card));
        QVERIFY(!prompt->isModal());
        QVERIFY(prompt->buttonOpen->isDefault());
        grabWindow(prompt, QStringLiteral("card-prompt"));

        // Open: the browser shows the card's images, the newest day ticked.
        QTest::mouseClick(prompt->buttonOpen, Qt::LeftButton);
        QTRY_VERIFY(!desktop.promptFor(cardPath));
        QCOMPARE(program->app.items().size(), 3);
        QVERIFY(program->app.items().first()->path.startsWith(card));
        QCOMPARE(Defaults::string(QStringLiteral("InputDirectory")), card);
        QCOMPARE(w.labelStatus->text(), QStringLiteral("3 selected     3 checked     3 total"));

        // Ingest: the copies land in the primary folder; Eject Card appears.
        QTest::mouseClick(w.buttonIngest, Qt::LeftButton);
        QTRY_VERIFY(!QuorvaneAppDelegate::isIngesting());
        const QString primary = QDir::homePath() + QStringLiteral("/Pictures/Brindlewick");
        QCOMPARE(jpegsBelow(primary), 3);
        QVERIFY(w.buttonEject->isVisible());
        QVERIFY(w.buttonEject->isEnabled());
        QVERIFY(w.buttonEject->toolTip().contains(QStringLiteral("EOS_DIGITAL")));
        QVERIFY(desktop.actionEject->isEnabled());
        grabWindow(&w, QStringLiteral("main-window-eject-card"));

        // In use: a clear refusal, the button stays.
        disks.setBusy(QStringLiteral("sdb"), true);
        QTest::mouseClick(w.buttonEject, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_ui.alerts.size(), 1, 10000);
        QCOMPARE(m_ui.alerts[0].title, QStringLiteral("Can't eject \"EOS_DIGITAL\"."));
        QVERIFY(w.buttonEject->isVisible());
        QVERIFY(disks.calls(MockUDisks::drivePath(QStringLiteral("sdb"))).isEmpty());

        // Free again, ejected from the Card menu: unmounted and powered off, and said so.
        disks.setBusy(QStringLiteral("sdb"), false);
        desktop.actionEject->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.textViewLog->toPlainText().contains(QStringLiteral(
                                     "Card \"EOS_DIGITAL\" ejected: it can be removed now.")),
                                 10000);
        QVERIFY(!w.buttonEject->isVisible());
        QCOMPARE(disks.calls(MockUDisks::blockPath(QStringLiteral("sdb"))),
                 (QStringList{QStringLiteral("Unmount"), QStringLiteral("Unmount")}));
        QCOMPARE(disks.calls(MockUDisks::drivePath(QStringLiteral("sdb"))),
                 QStringList{QStringLiteral("PowerOff")});
        QVERIFY(!desktop.actionEject->isEnabled());
        QCOMPARE(m_ui.alerts.size(), 1);
    }

    // The question goes away with the card, waits while a modal window is up, and can be
    // turned off from itself.
    void promptFollowsTheCardAndWaitsForTheProgram()
    {
        MockUDisks disks(*m_system, *m_session);
        QVERIFY(disks.isRunning());
        auto program = start();
        DesktopIntegration &desktop = *program->desktop;

        const QString first = disks.addCard(QStringLiteral("sdb"), QStringLiteral("CARD_A"),
                                            makeCard(QStringLiteral("CARD_A"), 1));
        QTRY_VERIFY_WITH_TIMEOUT(desktop.promptFor(first), 10000);
        QPointer<CardPrompt> prompt = desktop.promptFor(first);
        disks.removeCard(QStringLiteral("sdb"));
        QTRY_VERIFY_WITH_TIMEOUT(prompt.isNull(), 10000);

        // A modal window is up: the card waits, and is offered once it closes.
        QString second;
        QDialog modal(&program->window);
        QTimer::singleShot(0, &modal, [&] {
            second = disks.addCard(QStringLiteral("sdc"), QStringLiteral("CARD_B"),
                                   makeCard(QStringLiteral("CARD_B"), 1));
            QTest::qWait(800);
            QVERIFY(desktop.hasWaitingCards());
            QVERIFY(!desktop.promptFor(second));
            modal.reject();
        });
        modal.exec();
        QTRY_VERIFY_WITH_TIMEOUT(desktop.promptFor(second), 10000);

        // "Ask when a card is put in" unticked there reaches the setting and the Card menu.
        prompt = desktop.promptFor(second);
        prompt->checkboxOfferCards->click();
        QVERIFY(!Prefs::boolean(Prefs::OfferCards));
        QVERIFY(!desktop.actionOfferCards->isChecked());
        QTest::mouseClick(prompt->buttonNotNow, Qt::LeftButton);
        QTRY_VERIFY(prompt.isNull());
    }

    // The preset marked from the Card menu ingests a card at once, ejects it afterwards and
    // reports through the desktop's notifications.
    void markedPresetIngestsCardsStraightAway()
    {
        MockUDisks disks(*m_system, *m_session);
        MockNotifications notifications(*m_system, *m_session);
        QVERIFY(disks.isRunning() && notifications.isRunning());
        const QString station = QDir::homePath() + QStringLiteral("/Station");
        QVERIFY(writePreset(QStringLiteral("Station"),
                            {{"PrimaryRootFolder", station},
                             {"FilenameArrangement", "{@FileNameOriginal}"},
                             {"Inclusions", "JPG"}},
                            {}));
        auto program = start();
        MainWindow &w = program->window;
        DesktopIntegration &desktop = *program->desktop;
        desktop.runNotifier().setActiveProbe([] { return false; });

        // Marked through the Card menu while it is the current preset.
        QComboBox *popup = w.popupPresets;
        popup->setCurrentIndex(popup->findText(QStringLiteral("Station")));
        Q_EMIT popup->activated(popup->currentIndex());
        Q_EMIT desktop.menuCard->aboutToShow();
        QVERIFY(desktop.actionAutoIngestPreset->isEnabled());
        QVERIFY(!desktop.actionAutoIngestPreset->isChecked());
        desktop.actionAutoIngestPreset->trigger();
        QVERIFY(Setup::readFile(AppPaths::supportFolder() + QStringLiteral("/Station.plist"))
                    ->value(QStringLiteral("AutoIngest"))
                    .toString() == QStringLiteral("YES"));
        desktop.actionAutoIngest->trigger();
        desktop.actionEjectAfterIngest->trigger();
        QVERIFY(Prefs::boolean(Prefs::AutoIngestCards));
        QVERIFY(Prefs::boolean(Prefs::EjectAfterIngest));
        QVERIFY(w.menuBar()->actions().contains(desktop.menuCard->menuAction()));
        desktop.menuCard->popup(w.mapToGlobal(QPoint(300, 30)));
        QVERIFY(QTest::qWaitForWindowExposed(desktop.menuCard));
        grabWindow(desktop.menuCard, QStringLiteral("card-menu"));
        desktop.menuCard->close();

        // Back on the built-in preset; a card goes in and is ingested with Station's settings,
        // every image of every day, without a question.
        popup->setCurrentIndex(popup->findText(QStringLiteral("Default")));
        Q_EMIT popup->activated(popup->currentIndex());
        const QString card = makeCard(QStringLiteral("NIKON_D7500"), 4);
        QFile older(card + QStringLiteral("/DCIM/100CANON/IMG_0001.JPG"));
        QVERIFY(older.open(QIODevice::ReadWrite));
        older.setFileTime(QDateTime(QDate(2023, 1, 2), QTime(9, 0)),
                          QFileDevice::FileModificationTime);
        older.close();
        QVERIFY(writeTestFile(card + QStringLiteral("/DCIM/100CANON/NOTES.TXT"), "not a picture"));
        const QString cardPath =
            disks.addCard(QStringLiteral("sde"), QStringLiteral("NIKON_D7500"), card);
        QTRY_COMPARE_WITH_TIMEOUT(jpegsBelow(station), 4, 15000);
        QVERIFY(!desktop.promptFor(cardPath));
        QCOMPARE(popup->currentText(), QStringLiteral("Station"));
        QVERIFY(m_ui.alerts.isEmpty());
        const QStringList months = IngestionLogController::readLogFiles();
        QVERIFY(IngestionLogController::readMonth(months.last())
                    .value_or(QString())
                    .contains(QStringLiteral("Card \"NIKON_D7500\" put in: ingesting it with the "
                                             "preset \"Station\"")));

        // Ejected after the run, and the photographer who looked away is told.
        QTRY_COMPARE_WITH_TIMEOUT(disks.calls(MockUDisks::drivePath(QStringLiteral("sde"))),
                                  QStringList{QStringLiteral("PowerOff")}, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(notifications.notifications().size(), 1, 10000);
        const QVariantList note = notifications.notifications().first();
        QCOMPARE(note.value(3).toString(), QStringLiteral("Ingestion complete"));
        QCOMPARE(note.value(4).toString(),
                 QStringLiteral("Files ingested: 4\nDuplicates skipped: 0"));
        QTRY_VERIFY(!w.buttonEject->isVisible());
    }

    // No disk service: the menu says so and the program works as before (no bus at all is the
    // state every other window test runs in).
    void withoutDiskServiceTheProgramStillWorks()
    {
        auto program = start();
        MainWindow &w = program->window;
        DesktopIntegration &desktop = *program->desktop;
        QVERIFY(!desktop.volumes().isAvailable());
        QVERIFY(desktop.actionNoDiskService->isVisible());
        QVERIFY(!desktop.actionEject->isEnabled());
        QVERIFY(!desktop.actionAutoIngest->isEnabled());

        // Choosing and ingesting a folder work; nothing is left to eject.
        const QString folder = makeCard(QStringLiteral("FOLDER"), 2);
        QVERIFY(program->app.chooseFolder(folder));
        QCOMPARE(program->app.items().size(), 2);
        QTest::mouseClick(w.buttonIngest, Qt::LeftButton);
        QTRY_VERIFY(!QuorvaneAppDelegate::isIngesting());
        QVERIFY(m_ui.alertTexts().filter(QStringLiteral("ERROR")).isEmpty());
        QVERIFY(!w.buttonEject->isVisible());
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<CardInsertionWindowTest>(argc, argv);
}

#include "CardInsertionWindowTest.moc"
