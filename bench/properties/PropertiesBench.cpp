// Reads the image properties of 1,000 JPEGs and 100 each of raw-like files, Canon CR3 raws,
// HEIF pictures and movies (or the files and folders given on the command line) and compares
// files per second with `exiftool -fast2 -json` over the same files in the same run: in this
// process, and through `brindlewick-cli info --json` over all of them in one process.
#include "platform/ImageProperties.h"
#include "platform/Process.h"
#include "support/MediaFixtures.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <exiv2/exiv2.hpp>

#include <chrono>
#include <cstdio>

#include <sys/resource.h>
#include <time.h>

namespace {

QStringList g_jpegs;
QStringList g_raws;
QStringList g_cr3s;
QStringList g_heifs;
QStringList g_movies;

QByteArray encodeJpeg(QSize size, int quality)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(30, 60, 120));
    gradient.setColorAt(1, QColor(220, 180, 90));
    p.fillRect(image.rect(), gradient);
    p.end();
    auto *rng = QRandomGenerator::global();
    for (int i = 0; i < size.width() * size.height() / 50; ++i)
        image.setPixel(rng->bounded(size.width()), rng->bounded(size.height()), rng->generate());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

void fillCameraTags(Exiv2::ExifData &d)
{
    d["Exif.Image.Make"] = "NIKON CORPORATION";
    d["Exif.Image.Model"] = "NIKON D750";
    d["Exif.Image.Orientation"] = uint16_t(1);
    d["Exif.Image.XResolution"] = Exiv2::URational(300, 1);
    d["Exif.Image.YResolution"] = Exiv2::URational(300, 1);
    d["Exif.Image.ResolutionUnit"] = uint16_t(2);
    d["Exif.Image.Software"] = "Ver.1.10";
    d["Exif.Image.DateTime"] = "2024:05:06 07:08:09";
    d["Exif.Image.Artist"] = "Bench Photographer";
    d["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
    d["Exif.Photo.FNumber"] = Exiv2::URational(56, 10);
    d["Exif.Photo.ExposureProgram"] = uint16_t(3);
    d["Exif.Photo.ISOSpeedRatings"] = uint16_t(400);
    d["Exif.Photo.DateTimeOriginal"] = "2024:05:06 07:08:09";
    d["Exif.Photo.DateTimeDigitized"] = "2024:05:06 07:08:09";
    d["Exif.Photo.ExposureBiasValue"] = Exiv2::Rational(-1, 3);
    d["Exif.Photo.MaxApertureValue"] = Exiv2::URational(30, 10);
    d["Exif.Photo.MeteringMode"] = uint16_t(5);
    d["Exif.Photo.Flash"] = uint16_t(16);
    d["Exif.Photo.FocalLength"] = Exiv2::URational(500, 10);
    d["Exif.Photo.UserComment"] = "charset=Ascii bench";
    d["Exif.Photo.SubSecTimeOriginal"] = "12";
    d["Exif.Photo.FocalLengthIn35mmFilm"] = uint16_t(50);
    d["Exif.Photo.WhiteBalance"] = uint16_t(0);
    d["Exif.Photo.BodySerialNumber"] = "6012345";
    d["Exif.Photo.LensModel"] = "50.0 mm f/1.8";
    d["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    d["Exif.GPSInfo.GPSLatitude"] = "48/1 51/1 2400/100";
    d["Exif.GPSInfo.GPSLongitudeRef"] = "E";
    d["Exif.GPSInfo.GPSLongitude"] = "2/1 17/1 4020/100";
    d["Exif.GPSInfo.GPSAltitudeRef"] = "0";
    d["Exif.GPSInfo.GPSAltitude"] = "35/1";
    d["Exif.GPSInfo.GPSTimeStamp"] = "7/1 8/1 9/1";
    d["Exif.Nikon3.ShutterCount"] = uint32_t(12345);
    d["Exif.Nikon3.Quality"] = "FINE   ";
    d["Exif.Nikon3.WhiteBalance"] = "AUTO        ";
    d["Exif.Nikon3.Focus"] = "AF-S  ";
    d["Exif.Nikon3.SerialNumber"] = "6012345";
    d["Exif.Nikon3.LensType"] = "14";
}

bool tagFile(const QString &path, bool withThumbnail)
{
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        fillCameraTags(image->exifData());
        if (withThumbnail) {
            const QByteArray thumb = encodeJpeg(QSize(160, 120), 80);
            Exiv2::ExifThumb(image->exifData())
                .setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(thumb.constData()),
                                  static_cast<long>(thumb.size()));
        }
        image->writeMetadata();
        return true;
    } catch (...) {
        return false;
    }
}

// A TIFF-based file shaped like a camera raw: TIFF header, a strip of 16-bit samples, the camera
// tags and a Nikon maker note.
QByteArray rawLikeTiff(int width, int height)
{
    QByteArray out("II*\0", 4);
    const auto u16 = [&](quint16 v) { out.append(char(v & 0xff)).append(char(v >> 8)); };
    const auto u32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i)
            out.append(char((v >> (8 * i)) & 0xff));
    };
    const quint32 pixels = quint32(width * height * 2);
    const quint16 entries = 9;
    const quint32 data = 8 + 2 + entries * 12 + 4;
    u32(8);
    u16(entries);
    const auto entry = [&](quint16 tag, quint16 type, quint32 count, quint32 value) {
        u16(tag);
        u16(type);
        u32(count);
        u32(value);
    };
    entry(256, 4, 1, quint32(width));
    entry(257, 4, 1, quint32(height));
    entry(258, 3, 1, 16);
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 32803); // colour filter array, as a raw sensor
    entry(273, 4, 1, data);
    entry(277, 3, 1, 1);
    entry(278, 4, 1, quint32(height));
    entry(279, 4, 1, pixels);
    u32(0);
    QByteArray samples(int(pixels), Qt::Uninitialized);
    for (int i = 0; i < samples.size(); ++i)
        samples[i] = char(QRandomGenerator::global()->bounded(256));
    out.append(samples);
    return out;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

bool copyN(const QString &source, const QString &folder, const QString &stem, int n,
           QStringList &into)
{
    for (int i = 0; i < n; ++i) {
        const QString target = QStringLiteral("%1/%2_%3.%4")
                                   .arg(folder, stem)
                                   .arg(i, 4, 10, QLatin1Char('0'))
                                   .arg(QFileInfo(source).suffix());
        if (!QFile::copy(source, target))
            return false;
        into << target;
    }
    return true;
}

bool makeModernFixtures(const QString &folder);

bool makeFixtures(const QString &folder)
{
    // A camera-like EXIF block on a modest picture: reading properties never decodes pixels.
    const QString jpegSeed = folder + QStringLiteral("/seed.jpg");
    if (!writeFile(jpegSeed, encodeJpeg(QSize(1200, 800), 85)) || !tagFile(jpegSeed, true))
        return false;
    if (!copyN(jpegSeed, folder, QStringLiteral("DSC"), 1000, g_jpegs))
        return false;

    // Raw files: the real samples beside the project when present, else raw-like TIFFs.
    QStringList seeds;
    const QString shared = QStringLiteral(BRINDLEWICK_SHARED_RAW);
    QDirIterator it(shared, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        seeds << it.next();
    if (seeds.isEmpty()) {
        const QString tiff = folder + QStringLiteral("/seed.nef");
        if (!writeFile(tiff, rawLikeTiff(1200, 800)) || !tagFile(tiff, false))
            return false;
        seeds << tiff;
    }
    const int perSeed = (100 + int(seeds.size()) - 1) / int(seeds.size());
    for (int i = 0; i < seeds.size(); ++i) {
        if (!copyN(seeds[i], folder, QStringLiteral("RAW%1").arg(i), perSeed, g_raws))
            return false;
    }
    while (g_raws.size() > 100)
        g_raws.removeLast();
    return makeModernFixtures(folder);
}

// CR3, HEIF and movies: the real samples beside the project when present, else files built like
// the cameras' own (a CR3's four metadata blocks, a HEIC's Exif item, a phone movie's keys).
bool makeModernFixtures(const QString &folder)
{
    using namespace MediaFixtures;
    const QString shared = QStringLiteral(BRINDLEWICK_SHARED_RAW "/../modern");
    const QMap<QString, QString> camera = {{"Exif.Image.Make", "Canon"},
                                           {"Exif.Image.Model", "Canon EOS R6"},
                                           {"Exif.Photo.DateTimeOriginal", "2021:05:12 12:21:21"},
                                           {"Exif.Photo.FNumber", "28/10"},
                                           {"Exif.Photo.ExposureTime", "1/250"},
                                           {"Exif.Photo.ISOSpeedRatings", "400"}};
    struct Kind
    {
        QStringList *into;
        QStringList extensions;
        QByteArray generated;
        const char *name;
    };
    CanonRaw raw;
    raw.ifd0 = tiff({ascii(0x010f, "Canon"), ascii(0x0110, "Canon EOS R6")});
    raw.exif = tiff({ascii(0x9003, "2021:05:12 12:21:21"), rational(0x829d, 28, 10),
                     rational(0x829a, 1, 250), shorts(0x8827, {400})});
    raw.makerNote = tiff({ascii(0x0095, "RF24-70mm F2.8 L IS USM")});
    raw.thumbnail = jpeg(160, 120);
    raw.created = 1620814881;
    Heif picture;
    picture.exif = exifBlock(camera);
    Movie clip;
    clip.created = 1620814881;
    clip.keys = {{"com.apple.quicktime.make", "Apple"},
                 {"com.apple.quicktime.creationdate", "2021-05-12T12:21:21+0200"}};
    const Kind kinds[] = {{&g_cr3s, {"cr3"}, canonRaw(raw), "IMG.CR3"},
                          {&g_heifs, {"heic", "hif", "avif"}, heif(picture), "IMG.HEIC"},
                          {&g_movies, {"mp4", "mov"}, movie(clip), "MVI.MP4"}};
    for (const Kind &kind : kinds) {
        QStringList seeds;
        QDirIterator it(shared, QDir::Files);
        while (it.hasNext()) {
            const QString f = it.next();
            if (kind.extensions.contains(QFileInfo(f).suffix().toLower()))
                seeds << f;
        }
        if (seeds.isEmpty()) {
            const QString seed = folder + QStringLiteral("/seed-") + QString::fromLatin1(kind.name);
            if (!writeFile(seed, kind.generated))
                return false;
            seeds << seed;
        }
        const int perSeed = (100 + int(seeds.size()) - 1) / int(seeds.size());
        for (int i = 0; i < seeds.size(); ++i) {
            const QString stem = QStringLiteral("%1%2").arg(QFileInfo(kind.name).baseName()).arg(i);
            if (!copyN(seeds[i], folder, stem, perSeed, *kind.into))
                return false;
        }
        while (kind.into->size() > 100)
            kind.into->removeLast();
    }
    return true;
}

struct Rate
{
    double wall = 0; // files per second of elapsed time
    double cpu = 0;  // files per second of processor time (fairer on a busy machine)
};

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double childrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval &tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Our reader over the whole list (best of three passes).
Rate ourRate(const QStringList &files, int *readable)
{
    Rate best;
    for (int pass = 0; pass < 3; ++pass) {
        int ok = 0;
        const double cpu0 = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        for (const QString &f : files)
            ok += ImageProperties::exif(f) ? 1 : 0;
        const double wall = since(start);
        const double cpu = processCpuSeconds() - cpu0;
        best.wall = std::max(best.wall, files.size() / wall);
        best.cpu = std::max(best.cpu, files.size() / std::max(cpu, 1e-9));
        *readable = ok;
    }
    return best;
}

// One exiftool process over the whole list, its start-up included.
Rate exiftoolRate(const QString &exiftool, const QStringList &files, const QString &folder)
{
    const QString argFile = folder + QStringLiteral("/exiftool-args.txt");
    QFile args(argFile);
    if (!args.open(QIODevice::WriteOnly))
        return {};
    for (const QString &f : files)
        args.write(QFile::encodeName(f) + '\n');
    args.close();
    ProcessRequest request;
    request.program = exiftool;
    request.arguments = {QStringLiteral("-fast2"), QStringLiteral("-json"), QStringLiteral("-q"),
                         QStringLiteral("-@"), argFile};
    const double cpu0 = childrenCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult result = Process::run(request);
    const double wall = since(start);
    const double cpu = childrenCpuSeconds() - cpu0;
    if (!result.started)
        return {};
    return {files.size() / wall, files.size() / std::max(cpu, 1e-9)};
}

// The command-line tool over the whole list in one process, its start-up included.
Rate cliRate(const QStringList &files)
{
    ProcessRequest request;
    request.program = QCoreApplication::applicationDirPath() + QStringLiteral("/brindlewick-cli");
    if (!QFileInfo(request.program).isExecutable())
        return {};
    request.arguments = QStringList{QStringLiteral("info"), QStringLiteral("--json")} + files;
    request.captureStdout = true;
    request.captureStderr = true;
    const double cpu0 = childrenCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult result = Process::run(request);
    const double wall = since(start);
    const double cpu = childrenCpuSeconds() - cpu0;
    if (!result.started)
        return {};
    return {files.size() / wall, files.size() / std::max(cpu, 1e-9)};
}

void compare(const char *label, const QStringList &files, const QString &folder)
{
    if (files.isEmpty())
        return;
    int readable = 0;
    const Rate ours = ourRate(files, &readable);
    const Rate cli = cliRate(files);
    std::printf("%-6s %5lld files (%d readable): in process %7.0f files/s (cpu %7.0f), "
                "brindlewick-cli info %6.0f files/s",
                label, static_cast<long long>(files.size()), readable, ours.wall, ours.cpu,
                cli.wall);
    const auto exiftool = Process::findProgram(QStringLiteral("exiftool"));
    if (!exiftool) {
        std::printf("; exiftool not found\n");
        return;
    }
    const Rate theirs = exiftoolRate(*exiftool, files, folder);
    std::printf("; exiftool -fast2 -json %6.0f files/s (cpu %6.0f); ratio in process %.1fx "
                "(cpu %.1fx), cli %.1fx\n",
                theirs.wall, theirs.cpu, theirs.wall > 0 ? ours.wall / theirs.wall : 0.0,
                theirs.cpu > 0 ? ours.cpu / theirs.cpu : 0.0,
                theirs.wall > 0 ? cli.wall / theirs.wall : 0.0);
    std::fflush(stdout);
}

void BM_PropertiesJpeg(benchmark::State &state)
{
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ImageProperties::exif(g_jpegs[i]));
        i = (i + 1) % g_jpegs.size();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_PropertiesRaw(benchmark::State &state)
{
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ImageProperties::exif(g_raws[i]));
        i = (i + 1) % g_raws.size();
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;

    // Files or folders on the command line replace the generated set.
    const QStringList given = app.arguments().mid(1);
    if (!given.isEmpty()) {
        for (const QString &arg : given) {
            if (QFileInfo(arg).isDir()) {
                QDirIterator it(arg, QDir::Files, QDirIterator::Subdirectories);
                while (it.hasNext()) {
                    const QString f = it.next();
                    const QString ext = QFileInfo(f).suffix().toLower();
                    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"))
                        g_jpegs << f;
                    else if (ext == QLatin1String("cr3"))
                        g_cr3s << f;
                    else if (ext == QLatin1String("heic") || ext == QLatin1String("hif") ||
                             ext == QLatin1String("avif"))
                        g_heifs << f;
                    else if (ext == QLatin1String("mp4") || ext == QLatin1String("mov"))
                        g_movies << f;
                    else
                        g_raws << f;
                }
            } else {
                g_jpegs << arg;
            }
        }
    } else if (!makeFixtures(folder.path())) {
        std::fprintf(stderr, "could not make the benchmark files\n");
        return 1;
    }

    ImageProperties::initializeExiv2();
    compare("JPEG", g_jpegs, folder.path());
    compare("raw", g_raws, folder.path());
    compare("CR3", g_cr3s, folder.path());
    compare("HEIF", g_heifs, folder.path());
    compare("movie", g_movies, folder.path());

    if (!g_jpegs.isEmpty())
        benchmark::RegisterBenchmark("properties/jpeg", BM_PropertiesJpeg);
    if (!g_raws.isEmpty())
        benchmark::RegisterBenchmark("properties/raw", BM_PropertiesRaw);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
