// Expands what an ingestion run expands per image - the folder arrangement, the file-name
// arrangement and twelve metadata texts - for 10,000 items, and reports items per second.
#include "items/ThumbItem.h"
#include "macro/MacroProcessor.h"
#include "metadata/LookupsController.h"
#include "presets/Setup.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

constexpr int kItems = 10000;

const QString kFolder = QStringLiteral("{@DateImage:YYYY}/{@DateImage:YYYY-MM-DD} {@Shoot}");
const QString kFileName =
    QStringLiteral("{@DateImage:YYYYMMDD}_{@Lookup.TIFF.Make}_{@FileNumberOriginal}_{@Index:4}");
const QStringList kMetadata = {
    QStringLiteral("{@TIFF.Model} {@Exif.FocalLength}mm f/{@Exif.FNumber} {@Exif.ExposureTime}s"),
    QStringLiteral("ISO {@Exif.ISOSpeedRatings}"),
    QStringLiteral("{@Lookup.TIFF.Make}, {@Lookup.TIFF.Model@camera}, {@Shoot}"),
    QStringLiteral("{@Shoot} {@DateImage:MMMM YYYY}"),
    QStringLiteral("{@UserName@Unknown}"),
    QStringLiteral("(c) {@DateImage:YYYY} {@UserName@Unknown}"),
    QStringLiteral("{@DateImage:WWWW, MMMM DDDDD, YYYY}"),
    QStringLiteral("{@FileNameOriginal}.{@FileExtensionOriginal}"),
    QStringLiteral("{@Lookup.ExifAux.LensModel@lens} {@ExifAux.LensModel}"),
    QStringLiteral("{@ExifAux.SerialNumber@-} {@Lookup.ExifAux.SerialNumber@body}"),
    QStringLiteral("{@CF.Client@nobody}"),
    QStringLiteral("{@Required}"),
};

ThumbItemList makeItems()
{
    ThumbItemList items;
    for (int i = 0; i < kItems; ++i) {
        auto item = std::make_shared<ThumbItem>();
        item->path = QStringLiteral("/card/DCIM/100NIKON/DSC_%1.NEF").arg(i, 4, 10, QChar('0'));
        const QString date = QStringLiteral("2011:03:%1 14:%2:09")
                                 .arg(1 + i % 28, 2, 10, QChar('0'))
                                 .arg(i % 60, 2, 10, QChar('0'));
        item->metadata = QVariantMap{
            {"{Exif}", QVariantMap{{"DateTimeOriginal", date},
                                   {"FNumber", 5.6},
                                   {"ExposureTime", 0.004},
                                   {"FocalLength", 50.0},
                                   {"ISOSpeedRatings", QVariantList{200}}}},
            {"{TIFF}", QVariantMap{{"Make", "NIKON CORPORATION"}, {"Model", "NIKON D700"}}},
            {"{ExifAux}",
             QVariantMap{{"LensModel", "24.0-70.0 mm f/2.8"}, {"SerialNumber", 2001234}}},
        };
        item->metadataUser = QVariantMap{{"CF.Shoot", "Harbour"}};
        item->index = i + 1;
        items.append(item);
    }
    return items;
}

void expandCard(benchmark::State &state)
{
    MacroProcessor processor;
    LookupsController lookups;
    lookups.dictLookupMake = {{"nikon*", "Nikon"}, {"canon*", "Canon"}, {"*olympus*", "OM"}};
    lookups.dictLookupModel = {{"nikon d700", "D700"}};
    lookups.dictLookupLens = {{"24.0-70.0*", "Zoom"}};
    Setup setup;
    setup.setParam(QStringLiteral("Metadata"),
                   QVariantMap{{"CF.Shoot", "Trip"}, {"CF.Client", "ACME"}});
    const ThumbItemList items = makeItems();

    qint64 characters = 0;
    for (auto _ : state) {
        for (const ThumbItemPtr &item : items) {
            characters += processor.expand(kFolder, *item, setup).size();
            characters += processor.expand(kFileName, *item, setup).size();
            for (const QString &text : kMetadata)
                characters += processor.expand(text, *item, setup).size();
        }
    }
    benchmark::DoNotOptimize(characters);
    state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(expandCard)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    // The catalogue reads the custom fields from the user's settings: keep the bench away
    // from the real ones.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
