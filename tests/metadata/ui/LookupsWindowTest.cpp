// The lookup window driven through its real widgets: every table edited in place, rows added,
// removed and sorted, duplicates refused, OK writing the five files and Cancel dropping edits;
// the tables read back through the data half, the command-line tool and the lookups.
#include "metadata/ui/LookupsWindow.h"
#include "metadata/ECPrefsController.h"
#include "metadata/LookupsController.h"
#include "platform/AppPaths.h"
#include "platform/PropertyList.h"
#include "platform/RecordingUserInterface.h"
#include "support/GrabSupport.h"
#include "support/WindowDriving.h"
#include "support/WindowTestSupport.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QJsonObject tableByTool(const QString &table)
{
    return QJsonDocument::fromJson(runCliTool({"lookups", "list", "--json", table}).out.toUtf8())
        .object();
}

QString lookupsFolder()
{
    return AppPaths::supportFolder() + QStringLiteral("/Lookups");
}

} // namespace

class LookupsWindowTest : public QObject
{
    Q_OBJECT

private:
    RecordingUserInterface m_ui;

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
        m_ui.clear();
        QDir(lookupsFolder()).removeRecursively();
    }

    // Each of the five tables gets a row typed in; OK writes every file with the exact texts,
    // which the tool and the lookups read back.
    void everyTableIsEditedInPlaceAndSavedOnOk()
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
            QCOMPARE(table->model()->index(0, 0).data().toString(), QStringLiteral("<new key>"));
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
            const QJsonArray entries =
                tableByTool(fields[i]).value(QStringLiteral("entries")).toArray();
            QCOMPARE(entries.size(), 1);
            QCOMPARE(entries.at(0).toObject().value(QStringLiteral("replacement")).toString(),
                     rows[i].second);
        }
        QCOMPARE(LookupsController::lookupKey(QStringLiteral("NIKON CORPORATION"),
                                              QStringLiteral("TIFF.Make")),
                 QStringLiteral("Nikon"));
    }

    // Rows are removed, sorted by either column, refused when they repeat a pattern, and a
    // lookup macro sees an edit at once; Cancel drops every edit.
    void rowsRemoveSortRefuseAndCancel()
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

        // An edit counts for the lookups (and so the macros) before OK.
        QCOMPARE(pattern(1), QStringLiteral("nikon*"));
        typeInto(table, table->model()->index(1, 1), QStringLiteral("Nikon Z"));
        QCOMPARE(LookupsController::lookupKey(QStringLiteral("NIKON CORPORATION"),
                                              QStringLiteral("TIFF.Make")),
                 QStringLiteral("Nikon Z"));

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
        QCOMPARE(tableByTool(QStringLiteral("TIFF.Make"))
                     .value(QStringLiteral("entries"))
                     .toArray()
                     .size(),
                 3);
    }

    // A damaged file is named when the window opens, its table starts empty, and the file is
    // kept aside (never overwritten) when the tables are saved. Escape with edits asks first.
    void damagedFileIsNamedAndKept()
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
    // Keep the windows away from the real user's settings.
    QTemporaryDir home;
    pointHomeAt(home);
    QApplication app(argc, argv);
    ECPrefsController::init();
    LookupsWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "LookupsWindowTest.moc"
