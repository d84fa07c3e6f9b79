// The metadata editing table driven through its cells, buttons and menu.

#include "metadata/ui/ExifTableView.h"
#include "macro/ui/MacroEditorWindow.h"
#include "macro/ui/TokenFieldEdit.h"
#include "metadata/ECPrefsController.h"
#include "platform/Defaults.h"
#include "platform/RecordingUserInterface.h"
#include "support/GrabSupport.h"
#include "support/MetadataTableDriving.h"
#include "support/WindowDriving.h"
#include "support/WindowTestSupport.h"

#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

class ExifTableViewTest : public QObject
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

private Q_SLOTS:
    void initTestCase()
    {
        UserInterface::setInstance(&m_ui);
        ECPrefsController::init();
    }
    void cleanupTestCase() { UserInterface::setInstance(nullptr); }
    void init() { m_ui.clear(); }

    void cellsEditorsAndRowHeights()
    {
        ExifTableView table;
        table.resize(460, 360);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        showSelection(table);
        QCOMPARE(table.exifModel()->rowCount(), 5);
        QVERIFY(tableRowOf(table, "IPTC.Caption/Abstract") < 0);
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
        typeInTableCell(table, "TimeZone", QStringLiteral("Europe/Oslo DST"));
        QCOMPARE(tableValue(table, "TimeZone"), QStringLiteral("Europe/Oslo DST"));

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

    void buttonsAndMenuOfARow()
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
        QCOMPARE(table.exifModel()->originOf(city), ExifTableModel::Origin::Preset);
        fromMenu("actionDiscardChange");
        QVERIFY(!table.exifModel()->metadataForTag("IPTC.City")->change);

        // The tick column is a real check box: clicking it drops a typed value.
        table.exifModel()->updateTag("IPTC.ObjectName", QStringLiteral("Terns"));
        const QRect tick =
            table.visualRect(table.exifModel()->index(tableRowOf(table, "IPTC.ObjectName"), 0));
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, tick.center());
        QTRY_COMPARE(tableValue(table, "IPTC.ObjectName"), QStringLiteral("Gulls"));
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<ExifTableViewTest>(argc, argv);
}

#include "ExifTableViewTest.moc"
