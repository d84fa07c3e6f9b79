#include "ingest/ui/MetadataPreviewWindow.h"
#include "ingest/MetadataPreviewController.h"
#include "ingest/MetadataPreviewModel.h"
#include "platform/RecordingUserInterface.h"
#include "platform/SystemLog.h"
#include "support/GrabSupport.h"
#include "support/ProgramFixture.h"
#include "support/WindowTestSupport.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QImage>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QtTest>

namespace {

ThumbItemPtr previewItem(const QString &path, const QVariantMap &generated)
{
    ThumbItemPtr item = ThumbItem::initWithPath(path);
    item->checked = true;
    item->metadata = QVariantMap();
    item->metadataGenerated = generated;
    return item;
}

QPoint cellCentre(QTableView *table, int row, int column)
{
    return table->visualRect(table->model()->index(row, column)).center();
}

} // namespace

class MetadataPreviewWindowTest : public QObject
{
    Q_OBJECT

private:
    RecordingUserInterface m_ui;

private Q_SLOTS:
    void initTestCase()
    {
        UserInterface::setInstance(&m_ui);
        SystemLog::setEchoToStderr(false);
    }
    void cleanupTestCase() { UserInterface::setInstance(nullptr); }

    // The Preview action over a card where one ticked image lacks a required value.
    void previewOfACardWithOneImageMissingRequiredData()
    {
        m_ui.clear();
        const QString card =
            makeTimedCard(QStringLiteral("preview-card"),
                          {"2024:05:12 09:00:00", "2024:05:12 09:10:00", "2024:05:12 09:20:00"});
        Program program(card);
        MainWindow &w = program.window;
        QCOMPARE(program.app.numChecked(), 3);
        Setup &setup = program.app.setupController()->currentSetup();
        QVariantMap metadata = setup.paramDict(QStringLiteral("Metadata"));
        metadata.insert(QStringLiteral("IPTC.City"), QStringLiteral("{@Required}"));
        setup.setParam(QStringLiteral("Metadata"), metadata);
        program.item(0)->metadataUser = QVariantMap{{QStringLiteral("IPTC.City"), "Bath"}};
        program.item(1)->metadataUser = QVariantMap{{QStringLiteral("IPTC.City"), "Wells"}};

        bool looked = false;
        whenModal([&looked, &program](QWidget *modal) {
            auto *window = qobject_cast<MetadataPreviewWindow *>(modal);
            QVERIFY(window);
            QCOMPARE(window->windowTitle(),
                     QStringLiteral("Metadata Preview - 1 photo(s) have missing data"));
            QTableView *table = window->table();
            QAbstractItemModelTester tester(table->model(),
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
            QCOMPARE(table->model()->rowCount(), 3);
            QCOMPARE(table->model()->columnCount(), 3);
            // Red for the image without a city, black for the others.
            const auto cell = [table](int row, int column, int role = Qt::DisplayRole) {
                return table->model()->index(row, column).data(role);
            };
            QCOMPARE(cell(2, 1, Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::red));
            QCOMPARE(cell(0, 1, Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::black));
            QVERIFY(cell(0, 1).toString().contains(QStringLiteral("IPTC.City: Bath\n")));
            QVERIFY(
                cell(0, 1).toString().contains(QStringLiteral("Target Filename: IMG_0001.JPG")));
            // The row height the controller asks for: its generated lines, five more.
            const int lines = int(program.item(2)->metadataGenerated.size()) + 5;
            QCOMPARE(table->verticalHeader()->sectionSize(2), qMax(100, lines * 14));
            // No track: no map link.
            QVERIFY(!cell(1, 2, MetadataPreviewModel::MapLinkRole).toBool());
            QVERIFY(cell(1, 2).toString().isEmpty());
            // Rows cannot be selected.
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cellCentre(table, 1, 1));
            QVERIFY(!table->selectionModel()->hasSelection());
            QVERIFY(!(table->model()->flags(table->model()->index(1, 1)) & Qt::ItemIsSelectable));
            QTRY_VERIFY(window->model()->hasPicture(0));
            grabWindow(window, QStringLiteral("metadata-preview"));
            looked = true;
            QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("buttonOK")),
                              Qt::LeftButton);
        });
        QTest::mouseClick(w.buttonPreview, Qt::LeftButton);
        QVERIFY(looked);
        QVERIFY(m_ui.alerts.isEmpty());
        // Nothing was copied.
        QVERIFY(!QDir(QDir::homePath() + QStringLiteral("/Pictures/Brindlewick")).exists());

        // Nothing ticked: said so, and no window.
        program.app.actionCheckNone();
        QTest::mouseClick(w.buttonPreview, Qt::LeftButton);
        QCOMPARE(m_ui.alertTexts(),
                 QStringList{QStringLiteral("Nothing to preview.: Choose some images to ingest.")});
        QVERIFY(!QApplication::activeModalWidget());
    }

    void mapLinksOpenTheBrowserAtThePosition()
    {
        const QString folder = QDir::homePath() + QStringLiteral("/map-card");
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/a.jpg");
        QVERIFY(ImageFixtures::writeJpeg(path, QSize(120, 90)));
        ThumbItemPtr own = previewItem(path, {{"IPTC.City", "Bath"}});
        own->metadata = QVariantMap{{QStringLiteral("{GPS}"), QVariantMap{{"Latitude", 51.38},
                                                                          {"LatitudeRef", "N"},
                                                                          {"Longitude", 2.36},
                                                                          {"LongitudeRef", "W"}}}};
        ThumbItemPtr matched = previewItem(path, {});
        matched->gpsLat = -33.856;
        matched->gpsLon = 151.215;
        matched->gpsMessage = QStringLiteral("Automatically geotagged");
        ThumbItemPtr none = previewItem(path, {});
        none->gpsMessage = QStringLiteral("Track not found");

        MetadataPreviewController controller;
        controller.items = {own, matched, none};
        MetadataPreviewWindow window(controller);
        QVERIFY(window.go());
        QCOMPARE(window.windowTitle(), QStringLiteral("Metadata Preview"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QList<QUrl> opened;
        MetadataPreviewWindow::setUrlOpener([&opened](const QUrl &url) { opened << url; });
        QTableView *table = window.table();
        QCOMPARE(table->model()->index(0, 2).data().toString(),
                 MetadataPreviewModel::mapLinkText());
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cellCentre(table, 0, 2));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cellCentre(table, 2, 2));
        table->setCurrentIndex(table->model()->index(1, 2));
        QTest::keyClick(table, Qt::Key_Return);
        QCOMPARE(opened.size(), 2);
        QVERIFY(opened[0].toString().contains(QStringLiteral("q=51.380001,-2.360000")));
        QVERIFY(opened[1].toString().contains(QStringLiteral("q=-33.856000,151.215000")));
        QTRY_VERIFY(window.model()->hasPicture(2));
        grabWindow(&window, QStringLiteral("metadata-preview-map-links"));
        MetadataPreviewWindow::setUrlOpener({});
    }

    // A large card: only the rows on show get their thumbnails (bench/preview times it).
    void twoThousandTickedImagesStayResponsive()
    {
        const QString folder = QDir::homePath() + QStringLiteral("/large-card");
        QDir().mkpath(folder);
        MetadataPreviewController controller;
        for (int i = 0; i < 2000; ++i) {
            const QString path = folder + QStringLiteral("/IMG_%1.JPG").arg(i, 4, 10, QChar(u'0'));
            QImage image(48, 32, QImage::Format_RGB32);
            image.fill(QColor::fromHsv(i % 360, 150, 200));
            QVERIFY(image.save(path, "JPEG"));
            ThumbItemPtr item =
                previewItem(path, {{"IPTC.City", "Bath"}, {"IPTC.Headline", QString::number(i)}});
            item->targetFilename = QFileInfo(path).fileName();
            controller.items << item;
        }
        MetadataPreviewWindow window(controller);
        QVERIFY(window.go());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        MetadataPreviewModel *model = window.model();
        QCOMPARE(model->rowCount(), 2000);
        QTRY_VERIFY(model->hasPicture(0));
        QTRY_COMPARE(model->picturesPending(), 0);
        QVERIFY(!model->hasPicture(1999));
        window.table()->verticalScrollBar()->setValue(
            window.table()->verticalScrollBar()->maximum());
        QTRY_VERIFY(model->hasPicture(1999));
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<MetadataPreviewWindowTest>(argc, argv);
}

#include "MetadataPreviewWindowTest.moc"
