#include "items/ThumbItem.h"

#include "support/CameraFileFixture.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

namespace {

QString writeJpeg(const QString &path, QSize size = QSize(120, 80))
{
    EXPECT_TRUE(ImageFixtures::writeJpeg(path, size));
    return path;
}

} // namespace

TEST(ThumbItemTest, PathItemsTakeTheFileTimeAndReadPropertiesOnce)
{
    const QString folder = makeTestFolder(QStringLiteral("items"));
    const QString jpeg = writeJpeg(folder + QStringLiteral("/IMG_1.JPG"));
    const auto item = ThumbItem::initWithPath(jpeg);
    EXPECT_FALSE(item->isCameraItem());
    EXPECT_FALSE(item->checked);
    EXPECT_EQ(item->title(), QStringLiteral("IMG_1.JPG"));
    EXPECT_EQ(item->imageTitle(), QStringLiteral("IMG_1.JPG"));
    EXPECT_EQ(item->modTime(), ThumbItem::stringFromDate(QFileInfo(jpeg).lastModified()));
    EXPECT_EQ(item->modTime().size(), 19);
    EXPECT_EQ(item->imageRepresentation().toString(), jpeg);
    EXPECT_FALSE(item->metadata); // not read yet

    item->loadMetadata();
    ASSERT_TRUE(item->metadata);
    EXPECT_EQ(item->metadata->value(QStringLiteral("PixelWidth")).toInt(), 120);
    item->loadMetadata();
    EXPECT_EQ(item->metadataReads, 1);

    // An unreadable file is stored as an empty map and never read again.
    const QString text = folder + QStringLiteral("/notes.jpg");
    ASSERT_TRUE(writeTestFile(text, "not an image"));
    const auto bad = ThumbItem::initWithPath(text);
    bad->loadMetadata();
    ASSERT_TRUE(bad->metadata);
    EXPECT_TRUE(bad->metadata->isEmpty());
    bad->loadMetadata();
    EXPECT_EQ(bad->metadataReads, 1);

    // A file that is gone has no modification time.
    const auto gone = ThumbItem::initWithPath(folder + QStringLiteral("/gone.jpg"));
    EXPECT_FALSE(gone->modTimeHolder);
    EXPECT_TRUE(gone->modTime().isEmpty());
}

TEST(ThumbItemTest, ThumbnailsAreMadeOnceAndFitTheBox)
{
    const QString folder = makeTestFolder(QStringLiteral("thumbs"));
    const auto item =
        ThumbItem::initWithPath(writeJpeg(folder + QStringLiteral("/wide.jpg"), QSize(1600, 800)));
    const QImage first = item->thumbnail();
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first.size(), QSize(500, 250));
    EXPECT_EQ(item->thumbnail().cacheKey(), first.cacheKey()); // kept, not made again

    // A file with no picture still shows something: the file-type icon.
    const QString text = folder + QStringLiteral("/readme.txt");
    ASSERT_TRUE(writeTestFile(text, "hello"));
    const auto other = ThumbItem::initWithPath(text);
    EXPECT_FALSE(other->thumbnail().isNull());
}

TEST(ThumbItemTest, CameraItemsShowTheirCameraFile)
{
    const auto item = ThumbItem::initWithImage(QImage());
    item->cameraFile = std::make_shared<NamedCameraFile>(
        QStringLiteral("DSC_0001.NEF"), QDateTime(QDate(2024, 3, 4), QTime(5, 6, 7)));

    EXPECT_TRUE(item->isCameraItem());
    EXPECT_EQ(item->image.size(), QSize(0, 0));
    EXPECT_EQ(item->title(), QStringLiteral("DSC_0001.NEF"));
    EXPECT_EQ(item->modTime(), QStringLiteral("2024-03-04 05:06:07"));
    ASSERT_TRUE(item->metadata);
    EXPECT_TRUE(item->metadata->isEmpty());
    item->loadMetadata(); // the camera supplies metadata; nothing is read
    EXPECT_EQ(item->metadataReads, 0);
    EXPECT_EQ(item->imageRepresentationType(), ThumbItem::RepresentationType::Image);

    // The identity follows the picture, so the browser notices a thumbnail's arrival.
    const QString before = item->imageUID();
    QImage arrived(160, 120, QImage::Format_RGB32);
    arrived.fill(Qt::red);
    item->image = arrived;
    EXPECT_NE(item->imageUID(), before);
    EXPECT_EQ(item->thumbnail().size(), QSize(160, 120));
    EXPECT_EQ(item->imageRepresentation().value<HeldImage>().size(), QSize(160, 120));

    const auto sized = ThumbItem::initWithImage(arrived);
    EXPECT_EQ(sized->image.size(), QSize(160, 120));
    EXPECT_NE(sized->imageUID(), ThumbItem::initWithImage(QImage())->imageUID());
}

TEST(ThumbItemTest, IdentityAndFileTypeFilter)
{
    const auto a = ThumbItem::initWithPath(QStringLiteral("/card/a/IMG_1.JPG"));
    const auto b = ThumbItem::initWithPath(QStringLiteral("/card/b/IMG_1.JPG"));
    EXPECT_NE(a->imageUID(), b->imageUID());

    const QSet<QString> filter{QStringLiteral("jpg"), QStringLiteral("nef")};
    const auto raw = ThumbItem::initWithPath(QStringLiteral("/card/IMG_1.NEF"));
    raw->checked = true;
    raw->setExclusionFlag(filter);
    EXPECT_FALSE(raw->excluded);
    EXPECT_TRUE(raw->checked);

    const auto notes = ThumbItem::initWithPath(QStringLiteral("/card/notes"));
    notes->checked = true;
    notes->setExclusionFlag(filter);
    EXPECT_TRUE(notes->excluded);
    EXPECT_FALSE(notes->checked);

    notes->setExclusionFlag({});
    EXPECT_FALSE(notes->excluded);
    EXPECT_FALSE(notes->checked);

    // Only the last dot counts: "archive.jpg.txt" is a text file.
    const auto tricky = ThumbItem::initWithPath(QStringLiteral("/card/archive.jpg.txt"));
    tricky->setExclusionFlag(filter);
    EXPECT_TRUE(tricky->excluded);
}
