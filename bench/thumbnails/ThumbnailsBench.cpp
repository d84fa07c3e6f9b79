// Thumbnails at 500x500 of 24-megapixel JPEGs: one with only the usual tiny EXIF thumbnail (so
// the picture itself is decoded at a reduced scale) and one with a 640x427 embedded preview.
#include "platform/ImageProperties.h"
#include "platform/Thumbnailer.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <exiv2/exiv2.hpp>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace {

QString g_plain;
QString g_withPreview;

QImage scene(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(20, 70, 140));
    gradient.setColorAt(0.5, QColor(200, 190, 120));
    gradient.setColorAt(1, QColor(60, 120, 40));
    p.fillRect(image.rect(), gradient);
    auto *rng = QRandomGenerator::global();
    for (int i = 0; i < 400; ++i) {
        p.setBrush(QColor::fromRgb(rng->generate()));
        p.drawEllipse(rng->bounded(size.width()), rng->bounded(size.height()),
                      rng->bounded(50, 900), rng->bounded(50, 900));
    }
    p.end();
    // Fine detail, so the file is as heavy as a camera's.
    for (int i = 0; i < size.width() * size.height() / 20; ++i)
        image.setPixel(rng->bounded(size.width()), rng->bounded(size.height()), rng->generate());
    return image;
}

QByteArray jpegBytes(const QImage &image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

bool addThumbnail(const QString &path, const QImage &picture, QSize size, int quality)
{
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        image->exifData()["Exif.Image.Make"] = "Bench Camera";
        image->exifData()["Exif.Image.Orientation"] = uint16_t(1);
        const QByteArray thumb =
            jpegBytes(picture.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation), quality);
        Exiv2::ExifThumb(image->exifData())
            .setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(thumb.constData()),
                              static_cast<long>(thumb.size()));
        image->writeMetadata();
        return true;
    } catch (...) {
        return false;
    }
}

bool makeFixtures(const QString &folder)
{
    const QImage picture = scene(QSize(6000, 4000)); // 24 megapixels
    const QByteArray bytes = jpegBytes(picture, 90);
    g_plain = folder + QStringLiteral("/plain.jpg");
    g_withPreview = folder + QStringLiteral("/preview.jpg");
    for (const QString &path : {g_plain, g_withPreview}) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return false;
    }
    // The camera's tiny thumbnail, too small for 500x500, and a preview large enough for it.
    return addThumbnail(g_plain, picture, QSize(160, 120), 80) &&
           addThumbnail(g_withPreview, picture, QSize(640, 427), 60);
}

void BM_ThumbnailDecoded(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Thumbnailer::preview(g_plain, QSize(500, 500)));
    state.SetItemsProcessed(state.iterations());
}

void BM_ThumbnailEmbeddedPreview(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Thumbnailer::preview(g_withPreview, QSize(500, 500)));
    state.SetItemsProcessed(state.iterations());
}

// The floor under any decoded thumbnail: libjpeg alone decoding the file at 1/8 scale with its
// fastest settings. Every coefficient must still be entropy-decoded, so this grows with the file.
void BM_LibjpegEighthScaleFloor(benchmark::State &state)
{
    const QByteArray path = QFile::encodeName(g_plain);
    for (auto _ : state) {
        FILE *file = std::fopen(path.constData(), "rb");
        if (!file) {
            state.SkipWithError("cannot open the file");
            return;
        }
        jpeg_decompress_struct info{};
        jpeg_error_mgr errors{};
        info.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&info);
        jpeg_stdio_src(&info, file);
        jpeg_read_header(&info, TRUE);
        info.scale_num = 1;
        info.scale_denom = 8;
        info.dct_method = JDCT_IFAST;
        info.do_fancy_upsampling = FALSE;
        jpeg_start_decompress(&info);
        std::vector<JSAMPLE> row(size_t(info.output_width) * size_t(info.output_components));
        JSAMPROW rows[1] = {row.data()};
        while (info.output_scanline < info.output_height)
            jpeg_read_scanlines(&info, rows, 1);
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        std::fclose(file);
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid() || !makeFixtures(folder.path())) {
        std::fprintf(stderr, "could not make the benchmark files\n");
        return 1;
    }
    ImageProperties::initializeExiv2();
    std::printf("24 MP JPEG, %lld bytes; thumbnails at 500x500 (items_per_second = thumbnails/s)\n",
                static_cast<long long>(QFile(g_plain).size()));
    benchmark::RegisterBenchmark("thumbnail/24MP-jpeg/decoded", BM_ThumbnailDecoded)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("thumbnail/24MP-jpeg/embedded-preview",
                                 BM_ThumbnailEmbeddedPreview)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("thumbnail/24MP-jpeg/libjpeg-eighth-scale-floor",
                                 BM_LibjpegEighthScaleFloor)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
