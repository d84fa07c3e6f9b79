#include "sources/ui/ChooseInputWindow.h"
#include "items/ThumbItem.h"
#include "platform/Defaults.h"
#include "platform/NotificationCenter.h"
#include "sources/ChooseInput.h"
#include "support/GrabSupport.h"
#include "support/WindowDriving.h"
#include "support/WindowTestSupport.h"

#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString g_cameraFolder;

void writeImages(const QString &folder, int count)
{
    QDir().mkpath(folder);
    for (int i = 1; i <= count; ++i) {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        image.save(folder + QStringLiteral("/IMG_%1.JPG").arg(i), "JPEG");
    }
}

// Records "FinishedChoosing": how often, and whether it carried user information.
struct Finished
{
    int count = 0;
    bool hadUserInfo = false;
    Finished()
    {
        NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("FinishedChoosing"),
                                                        [this](const Notification &note) {
                                                            ++count;
                                                            hadUserInfo = note.hasUserInfo;
                                                        });
    }
    ~Finished() { NotificationCenter::defaultCenter().removeObserver(this); }
};

// A chooser window over `items`, answered by clicking the button named `press`; Eject is off
// while no camera is selected.
int runChooser(ThumbItemList &items, const char *press)
{
    ChooseInput chooser;
    chooser.setMImageBrowserController(&items);
    ChooseInputWindow window(chooser);
    whenModal([press](QWidget *modal) {
        QVERIFY(!child<QPushButton>(modal, "buttonEject")->isEnabled());
        child<QPushButton>(modal, press)->click();
    });
    return window.exec();
}

} // namespace

class ChooseInputWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void folderButtonFillsTheListAndClosesTheWindow()
    {
        const QString card = QDir::homePath() + QStringLiteral("/card");
        writeImages(card, 3);
        QString startedAt = QStringLiteral("unset");
        ChooseInputWindow::setFolderPanel([&](const QString &start) -> std::optional<QString> {
            startedAt = start;
            return card;
        });
        ThumbItemList items;
        Finished finished;
        runChooser(items, "buttonOther");
        QCOMPARE(startedAt, QString());
        QCOMPARE(items.size(), 3);
        QCOMPARE(finished.count, 1);

        // The next panel opens where the last one ended; cancelling it still closes and
        // announces, as a cancel (what that leaves alone is the chooser's test).
        ChooseInputWindow::setFolderPanel([&](const QString &start) -> std::optional<QString> {
            startedAt = start;
            return std::nullopt;
        });
        runChooser(items, "buttonOther");
        QCOMPARE(startedAt, card);
        QCOMPARE(finished.count, 2);
        QVERIFY(!finished.hadUserInfo);

        // Cancel in the window itself announces nothing.
        QCOMPARE(runChooser(items, "buttonCancel"), int(QDialog::Rejected));
        QCOMPARE(finished.count, 2);
    }

    void aFolderCameraIsListedAndFillsTheListWhenChosen()
    {
        ThumbItemList items;
        ChooseInput chooser;
        chooser.setMImageBrowserController(&items);
        Finished finished;
        ChooseInputWindow window(chooser);
        QListWidget *table = nullptr;
        whenModal([&table](QWidget *modal) { table = child<QListWidget>(modal, "tableCameras"); });
        QTimer::singleShot(20000, &window, &QDialog::reject);
        auto *pick = new QTimer(&window);
        pick->setInterval(50);
        connect(pick, &QTimer::timeout, [&table, &window, pick] {
            if (!table || table->count() == 0)
                return;
            pick->stop();
            QVERIFY(!grabWindow(&window, QStringLiteral("choose-input")).isEmpty());
            table->setCurrentRow(0);
            QVERIFY(child<QPushButton>(&window, "buttonEject")->isEnabled());
        });
        pick->start();
        window.exec();
        QCOMPARE(finished.count, 1);
        QCOMPARE(items.size(), 2);
        QVERIFY(items.first()->isCameraItem());
    }
};

int main(int argc, char **argv)
{
    // Keep the windows away from the real user's settings.
    QTemporaryDir home;
    pointHomeAt(home);
    // A folder that the camera service offers as a camera.
    g_cameraFolder = home.path() + QStringLiteral("/camera");
    writeImages(g_cameraFolder, 2);
    qputenv("BRINDLEWICK_DISK_CAMERAS", g_cameraFolder.toLocal8Bit());
    QApplication app(argc, argv);
    ChooseInputWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ChooseInputWindowTest.moc"
