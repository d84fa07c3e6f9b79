// Every control of the main window does what it says: a walk over all its actions and buttons
// (whoever added them) that fails on one connected to nothing or raising an alert nobody
// expects, with images chosen and without; the image browser's gestures; and the metadata
// editing: the field table over the selected images, what an edit reaches (and what it never
// reaches), what an ingestion then writes, and the preset pop-up over the presets folder,
// damaged presets included.
#include "app/ui/HelpController.h"
#include "app/ui/ImageBrowserView.h"
#include "geo/ui/TimeAdjustWindow.h"
#include "macro/ui/MacroViewWindow.h"
#include "platform/NotificationCenter.h"
#include "platform/RecordingUserInterface.h"
#include "platform/SystemLog.h"
#include "presets/SetupController.h"
#include "support/GrabSupport.h"
#include "support/MetadataTableDriving.h"
#include "support/ProgramFixture.h"
#include "support/RunFixtures.h"
#include "support/WindowTestSupport.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QStandardItemModel>
#include <QtTest>

namespace {

// Counts the receivers of a signal from outside the object: QObject::receivers is protected,
// and a pointer to it taken through a class of ours may be applied to any QObject.
class SignalProbe : public QObject
{
public:
    static int receiversOf(const QObject *object, const char *signal)
    {
        int (QObject::*count)(const char *) const = &SignalProbe::receivers;
        return (object->*count)(signal);
    }
    static bool connected(const QObject *object, const char *signal)
    {
        return receiversOf(object, signal) > 0;
    }
    // Every menu (and menu bar) showing an action listens to its triggered signal itself; only
    // a receiver beyond those does what the action says.
    static bool actionConnected(const QAction *action)
    {
        int shownIn = 0;
        for (const QObject *owner : action->associatedObjects())
            if (qobject_cast<const QMenu *>(owner) || qobject_cast<const QMenuBar *>(owner))
                ++shownIn;
        return receiversOf(action, SIGNAL(triggered(bool))) > shownIn ||
               receiversOf(action, SIGNAL(toggled(bool))) > 0;
    }
};

// Qt's own helpers inside widgets (line-edit clear buttons, menu-bar extension buttons) are
// not controls of ours.
bool isQtInternal(const QObject *object)
{
    const QString name = object->objectName();
    return name.startsWith(QLatin1String("qt_")) || name.startsWith(QLatin1String("_q_")) ||
           name.startsWith(QLatin1String("ScrollLeftButton")) ||
           name.startsWith(QLatin1String("ScrollRightButton"));
}

QString describe(const QObject *object)
{
    QString text;
    if (const auto *action = qobject_cast<const QAction *>(object))
        text = action->text();
    else if (const auto *button = qobject_cast<const QAbstractButton *>(object))
        text = button->text();
    return QStringLiteral("%1 \"%2\"").arg(object->objectName(), text);
}

QList<QPointer<QAction>> actionsOf(QWidget *window)
{
    QList<QPointer<QAction>> found;
    for (QAction *action : window->findChildren<QAction *>()) {
        if (action->isSeparator() || action->menu() || isQtInternal(action))
            continue;
        found << action;
    }
    return found;
}

// Held weakly: a control may rebuild others (the metadata table makes its row buttons anew).
QList<QPointer<QAbstractButton>> buttonsOf(QWidget *window)
{
    QList<QPointer<QAbstractButton>> found;
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>())
        if (!isQtInternal(button) && !qobject_cast<QMenuBar *>(button->parentWidget()))
            found << button;
    return found;
}

// Closes every modal window as soon as it is up (as Cancel or Escape would) and remembers its
// name; a control that opens one is not dead.
class ModalCloser : public QObject
{
public:
    QStringList seen;
    ModalCloser()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible())
                return;
            seen << modal->objectName();
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                modal->close();
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

// The test buses are dead, so the Card menu's note on the missing disk service is up and
// explains itself when chosen.
QStringList noDiskServiceAlert()
{
    return {QStringLiteral("Cards can't be noticed.: The system's disk service (UDisks2) is not "
                           "running, so cards put in are not offered and can't be ejected here. "
                           "On Debian it is the package udisks2.")};
}

const QString kCity = QStringLiteral("IPTC.City");
const QString kCaption = QStringLiteral("IPTC.Caption/Abstract");

// `count` JPEGs of one day.
QString makeCard(const QString &name, int count)
{
    QStringList times;
    for (int n = 0; n < count; ++n)
        times << QStringLiteral("2024:05:12 10:%1:00").arg(n, 2, 10, QLatin1Char('0'));
    return makeTimedCard(name, times, QSize(240, 160));
}

QString userValue(const Program &program, int row, const QString &tag)
{
    const ThumbItemPtr item = program.item(row);
    return item->metadataUser ? item->metadataUser->value(tag).toString() : QString();
}

bool hasUserValue(const Program &program, int row, const QString &tag)
{
    const ThumbItemPtr item = program.item(row);
    return item->metadataUser && item->metadataUser->contains(tag);
}

// Types into the window's caption view as a person does.
void typeCaption(MainWindow &window, const QString &text)
{
    window.activateWindow();
    window.textViewCaption->setFocus();
    QTRY_VERIFY(window.textViewCaption->hasFocus());
    QTest::keyClicks(window.textViewCaption, text);
}

} // namespace

class MainWindowControlsTest : public QObject
{
    Q_OBJECT

private:
    RecordingUserInterface m_ui;
    QString m_out;

    // The preset the program starts with: its own root, the original names, and `extra`.
    void usePreset(const QString &name, QVariantMap extra)
    {
        extra.insert({{"PrimaryRootFolder", m_out},
                      {"FolderArrangement", ""},
                      {"FilenameArrangement", "{@FileNameOriginal}"},
                      {"PostApp", ""}});
        QVERIFY(writePreset(name, extra, {}));
        Defaults::set(QStringLiteral("Preset"), name);
    }

    // Triggers every visible, enabled action and clicks every visible, enabled button of the
    // program's window; alerts must be the ones `expected` lists for that control's name.
    void walkControls(Program &program, const QHash<QString, QStringList> &expected,
                      const QString &state)
    {
        MainWindow &w = program.window;
        int ingestRuns = 0;
        program.app.setIngestRunner([&ingestRuns](const Setup &, const ThumbItemList &) {
            ++ingestRuns;
            NotificationCenter::defaultCenter().post(QStringLiteral("IngestionComplete"));
        });
        // The desktop integration has looked for the disk service, so its menu is complete.
        QTRY_VERIFY(program.desktop->actionNoDiskService->isVisible());
        const QList<QPointer<QAction>> actions = actionsOf(&w);
        const QList<QPointer<QAbstractButton>> buttons = buttonsOf(&w);
        QVERIFY(actions.size() >= 18);

        QStringList dead;
        for (QAction *action : actions)
            if (!SignalProbe::actionConnected(action))
                dead << describe(action);
        for (QAbstractButton *button : buttons)
            if (!SignalProbe::connected(button, SIGNAL(clicked(bool))) &&
                !SignalProbe::connected(button, SIGNAL(toggled(bool))) &&
                !SignalProbe::connected(button, SIGNAL(pressed())) &&
                !SignalProbe::connected(button, SIGNAL(released())))
                dead << describe(button);
        QVERIFY2(dead.isEmpty(), qPrintable(state + QStringLiteral(": connected to nothing: ") +
                                            dead.join(QStringLiteral(", "))));

        // Two visible actions on one shortcut: neither fires.
        QHash<QKeySequence, QString> shortcuts;
        for (QAction *action : actions) {
            if (!action->isVisible() || action->shortcut().isEmpty())
                continue;
            QVERIFY2(!shortcuts.contains(action->shortcut()),
                     qPrintable(describe(action) + QStringLiteral(" shares its shortcut with ") +
                                shortcuts.value(action->shortcut())));
            shortcuts.insert(action->shortcut(), describe(action));
        }

        ModalCloser closer;
        QStringList surprises;
        const auto check = [&](QObject *control, const std::function<void()> &fire) {
            m_ui.clear();
            fire();
            QTest::qWait(150); // the browser's delayed notifications and any closing window
            const QStringList alerts = m_ui.alertTexts();
            if (alerts != expected.value(control->objectName()))
                surprises << describe(control) + QStringLiteral(" -> ") +
                                 alerts.join(QStringLiteral(" | "));
            // Windows that stay open beside the main window are closed again.
            for (QWidget *top : QApplication::topLevelWidgets())
                if (top != &w && top->isVisible() && !qobject_cast<QMenu *>(top))
                    top->close();
        };
        for (QAction *action : actions) {
            // Quit ends the event loops: it has a test of its own, the last one.
            if (!action || !action->isVisible() || !action->isEnabled() || action == w.actionQuit)
                continue;
            check(action, [action] { action->trigger(); });
        }
        for (const QPointer<QAbstractButton> &held : buttons) {
            QAbstractButton *button = held.data();
            if (!button || !button->isVisibleTo(&w) || !button->isEnabled())
                continue;
            check(button, [button] {
                button->click();
                // A box goes back to how it was.
                if (button->isCheckable())
                    button->click();
            });
        }
        QVERIFY2(surprises.isEmpty(), qPrintable(state + QStringLiteral(": unexpected alerts: ") +
                                                 surprises.join(QStringLiteral("; "))));
        QVERIFY(ingestRuns >= 2); // the menu item and the button
        QVERIFY(!QuorvaneAppDelegate::isIngesting());
    }

private Q_SLOTS:
    void initTestCase()
    {
        UserInterface::setInstance(&m_ui);
        SystemLog::setEchoToStderr(false);
        HelpController::setExternalOpener([](const QUrl &) {});
        m_out = QDir::homePath() + QStringLiteral("/Out");
    }
    void cleanupTestCase()
    {
        HelpController::reset();
        UserInterface::setInstance(nullptr);
    }
    void init() { m_ui.clear(); }

    void everyControlWithoutImages()
    {
        Program program;
        QVERIFY(program.app.items().isEmpty());
        const QStringList noImages{
            QStringLiteral("No images chosen.: Click Choose button to choose images.")};
        const QStringList nothingTicked{
            QStringLiteral("Nothing to preview.: Choose some images to ingest.")};
        const QStringList noSelection{QStringLiteral(
            "Select one or more images.: The time zone is set for the selected images.")};
        walkControls(program,
                     {{QStringLiteral("actionPreview"), nothingTicked},
                      {QStringLiteral("buttonPreview"), nothingTicked},
                      {QStringLiteral("actionMacroView"),
                       {QStringLiteral("No image to view.: Select an image.")}},
                      {QStringLiteral("actionImageViewer"), noImages},
                      {QStringLiteral("actionTimeAdj"), noImages},
                      {QStringLiteral("buttonTimeAdj"), noImages},
                      {QStringLiteral("actionTimeZone"), noSelection},
                      {QStringLiteral("actionManuallyGeotag"),
                       {QStringLiteral("Select one or more images.: ")}},
                      {QStringLiteral("buttonTimeZone"), noSelection},
                      {QStringLiteral("actionNoDiskService"), noDiskServiceAlert()}},
                     QStringLiteral("without images"));
    }

    void everyControlWithImagesChosen()
    {
        Program program(
            makeTimedCard(QStringLiteral("walk-card"),
                          {"2024:05:11 09:00:00", "2024:05:12 09:00:00", "2024:05:12 10:00:00"}));
        QCOMPARE(program.app.items().size(), 3);
        program.window.imageBrowser->selectRows({1}, false);
        walkControls(program, {{QStringLiteral("actionNoDiskService"), noDiskServiceAlert()}},
                     QStringLiteral("with images"));
    }

    void browserGesturesAndTheImagePane()
    {
        Program program(
            makeTimedCard(QStringLiteral("gesture-card"),
                          {"2024:05:12 09:00:00", "2024:05:12 09:30:00", "2024:05:12 10:00:00"},
                          QSize(1600, 1200)));
        MainWindow &w = program.window;
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE(program.app.model()->picturesPending(), 0);
        w.imageBrowser->grab();
        QTRY_VERIFY(program.app.model()
                        ->data(program.app.model()->index(2), ThumbListModel::ReadyRole)
                        .toBool());

        // The info badge opens the macro view of that image.
        const QRect cell = w.imageBrowser->cellRect(1);
        QTest::mouseClick(w.imageBrowser->viewport(), Qt::LeftButton, {},
                          (cell.bottomLeft() + QPointF(8, -30)).toPoint());
        QTRY_VERIFY(program.app.macroViewWindow() && program.app.macroViewWindow()->isVisible());
        MacroViewWindow *macroView = program.app.macroViewWindow();
        QCOMPARE(macroView->controller().thumbitem(), program.item(1));
        QCOMPARE(macroView->windowTitle(), QStringLiteral("IMG_0002.JPG"));
        macroView->close();

        // A double click on a picture opens the viewer at that image.
        QString shownTitle;
        whenModal([&shownTitle](QWidget *modal) {
            auto *viewer = qobject_cast<TimeAdjustWindow *>(modal);
            QVERIFY(viewer);
            shownTitle = viewer->findChild<QLabel *>(QStringLiteral("labelTitle"))->text();
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        QTest::mouseDClick(w.imageBrowser->viewport(), Qt::LeftButton, {},
                           w.imageBrowser->cellRect(0).center());
        QTRY_COMPARE(shownTitle, QStringLiteral("IMG_0001.JPG"));

        // Zoom in the menu moves the slider and the cells.
        const int before = w.sliderZoom->value();
        w.actionZoomIn->trigger();
        QCOMPARE(w.sliderZoom->value(), before + 10);
        QCOMPARE(w.imageBrowser->zoomValue(), (before + 10) / 100.0);
        w.actionZoomOut->trigger();
        QCOMPARE(w.sliderZoom->value(), before);

        // The "Show image" pane makes its picture for its own size from the file.
        w.checkboxImage->setChecked(true);
        w.imageBrowser->selectRows({1}, false);
        QVERIFY(w.previewBrowser->isVisible());
        ThumbListModel *pane = w.previewBrowser->thumbModel();
        const QSize viewport = w.previewBrowser->viewport()->size();
        // Told the side of the whole pane (less the cell's insets), not a browser cell's.
        QTRY_VERIFY(pane->pictureSide() >= qMax(viewport.width(), viewport.height()) - 64);
        w.previewBrowser->grab();
        QTRY_VERIFY(!pane->picture(0).isNull());
        const QImage browserPicture = program.app.model()->picture(1);
        QVERIFY(pane->picture(0).width() >= pane->pictureSide());
        QVERIFY(pane->picture(0).width() > browserPicture.width());
        grabWindow(&w, QStringLiteral("main-window-controls"));
    }

    void tableEditsReachTheSelectedImagesAndTheirXmp()
    {
        usePreset(QStringLiteral("Trip"),
                  {{"Metadata", QVariantMap{{kCity, "Bergen"}, {"IPTC.Headline", "Fjords"}}}});
        Program program(makeCard(QStringLiteral("cardA"), 4));
        ExifTableView &table = *program.window.tableMetadata;
        ExifTableModel *model = table.exifModel();
        QCOMPARE(program.app.items().size(), 4);
        QCOMPARE(program.window.imageBrowser->selectedRows().size(), 4);
        QAbstractItemModelTester tester(model);
        program.item(0)->metadataUser = QVariantMap{{kCity, "Oslo"}};
        program.item(1)->metadataUser = QVariantMap{{kCity, "Tromsø"}};

        // Two images that differ: the row says so; the preset's values show. The caption has a
        // view of its own.
        program.window.imageBrowser->selectRows({0, 1}, false);
        QCOMPARE(tableValue(table, kCity), QStringLiteral("<mixed>"));
        QCOMPARE(tableValue(table, "IPTC.Headline"), QStringLiteral("Fjords"));
        QVERIFY(tableRowOf(table, kCaption) < 0);
        QVERIFY(QFileInfo(grabWindow(&program.window, QStringLiteral("main-window-metadata")))
                    .exists());

        // One committed edit: the tick goes on, and both images get the value on the next
        // selection change; the others keep theirs.
        typeInTableCell(table, kCity, QStringLiteral("Narvik"));
        QCOMPARE(tableValue(table, kCity), QStringLiteral("Narvik"));
        QCOMPARE(model->index(tableRowOf(table, kCity), ExifTableModel::ColumnChange)
                     .data(Qt::CheckStateRole),
                 QVariant(Qt::Checked));
        QVERIFY(program.app.isDirty());
        program.window.imageBrowser->selectRows({2}, false);
        QCOMPARE(userValue(program, 0, kCity), QStringLiteral("Narvik"));
        QCOMPARE(userValue(program, 1, kCity), QStringLiteral("Narvik"));
        QVERIFY(!hasUserValue(program, 2, kCity));
        QVERIFY(!hasUserValue(program, 3, kCity));
        QVERIFY(!model->dirty());

        // "No value for these images" from the row's menu: shown as such, kept as such.
        program.window.imageBrowser->selectRows({3}, false);
        QMenu *menu = table.makeContextMenu(tableRowOf(table, kCity));
        menu->findChild<QAction *>(QStringLiteral("actionNoValue"))->trigger();
        delete menu;
        QCOMPARE(tableValue(table, kCity), QStringLiteral("(no value)"));
        program.window.imageBrowser->selectRows({0}, false);
        QCOMPARE(userValue(program, 3, kCity), QStringLiteral("<none>"));

        // Ingest: the XMP of each image carries what was decided for it.
        program.app.actionIngest();
        QTRY_VERIFY(!QuorvaneAppDelegate::isIngesting());
        const auto xmp = [this](int n) {
            return readTestFile(m_out + QStringLiteral("/IMG_000%1.JPG").arg(n));
        };
        QVERIFY2(!xmp(1).isEmpty() && !xmp(4).isEmpty(), qPrintable(m_ui.alertTexts().join('|')));
        QVERIFY(xmp(1).contains("<photoshop:City>Narvik</photoshop:City>"));
        QVERIFY(xmp(2).contains("<photoshop:City>Narvik</photoshop:City>"));
        QVERIFY(xmp(3).contains("<photoshop:City>Bergen</photoshop:City>"));
        QVERIFY(!xmp(4).contains("Bergen") && !xmp(4).contains("Narvik"));
        QVERIFY(xmp(4).contains("<photoshop:Headline>Fjords</photoshop:Headline>"));
    }

    void pendingEditsStayWithTheImagesTheyWereMadeFor()
    {
        usePreset(QStringLiteral("Trip"), {{"Metadata", QVariantMap{{kCity, ""}}}});
        Program program(makeCard(QStringLiteral("cardC"), 2));
        const ThumbItemPtr first = program.item(0);
        program.window.imageBrowser->selectRows({0}, false);

        // A caption typed and a cell still being edited when another card is chosen.
        typeCaption(program.window, QStringLiteral("Only for C1"));
        typeInTableCell(*program.window.tableMetadata, kCity, QStringLiteral("Paris"), false);
        program.folder = makeCard(QStringLiteral("cardD"), 3);
        program.app.actionChoose();

        QCOMPARE(program.app.items().size(), 3);
        for (int row = 0; row < 3; ++row) {
            QVERIFY2(!hasUserValue(program, row, kCaption), qPrintable(QString::number(row)));
            QVERIFY(!hasUserValue(program, row, kCity));
        }
        QCOMPARE(first->metadataUser->value(kCaption).toString(), QStringLiteral("Only for C1"));
        QCOMPARE(first->metadataUser->value(kCity).toString(), QStringLiteral("Paris"));
        QVERIFY(!program.app.isDirty());
    }

    // The remembered preset is damaged: said once, shown as damaged, never selected or run,
    // and its file left alone. Presets changed by another program are followed.
    void presetPopupFollowsThePresetsFolderAndNeverRunsADamagedPreset()
    {
        const QString folder = AppPaths::supportFolder();
        usePreset(QStringLiteral("Trip"), {{"Inclusions", "JPG"}});
        const QString damaged = folder + QStringLiteral("/Broken.plist");
        const QByteArray damagedBytes = "<?xml version=\"1.0\"?><plist><dict><key>PrimaryRoot";
        QVERIFY(writeTestFile(damaged, damagedBytes));
        Defaults::set(QStringLiteral("Preset"), QStringLiteral("Broken"));
        Program program(makeCard(QStringLiteral("cardF"), 1));
        MainWindow &w = program.window;
        QComboBox *popup = w.popupPresets;
        const QString said =
            QStringLiteral("The preset \"Broken\" can't be used: its file \"%1\" is damaged")
                .arg(damaged);
        QCOMPARE(m_ui.alerts.size(), 1);
        QCOMPARE(m_ui.alerts[0].title, QStringLiteral("Can't use preset."));
        QVERIFY(m_ui.alerts[0].message.startsWith(said));
        QVERIFY(w.textViewLog->toPlainText().contains(QStringLiteral("ERROR: ") + said));
        QCOMPARE(popup->currentText(), QStringLiteral("Default"));
        QCOMPARE(program.app.setupController()->currentSetupName(), QStringLiteral("Default"));
        const int row = popup->findText(QStringLiteral("Broken (damaged)"));
        QVERIFY(row >= 0);
        QCOMPARE(popup->findText(QStringLiteral("Broken")), -1);
        QVERIFY(!qobject_cast<QStandardItemModel *>(popup->model())->item(row)->isEnabled());

        // Should the entry be activated anyway, nothing is used and the user is told.
        m_ui.clear();
        popup->setCurrentIndex(row);
        Q_EMIT popup->activated(row);
        QCOMPARE(m_ui.alerts.size(), 1);
        QCOMPARE(m_ui.alerts[0].title, QStringLiteral("Can't use preset."));
        QCOMPARE(popup->currentText(), QStringLiteral("Default"));
        QCOMPARE(Defaults::string(QStringLiteral("Preset")), QStringLiteral("Broken"));
        QCOMPARE(readTestFile(damaged), damagedBytes);
        popup->showPopup();
        QTRY_VERIFY(popup->view()->isVisible());
        grabWindow(popup->view()->window(), QStringLiteral("main-window-preset-popup"));
        popup->hidePopup();

        // Another program adds a preset, then changes and removes the current one.
        QVERIFY(writePreset(QStringLiteral("Night"), {{"PrimaryRootFolder", "/night"}}, {}));
        QTRY_VERIFY(popup->findText(QStringLiteral("Night")) >= 0);
        popup->setCurrentIndex(popup->findText(QStringLiteral("Trip")));
        Q_EMIT popup->activated(popup->currentIndex());
        QCOMPARE(program.app.inclusions(), QSet<QString>{QStringLiteral("jpg")});
        usePreset(QStringLiteral("Trip"), {{"Inclusions", "NEF"}});
        QTRY_COMPARE(program.app.inclusions(), QSet<QString>{QStringLiteral("nef")});
        QVERIFY(w.textViewLog->toPlainText().contains(
            QStringLiteral("Preset \"Trip\" was changed by another program")));
        QVERIFY(QFile::remove(folder + QStringLiteral("/Trip.plist")));
        QTRY_COMPARE(program.app.setupController()->currentSetupName(), QStringLiteral("Default"));
        QTRY_VERIFY(popup->findText(QStringLiteral("Trip")) < 0);
        QCOMPARE(popup->currentText(), QStringLiteral("Default"));
        QVERIFY(program.app.inclusions().isEmpty());
        QFile::remove(damaged);
        QFile::remove(folder + QStringLiteral("/Night.plist"));
    }

    void typedTimeZoneIsCheckedAndKeptInItsStoredForm()
    {
        usePreset(QStringLiteral("Trip"), {});
        Program program(makeCard(QStringLiteral("card-zone"), 2));
        MainWindow &w = program.window;
        QTRY_VERIFY(!w.imageBrowser->selectedRows().isEmpty());
        const QModelIndex zone = w.tableMetadata->exifModel()->index(
            tableRowOf(*w.tableMetadata, QStringLiteral("TimeZone")), ExifTableModel::ColumnValue);
        QVERIFY(zone.isValid());
        const auto zonesOfTheSelection = [&] {
            program.app.updateSelectedImages();
            QStringList zones;
            for (int row : w.imageBrowser->selectedRows())
                zones << userValue(program, row, QStringLiteral("TimeZone"));
            return zones;
        };

        // An unknown name is refused with an alert and never reaches the images.
        QVERIFY(!w.tableMetadata->exifModel()->setData(zone, QStringLiteral("Europe/Berln")));
        QCOMPARE(m_ui.alertTexts(), QStringList{QStringLiteral(
                                        "Unknown time zone \"Europe/Berln\".: A time zone is a "
                                        "name such as \"Europe/Berlin\", optionally followed "
                                        "by \" DST\" when daylight saving time was in force.")});
        QCOMPARE(zone.data().toString(), QString());
        QCOMPARE(zonesOfTheSelection(), QStringList(2, QString()));

        // A known one, typed loosely, is kept in the form geotagging reads.
        m_ui.clear();
        QVERIFY(w.tableMetadata->exifModel()->setData(zone, QStringLiteral(" europe/paris dst")));
        QVERIFY(m_ui.alerts.isEmpty());
        QCOMPARE(zone.data().toString(), QStringLiteral("Europe/Paris DST"));
        QCOMPARE(zonesOfTheSelection(), QStringList(2, QStringLiteral("Europe/Paris DST")));
    }

    void macroViewListsTheSelectedImage()
    {
        usePreset(QStringLiteral("Trip"), {});
        Program program(makeCard(QStringLiteral("cardE"), 2));
        program.window.imageBrowser->selectRows({1}, false);
        program.window.actionMacroView->trigger();
        MacroViewWindow *view = program.app.macroViewWindow();
        QVERIFY(view && view->isVisible());
        QCOMPARE(view->windowTitle(), QStringLiteral("IMG_0002.JPG"));
        for (const char *line : {"\nFileNameOriginal = IMG_0002\n", "Index:4 = 0001\n",
                                 "\nPixelWidth = 240\n", "\n\nImage Metadata:\n"})
            QVERIFY2(view->text().contains(QLatin1String(line)), line);
        QVERIFY(QFileInfo(grabWindow(view, QStringLiteral("macro-view"))).exists());
        // The info badge of another image refreshes the same panel.
        void *other = program.item(0).get();
        NotificationCenter::defaultCenter().post(
            QStringLiteral("ShowInfo"), nullptr,
            {{QStringLiteral("item"), QVariant::fromValue(other)}});
        QCOMPARE(view->windowTitle(), QStringLiteral("IMG_0001.JPG"));
        view->findChild<QPushButton *>(QStringLiteral("buttonOK"))->click();
        QVERIFY(!view->isVisible());
    }

    // Last: quitting ends the event loops of the whole test program.
    void quitEndsEditingAndTheProgram()
    {
        Program program;
        bool quitAsked = false;
        connect(&program.app, &QuorvaneAppDelegate::quitRequested, this,
                [&quitAsked] { quitAsked = true; });
        program.window.actionQuit->trigger();
        QVERIFY(quitAsked);
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<MainWindowControlsTest>(argc, argv, prepareWebViews);
}

#include "MainWindowControlsTest.moc"
