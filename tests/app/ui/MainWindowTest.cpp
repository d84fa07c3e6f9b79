// The main window from a fresh start: choosing a card, ticks, captions, presets, ingestion and the
// browsers' pictures; and the small windows it raises: progress, waits, the text prompt, alerts
// and help (in its own window or the web browser).
#include "app/ui/MainWindow.h"
#include "app/BrowserGeometry.h"
#include "app/HelpLinks.h"
#include "app/ui/GetTextController.h"
#include "app/ui/GuiUserInterface.h"
#include "app/ui/HelpController.h"
#include "app/ui/ImageBrowserView.h"
#include "app/ui/ProgressController.h"
#include "app/ui/QuorvaneAppDelegate.h"
#include "items/ThumbListModel.h"
#include "log/ConsoleLog.h"
#include "log/IngestionLogController.h"
#include "platform/Defaults.h"
#include "platform/NotificationCenter.h"
#include "platform/WebEngineStartup.h"
#include "presets/SetupController.h"
#include "sources/ui/ChooseInputWindow.h"
#include "support/GrabSupport.h"
#include "support/ProgramFixture.h"
#include "support/WindowDriving.h"
#include "support/WindowTestSupport.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QTableWidget>
#include <QTextBrowser>
#include <QThread>
#include <QtTest>

#include <exiv2/exiv2.hpp>

#include <unistd.h>

namespace {

// Six JPEGs over three days, two a day, plus a text file of the last day.
QString makeCard(const QString &name)
{
    const QString folder =
        makeTimedCard(name,
                      {"2024:05:10 10:00:00", "2024:05:10 10:01:00", "2024:05:11 10:00:00",
                       "2024:05:11 10:01:00", "2024:05:12 10:00:00", "2024:05:12 10:01:00"},
                      QSize(300, 200));
    QFile notes(folder + QStringLiteral("/notes.txt"));
    if (writeTestFile(notes.fileName(), "notes") && notes.open(QIODevice::ReadWrite))
        notes.setFileTime(QDateTime(QDate(2024, 5, 12), QTime(10, 0)),
                          QFileDevice::FileModificationTime);
    return folder;
}

// `count` JPEGs of one day. With `redPreview` each carries a red embedded preview of 640 by 320,
// so a test can tell which picture the browser used (none of the pictures is red).
QString makeOneDayCard(const QString &name, int count, QSize size, bool redPreview)
{
    QStringList times;
    for (int i = 0; i < count; ++i)
        times << QStringLiteral("2024:06:01 09:%1:00").arg(i, 2, 10, QLatin1Char('0'));
    const QString folder = makeTimedCard(name, times, size);
    if (!redPreview)
        return folder;
    QByteArray preview;
    QBuffer buffer(&preview);
    buffer.open(QIODevice::WriteOnly);
    QImage red(640, 320, QImage::Format_RGB32);
    red.fill(Qt::red);
    red.save(&buffer, "JPEG", 70);
    for (const QString &file : QDir(folder).entryList(QDir::Files)) {
        auto image =
            Exiv2::ImageFactory::open(QFile::encodeName(folder + u'/' + file).toStdString());
        image->readMetadata();
        Exiv2::ExifThumb thumb(image->exifData());
        thumb.setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(preview.constData()),
                               static_cast<long>(preview.size()));
        image->writeMetadata();
    }
    return folder;
}

QString status(MainWindow &window)
{
    return window.labelStatus->text();
}

// What the screen shows of a cell's tick badge: the number of green pixels (a ticked badge is a
// green plus, an unticked one a grey minus). Read from the window's backing store, so a cell
// that was not redrawn still shows its old badge.
int greenInTickBadge(MainWindow &window, ImageBrowserView *view, int row)
{
    const QRect cell = view->cellRect(row);
    const QRect badge = QRect(cell.x(), cell.y() - 3, 20, 20).intersected(view->viewport()->rect());
    const QPoint at = view->viewport()->mapTo(&window, badge.topLeft());
    const QImage shot =
        window.screen()
            ->grabWindow(window.winId(), at.x(), at.y(), badge.width(), badge.height())
            .toImage();
    int green = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            green += c.green() > 120 && c.green() > c.red() + 50 && c.green() > c.blue() + 50;
        }
    return green;
}

// Red, as the embedded previews of makeOneDayCard are.
bool isRed(const QColor &c)
{
    return c.red() > 200 && c.green() < 60 && c.blue() < 60;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    GuiUserInterface m_ui;

    // A started program whose chooser window opens at once and is answered through its folder
    // button: the folder panel gives `folder` (none: the panel is cancelled).
    struct ChooserProgram
    {
        MainWindow window;
        QuorvaneAppDelegate app{&window};
        int choices = 0;
        explicit ChooserProgram(const QString &folder)
        {
            ChooseInputWindow::setFolderPanel([folder](const QString &) -> std::optional<QString> {
                if (folder.isEmpty())
                    return std::nullopt;
                return folder;
            });
            whenModal([this](QWidget *modal) {
                QCOMPARE(modal->objectName(), QStringLiteral("ChooseInput"));
                ++choices;
                modal->findChild<QPushButton *>(QStringLiteral("buttonOther"))->click();
            });
            app.awakeFromNib();
            app.applicationDidFinishLaunching();
        }
        ThumbItemPtr item(int row) const { return app.model()->itemAt(row); }
        QPoint cellPoint(int row, QPointF offset) const
        {
            const QRect rect = window.imageBrowser->cellRect(row);
            return (rect.topLeft() + offset).toPoint();
        }
    };

private Q_SLOTS:
    void initTestCase()
    {
        UserInterface::setInstance(&m_ui);
        Defaults::set(QStringLiteral("UpdateCheckHost"), QString());
    }

    void cleanupTestCase() { UserInterface::setInstance(nullptr); }

    void startsOnAnEmptyHomeShowingHelpOnce()
    {
        QVERIFY(!Defaults::contains(QStringLiteral("WantEmbeddedGPS")));
        {
            ChooserProgram program{QString()};
            QVERIFY(QTest::qWaitForWindowExposed(&program.window));
            QCOMPARE(program.choices, 1);
            QVERIFY(Defaults::boolean(QStringLiteral("WantEmbeddedGPS")));
            QVERIFY(Defaults::boolean(QStringLiteral("HideInitialHelp")));
            QVERIFY(HelpController::shared()->isVisible());
            QCOMPARE(program.window.labelMessage->text(), QStringLiteral("Choose input"));
            QVERIFY(program.window.labelMessage->isVisible());
            QVERIFY(!program.window.textViewCaption->isVisible());
            QCOMPARE(status(program.window),
                     QStringLiteral("0 selected     0 checked     0 total"));
            QVERIFY(program.window.textViewLog->toPlainText().startsWith(
                QStringLiteral("Brindlewick Version ")));
            QVERIFY(QuorvaneAppDelegate::sharedInstance() == &program.app);
            QVERIFY(program.app.wasLaunched());
        }
        HelpController::reset();
        ChooserProgram again{QString()};
        QVERIFY(!HelpController::shared()->isVisible());
        HelpController::reset();
        const QStringList months = IngestionLogController::readLogFiles();
        QVERIFY(!months.isEmpty());
        QVERIFY(IngestionLogController::readMonth(months.last())
                    ->contains(QStringLiteral(": LAUNCHED Brindlewick Version ")));
    }

    void choosingTicksTheNewestDayAndTicksFollowTheSelection()
    {
        ChooserProgram program(makeCard(QStringLiteral("card-days")));
        MainWindow &w = program.window;
        QCOMPARE(program.app.items().size(), 7);
        QCOMPARE(Defaults::string(QStringLiteral("InputDirectory")),
                 QDir::homePath() + QStringLiteral("/card-days"));
        QCOMPARE(program.item(6)->title(), QStringLiteral("notes.txt"));

        // Cancel closes the chooser and leaves everything as it was.
        const QList<int> selected = w.imageBrowser->selectedRows();
        whenModal([](QWidget *modal) {
            modal->findChild<QPushButton *>(QStringLiteral("buttonCancel"))->click();
        });
        program.app.actionChoose();
        QCOMPARE(program.app.items().size(), 7);
        QCOMPARE(w.imageBrowser->selectedRows(), selected);
        // The newest day holds two images and the text file.
        QCOMPARE(w.imageBrowser->selectedRows().size(), 3);
        QCOMPARE(status(w), QStringLiteral("3 selected     3 checked     7 total"));
        QCOMPARE(w.tableDates->count(), 3);
        QCOMPARE(w.tableExtensions->count(), 2);
        for (int row : w.imageBrowser->selectedRows())
            QVERIFY(program.item(row)->modTime().startsWith(QStringLiteral("2024-05-12")));
        QVERIFY(w.textViewCaption->isVisible());
        QVERIFY(!w.labelMessage->isVisible());
        QCOMPARE(w.tableList->rowCount(), 7);

        // Pictures arrive from the workers and the window stays alive meanwhile.
        QTRY_VERIFY(program.app.model()
                        ->data(program.app.model()->index(0), ThumbListModel::ReadyRole)
                        .toBool());
        QTRY_VERIFY(program.app.model()->picturesPending() == 0);

        // Tick clicks follow the selection and skip excluded cells.
        program.app.actionCheckNone();
        QCOMPARE(status(w), QStringLiteral("3 selected     0 checked     7 total"));
        // A tick on one selected cell ticks the whole selection.
        QTest::mouseClick(w.imageBrowser->viewport(), Qt::LeftButton, {},
                          program.cellPoint(selected.first(), QPointF(8, 8)));
        for (int row : selected)
            QVERIFY(program.item(row)->checked);
        QCOMPARE(status(w), QStringLiteral("3 selected     3 checked     7 total"));
        QCOMPARE(w.imageBrowser->selectedRows(), selected);

        // Double-clicking another day adds it to the selection.
        w.tableDates->setCurrentRow(0);
        program.app.doubleclickDate();
        QCOMPARE(w.imageBrowser->selectedRows().size(), 5);
        program.app.actionCheckAll();
        QCOMPARE(status(w), QStringLiteral("5 selected     7 checked     7 total"));

        // How the window looks with a card chosen: ingested and excluded cells among them.
        program.item(2)->ingested = true;
        program.item(6)->excluded = true;
        w.imageBrowser->selectRows({4}, false);
        // The first drawing asks for the pictures; the second shows them.
        w.grab();
        QTRY_VERIFY(program.app.model()->picturesPending() == 0);
        QTRY_VERIFY(program.app.model()
                        ->data(program.app.model()->index(5), ThumbListModel::ReadyRole)
                        .toBool());
        QVERIFY(!grabWindow(&w, QStringLiteral("main-window")).isEmpty());
    }

    void captionsCombineAndCommitOnSelectionChange()
    {
        ChooserProgram program(makeCard(QStringLiteral("card-caption")));
        MainWindow &w = program.window;
        const QString caption = QStringLiteral("IPTC.Caption/Abstract");
        program.item(0)->metadataUser = QVariantMap{{caption, "a"}};
        program.item(1)->metadataUser = QVariantMap{{caption, "b"}};
        w.imageBrowser->selectRows({0, 1}, false);
        QCOMPARE(w.textViewCaption->text(), QStringLiteral("<mixed>"));
        QVERIFY(w.webView->toPlainText().isEmpty());

        // Ticking the caption box, then moving on, leaves both captions alone.
        w.checkboxCaption->setChecked(true);
        w.imageBrowser->selectRows({2}, false);
        QCOMPARE(program.item(0)->metadataUser->value(caption).toString(), QStringLiteral("a"));
        QCOMPARE(program.item(1)->metadataUser->value(caption).toString(), QStringLiteral("b"));
        // One image: the info pane shows it.
        QVERIFY(w.webView->toPlainText().contains(QStringLiteral("Filename: IMG_0003.JPG")));

        // Same caption on two: editing it reaches both when the selection changes.
        program.item(3)->metadataUser = QVariantMap{{caption, "a"}};
        program.item(4)->metadataUser = QVariantMap{{caption, "a"}};
        w.imageBrowser->selectRows({3, 4}, false);
        QCOMPARE(w.textViewCaption->text(), QStringLiteral("a"));
        w.activateWindow();
        w.textViewCaption->setFocus();
        QTRY_VERIFY(w.textViewCaption->hasFocus());
        w.textViewCaption->selectAll();
        QTest::keyClicks(w.textViewCaption, QStringLiteral("c"));
        w.imageBrowser->selectRows({5}, false);
        QCOMPARE(program.item(3)->metadataUser->value(caption).toString(), QStringLiteral("c"));
        QCOMPARE(program.item(4)->metadataUser->value(caption).toString(), QStringLiteral("c"));
        QVERIFY(!program.item(5)->metadataUser.has_value() ||
                !program.item(5)->metadataUser->contains(caption));
        QVERIFY(!w.checkboxCaption->isChecked());
    }

    void ingestingRunsAProgressSessionAndIgnoresClicks()
    {
        ChooserProgram program(makeCard(QStringLiteral("card-ingest")));
        MainWindow &w = program.window;
        const QList<int> before = w.imageBrowser->selectedRows();
        bool clickIgnored = false;
        QString finalAlert;
        program.app.setIngestRunner([&](const Setup &, const ThumbItemList &items) {
            int ticked = 0;
            for (const ThumbItemPtr &item : items)
                ticked += item->checked;
            ProgressOptions options;
            options.message = QStringLiteral("Ingesting %1 files.").arg(ticked);
            options.max = ticked;
            auto session = UserInterface::instance().beginProgress(options);
            auto *window = qobject_cast<ProgressController *>(QApplication::activeModalWidget());
            QVERIFY(window && window->isVisible());
            for (const ThumbItemPtr &item : items) {
                if (!item->checked || !session->runOnce())
                    continue;
                // A click on a tick badge in the middle of the run does nothing.
                QTest::mouseClick(w.imageBrowser->viewport(), Qt::LeftButton, {},
                                  program.cellPoint(0, QPointF(8, 8)));
                clickIgnored = !program.item(0)->checked;
                item->ingested = true;
                session->step();
            }
            QCOMPARE(window->value(), ticked);
            session->end();
            whenModal([&finalAlert](QWidget *modal) {
                auto *box = qobject_cast<QMessageBox *>(modal);
                finalAlert = box->text();
                box->buttons().first()->click();
            });
            UserInterface::instance().alert(QStringLiteral("Ingestion complete."), QString(),
                                            AlertStyle::Informational);
            NotificationCenter::defaultCenter().post(QStringLiteral("IngestionComplete"), nullptr);
        });
        QVERIFY(!QuorvaneAppDelegate::isIngesting());
        QTest::mouseClick(w.buttonIngest, Qt::LeftButton);
        QVERIFY(clickIgnored);
        QCOMPARE(finalAlert, QStringLiteral("Ingestion complete."));
        QVERIFY(!QuorvaneAppDelegate::isIngesting());
        QCOMPARE(w.imageBrowser->selectedRows(), before);
        // Clicks work again afterwards.
        QTest::mouseClick(w.imageBrowser->viewport(), Qt::LeftButton, {},
                          program.cellPoint(0, QPointF(8, 8)));
        QVERIFY(program.item(0)->checked);
    }

    void switchingPresetsFiltersClearsTheSelectionAndRewritesTheLog()
    {
        ChooserProgram program(makeCard(QStringLiteral("card-presets")));
        MainWindow &w = program.window;
        SetupController *presets = program.app.setupController();
        presets->currentSetup().setParam(QStringLiteral("Inclusions"),
                                         QStringLiteral(" JPG  nef "));
        QVERIFY(presets->newOrUpdatePreset(QStringLiteral("Photos only")));
        program.app.populatePresetsMenu();
        QVERIFY(w.popupPresets->findText(QStringLiteral("Photos only")) >= 0);
        w.imageBrowser->selectRows({0, 6}, false);
        w.textViewLog->appendPlainText(QStringLiteral("left over"));

        w.popupPresets->setCurrentIndex(w.popupPresets->findText(QStringLiteral("Photos only")));
        Q_EMIT w.popupPresets->activated(w.popupPresets->currentIndex());
        QCOMPARE(program.app.inclusions(),
                 QSet<QString>({QStringLiteral("jpg"), QStringLiteral("nef")}));
        QVERIFY(w.imageBrowser->selectedRows().isEmpty());
        QVERIFY(program.item(6)->excluded);
        QVERIFY(!program.item(6)->checked);
        QVERIFY(!program.item(0)->excluded);
        QVERIFY(w.textViewLog->toPlainText().startsWith(QStringLiteral("Brindlewick Version ")));
        QVERIFY(!w.textViewLog->toPlainText().contains(QStringLiteral("left over")));
        QCOMPARE(Defaults::string(QStringLiteral("Preset")), QStringLiteral("Photos only"));

        // Back to the defaults: nothing excluded, but nothing re-ticked either.
        w.popupPresets->setCurrentIndex(w.popupPresets->findText(QStringLiteral("Default")));
        Q_EMIT w.popupPresets->activated(w.popupPresets->currentIndex());
        QVERIFY(!program.item(6)->excluded);
        QVERIFY(!program.item(6)->checked);
    }

    void browserOpensAtTheFirstRowAndBothBrowsersShowTheTicks()
    {
        ChooserProgram program(
            makeOneDayCard(QStringLiteral("card-one-day"), 30, {300, 200}, false));
        MainWindow &w = program.window;
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.imageBrowser->selectedRows().size(), 30);
        QScrollBar *bar = w.imageBrowser->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), 0);
        QVERIFY(w.imageBrowser->cellRect(0).top() >= 0);

        // The "Show image" preview of one ticked image follows Check None and Check All.
        w.imageBrowser->selectRows({0}, false);
        w.checkboxImage->setChecked(true);
        QTRY_VERIFY(w.previewBrowser->isVisible());
        QTRY_VERIFY(greenInTickBadge(w, w.previewBrowser, 0) > 20);
        w.actionCheckNone->trigger();
        QVERIFY(!program.item(0)->checked);
        QTRY_COMPARE(greenInTickBadge(w, w.previewBrowser, 0), 0);
        QTRY_COMPARE(greenInTickBadge(w, w.imageBrowser, 0), 0);
        // A tick in the preview shows in the browser as well.
        const QRect previewCell = w.previewBrowser->cellRect(0);
        QTest::mouseClick(w.previewBrowser->viewport(), Qt::LeftButton, {},
                          previewCell.topLeft() + QPoint(8, 8));
        QVERIFY(program.item(0)->checked);
        QTRY_VERIFY(greenInTickBadge(w, w.imageBrowser, 0) > 20);
        QTRY_VERIFY(greenInTickBadge(w, w.previewBrowser, 0) > 20);
        QCOMPARE(status(w), QStringLiteral("1 selected     1 checked     30 total"));
    }

    void largestCellsShowPicturesAtFullSizeFromTheEmbeddedPreview()
    {
        ChooserProgram program(makeOneDayCard(QStringLiteral("card-sharp"), 4, {2000, 1000}, true));
        MainWindow &w = program.window;
        ThumbListModel *model = program.app.model();
        w.sliderZoom->setValue(w.sliderZoom->maximum());
        const QRect cell = w.imageBrowser->cellRect(0);
        QCOMPARE(cell.width(), BrowserGeometry::kLargestCellSide);
        // The picture is at least as large as where it is drawn: no enlarged blur.
        const QRectF frame = BrowserGeometry::imageFrame(QRectF(cell), QSizeF(2000, 1000));
        QTRY_VERIFY(model->picture(0).width() >= frame.width());
        QVERIFY(model->picture(0).height() >= frame.height() - 1);
        const QImage sharp = model->picture(0);
        QVERIFY(isRed(sharp.pixelColor(sharp.width() / 2, sharp.height() / 2)));

        // Zoomed right out, pictures are made again small: a large card stays light.
        w.sliderZoom->setValue(w.sliderZoom->minimum());
        QTRY_VERIFY(model->picture(0).width() < sharp.width() / 2);
        QVERIFY(isRed(model->picture(0).pixelColor(10, 10)));
    }

    void helpPagesNameMenusThatExist()
    {
        MainWindow window;
        QHash<QString, QStringList> menus; // menu title -> its items
        for (QAction *action : window.menuBar()->actions()) {
            QStringList items;
            if (QMenu *menu = action->menu())
                for (QAction *item : menu->actions())
                    items << item->text().remove(u'&').remove(QStringLiteral("..."));
            menus.insert(action->text().remove(u'&'), items);
        }
        static const QRegularExpression mention(
            QStringLiteral("(?:([A-Z][A-Za-z ]*?) on the )?\\b(\\w+) menu\\b"));
        int mentions = 0;
        const QDir help(QStringLiteral(":/help"));
        for (const QString &page : help.entryList(QDir::Files)) {
            QFile file(help.filePath(page));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll())
                                     .remove(QRegularExpression(QStringLiteral("<[^>]*>")))
                                     .simplified();
            for (auto it = mention.globalMatch(text); it.hasNext();) {
                const QRegularExpressionMatch match = it.next();
                ++mentions;
                const QString menu = match.captured(2);
                QVERIFY2(menus.contains(menu), qPrintable(page + QStringLiteral(": ") + menu));
                if (const QString item = match.captured(1); !item.isEmpty())
                    QVERIFY2(menus.value(menu).contains(item),
                             qPrintable(page + QStringLiteral(": ") + item));
            }
        }
        QVERIFY(mentions >= 3);
    }

    void choosingIsRefusedWhileCameraPicturesArrive()
    {
        ChooserProgram program{QString()};
        program.app.model()->setItems({ThumbItem::initWithImage(QImage())});
        program.app.actionChoose();
        QCOMPARE(program.choices, 1);
        QVERIFY(program.window.labelWaitForThumbs->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!program.window.labelWaitForThumbs->isVisible(), 5000);
    }

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

    // A wait ends by call or by its time-out, which is at least five units and arrives on the
    // main thread.
    void waitsEndByCallOrByATimeOutOnTheMainThread()
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
    return runWindowTests<MainWindowTest>(argc, argv, prepareWebViews);
}

#include "MainWindowTest.moc"
