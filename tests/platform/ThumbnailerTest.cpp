#include "platform/Thumbnailer.h"

#include "support/TestSupport.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include <thread>

#include <sys/stat.h>

namespace {

QImage twoColours(QSize size, QColor left, QColor right)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, size.width() / 2, size.height(), left);
    p.fillRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height(), right);
    p.end();
    return image;
}

QString saveJpeg(const QString &path, const QImage &image)
{
    EXPECT_TRUE(image.save(path, "JPEG", 90));
    return path;
}

Exiv2::Image::AutoPtr openForWriting(const QString &path)
{
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    return image;
}

bool near(QColor a, QColor b)
{
    return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 &&
           qAbs(a.blue() - b.blue()) < 40;
}

} // namespace

TEST(ThumbnailerTest, ScaledDecodeFitsTheBoxAndStandsUpright)
{
    const QString folder = makeTestFolder(QStringLiteral("thumbs"));
    const QString wide =
        saveJpeg(folder + QStringLiteral("/wide.jpg"), twoColours({1600, 800}, Qt::red, Qt::blue));
    EXPECT_EQ(Thumbnailer::preview(wide, {500, 500}).size(), QSize(500, 250));
    EXPECT_EQ(Thumbnailer::preview(wide, {100, 300}).size(), QSize(100, 50));

    // Small pictures are not enlarged.
    const QString small =
        saveJpeg(folder + QStringLiteral("/small.jpg"), twoColours({50, 40}, Qt::red, Qt::blue));
    EXPECT_EQ(Thumbnailer::preview(small, {500, 500}).size(), QSize(50, 40));

    // Stored on its side (orientation 6: turn clockwise): the left half ends up on top.
    const QString side =
        saveJpeg(folder + QStringLiteral("/side.jpg"), twoColours({800, 400}, Qt::red, Qt::blue));
    {
        auto image = openForWriting(side);
        image->exifData()["Exif.Image.Orientation"] = uint16_t(6);
        image->writeMetadata();
    }
    const QImage upright = Thumbnailer::preview(side, {500, 500});
    ASSERT_EQ(upright.size(), QSize(250, 500));
    EXPECT_TRUE(near(upright.pixelColor(125, 60), Qt::red));
    EXPECT_TRUE(near(upright.pixelColor(125, 440), Qt::blue));
}

TEST(ThumbnailerTest, EmbeddedPreviewIsUsedOnlyWhenLargeEnough)
{
    const QString folder = makeTestFolder(QStringLiteral("thumbs-embedded"));
    const QString path = saveJpeg(folder + QStringLiteral("/big.jpg"),
                                  twoColours({2000, 1000}, Qt::green, Qt::green));
    {
        // The embedded preview is red, so the test can tell which picture was used.
        QImage red(640, 320, QImage::Format_RGB32);
        red.fill(Qt::red);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(red.save(&buffer, "JPEG", 70));
        auto image = openForWriting(path);
        Exiv2::ExifThumb thumb(image->exifData());
        thumb.setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(jpeg.constData()),
                               static_cast<long>(jpeg.size()));
        image->writeMetadata();
    }
    const QImage fromPreview = Thumbnailer::preview(path, {500, 500});
    ASSERT_EQ(fromPreview.size(), QSize(500, 250));
    EXPECT_TRUE(near(fromPreview.pixelColor(250, 125), Qt::red));

    const QImage decoded = Thumbnailer::preview(path, {1000, 1000});
    ASSERT_EQ(decoded.size(), QSize(1000, 500));
    EXPECT_TRUE(near(decoded.pixelColor(500, 250), Qt::green));
}

TEST(ThumbnailerTest, FilesWithoutAPictureGetTheIconAndThreadsAgree)
{
    const QString folder = makeTestFolder(QStringLiteral("thumbs-icon"));
    const QString text = folder + QStringLiteral("/readme.txt");
    ASSERT_TRUE(writeTestFile(text, "no picture here"));
    const QImage icon = Thumbnailer::preview(text, {500, 500});
    ASSERT_FALSE(icon.isNull());
    EXPECT_LE(icon.width(), 500);
    EXPECT_LE(icon.height(), 500);
    const QString empty = folder + QStringLiteral("/empty.jpg");
    ASSERT_TRUE(writeTestFile(empty, QByteArray()));
    EXPECT_EQ(Thumbnailer::preview(empty, {64, 64}).size(), Thumbnailer::fileIcon({64, 64}).size());
    EXPECT_TRUE(Thumbnailer::preview(QString(), {64, 64}).isNull());
    const QString pipe = folder + QStringLiteral("/pipe.jpg");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_FALSE(Thumbnailer::preview(pipe, {64, 64}).isNull()); // the icon, without blocking

    const QString jpeg =
        saveJpeg(folder + QStringLiteral("/t.jpg"), twoColours({1200, 900}, Qt::red, Qt::blue));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i) {
                if (Thumbnailer::preview(jpeg, {500, 500}).size() != QSize(500, 375))
                    ++wrong;
                if (Thumbnailer::preview(text, {500, 500}).isNull())
                    ++wrong;
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(ThumbnailerTest, RealAndDamagedFilesGiveAPicture)
{
    const QString data = sharedTestData();
    if (data.isEmpty())
        GTEST_SKIP() << "no shared sample files";
    for (const char *relative :
         {"/images/Nikon/D90/DSC_0003.JPG", "/raw/NEF/Nikon.nef", "/raw/CR2/CanonRaw.cr2",
          "/raw/DNG/IMG_1361.dng", "/broken/truncated/corrupted.jpg",
          "/broken/structure/broken.jpg", "/broken/misnamed/Issue 247-1.nef"}) {
        const QString path = data + QString::fromLatin1(relative);
        if (!QFile::exists(path))
            continue;
        const QImage picture = Thumbnailer::preview(path, {500, 500});
        EXPECT_FALSE(picture.isNull()) << relative;
        EXPECT_LE(qMax(picture.width(), picture.height()), 500) << relative;
    }
}
