// Times, in one run over the same files: our merge of an XMP packet into 1,000 JPEGs beside the
// exiv2 command-line tool inserting the same packet into copies of them (one exiv2 process for
// all files), and GPS tagging of 200 JPEGs with one ExifTool start per file and with one
// ExifTool kept open.

#include "ingest/ExifToolWriter.h"
#include "ingest/JpegXmpMerger.h"
#include "ingest/MetadataWriter.h"
#include "ingest/XmpGenerator.h"
#include "items/ThumbItem.h"
#include "platform/Process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

void report(const char *what, int files, qint64 ns)
{
    std::printf("%-48s %5d files %9.1f ms %8.3f ms/file\n", what, files, ns / 1e6,
                ns / 1e6 / files);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    QImage image(1600, 1200, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QPainter painter(&image);
    for (int i = 0; i < 40; ++i)
        painter.fillRect(i * 40, i * 30, 200, 150, QColor::fromHsv(i * 9, 200, 200));
    painter.end();
    const QString sample = dir.filePath(QStringLiteral("sample.jpg"));
    image.save(sample, "JPG", 90);
    const QByteArray jpeg = [&] {
        QFile f(sample);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    QFile templateFile(QStringLiteral(":/XMPtemplate.xmp"));
    templateFile.open(QIODevice::ReadOnly);
    ThumbItem item;
    item.metadataGenerated = {{"IPTC.Caption/Abstract", "Harbour at dawn"},
                              {"IPTC.Keywords", "sea, boats; morning"},
                              {"IPTC.City", "Bath"},
                              {"IPTC.CopyrightNotice", "(c) Ann"}};
    const auto xmp = buildXMP(item, QString::fromUtf8(templateFile.readAll()), true);
    if (!xmp)
        return 1;
    const QByteArray packet = xmp->toUtf8();

    const int mergeCount = 1000;
    QStringList ours, theirs;
    for (int i = 0; i < mergeCount; ++i) {
        const QString a = dir.filePath(QStringLiteral("a%1.jpg").arg(i));
        const QString b = dir.filePath(QStringLiteral("b%1.jpg").arg(i));
        writeFile(a, jpeg);
        writeFile(a.left(a.size() - 4) + QStringLiteral(".xmpjpg"), packet);
        writeFile(b, jpeg);
        writeFile(b.left(b.size() - 4) + QStringLiteral(".xmp"), packet);
        ours << a;
        theirs << b;
    }
    std::printf("JPEG %lld bytes, XMP packet %lld bytes\n", static_cast<long long>(jpeg.size()),
                static_cast<long long>(packet.size()));

    QElapsedTimer timer;
    timer.start();
    int failures = 0;
    for (const QString &path : ours)
        failures += mergeXmpIntoJpeg(path) ? 0 : 1;
    report("mergeXmpIntoJpeg", mergeCount, timer.nsecsElapsed());

    if (const auto exiv2 = Process::findProgram(QStringLiteral("exiv2"))) {
        ProcessRequest request;
        request.program = *exiv2;
        request.arguments << QStringLiteral("-iX") << theirs;
        timer.restart();
        const ProcessResult result = Process::run(request);
        report("exiv2 -iX (one process)", mergeCount, timer.nsecsElapsed());
        failures += result.succeeded() ? 0 : 1;
    } else {
        std::printf("exiv2 not found: comparison skipped\n");
    }

    const int gpsCount = 200;
    item.gpsLat = 51.5;
    item.gpsLon = -0.12;
    item.gpsEle = -3;
    for (const bool keepOpen : {false, true}) {
        MetadataWriteContext context;
        context.keepExifToolOpen = keepOpen;
        timer.restart();
        for (int i = 0; i < gpsCount; ++i)
            embedGPSFrom(item, ours[i], context);
        context.exifToolSession.reset();
        report(keepOpen ? "embedGPSFrom, one ExifTool kept open"
                        : "embedGPSFrom, one ExifTool start per file",
               gpsCount, timer.nsecsElapsed());
        failures += gpsCount - context.numTaggedByExifTool;
    }

    if (failures)
        std::printf("%d failures\n", failures);
    return failures ? 1 : 0;
}
