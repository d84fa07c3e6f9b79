#include "sources/ChooseInput.h"
#include "log/ConsoleLog.h"
#include "platform/Defaults.h"
#include "platform/NotificationCenter.h"
#include "platform/RecordingUserInterface.h"
#include "platform/SystemLog.h"
#include "support/Permissions.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Records what the chooser posts, and installs a recording user interface.
class ChooseInputTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UserInterface::setInstance(&ui);
        for (const char *name : {"FinishedChoosing", "ThumbHasArrived", "MetadataHasArrived"})
            NotificationCenter::defaultCenter().addObserver(
                this, name, [this](const Notification &n) { posted.append(n); });
        chooser.setMImageBrowserController(&items);
    }
    void TearDown() override
    {
        NotificationCenter::defaultCenter().removeObserver(this);
        UserInterface::setInstance(nullptr);
    }

    QStringList titles() const
    {
        QStringList result;
        for (const auto &item : items)
            result << item->title();
        return result;
    }

    RecordingUserInterface ui;
    ThumbItemList items;
    ChooseInput chooser;
    QList<Notification> posted;
};

void touch(const QString &path)
{
    ASSERT_TRUE(writeTestFile(path, "x"));
}

} // namespace

// Every visible file by name across folders, hidden folders included; links to files listed,
// linked folders once and loops ended; pipes, dangling links and dot files left out.
TEST_F(ChooseInputTest, ListsEveryVisibleFileByNameAcrossFolders)
{
    const QString dir = makeTestFolder("order");
    touch(dir + "/IMG_2.JPG");
    touch(dir + "/img_1.jpg");
    touch(dir + "/sub/IMG_3.JPG");
    touch(dir + "/.hidden.jpg");
    touch(dir + "/.thumbs/IMG_0.JPG"); // inside a hidden folder: still offered
    touch(dir + "/sub/.DS_Store");
    touch(dir + "/notes.txt");
    touch(dir + "/README");
    QDir().mkpath(dir + "/empty-sub");
    const auto link = [](const QString &target, const QString &path) {
        ASSERT_EQ(
            ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()),
            0);
    };
    link("..", dir + "/sub/up");
    link(dir + "/sub", dir + "/again");
    link("nowhere.jpg", dir + "/dangling.jpg");
    link("img_1.jpg", dir + "/link.jpg");
    // A pipe would block whoever copies it.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir + "/pipe.jpg").constData(), 0600), 0);
    items.append(ThumbItem::initWithPath("/elsewhere/old.jpg"));

    ASSERT_TRUE(chooser.doPath(dir));
    const QStringList all{"IMG_0.JPG", "img_1.jpg", "IMG_2.JPG", "IMG_3.JPG",
                          "link.jpg",  "notes.txt", "README"};
    EXPECT_EQ(titles(), all);
    EXPECT_EQ(items[0]->path.toStdString(), (dir + "/.thumbs/IMG_0.JPG").toStdString());
    EXPECT_EQ(items[4]->path.toStdString(), (dir + "/link.jpg").toStdString());
    for (const auto &item : items) {
        EXPECT_FALSE(item->isCameraItem());
        EXPECT_FALSE(item->excluded);
        EXPECT_FALSE(item->checked);
    }
    EXPECT_TRUE(ui.alerts.isEmpty());

    // A filter marks the other files excluded but still offers them.
    chooser.setInclusions({"jpg"});
    ASSERT_TRUE(chooser.doPath(dir));
    EXPECT_EQ(titles(), all);
    for (const auto &item : items) {
        EXPECT_EQ(item->excluded, !item->title().endsWith("jpg", Qt::CaseInsensitive))
            << item->title().toStdString();
        EXPECT_FALSE(item->checked);
    }
}

TEST_F(ChooseInputTest, MovieSidecarsGoWithTheirMovieInsteadOfBeingOffered)
{
    const QString dir = makeTestFolder("companions");
    touch(dir + "/MVI_0001.MOV");
    touch(dir + "/MVI_0001.THM");
    touch(dir + "/sub/C0001.MP4");
    touch(dir + "/sub/C0001M01.xml");
    touch(dir + "/CRW_0002.CRW");
    touch(dir + "/crw_0002.thm"); // letter case as a copy left it
    touch(dir + "/IMG_0003.JPG");
    touch(dir + "/IMG_0003.THM"); // a JPEG takes no companions: offered as it is
    touch(dir + "/C0009M01.XML"); // no movie beside it: offered as it is
    touch(dir + "/MVI_0001.MOV.xmp");

    ASSERT_TRUE(chooser.doPath(dir));
    EXPECT_EQ(titles(), (QStringList{"C0001.MP4", "C0009M01.XML", "CRW_0002.CRW", "IMG_0003.JPG",
                                     "IMG_0003.THM", "MVI_0001.MOV", "MVI_0001.MOV.xmp"}));
    EXPECT_EQ(items[0]->companions, QStringList{dir + "/sub/C0001M01.xml"});
    EXPECT_EQ(items[2]->companions, QStringList{dir + "/crw_0002.thm"});
    EXPECT_TRUE(items[3]->companions.isEmpty());
    EXPECT_EQ(items[5]->companions, QStringList{dir + "/MVI_0001.THM"});
}

TEST_F(ChooseInputTest, ChosenFolderIsRememberedAndAnnouncedWithAnEmptyDictionary)
{
    const QString dir = makeTestFolder("empty");
    items.append(ThumbItem::initWithPath("/elsewhere/old.jpg"));
    int closed = 0;
    QObject::connect(&chooser, &ChooseInput::windowShouldClose, [&] { ++closed; });

    chooser.folderChosen(dir);
    EXPECT_TRUE(items.isEmpty());
    EXPECT_EQ(ChooseInput::inputDirectory(), dir);
    EXPECT_EQ(closed, 1);
    ASSERT_EQ(posted.size(), 1);
    EXPECT_EQ(posted[0].name, "FinishedChoosing");
    EXPECT_EQ(posted[0].sender, &chooser);
    EXPECT_TRUE(posted[0].hasUserInfo);
    EXPECT_TRUE(posted[0].userInfo.isEmpty());

    // A cancelled panel: no user information, the list and the remembered folder unchanged.
    items.append(ThumbItem::initWithPath("/elsewhere/kept.jpg"));
    ChooseInput second;
    second.setMImageBrowserController(&items);
    second.folderPanelCancelled();
    ASSERT_EQ(posted.size(), 2);
    EXPECT_EQ(posted[1].sender, &second);
    EXPECT_FALSE(posted[1].hasUserInfo);
    EXPECT_EQ(titles(), QStringList{"kept.jpg"});
    EXPECT_EQ(ChooseInput::inputDirectory(), dir);

    // A panel that gives no path.
    ChooseInput third;
    third.setMImageBrowserController(&items);
    third.folderChosen(QString());
    ASSERT_EQ(ui.alerts.size(), 1);
    EXPECT_EQ(ui.alerts[0].title, "Error reading file paths (empty directoryURL.path)");
    EXPECT_EQ(ui.alerts[0].message, "");
    EXPECT_EQ(titles(), QStringList{"kept.jpg"});
    EXPECT_TRUE(posted.last().hasUserInfo);
}

TEST_F(ChooseInputTest, UnreadableFolderAlertsAndLeavesTheListAlone)
{
    items.append(ThumbItem::initWithPath("/elsewhere/kept.jpg"));
    const QString base = makeTestFolder("unreadable");
    touch(base + "/plain-file");

    EXPECT_FALSE(chooser.doPath(base + "/missing"));
    EXPECT_FALSE(chooser.doPath(base + "/plain-file"));
    ASSERT_EQ(ui.alerts.size(), 2);
    EXPECT_EQ(ui.alerts[0].title, "Error reading file paths");
    EXPECT_TRUE(ui.alerts[0].message.contains(base + "/missing"));
    EXPECT_FALSE(ui.alerts[0].message.isEmpty());
    EXPECT_EQ(titles(), QStringList{"kept.jpg"});

    // Even so the chooser closes and announces the end of choosing.
    chooser.folderChosen(base + "/missing");
    EXPECT_EQ(posted.size(), 1);
    EXPECT_EQ(titles(), QStringList{"kept.jpg"});
}

TEST_F(ChooseInputTest, UnreadableSubFolderIsSkippedWithAWarningAndTheRestListed)
{
    StringLogPane pane;
    Logger logger;
    logger.setTextview(&pane);
    const QString base = makeTestFolder("locked-card");
    touch(base + "/DCIM/100/a.jpg");
    touch(base + "/DCIM/101/b.jpg");
    touch(base + "/DCIM/101/deeper/c.jpg");
    touch(base + "/DCIM/102/d.jpg");
    touch(base + "/e.jpg");
    const QString locked = base + "/DCIM/101";
    const QString unsearchable = base + "/DCIM/102"; // names readable, files not
    QFile::setPermissions(locked, QFileDevice::Permissions());
    QFile::setPermissions(unsearchable, QFileDevice::ReadOwner);
    bool listed = false;
    {
        PermissionsHoldForThisThread holding;
        listed = chooser.doPath(base);
    }
    const auto all = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    QFile::setPermissions(locked, all);
    QFile::setPermissions(unsearchable, all);

    ASSERT_TRUE(listed);
    EXPECT_EQ(titles(), (QStringList{"a.jpg", "e.jpg"}));
    EXPECT_TRUE(ui.alerts.isEmpty());
    const QString denied = QString::fromLocal8Bit(std::strerror(EACCES));
    QStringList skipped = chooser.skippedFolders();
    skipped.sort(); // in the order the folders were met
    EXPECT_EQ(skipped,
              (QStringList{"The folder \"" + locked + "\" couldn't be read: " + denied,
                           "The folder \"" + unsearchable + "\" couldn't be read: " + denied}));
    EXPECT_TRUE(pane.text().contains("\nWARNING: The folder \"" + locked + "\" couldn't be read: " +
                                     denied + "; its files are not offered.\n"))
        << pane.text().toStdString();

    // A later listing without trouble forgets them.
    ASSERT_TRUE(chooser.doPath(base + "/DCIM/100"));
    EXPECT_TRUE(chooser.skippedFolders().isEmpty());
}

TEST_F(ChooseInputTest, CameraListTakesCamerasOnlyAndFollowsRemovals)
{
    CameraDevice scanner("Flatbed", CameraDeviceTypeScanner);
    CameraDevice player("Music", CameraDeviceTypeMediaPlayer);
    CameraDevice camera("EOS", CameraDeviceTypeCamera);
    CameraDevice second("D750", CameraDeviceTypeCamera | 0x0100);
    int changes = 0;
    QObject::connect(&chooser, &ChooseInput::camerasChanged, [&] { ++changes; });

    chooser.deviceBrowserDidAddDevice(nullptr, &scanner, true);
    chooser.deviceBrowserDidAddDevice(nullptr, &player, true);
    chooser.deviceBrowserDidAddDevice(nullptr, &camera, true);
    chooser.deviceBrowserDidAddDevice(nullptr, &second, false);
    EXPECT_EQ(chooser.cameras(), (QList<CameraDevice *>{&camera, &second}));
    EXPECT_EQ(changes, 2);

    // Eject needs a selected row.
    EXPECT_FALSE(chooser.buttonEjectEnabled());
    QStringList logged;
    SystemLog::setSink([&](const QString &line) { logged << line; });
    chooser.actionEject();
    EXPECT_TRUE(logged.isEmpty());
    chooser.setSelectedCameraRow(1);
    EXPECT_TRUE(chooser.buttonEjectEnabled());
    chooser.actionEject();
    EXPECT_EQ(logged, (QStringList{"selected 1", "D750"}));
    SystemLog::setSink(nullptr);
    chooser.setSelectedCameraRow(7);
    EXPECT_FALSE(chooser.buttonEjectEnabled());

    // The device's own removal and the browser's both take it off the list; the chooser then
    // no longer hears from it.
    Q_EMIT camera.didRemoveDevice(&camera);
    EXPECT_EQ(chooser.cameras(), QList<CameraDevice *>{&second});
    chooser.deviceBrowserDidRemoveDevice(nullptr, &second, false);
    EXPECT_TRUE(chooser.cameras().isEmpty());
    auto file = std::make_shared<CameraDeviceFile>(&second, "/", "IMG_1.JPG", QDateTime(), 0);
    Q_EMIT second.didReceiveThumbnailForItem(&second, file);
    EXPECT_TRUE(posted.isEmpty());
}

TEST_F(ChooseInputTest, ArrivalsFillTheFirstMatchingItemAndAreAlwaysAnnounced)
{
    CameraDevice camera("EOS", CameraDeviceTypeCamera);
    auto held = std::make_shared<CameraDeviceFile>(&camera, "/", "IMG_1.JPG", QDateTime(), 0);
    auto stray = std::make_shared<CameraDeviceFile>(&camera, "/", "IMG_9.JPG", QDateTime(), 0);
    auto first = ThumbItem::initWithImage(QImage());
    first->cameraFile = held;
    first->metadata.reset();
    auto twin = ThumbItem::initWithImage(QImage());
    twin->cameraFile = held;
    items << ThumbItem::initWithPath("/x/a.jpg") << first << twin;

    chooser.cameraDeviceDidReceiveThumbnailForItem(&camera, held);
    chooser.cameraDeviceDidReceiveMetadataForItem(&camera, held);
    chooser.cameraDeviceDidReceiveThumbnailForItem(&camera, stray);
    chooser.cameraDeviceDidReceiveMetadataForItem(&camera, stray);

    ASSERT_EQ(posted.size(), 4);
    EXPECT_EQ(posted[0].name, "ThumbHasArrived");
    EXPECT_EQ(posted[1].name, "MetadataHasArrived");
    EXPECT_EQ(posted[2].name, "ThumbHasArrived");
    EXPECT_EQ(posted[3].name, "MetadataHasArrived");
    for (const auto &n : posted) {
        EXPECT_EQ(n.sender, &chooser);
        EXPECT_FALSE(n.hasUserInfo);
    }
    EXPECT_EQ(first->imageGeneration, 1u);
    EXPECT_EQ(twin->imageGeneration, 0u);
    EXPECT_FALSE(first->metadata.has_value()); // the file has none yet
    EXPECT_TRUE(twin->metadata.has_value());   // untouched empty map from initWithImage
}
