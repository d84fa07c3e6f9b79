// Every control of the main window does what it says: a walk over all its actions and buttons
// (whoever added them) that fails on one connected to nothing or raising an alert nobody
// expects, with images chosen and without; and the image browser's gestures.
#include "app/ui/HelpController.h"
#include "app/ui/ImageBrowserView.h"
#include "geo/ui/TimeAdjustWindow.h"
#include "macro/ui/MacroViewWindow.h"
#include "platform/NotificationCenter.h"
#include "platform/RecordingUserInterface.h"
#include "platform/SystemLog.h"
#include "support/GrabSupport.h"
#include "support/ProgramFixture.h"
#include "support/WindowTestSupport.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSlider>
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

} // namespace

class MainWindowControlsTest : public QObject
{
    Q_OBJECT

private:
    RecordingUserInterface m_ui;

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
    }
    void cleanupTestCase()
    {
        HelpController::reset();
        UserInterface::setInstance(nullptr);
    }

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
