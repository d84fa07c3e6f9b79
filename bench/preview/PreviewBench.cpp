// The ingestion preview of a card with 2,000 ticked images (or IMAGES): the time from the
// refresh to the first drawing of the window, and the time to draw it after a jump to another
// place in the list. Thumbnails are made lazily on worker threads and are not waited for.
//
//   bench_preview [IMAGES]

#include "ingest/MetadataPreviewController.h"
#include "ingest/MetadataPreviewModel.h"
#include "ingest/ui/MetadataPreviewWindow.h"

#include <QApplication>
#include <QImage>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace {

MetadataPreviewController g_controller;

bool makeCard(const QString &folder, int count)
{
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/IMG_%1.JPG").arg(i, 5, 10, QChar(u'0'));
        QImage image(160, 120, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i % 360, 150, 200));
        if (!image.save(path, "JPEG"))
            return false;
        auto item = ThumbItem::initWithPath(path);
        item->checked = true;
        item->metadata = QVariantMap();
        item->targetFilename = QStringLiteral("IMG_%1.JPG").arg(i, 5, 10, QChar(u'0'));
        item->targetSubFolder = QStringLiteral("2024/2024-05-12");
        item->metadataGenerated = {{"IPTC.City", "Bath"},
                                   {"IPTC.Headline", QStringLiteral("Frame %1").arg(i)},
                                   {"IPTC.Keywords", "river, walk"},
                                   {"MissingData", i % 50 == 0 ? "yes" : "no"}};
        if (i % 3 == 0) {
            item->gpsLat = 51.5 + i * 1e-5;
            item->gpsLon = -0.12;
            item->gpsMessage = QStringLiteral("Automatically geotagged");
        }
        g_controller.items << item;
    }
    return true;
}

void BM_OpenAndFirstDrawing(benchmark::State &state)
{
    for (auto _ : state) {
        MetadataPreviewWindow window(g_controller);
        window.go();
        window.show();
        benchmark::DoNotOptimize(window.grab());
        state.PauseTiming();
        window.hide();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * g_controller.numberOfRows());
}

void BM_JumpAndDraw(benchmark::State &state)
{
    MetadataPreviewWindow window(g_controller);
    window.go();
    window.show();
    window.grab();
    QScrollBar *bar = window.table()->verticalScrollBar();
    auto *rng = QRandomGenerator::global();
    for (auto _ : state) {
        bar->setValue(int(rng->bounded(bar->maximum() + 1)));
        benchmark::DoNotOptimize(window.grab());
    }
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    QTemporaryDir folder;
    if (!folder.isValid() || count <= 0 || !makeCard(folder.path(), count)) {
        std::fprintf(stderr, "could not make the benchmark card\n");
        return 1;
    }
    std::printf("ingestion preview of %d ticked images (items_per_second = rows/s)\n", count);
    benchmark::RegisterBenchmark("preview/open-and-first-drawing", BM_OpenAndFirstDrawing)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("preview/jump-and-draw", BM_JumpAndDraw)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
