#include "platform/Thumbnailer.h"
#include "platform/media/MediaDecoders.h"

#include "support/MediaFixtures.h"
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

// Raws and pictures of the current kinds, and movies: their own pictures, film marks on movies,
// the icon for what cannot be decoded (never a crash or a stall).
TEST(ThumbnailerTest, NewFormatsShowTheirPicturesAndMoviesTheirFilm)
{
    using namespace MediaFixtures;
    const QString folder = makeTestFolder(QStringLiteral("new-kinds"));
    const QImage icon = Thumbnailer::fileIcon({200, 200});
    const auto isFilm = [](const QImage &p) {
        // A dark strip down the left side with a light perforation in it.
        const int strip = std::max(4, int(p.width() * 0.07));
        bool light = false;
        for (int y = 0; y < p.height(); ++y)
            light = light || qGray(p.pixel(strip / 2, y)) > 200;
        return qGray(p.pixel(1, 0)) < 60 && light;
    };

    // CR3: the smallest embedded preview that covers the box, turned upright (orientation 6).
    CanonRaw raw;
    raw.ifd0 = tiff({ascii(0x010f, "Canon"), shorts(0x0112, {6})});
    raw.thumbnail = jpeg(160, 120);
    raw.preview = jpeg(twoColours({320, 213}, Qt::red, Qt::blue));
    const QString cr3 = folder + QStringLiteral("/IMG_0001.CR3");
    ASSERT_TRUE(writeTestFile(cr3, canonRaw(raw)));
    const QImage rawPicture = Thumbnailer::preview(cr3, {200, 200});
    EXPECT_EQ(rawPicture.size(), QSize(133, 200));
    EXPECT_GT(qRed(rawPicture.pixel(66, 10)), 150); // left half red, now at the top

    // X3F: its JPEG preview.
    const QString x3fPath = folder + QStringLiteral("/SDIM0001.X3F");
    ASSERT_TRUE(writeTestFile(x3fPath, x3f({{"CAMMODEL", "SIGMA DP2"}}, jpeg(300, 200))));
    EXPECT_EQ(Thumbnailer::preview(x3fPath, {200, 200}).size(), QSize(200, 133));

    // Without the media decoders: HEIF shows the icon, a movie its Canon poster, with film.
    Thumbnailer::setDecoders({});
    Heif fake;
    const QString heic = folder + QStringLiteral("/IMG_0002.HEIC");
    ASSERT_TRUE(writeTestFile(heic, heif(fake)));
    EXPECT_EQ(Thumbnailer::preview(heic, {200, 200}), icon);
    Movie clip;
    clip.created = 1700000000;
    const QString mov = folder + QStringLiteral("/MVI_0003.MOV");
    ASSERT_TRUE(writeTestFile(mov, movie(clip)));
    EXPECT_EQ(Thumbnailer::preview(mov, {200, 200}), icon);
    ASSERT_TRUE(writeTestFile(folder + QStringLiteral("/MVI_0003.THM"), jpeg(160, 120)));
    const QImage poster = Thumbnailer::preview(mov, {200, 200});
    EXPECT_EQ(poster.size(), QSize(160, 120));
    EXPECT_TRUE(isFilm(poster));

    // With them: a movie's first frame that is not a fade from black.
    MediaDecoders::install();
    QImage pattern(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < pattern.height(); ++y)
        for (int x = 0; x < pattern.width(); ++x)
            pattern.setPixel(x, y, (x / 8 + y / 8) % 2 ? qRgb(250, 250, 250) : qRgb(30, 90, 200));
    QImage black(96, 64, QImage::Format_RGB32);
    black.fill(Qt::black);
    Movie fade;
    fade.width = 96;
    fade.height = 64;
    fade.jpegFrames = {jpeg(black), jpeg(black), jpeg(pattern)};
    const QString faded = folder + QStringLiteral("/fade.mov");
    ASSERT_TRUE(writeTestFile(faded, movie(fade)));
    const QImage frame = Thumbnailer::preview(faded, {200, 200});
    ASSERT_EQ(frame.size(), QSize(96, 64));
    EXPECT_TRUE(isFilm(frame));
    EXPECT_GT(qGray(frame.pixel(48, 28)) + qGray(frame.pixel(56, 28)), 200); // the pattern
    // Undecodable movie data and HEIF data give the icon (the fake HEIF holds no picture).
    EXPECT_EQ(Thumbnailer::preview(heic, {200, 200}), icon);
    for (const char *name : {"/junk.mts", "/junk.ARW", "/junk.raf"}) {
        const QString junk = folder + QString::fromLatin1(name);
        ASSERT_TRUE(writeTestFile(junk, QByteArray(4096, '\x47')));
        EXPECT_EQ(Thumbnailer::preview(junk, {200, 200}), icon) << name;
    }

    // Real phone and camera files, when the shared samples are there.
    const QString data = sharedTestData();
    if (!data.isEmpty()) {
        for (const char *name : {"/modern/iphone_7.heic", "/modern/Canon.HIF",
                                 "/modern/Canon-R6-pruned.CR3", "/modern/example.mp4"}) {
            const QString path = data + QString::fromLatin1(name);
            if (!QFile::exists(path))
                continue;
            const QImage picture = Thumbnailer::preview(path, {500, 500});
            EXPECT_NE(picture, Thumbnailer::fileIcon({500, 500})) << name;
            EXPECT_LE(std::max(picture.width(), picture.height()), 500) << name;
            EXPECT_EQ(isFilm(picture), QByteArray(name).endsWith(".mp4")) << name;
        }
    }
}
