// The main window's preset pop-up with a damaged preset file, and the time zone typed into the
// metadata table.
#include "app/ui/ImageBrowserView.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QuorvaneAppDelegate.h"
#include "items/ThumbListModel.h"
#include "metadata/ui/ExifTableView.h"
#include "platform/AppPaths.h"
#include "platform/Defaults.h"
#include "platform/RecordingUserInterface.h"
#include "sources/ui/ChooseInputWindow.h"
#include "support/WindowTestSupport.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString makeCard(const QString &name)
{
    const QString folder = QDir::homePath() + QLatin1Char('/') + name;
    QDir().mkpath(folder);
    for (int i = 1; i <= 2; ++i) {
        QImage image(120, 80, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 90, 150, 220));
        image.save(folder + QStringLiteral("/IMG_%1.JPG").arg(i), "JPEG");
    }
    return folder;
}

// Saves a grab into BRINDLEWICK_GRAB_DIR when it is set.
void grabTo(QWidget *widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("BRINDLEWICK_GRAB_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget->grab().save(dir + QLatin1Char('/') + name);
}

} // namespace

class MainWindowPresetAndZoneTest : public QObject
{
    Q_OBJECT

private:
    RecordingUserInterface m_ui;

    // A started program whose chooser is answered with `folder`.
    struct Program
    {
        MainWindow window;
        QuorvaneAppDelegate app{&window};
        explicit Program(const QString &folder)
        {
            ChooseInputWindow::setFolderPanel(
                [folder](const QString &) -> std::optional<QString> { return folder; });
            whenModal([](QWidget *modal) {
                modal->findChild<QPushButton *>(QStringLiteral("buttonOther"))->click();
            });
            app.awakeFromNib();
            app.applicationDidFinishLaunching();
        }
    };

private Q_SLOTS:
    void initTestCase()
    {
        UserInterface::setInstance(&m_ui);
        Defaults::set(QStringLiteral("UpdateCheckHost"), QString());
        Defaults::set(QStringLiteral("HideInitialHelp"), true);
    }

    void cleanupTestCase() { UserInterface::setInstance(nullptr); }

    void damagedPresetIsShownAsDamagedAndNeverSelected()
    {
        m_ui.clear();
        const QString presets = AppPaths::supportFolder();
        QDir().mkpath(presets);
        const QString damaged = presets + QStringLiteral("/Trips.plist");
        QFile file(damaged);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<?xml version=\"1.0\"?><plist><dict><key>PrimaryRoot");
        file.close();
        // The program last ran with it.
        Defaults::set(QStringLiteral("Preset"), QStringLiteral("Trips"));

        Program program(makeCard(QStringLiteral("card-damaged")));
        MainWindow &w = program.window;
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QComboBox *popup = w.popupPresets;
        QCOMPARE(popup->currentText(), QStringLiteral("Default"));
        QCOMPARE(program.app.setupController()->currentSetupName(), QStringLiteral("Default"));
        const int row = popup->findText(QStringLiteral("Trips (damaged)"));
        QVERIFY(row >= 0);
        QCOMPARE(popup->findText(QStringLiteral("Trips")), -1);
        auto *model = qobject_cast<QStandardItemModel *>(popup->model());
        QVERIFY(model);
        QVERIFY(!model->item(row)->isEnabled());
        const QString said = QStringLiteral("The preset \"Trips\" can't be used: its file \"") +
                             damaged + QStringLiteral("\" is damaged");
        QVERIFY(w.textViewLog->toPlainText().contains(QStringLiteral("ERROR: ") + said));
        QCOMPARE(m_ui.alerts.size(), 1);
        QCOMPARE(m_ui.alerts[0].title, QStringLiteral("Can't use preset."));
        QVERIFY(m_ui.alerts[0].message.startsWith(said));
        // The file is not touched, and the run's preset is the built-in one.
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 QByteArray("<?xml version=\"1.0\"?><plist><dict><key>PrimaryRoot"));
        file.close();

        // Should the entry be activated anyway, nothing is used and the user is told.
        m_ui.clear();
        popup->setCurrentIndex(row);
        Q_EMIT popup->activated(row);
        QCOMPARE(m_ui.alerts.size(), 1);
        QCOMPARE(m_ui.alerts[0].title, QStringLiteral("Can't use preset."));
        QCOMPARE(popup->currentText(), QStringLiteral("Default"));
        QCOMPARE(Defaults::string(QStringLiteral("Preset")), QStringLiteral("Trips"));

        grabTo(&w, QStringLiteral("main-window-damaged-preset.png"));
        popup->showPopup();
        QTRY_VERIFY(popup->view()->isVisible());
        grabTo(popup->view()->window(), QStringLiteral("main-window-preset-popup.png"));
        popup->hidePopup();
        QFile::remove(damaged);
        Defaults::remove(QStringLiteral("Preset"));
    }

    void typedTimeZoneIsCheckedAndKeptInItsStoredForm()
    {
        Program program(makeCard(QStringLiteral("card-zone")));
        MainWindow &w = program.window;
        QTRY_VERIFY(!w.imageBrowser->selectedRows().isEmpty());
        ExifTableModel *table = w.tableMetadata->exifModel();
        QModelIndex zone;
        for (int r = 0; r < table->rowCount(); ++r)
            if (table->rows()[r]->tag == QLatin1String("TimeZone"))
                zone = table->index(r, ExifTableModel::ColumnValue);
        QVERIFY(zone.isValid());

        // An unknown name is refused with an alert and never reaches the images.
        m_ui.clear();
        QVERIFY(!table->setData(zone, QStringLiteral("Europe/Berln")));
        QCOMPARE(m_ui.alertTexts(), QStringList{QStringLiteral(
                                        "Unknown time zone \"Europe/Berln\".: A time zone is a "
                                        "name such as \"Europe/Berlin\", optionally followed "
                                        "by \" DST\" when daylight saving time was in force.")});
        QCOMPARE(zone.data().toString(), QString());
        program.app.updateSelectedImages();
        for (int row : w.imageBrowser->selectedRows()) {
            const ThumbItemPtr item = program.app.model()->itemAt(row);
            QVERIFY(!item->metadataUser ||
                    item->metadataUser->value(QStringLiteral("TimeZone")).toString().isEmpty());
        }

        // A known one, typed loosely, is kept in the form geotagging reads.
        m_ui.clear();
        QVERIFY(table->setData(zone, QStringLiteral(" europe/paris dst")));
        QVERIFY(m_ui.alerts.isEmpty());
        QCOMPARE(zone.data().toString(), QStringLiteral("Europe/Paris DST"));
        program.app.updateSelectedImages();
        for (int row : w.imageBrowser->selectedRows())
            QCOMPARE(program.app.model()->itemAt(row)->metadataUser->value("TimeZone").toString(),
                     QStringLiteral("Europe/Paris DST"));
        w.tableMetadata->scrollTo(zone);
        grabTo(&w, QStringLiteral("main-window-time-zone.png"));
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<MainWindowPresetAndZoneTest>(argc, argv, prepareWebViews);
}

#include "MainWindowPresetAndZoneTest.moc"
