// The preset window driven through its own widgets: presets made, saved, updated and deleted,
// the alerts and questions reaching it, and presets changed by another program while it is open.
// The rules behind them (names, menu entries, backup and conversion rules, alert order) are
// SetupController's core tests.

#include "presets/ui/PresetWindow.h"
#include "macro/ui/MacroMenu.h"
#include "macro/ui/TokenFieldEdit.h"
#include "metadata/ECPrefsController.h"
#include "metadata/ui/ExifTableView.h"
#include "platform/Defaults.h"
#include "platform/RecordingUserInterface.h"
#include "presets/Setup.h"
#include "presets/SetupController.h"
#include "support/GrabSupport.h"
#include "support/MetadataTableDriving.h"
#include "support/WindowDriving.h"
#include "support/WindowTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString presetsFolder()
{
    return QDir::homePath() + QStringLiteral("/.local/share/Brindlewick");
}

// Chooses an entry of the preset pop-up as a click would.
void choose(PresetWindow &window, const QString &title)
{
    auto *popup = child<QComboBox>(&window, "popupPresets");
    const int index = popup->findText(title);
    QVERIFY2(index >= 0, qPrintable(title));
    popup->setCurrentIndex(index);
    Q_EMIT popup->activated(index);
}

QStringList popupTitles(PresetWindow &window)
{
    auto *popup = child<QComboBox>(&window, "popupPresets");
    QStringList titles;
    for (int i = 0; i < popup->count(); ++i)
        titles << popup->itemText(i);
    return titles;
}

} // namespace

class PresetWindowTest : public QObject
{
    Q_OBJECT

private:
    RecordingUserInterface m_ui;

private Q_SLOTS:
    void initTestCase()
    {
        UserInterface::setInstance(&m_ui);
        ECPrefsController::init();
        QDir().mkpath(presetsFolder());
    }
    void cleanupTestCase() { UserInterface::setInstance(nullptr); }
    void init() { m_ui.clear(); }

    void makeUpdateAndDeleteAPresetInTheWindow()
    {
        SetupController controller;
        PresetWindow window(controller);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(popupTitles(window), (QStringList{"Default", "", "Save As..."}));

        // The folder arrangement typed, the macro becoming a token as its brace closes.
        auto *folder = child<TokenFieldEdit>(&window, "tokenFieldFolder");
        folder->setFocus();
        QTest::keyClicks(folder, QStringLiteral("{@DateImage:YYYY}/Trips"));
        QCOMPARE(folder->objectValue().size(), 2);
        QVERIFY(isToken(folder->objectValue().first()));
        QCOMPARE(popupTitles(window).at(0), QStringLiteral("Untitled (edited)"));

        // The file name: text, then a macro from the catalogue menu at the cursor.
        auto *file = child<TokenFieldEdit>(&window, "tokenFieldFilename");
        file->setText(QString());
        file->setFocus();
        QTest::keyClicks(file, QStringLiteral("Trip-"));
        auto *macros = child<MacroMenuButton>(&window, "popupFilenameMacros");
        QMenu *special = macros->menu()->findChild<QMenu *>(QStringLiteral("macroMenuSpecial"));
        QVERIFY(special);
        for (QAction *action : special->actions())
            if (action->text() == QStringLiteral("Index:4"))
                action->trigger();
        QCOMPARE(file->text(), QStringLiteral("Trip-{@Index:4}"));

        // A backup, the types to offer and a metadata value.
        QTest::mouseClick(child<QCheckBox>(&window, "checkboxBackup"), Qt::LeftButton);
        QVERIFY(child<QLineEdit>(&window, "textBackupRoot")->isEnabled());
        QVERIFY(child<QCheckBox>(&window, "checkboxBackup2")->isEnabled());
        auto *types = child<QLineEdit>(&window, "textInclusions");
        types->setFocus();
        QTest::keyClicks(types, QStringLiteral("jpg  nef"));
        typeInTableCell(*window.metadataTable(), QStringLiteral("IPTC.City"),
                        QStringLiteral("Bergen"));
        QVERIFY(QFileInfo(grabWindow(&window, QStringLiteral("preset-window"))).exists());

        // Save As: the name prompt, and the provided backup root shown.
        m_ui.promptAnswers = {QStringLiteral("Fjords")};
        choose(window, QStringLiteral("Save As..."));
        QCOMPARE(m_ui.prompts.size(), 1);
        QCOMPARE(child<QLineEdit>(&window, "textBackupRoot")->text(),
                 QStringLiteral("~/Pictures/Brindlewick/Backup"));
        QCOMPARE(popupTitles(window), (QStringList{"Fjords", "Default", "", "Save As...",
                                                   "Update Fjords", "Delete Fjords"}));

        // A fresh store reads the same values back from the file.
        SetupController reopened;
        reopened.makeCurrent(QStringLiteral("Fjords"));
        const Setup &saved = reopened.currentSetup();
        QCOMPARE(saved.paramString("FolderArrangement"), QStringLiteral("{@DateImage:YYYY}/Trips"));
        QCOMPARE(saved.paramString("FilenameArrangement"), QStringLiteral("Trip-{@Index:4}"));
        QCOMPARE(saved.paramString("WantBackup"), QStringLiteral("YES"));
        QCOMPARE(saved.paramString("Inclusions"), QStringLiteral("JPG NEF"));
        QCOMPARE(saved.paramDict("Metadata").value("IPTC.City"), QVariant("Bergen"));

        // Conversion without a converter: the backup rule's, the second backup's and the
        // converter's alerts (their order is the controller's test); conversion is unticked.
        QTest::mouseClick(child<QCheckBox>(&window, "checkboxBackup2"), Qt::LeftButton);
        QTest::mouseClick(child<QCheckBox>(&window, "checkboxBackup"), Qt::LeftButton);
        QVERIFY(!child<QCheckBox>(&window, "checkboxBackup2")->isChecked());
        QTest::mouseClick(child<QCheckBox>(&window, "checkboxBackup2"), Qt::LeftButton);
        QVERIFY(!child<QCheckBox>(&window, "checkboxBackup2")->isChecked());
        QTest::mouseClick(child<QCheckBox>(&window, "checkboxDNGConversion"), Qt::LeftButton);
        QVERIFY(child<QCheckBox>(&window, "checkboxVerifyOnly")->isEnabled());
        QTest::mouseClick(child<QCheckBox>(&window, "checkboxBackup"), Qt::LeftButton);
        QTest::mouseClick(child<QCheckBox>(&window, "checkboxBackup2"), Qt::LeftButton);
        child<QLineEdit>(&window, "textBackupRoot")->clear();
        QTest::mouseClick(child<QCheckBox>(&window, "checkboxGeotag"), Qt::LeftButton);
        QVERIFY(popupTitles(window).contains(QStringLiteral("Fjords (edited)")));
        m_ui.clear();
        choose(window, QStringLiteral("Update Fjords"));
        QCOMPARE(m_ui.alerts.size(), 3);
        QVERIFY(!child<QCheckBox>(&window, "checkboxDNGConversion")->isChecked());
        QCOMPARE(Setup::readFile(presetsFolder() + "/Fjords.plist")->value("GeoTag"),
                 QVariant("YES"));

        // A converter chosen in the window is the one an ingestion runs.
        PresetWindow::setFilePanel([](const QString &message, const QString &) {
            return message == QStringLiteral("Choose DNG Converter application.")
                       ? std::optional<QString>(QStringLiteral("/opt/dng/convert"))
                       : std::nullopt;
        });
        QTest::mouseClick(child<QCheckBox>(&window, "checkboxDNGConversion"), Qt::LeftButton);
        QVERIFY(child<QCheckBox>(&window, "checkboxDNGConversion")->isChecked());
        QVERIFY(child<QPushButton>(&window, "buttonChooseConverter")->isEnabled());
        QTest::mouseClick(child<QPushButton>(&window, "buttonChooseConverter"), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(&window, "textConverter")->text(),
                 QStringLiteral("/opt/dng/convert"));
        QCOMPARE(Defaults::string("ConverterPath"), QStringLiteral("/opt/dng/convert"));
        PresetWindow::setFolderPanel([](const QString &, const QString &) {
            return std::optional<QString>(QStringLiteral("/media/card/Photos"));
        });
        QTest::mouseClick(child<QPushButton>(&window, "buttonChoosePrimaryRoot"), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(&window, "textPrimaryRoot")->text(),
                 QStringLiteral("/media/card/Photos"));
        PresetWindow::setFolderPanel({});
        PresetWindow::setFilePanel({});

        // An arrangement that does not parse is refused with the place of the fault.
        m_ui.clear();
        folder->setFocus();
        folder->moveCursor(QTextCursor::End);
        QTest::keyClicks(folder, QStringLiteral("/{@DateImage:MM"));
        choose(window, QStringLiteral("Update Fjords"));
        QCOMPARE(m_ui.alerts.size(), 1);
        QCOMPARE(m_ui.alerts[0].title, QStringLiteral("Invalid folder arrangement."));
        QVERIFY(!Setup::readFile(presetsFolder() + "/Fjords.plist")
                     ->value("FolderArrangement")
                     .toString()
                     .contains(QStringLiteral("MM")));
        QTest::keyClick(folder, Qt::Key_Backspace);
        QTest::keyClicks(folder, QStringLiteral("M}"));
        QCOMPARE(folder->objectValue().size(), 3);

        // Delete asks; Keep keeps, Delete deletes and shows the defaults.
        m_ui.confirmAnswers = {1, 0};
        choose(window, QStringLiteral("Delete Fjords"));
        QCOMPARE(m_ui.confirmations.size(), 1);
        QVERIFY(QFileInfo::exists(presetsFolder() + "/Fjords.plist"));
        choose(window, QStringLiteral("Delete Fjords"));
        QVERIFY(!QFileInfo::exists(presetsFolder() + "/Fjords.plist"));
        QVERIFY(!popupTitles(window).contains(QStringLiteral("Fjords")));

        // Editing the defaults and pressing OK asks for a name; no name keeps the window open.
        QTest::mouseClick(child<QCheckBox>(&window, "checkboxVerifyJPEGs"), Qt::LeftButton);
        m_ui.promptAnswers = {std::nullopt};
        QTest::mouseClick(child<QPushButton>(&window, "buttonOK"), Qt::LeftButton);
        QVERIFY(window.isVisible());
        QTest::mouseClick(child<QPushButton>(&window, "buttonCancel"), Qt::LeftButton);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), 0);
        QCOMPARE(controller.currentSetupName(), QStringLiteral("Default"));
    }

    void presetsFromOtherProgramsShowAtOnce()
    {
        QVariantMap coast = Setup::defaultSetup().dict();
        coast.insert(QStringLiteral("FilenameArrangement"),
                     QStringLiteral("{@DateImage:YYYYMMDD}-{@Index:4}"));
        coast.insert(QStringLiteral("WantJPEGVerify"), QStringLiteral("YES"));
        coast.insert(QStringLiteral("Metadata"), QVariantMap{{"IPTC.Headline", "Shore"}});
        QVERIFY(Setup::writeFile(presetsFolder() + QStringLiteral("/Coast.plist"), coast));
        writeBrokenPreset();
        Defaults::set(QStringLiteral("Preset"), QStringLiteral("Coast"));

        SetupController controller;
        PresetWindow window(controller);
        window.show();
        // The preset opens with its values.
        QCOMPARE(child<TokenFieldEdit>(&window, "tokenFieldFilename")->text(),
                 QStringLiteral("{@DateImage:YYYYMMDD}-{@Index:4}"));
        QVERIFY(child<QCheckBox>(&window, "checkboxVerifyJPEGs")->isChecked());
        ExifTableModel *table = window.metadataTable()->exifModel();
        QCOMPARE(table->metadataForTag(QStringLiteral("IPTC.Headline"))->valEffective(),
                 QVariant("Shore"));
        // A damaged file is listed and cannot be chosen.
        auto *popup = child<QComboBox>(&window, "popupPresets");
        const int broken = popup->findText(QStringLiteral("Broken (damaged)"));
        QVERIFY(broken >= 0);
        auto *items = qobject_cast<QStandardItemModel *>(popup->model());
        QVERIFY(!items->item(broken)->isEnabled());

        // Another program adds a preset: the pop-up shows it without a restart.
        QCOMPARE(runCliTool({"presets", "new", "Harbour", "--from", "Coast"}).exitCode, 0);
        QTRY_VERIFY(popupTitles(window).contains(QStringLiteral("Harbour")));

        // It changes the preset shown, with no edits here: reloaded, and the window says so.
        QCOMPARE(runCliTool({"presets", "set", "Coast", "GeoTag", "YES"}).exitCode, 0);
        QTRY_VERIFY(child<QCheckBox>(&window, "checkboxGeotag")->isChecked());
        QVERIFY(child<QLabel>(&window, "labelNotice")->text().contains(QStringLiteral("reloaded")));

        // With edits here: the user is asked, and keeping them never overwrites in silence.
        QTest::mouseClick(child<QCheckBox>(&window, "checkboxVerifyJPEGs"), Qt::LeftButton);
        m_ui.clear();
        m_ui.confirmAnswers = {0};
        QCOMPARE(runCliTool({"presets", "set", "Coast", "Inclusions", "CR3"}).exitCode, 0);
        QTRY_COMPARE(m_ui.confirmations.size(), 1);
        QCOMPARE(m_ui.confirmations[0].title,
                 QStringLiteral("Preset \"Coast\" was changed on disk."));
        QCOMPARE(m_ui.confirmations[0].buttons, (QStringList{"Keep My Edits", "Reload"}));
        QVERIFY(!child<QCheckBox>(&window, "checkboxVerifyJPEGs")->isChecked());
        m_ui.confirmAnswers = {0};
        choose(window, QStringLiteral("Update Coast"));
        QCOMPARE(m_ui.confirmations.size(), 2);
        QCOMPARE(m_ui.confirmations[1].buttons, (QStringList{"Don't Save", "Save"}));
        QCOMPARE(Setup::readFile(presetsFolder() + "/Coast.plist")->value("Inclusions"),
                 QVariant("CR3"));
        QCOMPARE(Setup::readFile(presetsFolder() + "/Coast.plist")->value("WantJPEGVerify"),
                 QVariant("YES"));
        QTest::mouseClick(child<QPushButton>(&window, "buttonCancel"), Qt::LeftButton);
    }

private:
    void writeBrokenPreset()
    {
        QFile file(presetsFolder() + QStringLiteral("/Broken.plist"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<?xml version=\"1.0\"?><plist><dict><key>Prim");
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<PresetWindowTest>(argc, argv);
}

#include "PresetWindowTest.moc"
