// Thumbnails at 500x500 of 24-megapixel JPEGs: three with only the usual tiny EXIF thumbnail (so
// the picture itself is decoded at a reduced scale): baseline as Qt writes it (no restart
// markers), baseline with a restart marker every MCU row (as most cameras write), progressive;
// and one with a 640x427 embedded preview. Beside them, for comparison, libjpeg alone decoding
// each file at 1/8 scale (every coefficient decoded, on one thread).
#include "platform/ImageProperties.h"
#include "platform/Thumbnailer.h"
#include "support/ImageFixtures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <exiv2/exiv2.hpp>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

namespace {

QString g_plain;
QString g_restarts;
QString g_progressive;
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

void nameFixtures(const QString &folder)
{
    g_plain = folder + QStringLiteral("/plain.jpg");
    g_restarts = folder + QStringLiteral("/restarts.jpg");
    g_progressive = folder + QStringLiteral("/progressive.jpg");
    g_withPreview = folder + QStringLiteral("/preview.jpg");
}

bool makeFixtures(const QString &folder)
{
    const QImage picture = scene(QSize(6000, 4000)); // 24 megapixels
    const QByteArray bytes = jpegBytes(picture, 90);
    nameFixtures(folder);
    const std::pair<QString, QByteArray> files[] = {
        {g_plain, bytes},
        {g_restarts,
         ImageFixtures::encodeWithLibjpeg(picture, 90, ImageFixtures::JpegLayout::RestartEveryRow)},
        {g_progressive,
         ImageFixtures::encodeWithLibjpeg(picture, 90, ImageFixtures::JpegLayout::Progressive)},
        {g_withPreview, bytes}};
    for (const auto &[path, content] : files) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return false;
    }
    // The camera's tiny thumbnail, too small for 500x500, and a preview large enough for it.
    return addThumbnail(g_plain, picture, QSize(160, 120), 80) &&
           addThumbnail(g_restarts, picture, QSize(160, 120), 80) &&
           addThumbnail(g_progressive, picture, QSize(160, 120), 80) &&
           addThumbnail(g_withPreview, picture, QSize(640, 427), 60);
}

void BM_ThumbnailDecoded(benchmark::State &state, const QString *path)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Thumbnailer::preview(*path, QSize(500, 500)));
    state.SetItemsProcessed(state.iterations());
}

void BM_ThumbnailEmbeddedPreview(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Thumbnailer::preview(g_withPreview, QSize(500, 500)));
    state.SetItemsProcessed(state.iterations());
}

// libjpeg alone decoding the file at 1/8 scale with its fastest settings: every coefficient is
// entropy-decoded and worked out, so this grows with the file.
void BM_LibjpegEighthScaleFloor(benchmark::State &state, const QString *file)
{
    const QByteArray path = QFile::encodeName(*file);
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
    // BRINDLEWICK_BENCH_DIR keeps the files between runs (for perf, djpeg and the like).
    QTemporaryDir temporary;
    const QString kept = qEnvironmentVariable("BRINDLEWICK_BENCH_DIR");
    const QString folder = kept.isEmpty() ? temporary.path() : kept;
    if (!kept.isEmpty())
        QDir().mkpath(kept);
    if (!QFile::exists(folder + QStringLiteral("/preview.jpg")) && !makeFixtures(folder)) {
        std::fprintf(stderr, "could not make the benchmark files\n");
        return 1;
    }
    nameFixtures(folder);
    ImageProperties::initializeExiv2();
    std::printf("24 MP JPEGs: baseline %lld bytes, with restart markers %lld, progressive %lld; "
                "thumbnails at 500x500 (items_per_second = thumbnails/s)\n",
                static_cast<long long>(QFile(g_plain).size()),
                static_cast<long long>(QFile(g_restarts).size()),
                static_cast<long long>(QFile(g_progressive).size()));
    const std::pair<const char *, const QString *> kinds[] = {
        {"baseline", &g_plain}, {"restarts", &g_restarts}, {"progressive", &g_progressive}};
    for (const auto &[name, path] : kinds) {
        benchmark::RegisterBenchmark((std::string("thumbnail/24MP-jpeg/decoded/") + name).c_str(),
                                     BM_ThumbnailDecoded, path)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("thumbnail/24MP-jpeg/embedded-preview",
                                 BM_ThumbnailEmbeddedPreview)
        ->Unit(benchmark::kMillisecond);
    for (const auto &[name, path] : kinds) {
        benchmark::RegisterBenchmark(
            (std::string("thumbnail/24MP-jpeg/libjpeg-eighth-scale-floor/") + name).c_str(),
            BM_LibjpegEighthScaleFloor, path)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
