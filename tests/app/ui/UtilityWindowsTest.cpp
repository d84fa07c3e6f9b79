#include "app/HelpLinks.h"
#include "app/ui/GetTextController.h"
#include "app/ui/GuiUserInterface.h"
#include "app/ui/HelpController.h"
#include "app/ui/ProgressController.h"
#include "log/ConsoleLog.h"
#include "platform/WebEngineStartup.h"
#include "support/GrabSupport.h"
#include "support/WindowDriving.h"
#include "support/WindowTestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QtTest>

#include <unistd.h>

class UtilityWindowsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The Stop button, Escape and the close button all stop a run; the window stays until its
    // owner ends the session (the current file is still being copied).
    void progressStopsByButtonEscapeOrCloseButNeverHides()
    {
        const std::function<void(ProgressController &)> stops[] = {
            [](ProgressController &window) {
                QTest::mouseClick(child<QPushButton>(&window, "buttonStop"), Qt::LeftButton);
            },
            [](ProgressController &window) { QTest::keyClick(&window, Qt::Key_Escape); },
            [](ProgressController &window) { QVERIFY(!window.close()); },
        };
        for (const auto &stop : stops) {
            ProgressController run;
            run.message = QStringLiteral("Ingesting 3 files.");
            run.max = 3;
            run.beginModalSession();
            QVERIFY(QTest::qWaitForWindowExposed(&run));
            QCOMPARE(child<QLabel>(&run, "labelMessage")->text(),
                     QStringLiteral("Ingesting 3 files."));
            QVERIFY(child<QPushButton>(&run, "buttonStop")->isVisible());
            QVERIFY(run.runOnce());
            run.step();
            run.step();
            QCOMPARE(run.value(), 2);
            if (&stop == &stops[0])
                grabWindow(&run, QStringLiteral("progress"));
            stop(run);
            QVERIFY(run.isVisible());
            QVERIFY(!run.runOnce());
            run.endModalSession();
            QVERIFY(!run.isVisible());
        }

        // A blocking run with Stop ends on Escape, as its Stop button would end it.
        ProgressController blocking;
        blocking.max = 1;
        QTimer::singleShot(0, &blocking,
                           [&blocking] { QTest::keyClick(&blocking, Qt::Key_Escape); });
        QCOMPARE(blocking.exec(), int(QDialog::Rejected));
        QVERIFY(blocking.stopped());
        QVERIFY(!blocking.isVisible());
    }

    // Waiting for metadata: ninety high, no bar, no Stop, and neither key nor close ends it.
    void aWaitWithoutStopIsSmallAndCannotBeEnded()
    {
        ProgressController wait;
        wait.message = QStringLiteral("Reading metadata...");
        wait.indeterminant = true;
        wait.hideStop = true;
        wait.beginModalSession();
        QVERIFY(QTest::qWaitForWindowExposed(&wait));
        QCOMPARE(wait.height(), 90);
        QVERIFY(!wait.findChild<QProgressBar *>()->isVisible());
        QVERIFY(!child<QPushButton>(&wait, "buttonStop")->isVisible());
        QTest::keyClick(&wait, Qt::Key_Escape);
        QVERIFY(!wait.close());
        QVERIFY(wait.isVisible());
        QVERIFY(wait.runOnce());
        wait.endModalSession();
    }

    void timeOutIsRaisedToFiveAndArrivesOnTheMainThread()
    {
        ProgressController::setTimeoutUnitMsForTests(20);
        QThread *arrivedOn = nullptr;
        ProgressController window;
        window.indeterminant = true;
        window.timeoutPeriod = 2;
        window.timeoutTarget = [&arrivedOn] { arrivedOn = QThread::currentThread(); };
        window.show();
        QCOMPARE(window.timeoutPeriod, 5);
        QTRY_VERIFY(arrivedOn != nullptr);
        QCOMPARE(arrivedOn, QCoreApplication::instance()->thread());

        ProgressController longer;
        longer.timeoutPeriod = 12;
        longer.timeoutTarget = [] {};
        longer.load();
        QCOMPARE(longer.timeoutPeriod, 12);
        ProgressController::setTimeoutUnitMsForTests(1000);
    }

    void waitsEndByCallOrByTimeOut()
    {
        ProgressController::setTimeoutUnitMsForTests(20);
        GuiUserInterface ui;
        QTimer::singleShot(30, [&ui] { ui.endWait(); });
        QCOMPARE(ui.waitModally(QStringLiteral("Reading metadata..."), 30), WaitOutcome::Ended);
        QCOMPARE(ui.waitModally(QStringLiteral("Reading metadata..."), 0), WaitOutcome::TimedOut);
        ProgressController::setTimeoutUnitMsForTests(1000);
    }

    void promptAnswersTextOrNothing()
    {
        whenModal([](QWidget *modal) {
            QCOMPARE(modal->windowTitle(), QString());
            auto *field = child<QLineEdit>(modal, "textField");
            QCOMPARE(field->text(), QStringLiteral("Default"));
            field->clear();
            QCOMPARE(child<QPushButton>(modal, "buttonSave")->text(), QStringLiteral("Enter"));
            child<QPushButton>(modal, "buttonSave")->click();
        });
        QCOMPARE(GetTextController::get(QStringLiteral("Field Name"), QStringLiteral("Default"),
                                        QStringLiteral("Enter")),
                 std::optional<QString>(QString()));

        whenModal([](QWidget *modal) { child<QPushButton>(modal, "buttonCancel")->click(); });
        QVERIFY(!GetTextController::get(QStringLiteral("Name"), QStringLiteral("Default"),
                                        QStringLiteral("Save"))
                     .has_value());

        GetTextController bare;
        bare.load();
        QCOMPARE(bare.windowTitle(), QStringLiteral("Enter Text"));
        QCOMPARE(child<QPushButton>(&bare, "buttonSave")->text(), QStringLiteral("Save"));
    }

    void alertsHaveTheSingleButtonOk()
    {
        GuiUserInterface ui;
        QString shown;
        whenModal([&shown](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box);
            shown = box->text() + QLatin1Char('|') + box->informativeText();
            QCOMPARE(box->buttons().size(), 1);
            QCOMPARE(box->buttons().first()->text(), QStringLiteral("OK"));
            box->buttons().first()->click();
        });
        ui.alert(QStringLiteral("Nothing to preview."),
                 QStringLiteral("Choose some images to ingest."), AlertStyle::Warning);
        QCOMPARE(shown, QStringLiteral("Nothing to preview.|Choose some images to ingest."));

        whenModal([](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            box->buttons().at(1)->click();
        });
        QCOMPARE(ui.confirm(QStringLiteral("Delete?"), QString(),
                            {QStringLiteral("Delete"), QStringLiteral("Cancel")}),
                 1);
    }

    void helpOpensItsOwnPagesAndHandsOthersToTheBrowser()
    {
        QList<QUrl> external;
        HelpController::setExternalOpener([&external](const QUrl &url) { external << url; });
        HelpController::show();
        HelpController *help = HelpController::shared();
        QVERIFY(help->isVisible());
        QCOMPARE(help->currentUrl(), HelpLinks::indexPage());
        QVERIFY(help->navigate(QUrl(QStringLiteral("about:blank"))));
        QVERIFY(help->navigate(QUrl(QStringLiteral("qrc:/help/browser.html"))));
        QVERIFY(!help->navigate(QUrl(QStringLiteral("https://example.org/"))));
        QVERIFY(!help->navigate(QUrl(QStringLiteral("qrc:/help/../badges/x.png"))));
        QCOMPARE(external.size(), 2);
        // One window per process; closing only hides it.
        help->close();
        HelpController::show();
        QCOMPARE(HelpController::shared(), help);
        HelpController::reset();
        HelpController::setExternalOpener({});
    }

    // As root with the sandbox on, or without its helper program, the web engine would end the
    // whole program: help then goes to the user's browser, from a copy of the pages on disk.
    void helpGoesToTheBrowserWhenTheWebEngineCannotStart()
    {
        using WebEngineStartup::Decision;
        using WebEngineStartup::Facts;
        QCOMPARE(WebEngineStartup::decide(Facts{true, false, true}), Decision::SandboxOffForRoot);
        QCOMPARE(WebEngineStartup::decide(Facts{true, true, true}), Decision::Unchanged);
        QCOMPARE(WebEngineStartup::decide(Facts{false, false, true}), Decision::Unchanged);
        QVERIFY(WebEngineStartup::unusableReason(Facts{true, true, true}).isEmpty());
        QVERIFY(WebEngineStartup::unusableReason(Facts{false, false, false})
                    .contains(QStringLiteral("QtWebEngineProcess")));

        Logger logger;
        StringLogPane pane;
        logger.setTextview(&pane);
        QList<QUrl> external;
        HelpController::setExternalOpener([&external](const QUrl &url) { external << url; });
        HelpController::reset();
        WebEngineStartup::setFactsForTests(Facts{true, false, true});
        HelpController::show();
        WebEngineStartup::setFactsForTests(std::nullopt);
        HelpController::setExternalOpener({});

        for (QWidget *window : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<HelpController *>(window));
        QCOMPARE(external.size(), 1);
        const QUrl index = external.first();
        QVERIFY(index.isLocalFile());
        for (const QString &page : QDir(QStringLiteral(":/help")).entryList(QDir::Files)) {
            QFile shipped(QStringLiteral(":/help/") + page);
            QFile copy(QFileInfo(index.toLocalFile()).dir().filePath(page));
            QVERIFY(shipped.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
            QCOMPARE(copy.readAll(), shipped.readAll());
        }
        QCOMPARE(pane.text(), QStringLiteral("\nHelp opens in your web browser, because the web "
                                             "engine does not run as root with its sandbox on: ") +
                                  index.toLocalFile() + QStringLiteral("\n"));
    }

    // The program itself, started as root without any sandbox setting, survives its help
    // window (shown at the first launch) and keeps running.
    void startedAsRootTheProgramKeepsRunningWithHelp()
    {
        if (geteuid() != 0)
            QSKIP("needs to run as root");
        const QString program =
            QCoreApplication::applicationDirPath() + QStringLiteral("/brindlewick");
        if (!QFileInfo(program).isExecutable())
            QSKIP("the program is not built");
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"));
        env.remove(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            env.insert(QString::fromLatin1(name), home.path());
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(program, {});
        QVERIFY(process.waitForStarted());
        // The first launch shows help, then waits in the chooser: it must still be there.
        QVERIFY(!process.waitForFinished(8000));
        QCOMPARE(process.state(), QProcess::Running);
        process.kill();
        process.waitForFinished();
        QVERIFY(process.readAllStandardError().contains("runs as root"));
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<UtilityWindowsTest>(argc, argv, prepareWebViews);
}

#include "UtilityWindowsTest.moc"
