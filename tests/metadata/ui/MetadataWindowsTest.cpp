// The metadata subsystem's windows driven through their real widgets: each control reaches its
// data half and shows its result. The rules behind them (checks, normalising, row order, file
// contents) are the core tests' of ECPrefsController, ExifTableModel and LookupsController.
#include "app/ui/MainWindow.h"
#include "app/ui/QuorvaneAppDelegate.h"
#include "macro/MacroProcessor.h"
#include "macro/ui/TokenFieldEdit.h"
#include "metadata/ECPrefsController.h"
#include "metadata/ExifTableModel.h"
#include "metadata/LayedOutFieldsModel.h"
#include "metadata/LookupsController.h"
#include "metadata/Metadata.h"
#include "metadata/MetadataSupport.h"
#include "metadata/ui/ExifTableView.h"
#include "metadata/ui/LookupsWindow.h"
#include "metadata/ui/PrefsWindow.h"
#include "platform/AppPaths.h"
#include "platform/Defaults.h"
#include "platform/PropertyList.h"
#include "platform/RecordingUserInterface.h"
#include "presets/Setup.h"
#include "support/GrabSupport.h"
#include "support/MetadataTableDriving.h"
#include "support/TestSupport.h"
#include "support/WindowDriving.h"
#include "support/WindowTestSupport.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

namespace {

const QString kConverter = QStringLiteral(BRINDLEWICK_TESTS_DIR "/ingest/fake-dng-converter");

// Answers the converter chooser (a real file dialog) with `path`, typed into its name field as a
// person would. (selectFile() leaves that field alone once it has the focus, which it may have by
// the time the dialog is up; the dialog then kept its own choice and refused to close.)
void chooseInDialog(const QString &path)
{
    whenModal([path](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Choose DNG Converter application."));
        const QFileInfo info(path);
        dialog->setDirectory(info.absolutePath());
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        for (auto *view : dialog->findChildren<QAbstractItemView *>())
            if (view->selectionModel())
                view->selectionModel()->clear();
        name->setText(info.fileName());
        QMetaObject::invokeMethod(dialog, "accept"); // what the Choose button does
        QVERIFY2(!dialog->isVisible(), "the file dialog did not take the file chosen");
    });
}

QString lookupsFolder()
{
    return AppPaths::supportFolder() + QStringLiteral("/Lookups");
}

} // namespace

class MetadataWindowsTest : public QObject
{
    Q_OBJECT

private:
    RecordingUserInterface m_ui;

    // The main window's use: the layout's fields of two images, the preset behind them.
    void showSelection(ExifTableView &table)
    {
        const QVariantMap values{{"IPTC.City", "Bergen"},      {"IPTC.Headline", "<mixed>"},
                                 {"IPTC.ObjectName", "Gulls"}, {"TimeZone", ""},
                                 {"CF.Shoot", "Trip"},         {"IPTC.Caption/Abstract", "c"}};
        const QStringList keys = values.keys();
        table.exifModel()->setSkipCaptionAndKeywords(true);
        table.exifModel()->setEmptyMeansPreset(true);
        table.exifModel()->setPresetMetadata({{"IPTC.City", "Bergen"}, {"CF.Shoot", "Trip"}});
        table.showMetadata(values, {keys.cbegin(), keys.cend()}, true, {"IPTC.City"});
    }

    // Types into the cell's own editor and leaves it with Return, as a person does.
    static void typeInto(QTableView *table, const QModelIndex &cell, const QString &text)
    {
        if (!table->indexWidget(cell)) {
            table->setCurrentIndex(cell);
            table->edit(cell);
        }
        QLineEdit *editor = nullptr;
        QTRY_VERIFY((editor = qobject_cast<QLineEdit *>(table->indexWidget(cell))) != nullptr);
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!table->indexWidget(cell));
    }

private Q_SLOTS:
    void initTestCase() { UserInterface::setInstance(&m_ui); }
    void cleanupTestCase() { UserInterface::setInstance(nullptr); }
    void init()
    {
        resetPreferences();
        m_ui.clear();
        QDir(lookupsFolder()).removeRecursively();
    }

    void metadataTableCellsEditorsAndRowHeights()
    {
        ExifTableView table;
        table.resize(460, 360);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        showSelection(table);
        QCOMPARE(table.exifModel()->rowCount(), 5);
        // Three-line fields get three lines; every changeable row has its editor button.
        QVERIFY(table.rowHeight(tableRowOf(table, "IPTC.Headline")) >=
                3 * table.fontMetrics().lineSpacing());
        QVERIFY(table.rowHeight(tableRowOf(table, "IPTC.City")) <
                2 * table.fontMetrics().lineSpacing());
        QVERIFY(table.editButton(tableRowOf(table, "IPTC.City")));
        QVERIFY(QFileInfo(grabWindow(&table, QStringLiteral("metadata-table"))).exists());

        // A one-line field: typed, Return ends it, the tick follows.
        typeInTableCell(table, "IPTC.City", QStringLiteral("Oslo"));
        QCOMPARE(tableValue(table, "IPTC.City"), QStringLiteral("Oslo"));
        QVERIFY(table.exifModel()->metadataForTag("IPTC.City")->change);

        // A multi-line field: Shift+Return breaks the line, Return ends the entry.
        auto *plain = editTableCell<QPlainTextEdit>(table, "IPTC.Headline");
        QVERIFY(plain);
        plain->selectAll();
        QTest::keyClicks(plain, QStringLiteral("Gulls"));
        QTest::keyClick(plain, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(plain, QStringLiteral("at dawn"));
        QTest::keyClick(plain, Qt::Key_Return);
        QCOMPARE(tableValue(table, "IPTC.Headline"), QStringLiteral("Gulls\nat dawn"));

        // A time zone is typed, with the known names offered, until a chooser is given (its
        // check is the model's, and the main window's test types a refused one).
        auto *zone = editTableCell<QLineEdit>(table, "TimeZone");
        QVERIFY(zone && zone->completer());
        QTest::keyClick(zone, Qt::Key_Escape);

        // With a chooser the zone's button opens it and the cell takes no typing.
        int asked = 0;
        table.setTimeZoneChooser([&asked](QWidget *) -> std::optional<QString> {
            ++asked;
            return QStringLiteral("Asia/Tokyo");
        });
        showSelection(table);
        QVERIFY(
            !(table.exifModel()->flags(table.exifModel()->index(tableRowOf(table, "TimeZone"), 2)) &
              Qt::ItemIsEditable));
        qobject_cast<QToolButton *>(table.editButton(tableRowOf(table, "TimeZone")))->click();
        QCOMPARE(asked, 1);
        QCOMPARE(tableValue(table, "TimeZone"), QStringLiteral("Asia/Tokyo"));
    }

    void metadataTableButtonsAndMenuOfARow()
    {
        ExifTableView table;
        table.show();
        showSelection(table);
        int tokenEdits = 0;
        connect(table.exifModel(), &ExifTableModel::didEditInTokenField, this,
                [&] { ++tokenEdits; });

        // The row's button opens the macro editor on the row's value; Set takes its text.
        whenModal([](QWidget *modal) {
            auto *field = child<TokenFieldEdit>(modal, "tokenField");
            QCOMPARE(field->text(), QStringLiteral("Trip"));
            field->moveCursor(QTextCursor::End);
            QTest::keyClicks(field, QStringLiteral("-{@DateImage:YYYY}"));
            child<QPushButton>(modal, "buttonSet")->click();
        });
        qobject_cast<QToolButton *>(table.editButton(tableRowOf(table, "CF.Shoot")))->click();
        QCOMPARE(tableValue(table, "CF.Shoot"), QStringLiteral("Trip-{@DateImage:YYYY}"));
        QCOMPARE(tokenEdits, 1);

        // Cancel in the editor changes nothing.
        ExifTableView::setMacroEditor(
            [](QWidget *, const QString &, const QString &) { return std::nullopt; });
        table.editRow(tableRowOf(table, "IPTC.ObjectName"));
        QCOMPARE(tableValue(table, "IPTC.ObjectName"), QStringLiteral("Gulls"));
        ExifTableView::setMacroEditor({});

        // The menu: no value, the preset's value back, and dropping the change.
        const int city = tableRowOf(table, "IPTC.City");
        const auto fromMenu = [&](const char *action) {
            std::unique_ptr<QMenu> menu(table.makeContextMenu(city));
            child<QAction>(menu.get(), action)->trigger();
        };
        fromMenu("actionNoValue");
        QCOMPARE(tableValue(table, "IPTC.City"), QStringLiteral("(no value)"));
        fromMenu("actionUsePresetValue");
        QCOMPARE(tableValue(table, "IPTC.City"), QStringLiteral("Bergen"));
        fromMenu("actionDiscardChange");
        QVERIFY(!table.exifModel()->metadataForTag("IPTC.City")->change);

        // The tick column is a real check box: clicking it drops a typed value.
        table.exifModel()->updateTag("IPTC.ObjectName", QStringLiteral("Terns"));
        const QRect tick =
            table.visualRect(table.exifModel()->index(tableRowOf(table, "IPTC.ObjectName"), 0));
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, tick.center());
        QTRY_COMPARE(tableValue(table, "IPTC.ObjectName"), QStringLiteral("Gulls"));
    }

    // Raw list, converter, preview option and switches: shown from the store, edited through
    // their controls and stored on OK, where the command-line tool's ingestion of a card finds
    // them: its raw files go through the converter chosen here, with the options chosen here.
    void prefsIngestionSettingsAreStoredOnOkAndUsedByAnIngestion()
    {
        PrefsWindow window(ECPrefsController::prefs());
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *raw = child<QPlainTextEdit>(&window, "textRawFileExtensions");
        auto *path = child<QLineEdit>(&window, "fieldConverterPath");
        auto *preview = child<QComboBox>(&window, "popupJpegPreview");
        auto *embed = child<QCheckBox>(&window, "checkboxWantEmbeddedRaw");
        auto *gps = child<QCheckBox>(&window, "checkboxWantEmbeddedGPS");
        auto *verify = child<QCheckBox>(&window, "checkboxVerifyCopies");
        QVERIFY(raw->toPlainText().startsWith(QStringLiteral("ARW CR2 CRW")));
        QCOMPARE(path->text(), QString());
        QCOMPARE(preview->currentData().toString(), QStringLiteral("-p0"));
        QVERIFY(!embed->isChecked());
        QVERIFY(gps->isChecked());
        QVERIFY(verify->isChecked()); // copies are read back unless the photographer says not

        raw->setFocus();
        raw->selectAll();
        QTest::keyClicks(raw, QStringLiteral("sony"));
        child<QPushButton>(&window, "buttonRevertRawExtensions")->click();
        QCOMPARE(raw->toPlainText(), Prefs::RawFileExtensions.defaultValue.toString());
        raw->setPlainText(QStringLiteral(".nef, CR2\nnef ARW"));

        chooseInDialog(kConverter);
        QTest::mouseClick(child<QPushButton>(&window, "buttonChooseConverter"), Qt::LeftButton);
        QCOMPARE(path->text(), kConverter);
        preview->setCurrentIndex(preview->findData(QStringLiteral("-p1")));
        QTest::mouseClick(embed, Qt::LeftButton, {}, QPoint(8, embed->height() / 2));
        QVERIFY(embed->isChecked());
        window.activateWindow(); // back from the chooser
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_G, Qt::AltModifier); // the GPS switch's mnemonic
        QTRY_VERIFY(!gps->isChecked());
        QTest::keyClick(&window, Qt::Key_Y, Qt::AltModifier); // copy verification's mnemonic
        QTRY_VERIFY(!verify->isChecked());
        QVERIFY2(!Prefs::isSet(Prefs::ConverterPath), "nothing is stored before OK");
        QVERIFY(!grabWindow(&window, QStringLiteral("preferences-ingestion")).isEmpty());
        window.tabs()->setCurrentIndex(2);
        QVERIFY(child<QCheckBox>(&window, "checkboxOfferCards")->isVisible());
        QVERIFY(!grabWindow(&window, QStringLiteral("preferences-cards-maps")).isEmpty());

        QTest::mouseClick(child<QPushButton>(&window, "buttonOK"), Qt::LeftButton);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QVERIFY(m_ui.alerts.isEmpty());
        QCOMPARE(Prefs::string(Prefs::RawFileExtensions), QStringLiteral("nef CR2 ARW"));
        QVERIFY(!Prefs::boolean(Prefs::WantEmbeddedGPS));
        QVERIFY(!Prefs::boolean(Prefs::VerifyCopies));

        const QString root = QDir::homePath() + QStringLiteral("/conversion");
        const QString card = root + QStringLiteral("/card");
        QDir().mkpath(card);
        QProcess maker;
        maker.start(QStringLiteral(BRINDLEWICK_BIN_DIR "/brindlewick-samplecard"), {card});
        QVERIFY(maker.waitForFinished(120000));
        QCOMPARE(maker.exitCode(), 0);
        QVariantMap preset = Setup::defaultSetup().dict();
        preset.insert(QStringLiteral("PrimaryRootFolder"), root + QStringLiteral("/Primary"));
        preset.insert(QStringLiteral("BackupRootFolder"), root + QStringLiteral("/Backup"));
        preset.insert(QStringLiteral("WantBackup"), QStringLiteral("YES"));
        preset.insert(QStringLiteral("WantConversion"), QStringLiteral("YES"));
        AppPaths::ensureFolder(AppPaths::supportFolder());
        QVERIFY(Setup::writeFile(AppPaths::supportFolder() + QStringLiteral("/Raw.plist"), preset));
        const QString log = root + QStringLiteral("/converter.log");
        const ToolRun run =
            runCliTool({"ingest", card, "--preset", "Raw"}, {{"FAKE_DNG_LOG", log}});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QFile calls(log);
        QVERIFY(calls.open(QIODevice::ReadOnly));
        const QStringList arguments = QString::fromUtf8(calls.readAll()).split(QLatin1Char('\n'));
        QCOMPARE(arguments.mid(0, 3), (QStringList{"-e", "-p1", "-d"}));
    }

    // A refused value keeps the window open on the control at fault, stores nothing, and an
    // Escape with unsaved edits asks before dropping them.
    void prefsRefusedValuesKeepTheWindowOpen()
    {
        const QString folder = QDir::homePath() + QStringLiteral("/not-a-program");
        QDir().mkpath(folder);
        QFile plain(folder + QStringLiteral("/notes.txt"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();

        PrefsWindow window(ECPrefsController::prefs());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *raw = child<QPlainTextEdit>(&window, "textRawFileExtensions");
        auto *path = child<QLineEdit>(&window, "fieldConverterPath");
        window.tabs()->setCurrentIndex(1);
        raw->setPlainText(QStringLiteral("NEF/CR2"));
        auto *ok = child<QPushButton>(&window, "buttonOK");
        ok->click();
        QVERIFY(window.isVisible());
        QCOMPARE(m_ui.alerts.last().title, QStringLiteral("Raw file extensions not valid."));
        QCOMPARE(window.tabs()->currentIndex(), 0);
        QTRY_VERIFY(raw->hasFocus());

        raw->setPlainText(QStringLiteral("NEF"));
        path->setText(folder);
        ok->click();
        QVERIFY(window.isVisible());
        QCOMPARE(m_ui.alertTexts().last(), QStringLiteral("DNG Converter can't be used.: ") +
                                               folder +
                                               QStringLiteral(" is a folder, not a program."));
        QTRY_VERIFY(path->hasFocus());

        // The chooser refuses a file that can't run and leaves the field as it was.
        chooseInDialog(plain.fileName());
        child<QPushButton>(&window, "buttonChooseConverter")->click();
        QCOMPARE(m_ui.alertTexts().last(), QStringLiteral("DNG Converter can't be used.: ") +
                                               plain.fileName() +
                                               QStringLiteral(" is not executable."));
        QCOMPARE(path->text(), folder);
        for (const Prefs::Key *key : Prefs::all()) {
            if (key != &Prefs::DNGConverter && key != &Prefs::LayedOutFields)
                QVERIFY2(!Prefs::isSet(*key), key->name);
        }

        // A settings folder that can't be written: said (no control is at fault), and the window
        // stays with the edits.
        path->clear();
        const QString settingsFolder = QFileInfo(Defaults::storePath()).absolutePath();
        QVERIFY(QDir(settingsFolder).removeRecursively());
        QVERIFY(writeTestFile(settingsFolder, "not a folder"));
        ok->click();
        QVERIFY(window.isVisible());
        QCOMPARE(m_ui.alerts.last().title, QStringLiteral("Preferences could not be saved."));
        QVERIFY(QFile::remove(settingsFolder));

        // Escape: "Cancel" goes back to editing, "Discard" closes without storing.
        m_ui.confirmAnswers = {2, 1};
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.isVisible());
        QCOMPARE(m_ui.confirmations.last().buttons, (QStringList{"Keep", "Discard", "Cancel"}));
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QVERIFY(!Prefs::isSet(Prefs::RawFileExtensions));
        QCOMPARE(ECPrefsController::prefs().rawFileExtensions(),
                 Prefs::RawFileExtensions.defaultValue.toString());

        // Without edits Escape closes at once.
        PrefsWindow again(ECPrefsController::prefs());
        again.show();
        const qsizetype asked = m_ui.confirmations.size();
        QTest::keyClick(&again, Qt::Key_Escape);
        QVERIFY(!again.isVisible());
        QCOMPARE(m_ui.confirmations.size(), asked);
    }

    // Custom fields added, renamed and removed; layout rows ticked, given lines, moved and
    // regrouped; OK stores what the window shows.
    void prefsCustomFieldsAndLayout()
    {
        PrefsWindow window(ECPrefsController::prefs());
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_F, Qt::AltModifier);
        QCOMPARE(window.tabs()->currentIndex(), 1);
        auto *fields = child<QListWidget>(&window, "tableCustomFields");
        auto *layout = child<QTableView>(&window, "tableLayout");
        // The group titles' mnemonics reach their lists.
        QTest::keyClick(&window, Qt::Key_L, Qt::AltModifier);
        QTRY_VERIFY(layout->hasFocus());
        QTest::keyClick(&window, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(fields->hasFocus());
        auto *model = static_cast<LayedOutFieldsModel *>(layout->model());
        const auto nameAt = [model](int row) { return model->index(row, 0).data().toString(); };
        QCOMPARE(fields->count(), 1);
        QCOMPARE(fields->item(0)->text(), QStringLiteral("Shoot"));
        QCOMPARE(nameAt(0), QStringLiteral("CF.Shoot"));

        m_ui.promptAnswers = {QStringLiteral("cf.Place"), QStringLiteral("session")};
        child<QPushButton>(&window, "buttonAddField")->click();
        QCOMPARE(fields->count(), 2);
        QCOMPARE(fields->currentItem()->text(), QStringLiteral("Place"));
        QCOMPARE(nameAt(0), QStringLiteral("CF.Place"));

        fields->setCurrentRow(1); // Shoot
        const QPoint shoot = fields->visualItemRect(fields->item(1)).center();
        QTest::mouseClick(fields->viewport(), Qt::LeftButton, {}, shoot);
        QTest::mouseDClick(fields->viewport(), Qt::LeftButton, {}, shoot);
        QCOMPARE(fields->item(1)->text(), QStringLiteral("session"));
        QCOMPARE(nameAt(1), QStringLiteral("CF.session"));

        fields->setCurrentRow(0);
        child<QPushButton>(&window, "buttonDeleteField")->click();
        QCOMPARE(fields->count(), 1);
        // F2 renames, as in file managers (cancelled here).
        fields->setFocus();
        QTest::keyClick(fields, Qt::Key_F2);
        QCOMPARE(m_ui.prompts.last().defaultText, QStringLiteral("session"));
        QCOMPARE(nameAt(0), QStringLiteral("CF.session"));

        // Tick the last (hidden) row with the keyboard, give it three lines through its choice
        // list.
        const int hidden = model->rowCount() - 1;
        const QString field = nameAt(hidden);
        layout->setFocus();
        layout->setCurrentIndex(model->index(hidden, LayedOutFieldsModel::ShownColumn));
        QTest::keyClick(layout, Qt::Key_Space);
        QCOMPARE(model->index(hidden, LayedOutFieldsModel::ShownColumn).data(Qt::CheckStateRole),
                 QVariant(Qt::Checked));
        const QModelIndex lines = model->index(hidden, LayedOutFieldsModel::LinesColumn);
        layout->setCurrentIndex(lines);
        QTest::keyClick(layout, Qt::Key_F2);
        QComboBox *choice = nullptr;
        QTRY_VERIFY((choice = layout->findChild<QComboBox *>(QStringLiteral("popupLines"))));
        QCOMPARE(choice->itemText(2), QStringLiteral("3 lines"));
        choice->setCurrentIndex(2);
        QTest::keyClick(choice, Qt::Key_Return);
        QTRY_COMPARE(lines.data().toString(), QStringLiteral("3 lines"));

        // Up and down buttons, then Regroup brings the ticked row up to the shown ones.
        layout->selectRow(hidden);
        child<QPushButton>(&window, "buttonMoveUp")->click();
        QCOMPARE(nameAt(hidden - 1), field);
        QCOMPARE(layout->selectionModel()->selectedRows().first().row(), hidden - 1);
        QTest::keyClick(layout, Qt::Key_Down, Qt::ControlModifier);
        QTRY_COMPARE(nameAt(hidden), field);
        layout->setCurrentIndex(model->index(0, 0)); // as a click does: selects, then current
        child<QPushButton>(&window, "buttonMoveDown")->click();
        QCOMPARE(nameAt(1), QStringLiteral("CF.session"));
        child<QPushButton>(&window, "buttonRegroup")->click();
        QCOMPARE(nameAt(8), field); // after the eight shown at first start
        QVERIFY(!grabWindow(&window, QStringLiteral("preferences-fields")).isEmpty());

        child<QPushButton>(&window, "buttonOK")->click();
        QVERIFY(!window.isVisible());
        QCOMPARE(Prefs::stringList(Prefs::CustomFields), QStringList{"CF.session"});
        const QString second = nameAt(1);
        ECPrefsController::init(); // read back from the store
        QCOMPARE(ECPrefsController::includedFields().at(1).name, second);
        QCOMPARE(ECPrefsController::includedFields().at(8), (LayedOutField{field, true, 3}));
    }

    // Through the main window: after the window closes, the catalogue, the default preset and
    // the macro list know the new field at once; the lookup tables open from the same menu.
    void prefsChangesReachTheProgramAtOnce()
    {
        MainWindow main;
        QuorvaneAppDelegate app(&main);
        app.awakeFromNib();
        QVERIFY(!MacroProcessor::macroNames().contains(QStringLiteral("CF.Venue")));
        m_ui.promptAnswers = {QStringLiteral("Venue")};
        whenModal([](QWidget *modal) {
            QCOMPARE(modal->objectName(), QStringLiteral("ECPrefs2"));
            child<QPushButton>(modal, "buttonAddField")->click();
            child<QPushButton>(modal, "buttonOK")->click();
        });
        main.actionPrefs->trigger();
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(MacroProcessor::macroNames().contains(QStringLiteral("CF.Venue")));
        QVERIFY(Setup::defaultSetup()
                    .paramDict(QStringLiteral("Metadata"))
                    .contains(QStringLiteral("CF.Venue")));
        // The main window's metadata table follows the new layout: the new field first, hidden
        // fields left out.
        main.tableMetadata->showMetadata({{QStringLiteral("IPTC.City"), QStringLiteral("Oslo")},
                                          {QStringLiteral("IPTC.SubLocation"), QStringLiteral("x")},
                                          {QStringLiteral("CF.Venue"), QStringLiteral("Hall")}},
                                         {}, true);
        const MetadataList rows = main.tableMetadata->exifModel()->rows();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0)->tag, QStringLiteral("CF.Venue"));
        QCOMPARE(rows.at(1)->tag, QStringLiteral("IPTC.City"));

        bool lookupsShown = false;
        whenModal([&lookupsShown](QWidget *modal) {
            lookupsShown = modal->objectName() == QStringLiteral("Lookups");
            child<QPushButton>(modal, "buttonCancel")->click();
        });
        main.actionLookups->trigger();
        QVERIFY(lookupsShown);

        // A switch changed elsewhere while the program runs (the Card menu, the command-line
        // tool) is what the window shows next time, and OK does not store the old value back.
        QVERIFY(Prefs::set(Prefs::EjectAfterIngest, true));
        bool shownOn = false;
        whenModal([&shownOn](QWidget *modal) {
            shownOn = child<QCheckBox>(modal, "checkboxEjectAfterIngest")->isChecked();
            child<QPushButton>(modal, "buttonOK")->click();
        });
        main.actionPrefs->trigger();
        QVERIFY(shownOn);
        QVERIFY(Prefs::boolean(Prefs::EjectAfterIngest));
    }

    // Each of the five tables gets a row typed in; OK writes every file with the exact texts.
    void lookupsEveryTableIsEditedInPlaceAndSavedOnOk()
    {
        LookupsController lookups;
        lookups.initializeWithPresetsFolder(AppPaths::supportFolder());
        LookupsWindow window(lookups);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *popup = child<QComboBox>(&window, "popupLookup");
        auto *table = child<QTableView>(&window, "tableLookup");
        auto *add = child<QPushButton>(&window, "buttonAdd");
        QCOMPARE(popup->currentText(), QStringLiteral("TIFF.Make"));
        QCOMPARE(popup->count(), 5);

        const QList<std::pair<QString, QString>> rows{{"*70-200*", "Tele"},
                                                      {"3012345", "Body B"},
                                                      {"nef", "Nikon raw"},
                                                      {"nikon*", "Nikon"},
                                                      {"*D7000", "Seven"}};
        for (int i = 0; i < popup->count(); ++i) {
            popup->setCurrentIndex(i);
            Q_EMIT popup->activated(i);
            QTest::mouseClick(add, Qt::LeftButton);
            QCOMPARE(table->model()->rowCount(), 1);
            // Add starts editing the new pattern, its text selected: typing replaces it.
            const QModelIndex cell = table->model()->index(0, 0);
            QLineEdit *editor = nullptr;
            QTRY_VERIFY((editor = qobject_cast<QLineEdit *>(table->indexWidget(cell))) != nullptr);
            QCOMPARE(editor->selectedText(), QStringLiteral("<new key>"));
            QTest::keyClicks(editor, rows[i].first);
            QTest::keyClick(editor, Qt::Key_Return);
            QTRY_VERIFY(!table->indexWidget(cell));
            typeInto(table, table->model()->index(0, 1), rows[i].second);
            QCOMPARE(table->model()->index(0, 0).data().toString(), rows[i].first);
        }
        QVERIFY(!grabWindow(&window, QStringLiteral("lookups")).isEmpty());
        QVERIFY2(!QFile::exists(lookupsFolder() + QStringLiteral("/Make.plist")),
                 "nothing is written before OK");
        QTest::mouseClick(child<QPushButton>(&window, "buttonOK"), Qt::LeftButton);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Accepted));

        const QStringList fields = LookupsController::lookupFields();
        for (int i = 0; i < fields.size(); ++i) {
            const QString file =
                lookupsFolder() + QLatin1Char('/') + LookupsController::fileNameForField(fields[i]);
            QCOMPARE(PropertyList::read(file)->toMap(),
                     (QVariantMap{{rows[i].first, rows[i].second}}));
        }
    }

    // Rows are removed, sorted by either column and refused when they repeat a pattern; Cancel
    // drops every edit.
    void lookupsRowsRemoveSortRefuseAndCancel()
    {
        {
            LookupsController seed;
            seed.initializeWithPresetsFolder(AppPaths::supportFolder());
            seed.dictLookupMake = {{"nikon*", "Nikon"}, {"canon*", "Canon"}, {"*pentax*", "Ricoh"}};
            QVERIFY(seed.writeLookups());
        }
        LookupsController lookups;
        lookups.initializeWithPresetsFolder(AppPaths::supportFolder());
        LookupsWindow window(lookups);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *table = child<QTableView>(&window, "tableLookup");
        auto *remove = child<QPushButton>(&window, "buttonRemove");
        const auto pattern = [table](int row) {
            return table->model()->index(row, 0).data().toString();
        };
        QCOMPARE(pattern(0), QStringLiteral("*pentax*"));
        QVERIFY(!remove->isEnabled());
        table->selectRow(1);
        QVERIFY(!grabWindow(&window, QStringLiteral("lookups-make")).isEmpty());

        // A header click sorts by replacement, a second one the other way.
        QTest::mouseClick(table->horizontalHeader()->viewport(), Qt::LeftButton, {},
                          QPoint(table->horizontalHeader()->sectionViewportPosition(1) + 10, 5));
        QCOMPARE(pattern(0), QStringLiteral("canon*"));
        QCOMPARE(pattern(2), QStringLiteral("*pentax*"));
        QTest::mouseClick(table->horizontalHeader()->viewport(), Qt::LeftButton, {},
                          QPoint(table->horizontalHeader()->sectionViewportPosition(1) + 10, 5));
        QCOMPARE(pattern(0), QStringLiteral("*pentax*"));

        // Renaming onto another row's pattern (in any case) is refused and said once.
        typeInto(table, table->model()->index(0, 0), QStringLiteral("NIKON*"));
        QTRY_COMPARE(m_ui.alerts.size(), 1);
        QCOMPARE(m_ui.alerts[0].title, QStringLiteral("Pattern already in the table."));
        QCOMPARE(pattern(0), QStringLiteral("*pentax*"));
        typeInto(table, table->model()->index(1, 1), QStringLiteral("Nikon Z"));

        // Remove with the button and with the Delete key; the next row is selected.
        table->selectRow(0);
        QVERIFY(remove->isEnabled());
        QTest::mouseClick(remove, Qt::LeftButton);
        QCOMPARE(table->model()->rowCount(), 2);
        QCOMPARE(table->selectionModel()->selectedRows().first().row(), 0);
        table->setFocus();
        QTest::keyClick(table, Qt::Key_Delete);
        QCOMPARE(table->model()->rowCount(), 1);

        // Cancel reads the files back: the edits are gone, on disk nothing changed.
        QTest::mouseClick(child<QPushButton>(&window, "buttonCancel"), Qt::LeftButton);
        QVERIFY(!window.isVisible());
        QCOMPARE(lookups.dictLookupMake.size(), 3);
        QCOMPARE(lookups.dictLookupMake.value(QStringLiteral("nikon*")), QStringLiteral("Nikon"));
        QCOMPARE(
            PropertyList::read(lookupsFolder() + QStringLiteral("/Make.plist"))->toMap().size(), 3);
    }

    // A damaged file is named when the window opens, its table starts empty, and the file is
    // kept aside (never overwritten) when the tables are saved. Escape with edits asks first.
    void lookupsDamagedFileIsNamedAndKept()
    {
        QDir().mkpath(lookupsFolder());
        QFile damaged(lookupsFolder() + QStringLiteral("/Model.plist"));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write("<plist><dict><key>half");
        damaged.close();

        LookupsController lookups;
        lookups.initializeWithPresetsFolder(AppPaths::supportFolder());
        LookupsWindow window(lookups);
        window.show();
        QTRY_COMPARE(m_ui.alerts.size(), 1);
        QCOMPARE(m_ui.alerts[0].title, QStringLiteral("A lookup table could not be read."));
        QVERIFY(m_ui.alerts[0].message.startsWith(damaged.fileName() +
                                                  QStringLiteral(" can't be read")));
        auto *popup = child<QComboBox>(&window, "popupLookup");
        auto *table = child<QTableView>(&window, "tableLookup");
        popup->setCurrentText(QStringLiteral("TIFF.Model"));
        Q_EMIT popup->activated(popup->currentIndex());
        QCOMPARE(table->model()->rowCount(), 0);
        child<QPushButton>(&window, "buttonAdd")->click();
        typeInto(table, table->model()->index(0, 0), QStringLiteral("d850"));

        m_ui.confirmAnswers = {0}; // "Keep"
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
        QCOMPARE(m_ui.confirmations.last().title,
                 QStringLiteral("Keep the changes to the lookup tables?"));
        QFile aside(damaged.fileName() + QStringLiteral(".damaged"));
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), QByteArray("<plist><dict><key>half"));
        QVERIFY(PropertyList::read(damaged.fileName())->toMap().contains(QStringLiteral("d850")));
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<MetadataWindowsTest>(argc, argv);
}

#include "MetadataWindowsTest.moc"
