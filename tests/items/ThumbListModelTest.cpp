#include "items/ThumbListModel.h"

#include "support/ImageFixtures.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QSignalSpy>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

namespace {

ThumbItemList makeImages(const QString &folder, int count)
{
    ThumbItemList items;
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/img%1.jpg").arg(i);
        ImageFixtures::writeJpeg(path, QSize(64, 48), {}, QColor::fromHsv(i * 30 % 360, 200, 200));
        items << ThumbItem::initWithPath(path);
    }
    return items;
}

} // namespace

TEST(ThumbListModel, PicturesArriveFromWorkersOrTheCameraAndAListChangeDropsStaleOnes)
{
    ThumbListModel model;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    const ThumbItemList items = makeImages(makeTestFolder("model"), 5);
    model.setItems(items);
    ASSERT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.rowOf(items[3].get()), 3);
    EXPECT_EQ(model.data(model.index(1), Qt::DisplayRole).toString(), "img1.jpg");
    EXPECT_EQ(model.data(model.index(1), ThumbListModel::ExtensionRole).toString(), "jpg");

    // Asking for the picture starts the work; nothing blocks, the cell is not ready yet.
    QSignalSpy arrived(&model, &ThumbListModel::pictureArrived);
    EXPECT_FALSE(model.data(model.index(0), Qt::DecorationRole).isValid());
    EXPECT_FALSE(model.data(model.index(0), ThumbListModel::ReadyRole).toBool());
    model.requestPicture(2);
    ASSERT_TRUE(waitUntil([&] { return arrived.count() >= 2; }));
    EXPECT_TRUE(model.data(model.index(0), ThumbListModel::ReadyRole).toBool());
    const QImage picture = qvariant_cast<QImage>(model.data(model.index(2), Qt::DecorationRole));
    EXPECT_FALSE(picture.isNull());
    EXPECT_EQ(picture.width() * 3, picture.height() * 4);
    EXPECT_EQ(model.picturesPending(), 0);
    // The item's own 500-point preview is left alone.
    EXPECT_TRUE(items[2]->image.isNull());

    // A file that is no picture gets a stand-in instead of being asked for again and again.
    const QString folder = makeTestFolder("model-bad");
    writeTestFile(folder + "/bad.jpg", "garbage");
    ThumbItemList bad{ThumbItem::initWithPath(folder + "/bad.jpg")};
    model.requestPicture(4);
    model.setItems(bad);
    arrived.clear();
    model.requestPicture(0);
    ASSERT_TRUE(waitUntil([&] { return arrived.count() >= 1; }));
    EXPECT_EQ(arrived.first().first().toInt(), 0);
    EXPECT_TRUE(model.data(model.index(0), ThumbListModel::ReadyRole).toBool());

    // A camera item shows its own picture once the camera sends it; no work is started.
    const ThumbItemList camera{ThumbItem::initWithImage(QImage())};
    model.setItems(camera);
    EXPECT_FALSE(model.data(model.index(0), ThumbListModel::ReadyRole).toBool());
    camera[0]->image = QImage(16, 16, QImage::Format_RGB32);
    EXPECT_TRUE(model.data(model.index(0), ThumbListModel::ReadyRole).toBool());
    EXPECT_EQ(model.picturesPending(), 0);
}

TEST(ThumbListModel, PicturesAreMadeForTheSizeTheyAreDrawnAt)
{
    const QString folder = makeTestFolder("model-steps");
    ASSERT_TRUE(ImageFixtures::writeJpeg(folder + "/wide.jpg", QSize(2000, 1000)));
    ThumbItemList items{ThumbItem::initWithPath(folder + "/wide.jpg")};
    items << makeImages(folder, 1); // 64 by 48
    ThumbListModel model;
    model.setItems(items);
    const auto shown = [&model](int row) {
        return qvariant_cast<QImage>(model.data(model.index(row), Qt::DecorationRole)).size();
    };
    const auto settled = [&model] { return model.picturesPending() == 0; };

    model.setPictureSide(384);
    shown(0);
    shown(1);
    ASSERT_TRUE(waitUntil(settled));
    EXPECT_EQ(shown(0), QSize(384, 192));
    EXPECT_EQ(shown(1), QSize(64, 48));

    // Zoomed out: the large picture stays on screen until its smaller successor arrives.
    model.setPictureSide(90);
    EXPECT_EQ(shown(0), QSize(384, 192));
    EXPECT_EQ(model.picturesPending(), 1);
    ASSERT_TRUE(waitUntil(settled));
    EXPECT_EQ(shown(0), QSize(96, 48));
    // A little larger stays in the step; past it the picture is made again.
    model.setPictureSide(96);
    shown(0);
    EXPECT_EQ(model.picturesPending(), 0);
    model.setPictureSide(700);
    shown(0);
    ASSERT_TRUE(waitUntil(settled));
    EXPECT_EQ(shown(0), QSize(768, 384));
    // A small file already gave all it has: it is not made again for a larger step.
    shown(1);
    EXPECT_EQ(model.picturesPending(), 0);
    EXPECT_EQ(ThumbListModel::pictureStep(1), ThumbListModel::kSmallestStep);
    EXPECT_EQ(ThumbListModel::pictureStep(100000), ThumbListModel::kLargestStep);
}

TEST(ThumbListModel, TheFilesOwnThumbnailShowsFirstAndThePictureOfTheStepReplacesIt)
{
    // A green picture whose EXIF thumbnail is red, so the test tells them apart.
    const QString path = makeTestFolder("model-first") + "/IMG_0001.JPG";
    ASSERT_TRUE(ImageFixtures::writeJpeg(path, QSize(2000, 1000), {}, QColor(0, 200, 0)));
    QImage red(160, 80, QImage::Format_RGB32);
    red.fill(Qt::red);
    QByteArray thumb;
    QBuffer buffer(&thumb);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(red.save(&buffer, "JPEG", 80));
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    Exiv2::ExifThumb(image->exifData())
        .setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(thumb.constData()),
                          static_cast<long>(thumb.size()));
    image->writeMetadata();

    ThumbListModel model;
    model.setItems({ThumbItem::initWithPath(path)});
    model.setPictureSide(384);
    QList<QImage> shown;
    QObject::connect(&model, &ThumbListModel::pictureArrived,
                     [&](int row) { shown << model.picture(row); });
    model.requestPicture(0);
    ASSERT_TRUE(waitUntil([&] { return model.picturesPending() == 0; }));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_GT(qRed(shown[0].pixel(10, 10)), 200); // the thumbnail, as it is
    EXPECT_EQ(shown[0].size(), QSize(160, 80));
    EXPECT_GT(qGreen(shown[1].pixel(10, 10)), 150); // then the picture, in its step
    EXPECT_EQ(shown[1].size(), QSize(384, 192));
    EXPECT_TRUE(model.hasFinalPicture(0));
}
