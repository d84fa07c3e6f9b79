#include "log/IngestionLogController.h"
#include "log/ui/IngestionLogWindow.h"
#include "support/GrabSupport.h"
#include "support/TestSupport.h"
#include "support/WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

class IngestionLogViewerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listsMonthsNewestFirstAndShowsTheEndOfAMonth()
    {
        QByteArray january;
        for (int i = 0; i < 400; ++i)
            january += "2024-01-05 03:04:05: line " + QByteArray::number(i) + "\n";
        const QString folder = IngestionLogController::initLogDir();
        QVERIFY(writeTestFile(folder + QStringLiteral("/2024-01.txt"), january));
        writeTestFile(folder + QStringLiteral("/2024-02.txt"), "2024-02-01 01:00:00: SUCCESS\n");
        writeTestFile(folder + QStringLiteral("/.hidden.txt"), "x");
        writeTestFile(folder + QStringLiteral("/notes.log"), "x");
        writeTestFile(folder + QStringLiteral("/2023-12.txt"),
                      QByteArray("\xff\xfe broken \xc3", 11));

        IngestionLogWindow window;
        // The class's own show() runs a fresh viewer modally; this one is shown plainly.
        window.QWidget::show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *table = window.findChild<QListWidget *>(QStringLiteral("tableMonths"));
        auto *text = window.findChild<QPlainTextEdit *>(QStringLiteral("textView"));
        QCOMPARE(table->count(), 3);
        QCOMPARE(table->item(0)->text(), QStringLiteral("2024-02"));
        QCOMPARE(table->item(2)->text(), QStringLiteral("2023-12"));
        QCOMPARE(text->font().pointSize(), 10);

        table->setCurrentRow(1);
        QVERIFY(text->toPlainText().startsWith(QStringLiteral("2024-01-05 03:04:05: line 0\n")));
        QVERIFY(text->verticalScrollBar()->maximum() > 0);
        QCOMPARE(text->verticalScrollBar()->value(), text->verticalScrollBar()->maximum());
        grabWindow(&window, QStringLiteral("ingestion-log"));

        table->setCurrentRow(2);
        QCOMPARE(text->toPlainText(), QStringLiteral("[File not readable]"));

        window.findChild<QPushButton *>(QStringLiteral("buttonClose"))->click();
        QVERIFY(!window.isVisible());
    }

    void anEmptyFolderListsNothing()
    {
        QDir(IngestionLogController::initLogDir()).removeRecursively();
        IngestionLogController::reset();
        IngestionLogWindow window;
        QCOMPARE(window.findChild<QListWidget *>(QStringLiteral("tableMonths"))->count(), 0);
        QCOMPARE(window.monthAtRow(0), QString());
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<IngestionLogViewerTest>(argc, argv);
}

#include "IngestionLogViewerTest.moc"
