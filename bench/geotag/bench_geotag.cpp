// Geotags 2,000 images against a 100,000-point GPX track (ten segments) and prints images per
// second beside `exiftool -geotag` and `gpscorrelate` working on copies of the same files in the
// same run; then GPX reading speed in MB/s. Everything lives in a temporary folder.
//
//   bench_geotag [IMAGES] [POINTS]

#include "geo/TrackManagerController.h"
#include "items/ThumbItem.h"
#include "platform/DateReader.h"
#include "platform/Process.h"
#include "platform/RecordingUserInterface.h"
#include "platform/SystemLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>

#include <cmath>
#include <cstdio>

namespace {

const double kStart = *DateReader::read(u"2024-05-01T06:00:00Z");
constexpr double kStep = 2.0; // seconds between points

QString isoTime(double t)
{
    return DateReader::fromReference(t).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

// A GPX file with `points` points in `segments` segments along a wandering line.
qint64 writeGpx(const QString &path, int points, int segments)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    QByteArray out;
    out.reserve(1 << 20);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"bench\" "
           "xmlns=\"http://www.topografix.com/GPX/1/1\">\n<trk><name>Bench</name>\n";
    const int perSegment = (points + segments - 1) / segments;
    for (int i = 0; i < points; ++i) {
        if (i % perSegment == 0)
            out += i == 0 ? "<trkseg>\n" : "</trkseg>\n<trkseg>\n";
        const double lat = 47.0 + i * 0.00002;
        const double lon = 8.0 + std::sin(i / 500.0) * 0.05;
        out += "<trkpt lat=\"" + QByteArray::number(lat, 'f', 7) + "\" lon=\"" +
               QByteArray::number(lon, 'f', 7) + "\"><ele>" +
               QByteArray::number(400 + (i % 300), 'f', 1) + "</ele><time>" +
               isoTime(kStart + i * kStep).toLatin1() + "</time></trkpt>\n";
        if (out.size() > (1 << 20) - 512) {
            file.write(out);
            out.clear();
        }
    }
    out += "</trkseg>\n</trk>\n</gpx>\n";
    file.write(out);
    return file.size();
}

bool setCaptureTime(const QString &path, double t)
{
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        Exiv2::ExifData &exif = image->exifData();
        const std::string text = DateReader::fromReference(t)
                                     .toString(QStringLiteral("yyyy:MM:dd HH:mm:ss"))
                                     .toStdString();
        exif["Exif.Photo.DateTimeOriginal"] = text;
        exif["Exif.Image.Make"] = std::string("Bench");
        image->writeMetadata();
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

std::optional<double> readCaptureTime(const QString &path)
{
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        const auto it = image->exifData().findKey(Exiv2::ExifKey("Exif.Photo.DateTimeOriginal"));
        if (it == image->exifData().end())
            return std::nullopt;
        return DateReader::read(QString::fromStdString(it->toString()));
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

double peerRate(const QString &name, const QString &program, const QStringList &arguments,
                int images)
{
    ProcessRequest request;
    request.program = program;
    request.arguments = arguments;
    request.captureStderr = true;
    request.captureStdout = true;
    QElapsedTimer timer;
    timer.start();
    const ProcessResult result = Process::run(request);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (!result.started) {
        std::printf("%-34s could not run: %s\n", qPrintable(name), qPrintable(result.startError));
        return 0;
    }
    const double rate = images / seconds;
    std::printf("%-34s %10.1f images/s  (%.2f s, exit %d)\n", qPrintable(name), rate, seconds,
                result.exitCode);
    // The peer's own summary (its last line), to show that it did the work.
    const QByteArray said = (result.stdoutData + result.stderrData).trimmed();
    const qsizetype summary = said.indexOf("Completed");
    QByteArray tail = summary >= 0 ? said.mid(summary) : said.mid(said.lastIndexOf('\n') + 1);
    if (!tail.isEmpty())
        std::printf("    %s\n", tail.replace('\n', ' ').constData());
    return rate;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int imageCount = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int pointCount = argc > 2 ? std::atoi(argv[2]) : 100000;
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    SystemLog::setEchoToStderr(false);
    RecordingUserInterface quiet;
    UserInterface::setInstance(&quiet);

    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/bench-geotag-XXXXXX"));
    const QString root = work.path();
    const QString gpx = root + QStringLiteral("/track.gpx");
    const qint64 gpxBytes = writeGpx(gpx, pointCount, 10);

    // Images: one small JPEG copied, each copy given its own capture time (spread over the
    // track, a few outside it).
    const QString ours = root + QStringLiteral("/ours");
    const QString forExiftool = root + QStringLiteral("/exiftool");
    const QString forGpscorrelate = root + QStringLiteral("/gpscorrelate");
    for (const QString &dir : {ours, forExiftool, forGpscorrelate})
        QDir().mkpath(dir);
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    const QString base = root + QStringLiteral("/base.jpg");
    picture.save(base, "JPG", 80);
    const double span = (pointCount - 1) * kStep;
    QStringList names;
    std::vector<double> times;
    for (int i = 0; i < imageCount; ++i) {
        const QString name = QStringLiteral("IMG_%1.JPG").arg(i, 5, 10, QLatin1Char('0'));
        const double t = kStart - 600 + (span + 1200) * i / std::max(1, imageCount - 1) + 0.0;
        const double whole = std::floor(t);
        const QString first = ours + QLatin1Char('/') + name;
        QFile::copy(base, first);
        setCaptureTime(first, whole);
        QFile::copy(first, forExiftool + QLatin1Char('/') + name);
        QFile::copy(first, forGpscorrelate + QLatin1Char('/') + name);
        names.append(name);
        times.push_back(whole);
    }
    std::printf("bench_geotag: %d images, %d track points in 10 segments, GPX %.1f MB\n",
                imageCount, pointCount, gpxBytes / 1e6);

    // Ours: the store reads the GPX once (as the first geotag of a run does), then each image's
    // capture time is read from its file and matched.
    const QString support = root + QStringLiteral("/support");
    TrackManagerController store(support);
    TrackManagerController::setSharedInstance(&store);
    store.readData();
    QElapsedTimer timer;
    timer.start();
    store.addFiles({gpx});
    int found = 0;
    for (int i = 0; i < imageCount; ++i) {
        ThumbItem item;
        item.metadata = QVariantMap{};
        item.path = ours + QLatin1Char('/') + names[i];
        item.exifDatetime = readCaptureTime(item.path).value_or(0);
        store.geotag(item, QStringLiteral("UTC"));
        found += item.gpsMessage == QLatin1String("Automatically geotagged");
    }
    const double oursSeconds = timer.nsecsElapsed() / 1e9;
    const double oursRate = imageCount / oursSeconds;
    std::printf("%-34s %10.1f images/s  (%.2f s, %d of %d placed; GPX read included)\n",
                "brindlewick (read time + match)", oursRate, oursSeconds, found, imageCount);

    timer.restart();
    for (int round = 0; round < 10; ++round) {
        for (int i = 0; i < imageCount; ++i) {
            ThumbItem item;
            item.metadata = QVariantMap{};
            item.exifDatetime = times[static_cast<std::size_t>(i)];
            store.geotag(item, QStringLiteral("UTC"));
        }
    }
    const double matchSeconds = timer.nsecsElapsed() / 1e9;
    std::printf("%-34s %10.1f images/s\n", "brindlewick (match only)",
                10.0 * imageCount / matchSeconds);

    const auto exiftool = Process::findProgram(QStringLiteral("exiftool"));
    const auto gpscorrelate = Process::findProgram(QStringLiteral("gpscorrelate"));
    double exiftoolRate = 0, gpscorrelateRate = 0;
    if (exiftool) {
        exiftoolRate =
            peerRate(QStringLiteral("exiftool -geotag"), *exiftool,
                     {QStringLiteral("-q"), QStringLiteral("-m"),
                      QStringLiteral("-overwrite_original"), QStringLiteral("-geotag"), gpx,
                      QStringLiteral("-geotime<${DateTimeOriginal}+00:00"), forExiftool},
                     imageCount);
    } else {
        std::printf("exiftool not found\n");
    }
    if (gpscorrelate) {
        QStringList arguments{QStringLiteral("-g"), gpx, QStringLiteral("-z"),
                              QStringLiteral("+0:00")};
        for (const QString &name : std::as_const(names))
            arguments.append(forGpscorrelate + QLatin1Char('/') + name);
        gpscorrelateRate =
            peerRate(QStringLiteral("gpscorrelate"), *gpscorrelate, arguments, imageCount);
    } else {
        std::printf("gpscorrelate not found\n");
    }
    if (exiftoolRate > 0)
        std::printf("ratio to exiftool -geotag: %.1fx\n", oursRate / exiftoolRate);
    if (gpscorrelateRate > 0)
        std::printf("ratio to gpscorrelate:     %.1fx\n", oursRate / gpscorrelateRate);

    // GPX reading speed: the 100,000-point file and one of about 50 MB.
    const QString big = root + QStringLiteral("/big.gpx");
    const qint64 bigBytes = writeGpx(big, 420000, 40);
    for (const auto &[path, bytes] : {std::pair{gpx, gpxBytes}, std::pair{big, bigBytes}}) {
        TrackManagerController reader(root + QStringLiteral("/support2"));
        reader.readData();
        timer.restart();
        const bool ok = reader.loadGPXFile(path, true);
        const double seconds = timer.nsecsElapsed() / 1e9;
        std::printf("GPX read %-24s %10.1f MB/s  (%.1f MB in %.2f s%s)\n",
                    qPrintable(QFileInfo(path).fileName()), bytes / 1e6 / seconds, bytes / 1e6,
                    seconds, ok ? "" : ", FAILED");
    }
    TrackManagerController::setSharedInstance(nullptr);
    UserInterface::setInstance(nullptr);
    return 0;
}
