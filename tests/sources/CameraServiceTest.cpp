#include "SourcesFixtures.h"

#include "platform/Defaults.h"
#include "platform/ImageProperties.h"
#include "platform/IoFaults.h"
#include "platform/NotificationCenter.h"
#include "platform/RecordingUserInterface.h"
#include "sources/CameraLookup.h"
#include "sources/CameraWorker.h"
#include "sources/ChooseInput.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QDateTime kShot1 = QDateTime::fromSecsSinceEpoch(1714557600); // 2024-05-01 10:00 UTC
const QDateTime kShot2 = QDateTime::fromSecsSinceEpoch(1714561200);
const QDateTime kShot3 = QDateTime::fromSecsSinceEpoch(1714564800);

QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList({".brindlewick-partial-*"}, QDir::Files | QDir::Hidden);
}

class CameraServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        card = makeTestFolder("card");
        writeJpeg(card + "/DCIM/IMG_0001.JPG", Qt::red, kShot1);
        writeJpeg(card + "/DCIM/IMG_0002.JPG", Qt::green, kShot2);
        writeJpeg(card + "/DCIM/sub/IMG_0003.JPG", Qt::blue, kShot3, "OtherMake");
        writeTestFile(card + "/DCIM/notes.txt", "not an image");
    }
    void TearDown() override
    {
        CameraService::shutdown();
        qunsetenv(CameraService::kDiskCamerasVariable);
    }

    // Starts a browser over the card and waits for its camera.
    CameraDevice *cardCamera(CameraDeviceBrowser &browser)
    {
        freshServiceFor({card});
        browser.setBrowsedDeviceMask(CameraDeviceTypeCamera);
        browser.start();
        EXPECT_TRUE(waitUntil([&] { return browser.devices().size() == 1; }));
        return browser.devices().value(0);
    }

    QString card;
};

} // namespace

TEST(DiskCameraFolders, ComeFromTheEnvironmentAndTheDefaults)
{
    qputenv(CameraService::kDiskCamerasVariable, "/a::/b: /c ");
    Defaults::remove(CameraService::kDiskCamerasKey);
    EXPECT_EQ(CameraService::diskCameraFolders(), (QStringList{"/a", "/b", "/c"}));
    Defaults::set(CameraService::kDiskCamerasKey, QStringList{"/b", "/d"});
    EXPECT_EQ(CameraService::diskCameraFolders(), (QStringList{"/a", "/b", "/c", "/d"}));
    Defaults::set(CameraService::kDiskCamerasKey, "/e:/f");
    qunsetenv(CameraService::kDiskCamerasVariable);
    EXPECT_EQ(CameraService::diskCameraFolders(), (QStringList{"/e", "/f"}));
    Defaults::remove(CameraService::kDiskCamerasKey);
    EXPECT_TRUE(CameraService::diskCameraFolders().isEmpty());
}

TEST_F(CameraServiceTest, ChooserGetsTheFileListFirstAndThumbnailsAndMetadataLater)
{
    RecordingUserInterface ui;
    UserInterface::setInstance(&ui);
    freshServiceFor({card});
    ThumbItemList items;
    ChooseInput chooser;
    chooser.setMImageBrowserController(&items);
    int thumbs = 0, metadata = 0;
    QList<Notification> finished;
    auto &center = NotificationCenter::defaultCenter();
    center.addObserver(&thumbs, "ThumbHasArrived", [&](const Notification &) { ++thumbs; });
    center.addObserver(&metadata, "MetadataHasArrived", [&](const Notification &) { ++metadata; });
    center.addObserver(&finished, "FinishedChoosing",
                       [&](const Notification &n) { finished.append(n); });

    QList<QImage> imagesAtFill;
    QObject::connect(&chooser, &ChooseInput::windowShouldClose, [&] {
        for (const auto &item : items)
            imagesAtFill.append(item->image);
    });
    chooser.windowDidLoad();
    ASSERT_TRUE(waitUntil([&] { return chooser.cameras().size() == 1; }));
    CameraDevice *camera = chooser.cameras()[0];
    EXPECT_EQ(camera->name(), QFileInfo(card).fileName());
    EXPECT_EQ(camera->port(), "disk:" + QFileInfo(card).canonicalFilePath());
    EXPECT_TRUE(camera->isCamera());

    chooser.setSelectedCameraRow(0);
    ASSERT_TRUE(waitUntil([&] { return finished.size() == 1; }));
    chooser.windowWillClose();
    EXPECT_TRUE(finished[0].hasUserInfo);

    // The whole list at once, in the camera's order, with names and dates; no pictures yet.
    ASSERT_EQ(items.size(), 3);
    const QList<QDateTime> dates{kShot1, kShot2, kShot3};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(items[i]->title(), QStringLiteral("IMG_000%1.JPG").arg(i + 1));
        EXPECT_EQ(items[i]->modTime(), ThumbItem::stringFromDate(dates[i]));
        EXPECT_TRUE(items[i]->isCameraItem());
    }
    ASSERT_EQ(imagesAtFill.size(), 3);
    for (const QImage &image : imagesAtFill)
        EXPECT_EQ(image.size(), QSize(0, 0));

    // Then one thumbnail and one metadata per file, after the chooser's window has closed.
    ASSERT_TRUE(waitUntil([&] { return thumbs == 3 && metadata == 3; }));
    for (const auto &item : items) {
        EXPECT_FALSE(item->image.isNull()) << item->title().toStdString();
        ASSERT_TRUE(item->metadata.has_value());
        const QString original =
            card + (item->title() == "IMG_0003.JPG" ? "/DCIM/sub/" : "/DCIM/") + item->title();
        // The same properties as the file on disk gives, and the picture itself (96 by 64).
        EXPECT_EQ(*item->metadata, ImageProperties::exif(original).value_or(QVariantMap()));
        EXPECT_EQ(item->image.size(), QSize(96, 64));
    }
    EXPECT_EQ(items[2]->metadata->value("{TIFF}").toMap().value("Make"), "OtherMake");
    EXPECT_TRUE(camera->extrasComplete());
    EXPECT_TRUE(ui.alerts.isEmpty());
    center.removeObserver(&thumbs);
    center.removeObserver(&metadata);
    center.removeObserver(&finished);
    UserInterface::setInstance(nullptr);
}

TEST_F(CameraServiceTest, DownloadsArePlacedSafelyWithOneCompletionEach)
{
    CameraDeviceBrowser browser;
    CameraDevice *camera = cardCamera(browser);
    ASSERT_NE(camera, nullptr);
    camera->requestOpenSession();
    ASSERT_TRUE(waitUntil([&] { return camera->isReady(); }));
    const QList<CameraFilePtr> files = camera->mediaFiles();
    ASSERT_EQ(files.size(), 3);
    EXPECT_TRUE(CameraLookup::waitForExtras(camera));
    EXPECT_TRUE(files[1]->metadata().has_value());

    const QString target = makeTestFolder("target");
    writeTestFile(target + "/taken.jpg", "keep me");
    QList<DownloadResult> results;
    auto request = [&](const CameraFilePtr &file, const QString &name, int context) {
        camera->requestDownloadFile(
            file, {target, name}, [&](const DownloadResult &r) { results.append(r); }, context);
    };
    request(files[0], "2024-05-01 IMG_0001.JPG", 1);
    request(files[1], "IMG_0002.JPG", 2);
    request(files[2], "IMG_0003.JPG", 3);
    request(files[0], "taken.jpg", 4);
    EXPECT_TRUE(results.isEmpty()); // never from inside the request
    ASSERT_TRUE(waitUntil([&] { return results.size() == 4; }));

    const QStringList sources{"/DCIM/IMG_0001.JPG", "/DCIM/IMG_0002.JPG", "/DCIM/sub/IMG_0003.JPG"};
    const QList<QDateTime> dates{kShot1, kShot2, kShot3};
    for (int i = 0; i < 3; ++i) {
        const DownloadResult &r = results[i];
        ASSERT_TRUE(r.succeeded()) << r.error.toStdString();
        EXPECT_EQ(std::any_cast<int>(r.contextInfo), i + 1);
        EXPECT_EQ(r.options.downloadsDirectory, target);
        EXPECT_EQ(readTestFile(r.savedPath()), readTestFile(card + sources[i]));
        EXPECT_EQ(QFileInfo(r.savedPath()).lastModified(), dates[i]);
    }
    EXPECT_EQ(results[0].savedPath(), target + "/2024-05-01 IMG_0001.JPG");
    // An existing file is never replaced.
    EXPECT_FALSE(results[3].succeeded());
    EXPECT_TRUE(results[3].error.contains("already exists")) << results[3].error.toStdString();
    EXPECT_EQ(std::any_cast<int>(results[3].contextInfo), 4);
    EXPECT_EQ(readTestFile(target + "/taken.jpg"), "keep me");
    EXPECT_TRUE(leftovers(target).isEmpty());

    // A file that left the card after the listing fails on its own.
    ASSERT_TRUE(QFile::remove(card + "/DCIM/IMG_0002.JPG"));
    results.clear();
    request(files[1], "gone.jpg", 5);
    request(files[0], "again.jpg", 6);
    ASSERT_TRUE(waitUntil([&] { return results.size() == 2; }));
    EXPECT_FALSE(results[0].succeeded());
    EXPECT_TRUE(results[0].error.contains("IMG_0002.JPG")) << results[0].error.toStdString();
    EXPECT_EQ(std::any_cast<int>(results[0].contextInfo), 5);
    EXPECT_FALSE(QFileInfo::exists(target + "/gone.jpg"));
    EXPECT_TRUE(results[1].succeeded());
    EXPECT_TRUE(leftovers(target).isEmpty());

    // Once the camera is closed, requests still get their one (failing) completion.
    camera->requestCloseSession();
    results.clear();
    request(files[0], "late.jpg", 7);
    camera->requestDownloadFile(nullptr, {target, "none.jpg"},
                                [&](const DownloadResult &r) { results.append(r); });
    ASSERT_TRUE(waitUntil([&] { return results.size() == 2; }));
    EXPECT_FALSE(results[0].succeeded());
    EXPECT_FALSE(results[1].succeeded());
    EXPECT_FALSE(QFileInfo::exists(target + "/late.jpg"));
}

TEST_F(CameraServiceTest, RemovedAndEjectedCamerasLeaveTheList)
{
    const QString second = makeTestFolder("second");
    writeJpeg(second + "/IMG_0100.JPG", Qt::yellow, kShot1);
    freshServiceFor({card, second});
    ChooseInput chooser;
    ThumbItemList items;
    chooser.setMImageBrowserController(&items);
    chooser.windowDidLoad();
    ASSERT_TRUE(waitUntil([&] { return chooser.cameras().size() == 2; }));
    CameraDevice *cardDevice = chooser.cameras()[0];
    CameraDevice *secondDevice = chooser.cameras()[1];

    // Open the card, then pull it: the files still waiting get empty thumbnails and metadata,
    // so nobody waits for them forever.
    int removed = 0;
    QObject::connect(cardDevice, &CameraDevice::didRemoveDevice, [&] { ++removed; });
    cardDevice->requestOpenSession();
    ASSERT_TRUE(waitUntil([&] { return cardDevice->isReady(); }));
    ASSERT_TRUE(QDir(card).removeRecursively());
    ASSERT_TRUE(waitUntil([&] { return chooser.cameras().size() == 1; }));
    EXPECT_EQ(chooser.cameras()[0], secondDevice);
    EXPECT_EQ(removed, 1);
    EXPECT_TRUE(cardDevice->isRemoved());
    EXPECT_FALSE(cardDevice->hasOpenSession());
    EXPECT_TRUE(cardDevice->extrasComplete());

    // An ejected camera stays off the list while it is still there.
    chooser.setSelectedCameraRow(0);
    chooser.actionEject();
    EXPECT_TRUE(chooser.cameras().isEmpty());
    int passes = 0;
    QObject::connect(&CameraService::instance(), &CameraService::detectionFinished,
                     [&] { ++passes; });
    ASSERT_TRUE(waitUntil([&] { return passes >= 2; }));
    EXPECT_TRUE(chooser.cameras().isEmpty());
    EXPECT_TRUE(CameraService::instance().devices().isEmpty());

    // A refreshed browser finds a new folder camera.
    writeJpeg(card + "/IMG_0200.JPG", Qt::cyan, kShot2);
    chooser.actionRefresh();
    ASSERT_TRUE(waitUntil([&] { return chooser.cameras().size() == 1; }));
    EXPECT_NE(chooser.cameras()[0], cardDevice);
    chooser.windowWillClose();
}

TEST(CameraDownloadPlacement, NeverReplacesAndLeavesNothingBehindOnFailure)
{
    const QString target = makeTestFolder("place");
    auto writes = [](const QByteArray &bytes) {
        return [bytes](int fd) {
            return ::write(fd, bytes.constData(), bytes.size()) == bytes.size()
                       ? QString()
                       : QStringLiteral("short write");
        };
    };
    EXPECT_EQ(CameraWorker::placeFile(target, "a.jpg", kShot1.toSecsSinceEpoch(), writes("one")),
              QString());
    EXPECT_EQ(readTestFile(target + "/a.jpg"), "one");
    EXPECT_EQ(QFileInfo(target + "/a.jpg").lastModified(), kShot1);

    EXPECT_FALSE(CameraWorker::placeFile(target, "a.jpg", -1, writes("two")).isEmpty());
    EXPECT_EQ(readTestFile(target + "/a.jpg"), "one");

    // The source fails halfway (a pulled card, a full disk): no file under the final name.
    const QString failed = CameraWorker::placeFile(target, "b.jpg", -1, [](int fd) {
        (void)::write(fd, "partial", 7);
        return QStringLiteral("I/O error");
    });
    EXPECT_EQ(failed, "I/O error");
    EXPECT_FALSE(QFileInfo::exists(target + "/b.jpg"));

    for (const QString &bad : {QString(), QStringLiteral("../escape.jpg"), QStringLiteral("..")})
        EXPECT_FALSE(CameraWorker::placeFile(target, bad, -1, writes("x")).isEmpty());
    EXPECT_FALSE(CameraWorker::placeFile(target + "/missing", "c.jpg", -1, writes("x")).isEmpty());
    EXPECT_EQ(QDir(target).entryList(QDir::Files | QDir::Hidden), QStringList{"a.jpg"});
    EXPECT_TRUE(leftovers(target).isEmpty());
}

TEST(CameraDownloadPlacement, CopyThatReadsBackDifferentlyIsDownloadedAgainThenRefused)
{
    const QString target = makeTestFolder("verify");
    int downloads = 0;
    const auto download = [&downloads](int fd) {
        ++downloads;
        const QByteArray bytes(5000, 'c');
        return ::write(fd, bytes.constData(), bytes.size()) == bytes.size()
                   ? QString()
                   : QStringLiteral("short write");
    };
    {
        IoFaults::Plan plan;
        plan.flips = 1;
        IoFaults::Scope faults(plan);
        EXPECT_EQ(CameraWorker::placeFile(target, "a.jpg", -1, download), QString());
        EXPECT_EQ(downloads, 2);
        EXPECT_EQ(readTestFile(target + "/a.jpg"), QByteArray(5000, 'c'));
    }
    {
        IoFaults::Plan plan;
        plan.flips = 2;
        IoFaults::Scope faults(plan);
        downloads = 0;
        const QString error = CameraWorker::placeFile(target, "b.jpg", -1, download);
        EXPECT_EQ(downloads, 2);
        EXPECT_TRUE(error.contains("The copy of \"b.jpg\"")) << error.toStdString();
        EXPECT_FALSE(QFileInfo::exists(target + "/b.jpg"));
    }
    {
        // A failed fsync: downloaded again, never trusted.
        IoFaults::Plan plan;
        IoFaults::Rule rule;
        rule.op = IoFaults::Op::DestinationSync;
        rule.error = EIO;
        rule.onCall = 1;
        plan.rules.push_back(rule);
        IoFaults::Scope faults(plan);
        downloads = 0;
        EXPECT_EQ(CameraWorker::placeFile(target, "c.jpg", -1, download), QString());
        EXPECT_EQ(downloads, 2);
    }
    EXPECT_EQ(QDir(target).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.jpg", "c.jpg"}));
}
