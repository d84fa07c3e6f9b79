#include "app/HelpLinks.h"
#include "app/ui/GetTextController.h"
#include "app/ui/GuiUserInterface.h"
#include "app/ui/HelpController.h"
#include "app/ui/ProgressController.h"
#include "support/WindowTestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {} // namespace

class UtilityWindowsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void progressSessionStepsAndStops()
    {
        ProgressController window;
        window.message = QStringLiteral("Ingesting 3 files.");
        window.max = 3;
        window.beginModalSession();
        QVERIFY(window.isVisible());
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("labelMessage"))->text(),
                 QStringLiteral("Ingesting 3 files."));
        auto *stop = window.findChild<QPushButton *>(QStringLiteral("buttonStop"));
        QVERIFY(stop->isVisible());
        QVERIFY(window.runOnce());
        window.step();
        window.step();
        QCOMPARE(window.value(), 2);
        QTest::mouseClick(stop, Qt::LeftButton);
        QVERIFY(!window.runOnce());
        window.endModalSession();
        QVERIFY(!window.isVisible());
    }

    void indeterminateWindowIsNinetyHighWithoutBar()
    {
        ProgressController window;
        window.message = QStringLiteral("Reading metadata...");
        window.indeterminant = true;
        window.hideStop = true;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.height(), 90);
        QVERIFY(!window.findChild<QProgressBar *>()->isVisible());
        QVERIFY(!window.findChild<QPushButton *>(QStringLiteral("buttonStop"))->isVisible());
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
            auto *field = modal->findChild<QLineEdit *>(QStringLiteral("textField"));
            QCOMPARE(field->text(), QStringLiteral("Default"));
            field->clear();
            QCOMPARE(modal->findChild<QPushButton *>(QStringLiteral("buttonSave"))->text(),
                     QStringLiteral("Enter"));
            modal->findChild<QPushButton *>(QStringLiteral("buttonSave"))->click();
        });
        const std::optional<QString> empty = GetTextController::get(
            QStringLiteral("Field Name"), QStringLiteral("Default"), QStringLiteral("Enter"));
        QVERIFY(empty.has_value());
        QCOMPARE(*empty, QString());

        whenModal([](QWidget *modal) {
            modal->findChild<QPushButton *>(QStringLiteral("buttonCancel"))->click();
        });
        QVERIFY(!GetTextController::get(QStringLiteral("Name"), QStringLiteral("Default"),
                                        QStringLiteral("Save"))
                     .has_value());

        GetTextController bare;
        bare.load();
        QCOMPARE(bare.windowTitle(), QStringLiteral("Enter Text"));
        QCOMPARE(bare.findChild<QPushButton *>(QStringLiteral("buttonSave"))->text(),
                 QStringLiteral("Save"));
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
};

int main(int argc, char **argv)
{
    // Keep the windows away from the real user's settings.
    QTemporaryDir home;
    pointHomeAt(home);
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    UtilityWindowsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "UtilityWindowsTest.moc"
