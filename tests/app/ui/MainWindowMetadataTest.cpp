// The main window's metadata editing: the field table over the selected images, what an edit
// reaches (and what it never reaches), and what an ingestion then writes; the preset pop-up over
// the presets folder, damaged presets included.

#include "macro/ui/MacroViewWindow.h"
#include "platform/NotificationCenter.h"
#include "platform/RecordingUserInterface.h"
#include "presets/SetupController.h"
#include "support/GrabSupport.h"
#include "support/MetadataTableDriving.h"
#include "support/ProgramFixture.h"
#include "support/RunFixtures.h"
#include "support/WindowTestSupport.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QtTest>

namespace {

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

class MainWindowMetadataTest : public QObject
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

private Q_SLOTS:
    void initTestCase()
    {
        UserInterface::setInstance(&m_ui);
        m_out = QDir::homePath() + QStringLiteral("/Out");
    }
    void cleanupTestCase() { UserInterface::setInstance(nullptr); }
    void init() { m_ui.clear(); }

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

        // Two images that differ: the row says so; the preset's values show as the preset's.
        program.window.imageBrowser->selectRows({0, 1}, false);
        QCOMPARE(tableValue(table, kCity), QStringLiteral("<mixed>"));
        QCOMPARE(model->originOf(tableRowOf(table, kCity)), ExifTableModel::Origin::Mixed);
        QCOMPARE(tableValue(table, "IPTC.Headline"), QStringLiteral("Fjords"));
        QCOMPARE(model->originOf(tableRowOf(table, "IPTC.Headline")),
                 ExifTableModel::Origin::Preset);
        // Only the layout's fields, never the caption and keywords (they have their own views).
        QVERIFY(tableRowOf(table, kCaption) < 0);
        QVERIFY(tableRowOf(table, "IPTC.Scene") < 0);
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

        // An emptied cell falls back to the preset, visibly, and leaves no value behind.
        typeInTableCell(table, kCity, QStringLiteral("Molde"));
        program.window.imageBrowser->selectRows({3}, false);
        QCOMPARE(userValue(program, 2, kCity), QStringLiteral("Molde"));
        program.window.imageBrowser->selectRows({2}, false);
        QCOMPARE(tableValue(table, kCity), QStringLiteral("Molde"));
        typeInTableCell(table, kCity, QString());
        QCOMPARE(tableValue(table, kCity), QStringLiteral("Bergen"));
        QCOMPARE(model->originOf(tableRowOf(table, kCity)), ExifTableModel::Origin::Preset);
        program.window.imageBrowser->selectRows({3}, false);
        QVERIFY(!hasUserValue(program, 2, kCity));

        // "No value for these images" from the row's menu: shown as such, kept as such.
        QMenu *menu = table.makeContextMenu(tableRowOf(table, kCity));
        menu->findChild<QAction *>(QStringLiteral("actionNoValue"))->trigger();
        delete menu;
        QCOMPARE(tableValue(table, kCity), QStringLiteral("(no value)"));
        program.window.imageBrowser->selectRows({0}, false);
        QCOMPARE(userValue(program, 3, kCity), QStringLiteral("<none>"));
        program.window.imageBrowser->selectRows({3}, false);
        QCOMPARE(tableValue(table, kCity), QStringLiteral("(no value)"));

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

    void valuesForFieldsThePresetLacksAreWritten()
    {
        // A hand-written preset without any "Metadata": what the user types is still written.
        QDir(m_out).removeRecursively();
        usePreset(QStringLiteral("Bare"), {});
        Program program(makeCard(QStringLiteral("cardB"), 2));
        ExifTableView &table = *program.window.tableMetadata;
        program.window.imageBrowser->selectRows({0}, false);
        QVERIFY(tableRowOf(table, kCity) >= 0);
        typeInTableCell(table, kCity, QStringLiteral("Lyon"));
        typeCaption(program.window, QStringLiteral("Quai"));
        program.window.imageBrowser->selectRows({1}, false);
        QCOMPARE(userValue(program, 0, kCaption), QStringLiteral("Quai"));
        program.app.actionIngest();
        QTRY_VERIFY(!QuorvaneAppDelegate::isIngesting());
        const QByteArray one = readTestFile(m_out + QStringLiteral("/IMG_0001.JPG"));
        QVERIFY2(one.contains("<photoshop:City>Lyon</photoshop:City>"),
                 qPrintable(m_ui.alertTexts().join('|')));
        QVERIFY(one.contains(">Quai</rdf:li>"));
        QVERIFY(!readTestFile(m_out + QStringLiteral("/IMG_0002.JPG")).contains("Lyon"));
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
        program.window.imageBrowser->clearSelection();
        program.app.actionMacroView();
        QCOMPARE(m_ui.alertTexts(), QStringList{"No image to view.: Select an image."});
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
};

int main(int argc, char **argv)
{
    return runWindowTests<MainWindowMetadataTest>(argc, argv, prepareWebViews);
}

#include "MainWindowMetadataTest.moc"
