#include "platform/ScaledJpeg.h"

#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

// Eight horizontal stripes, each a different colour on the left and on the right, with a little
// noise so the file is as heavy as a photograph's (over a megabyte: large enough for bands).
QColor stripe(int index, bool right)
{
    return QColor::fromHsv((index * 45 + (right ? 180 : 0)) % 360, 220, 230);
}

QImage stripes(QSize size)
{
    QImage image(size, QImage::Format_RGB888);
    QRandomGenerator noise(7);
    for (int y = 0; y < size.height(); ++y) {
        uchar *row = image.scanLine(y);
        const int index = y * 8 / size.height();
        for (int x = 0; x < size.width(); ++x) {
            const QColor c = stripe(index, x >= size.width() / 2);
            const int n = int(noise.bounded(24)) - 12;
            row[3 * x] = uchar(qBound(0, c.red() + n, 255));
            row[3 * x + 1] = uchar(qBound(0, c.green() + n, 255));
            row[3 * x + 2] = uchar(qBound(0, c.blue() + n, 255));
        }
    }
    return image;
}

enum class Kind { Baseline, Restarts, Progressive, Gray };

QByteArray encode(const QImage &rgb, Kind kind)
{
    using ImageFixtures::JpegLayout;
    if (kind == Kind::Gray)
        return ImageFixtures::encodeWithLibjpeg(rgb.convertToFormat(QImage::Format_Grayscale8), 92,
                                                JpegLayout::Baseline);
    return ImageFixtures::encodeWithLibjpeg(rgb, 92,
                                            kind == Kind::Restarts ? JpegLayout::RestartEveryRow
                                            : kind == Kind::Progressive ? JpegLayout::Progressive
                                                                        : JpegLayout::Baseline);
}

bool near(QColor a, QColor b)
{
    return qAbs(a.red() - b.red()) < 30 && qAbs(a.green() - b.green()) < 30 &&
           qAbs(a.blue() - b.blue()) < 30;
}

// Every stripe in its place and colour, on both sides (bands put back in the wrong rows or
// restart markers misnumbered show here).
void expectStripes(const QImage &picture, bool gray, const char *what)
{
    for (int i = 0; i < 8; ++i) {
        const int y = (2 * i + 1) * picture.height() / 16;
        for (bool right : {false, true}) {
            const int g = qGray(stripe(i, right).rgb());
            const QColor want = gray ? QColor(g, g, g) : stripe(i, right);
            const QColor got =
                picture.pixelColor(right ? picture.width() * 3 / 4 : picture.width() / 4, y);
            EXPECT_TRUE(near(got, want))
                << what << " stripe " << i << (right ? " right" : " left") << ": "
                << got.name().toStdString() << " instead of " << want.name().toStdString();
        }
    }
}

// The mean difference of two pictures of one size, over every channel of every pixel.
double meanDifference(const QImage &a, const QImage &b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum +=
                qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

} // namespace

TEST(ScaledJpegTest, EveryKindDecodesAtTheScaleThatCoversTheBox)
{
    const QImage picture = stripes(QSize(3000, 2000));
    for (Kind kind : {Kind::Baseline, Kind::Restarts, Kind::Progressive, Kind::Gray}) {
        const QByteArray bytes = encode(picture, kind);
        const char *what = kind == Kind::Baseline      ? "baseline"
                           : kind == Kind::Restarts    ? "restart markers"
                           : kind == Kind::Progressive ? "progressive"
                                                       : "gray";
        if (kind == Kind::Restarts) {
            ASSERT_GT(bytes.size(), 1 << 20) << "too light to be decoded in bands";
        }
        // Decoded at an eighth (from the first scans of a progressive file), then shrunk.
        const QImage small = ScaledJpeg::decode(bytes, QSize(200, 200));
        ASSERT_EQ(small.size(), QSize(200, 133)) << what;
        expectStripes(small, kind == Kind::Gray, what);
        // From the DC coefficients alone, yet the picture of every pixel, averaged.
        const QImage whole =
            QImage::fromData(bytes)
                .convertToFormat(small.format())
                .scaled(small.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_LT(meanDifference(small, whole), 2.0) << what;
        // Three eighths; every scan of a progressive file is read then.
        const QImage larger = ScaledJpeg::decode(bytes, QSize(1000, 1000));
        ASSERT_EQ(larger.size(), QSize(1000, 666)) << what;
        expectStripes(larger, kind == Kind::Gray, what);
        // Never enlarged past the full picture.
        EXPECT_EQ(ScaledJpeg::decode(bytes, QSize(5000, 5000)).size(), QSize(3000, 2000)) << what;
    }
}

// A file without restart markers is read in two halves, the second from its middle: the picture
// is the one a single reading gives, to the bit, damaged data included.
TEST(ScaledJpegTest, HalvesReadApartGiveThePictureOfOneReading)
{
    constexpr qsizetype kNever = qsizetype(1) << 40;
    for (const QSize size : {QSize(3000, 2000), QSize(1001, 777)}) {
        const QImage picture = stripes(size);
        for (Kind kind : {Kind::Baseline, Kind::Gray}) {
            const QByteArray bytes = encode(picture, kind);
            QByteArray flipped = bytes;
            for (qsizetype at = bytes.size() * 3 / 5; at < bytes.size() * 4 / 5; at += 4099)
                flipped[at] = char(flipped[at] ^ 0x5A);
            for (const QByteArray &data : {bytes, bytes.left(bytes.size() * 3 / 4), flipped}) {
                const QImage halves = ScaledJpeg::decode(data, QSize(100, 100), 0);
                const QImage one = ScaledJpeg::decode(data, QSize(100, 100), kNever);
                ASSERT_FALSE(halves.isNull());
                EXPECT_TRUE(halves == one)
                    << size.width() << (kind == Kind::Gray ? " gray" : " colour") << ", "
                    << data.size() << " of " << bytes.size() << " bytes";
            }
        }
    }
}

TEST(ScaledJpegTest, DamagedDataFailsCleanlyOrShowsWhatDecodes)
{
    const QByteArray bytes = encode(stripes(QSize(3000, 2000)), Kind::Restarts);
    // Cut short: the top half is there, the rest grey, no crash.
    const QImage cut = ScaledJpeg::decode(bytes.left(bytes.size() / 2), QSize(200, 200));
    ASSERT_EQ(cut.size(), QSize(200, 133));
    EXPECT_TRUE(near(cut.pixelColor(50, 8), stripe(0, false)));
    // Bytes damaged inside a restart interval: the picture goes on after the next marker.
    QByteArray hit = bytes;
    for (qsizetype at = bytes.size() * 3 / 5; at < bytes.size() * 3 / 5 + 64; at += 7)
        hit[at] = char(hit[at] ^ 0x5A);
    const QImage rest = ScaledJpeg::decode(hit, QSize(200, 200));
    ASSERT_EQ(rest.size(), QSize(200, 133));
    EXPECT_TRUE(near(rest.pixelColor(50, 8), stripe(0, false)));
    EXPECT_TRUE(near(rest.pixelColor(150, 125), stripe(7, true)));
    // A restart marker overwritten: the bands are given up and the library's recovery used.
    QByteArray marker = bytes;
    const qsizetype at = marker.indexOf("\xFF\xD3", bytes.size() / 3);
    ASSERT_GT(at, 0);
    marker[at + 1] = char(0xD6);
    EXPECT_EQ(ScaledJpeg::decode(marker, QSize(200, 200)).size(), QSize(200, 133));
    // No picture at all behind the header, a header cut short, and no JPEG: null pictures.
    EXPECT_TRUE(ScaledJpeg::decode(bytes.left(300), QSize(200, 200)).isNull());
    EXPECT_TRUE(
        ScaledJpeg::decode(QByteArray("\xFF\xD8\xFF\xE0garbage", 11), QSize(200, 200)).isNull());
    EXPECT_TRUE(ScaledJpeg::decode(QByteArray("GIF89a"), QSize(200, 200)).isNull());
    EXPECT_TRUE(
        ScaledJpeg::decodeFile(QStringLiteral("/nonexistent/x.jpg"), QSize(200, 200)).isNull());

    const QString data = sharedTestData();
    if (data.isEmpty())
        return;
    for (const char *relative :
         {"/broken/truncated/corrupted.jpg", "/broken/structure/broken.jpg"}) {
        const QString path = data + QString::fromLatin1(relative);
        const QImage picture = ScaledJpeg::decodeFile(path, QSize(200, 200));
        // Either way no crash, and a picture fits the box.
        EXPECT_LE(picture.width(), 200) << relative;
    }
}
