// Times, in one run over the same card folder, each side in turn for several rounds:
//   - ingestion with copy verification (every copy read back from the disk and compared by
//     hash) against `cp -p -r` followed by `sync`; also without copy verification; and against
//     what the disk must do at least for a verified copy: `cp -p -r`, `sync`, and every copy
//     read back from the disk;
//   - ingestion with one backup tree against two `cp -p -r` of the card and a `sync`;
//   - ingestion with JPEG verification against `cp -p -r`, `jpeginfo -c` on every JPEG and
//     `sync`.
// Prints min and median of each, the ratios of the medians and the peak memory of the
// ingestions.
//
// The card: 300 camera-sized JPEGs (12 megapixels, about 4 MB each, with EXIF) and 50 raw-like
// files of 14 MB: about 2 GB.
// Everything happens below a temporary folder; HOME and the XDG folders point there too.

#include "ingest/IngestFiles.h"
#include "platform/Process.h"
#include "platform/RecordingUserInterface.h"
#include "presets/Setup.h"
#include "support/ImageFixtures.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kJpegs = 300;
constexpr int kRaws = 50;

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double minimum(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

// Peak resident memory of this process since the last reset, in MB (Linux: VmHWM, reset by
// writing 5 to clear_refs).
void resetPeakMemory()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

double peakMemoryMB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

double seconds(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void setTime(const QString &path, qint64 secs)
{
    QFile file(path);
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(QDateTime::fromSecsSinceEpoch(secs), QFileDevice::FileModificationTime);
}

// A picture with the fine detail of a real photograph (a gradient under grain), so that its
// JPEG has about the bytes a camera writes for that size: a flat picture would make files a
// tenth as large and the card's timings would be mostly per-file costs.
bool writeGrainyJpeg(const QString &path, QSize size, int variant)
{
    QImage image(size, QImage::Format_RGB32);
    quint32 seed = 2463534242u + static_cast<quint32>(variant);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            seed ^= seed << 13;
            seed ^= seed >> 17;
            seed ^= seed << 5;
            const int grain = static_cast<int>(seed & 31) - 16;
            const auto level = [grain](int v) { return std::clamp(v + grain, 0, 255); };
            line[x] =
                qRgb(level((40 * variant + x * 255 / size.width()) % 256),
                     level(120 + y * 100 / size.height()), level(200 - x * 80 / size.width()));
        }
    }
    return image.save(path, "JPEG", 90);
}

// A few distinct pictures, copied under camera names with their own EXIF and time stamps.
bool makeCard(const QString &card, int jpegs = kJpegs, int raws = kRaws,
              QSize size = QSize(4256, 2832))
{
    const QString dcim = card + "/DCIM/100CAMERA";
    QDir().mkpath(dcim);
    QStringList bases;
    for (int v = 0; v < 4; ++v) {
        const QString base = card + QStringLiteral("/base%1.jpg").arg(v);
        if (!writeGrainyJpeg(base, size, v))
            return false;
        bases << base;
    }
    const qint64 start = QDateTime(QDate(2024, 5, 1), QTime(9, 0)).toSecsSinceEpoch();
    for (int i = 0; i < jpegs; ++i) {
        const QString path = dcim + QStringLiteral("/DSC_%1.JPG").arg(i + 1, 4, 10, QChar('0'));
        QFile::copy(bases[i % bases.size()], path);
        const QString stamp = QDateTime::fromSecsSinceEpoch(start + i * 7)
                                  .toString(QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        ImageFixtures::setExif(path, {{"Exif.Photo.DateTimeOriginal", stamp},
                                      {"Exif.Photo.DateTimeDigitized", stamp},
                                      {"Exif.Image.DateTime", stamp},
                                      {"Exif.Photo.ExposureTime", "1/250"},
                                      {"Exif.Photo.FNumber", "28/10"},
                                      {"Exif.Image.ImageNumber", QString::number(i + 1)}});
        setTime(path, start + i * 7);
    }
    // Raw-like files: about the size of a 12-megapixel raw file.
    QByteArray raw(14 << 20, '\0');
    for (qsizetype i = 0; i < raw.size(); i += 97)
        raw[i] = static_cast<char>(i * 31);
    for (int i = 0; i < raws; ++i) {
        const QString path =
            dcim + QStringLiteral("/DSC_%1.NEF").arg(jpegs + i + 1, 4, 10, QChar('0'));
        raw[0] = static_cast<char>(i);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(raw) != raw.size())
            return false;
        f.close();
        setTime(path, start + (jpegs + i) * 7);
    }
    for (const QString &base : bases)
        QFile::remove(base);
    return true;
}

ThumbItemList itemsOf(const QString &card)
{
    ThumbItemList items;
    QDirIterator it(card, QDir::Files, QDirIterator::Subdirectories);
    QStringList paths;
    while (it.hasNext())
        paths << it.next();
    paths.sort();
    for (const QString &path : paths) {
        ThumbItemPtr item = ThumbItem::initWithPath(path);
        item->checked = true;
        items << item;
    }
    return items;
}

double peakMB = 0;

// How fast this machine hands out memory never touched before, in MB/s. On some virtual
// machines the host backs each new page slowly and takes freed ones back within seconds; a
// timing that fills the page cache with gigabytes (as `cp` does) then pays for it, one that
// keeps its cache small (as ingestion does) does not. Printed so that ratios can be read.
double freshMemoryMBps()
{
    constexpr size_t kBytes = size_t(256) << 20;
    const double t = seconds([] {
        void *p =
            ::mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return;
        for (size_t i = 0; i < kBytes; i += 4096)
            static_cast<volatile char *>(p)[i] = 1;
        ::munmap(p, kBytes);
    });
    return t > 0 ? 256 / t : 0;
}

double ingest(const QString &card, const QString &target, bool verify, int *ingested,
              bool verifyCopies = true, bool backup = false, bool metadata = true)
{
    Setup setup(Setup::defaultSetup().dict());
    // The default preset writes a copyright into every file (each JPEG takes it into its head as
    // it is copied). Without metadata only the copies themselves are timed.
    if (!metadata)
        setup.setParam(QStringLiteral("Metadata"), QVariantMap());
    setup.setParam(QStringLiteral("PrimaryRootFolder"), backup ? target + "/primary" : target);
    if (backup) {
        setup.setParam(QStringLiteral("WantBackup"), QStringLiteral("YES"));
        setup.setParam(QStringLiteral("BackupRootFolder"), target + "/backup");
    }
    setup.setParam(QStringLiteral("FolderArrangement"),
                   QStringLiteral("{@DateImage:YYYY}/{@DateImage:MM-DD}"));
    setup.setParam(QStringLiteral("WantJPEGVerify"),
                   verify ? QStringLiteral("YES") : QStringLiteral("NO"));
    IngestFiles driver;
    driver.setVerifyCopies(verifyCopies);
    driver.setItems(itemsOf(card)); // listing the card is the chooser's work, not timed
    resetPeakMemory();
    const double t = seconds([&] { driver.go(setup, false); });
    peakMB = std::max(peakMB, peakMemoryMB());
    *ingested = driver.numIngested() + driver.numCopiedToBackup();
    return t;
}

bool run(const QString &program, const QStringList &arguments)
{
    ProcessRequest request;
    request.program = program;
    request.arguments = arguments;
    return Process::run(request).succeeded();
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/brindlewick-bench-XXXXXX"));
    if (!root.isValid())
        return 2;
    const QByteArray home = QFile::encodeName(root.path() + "/home");
    QDir().mkpath(QString::fromLocal8Bit(home));
    setenv("HOME", home.constData(), 1);
    setenv("XDG_DATA_HOME", (home + "/.local/share").constData(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").constData(), 1);
    setenv("XDG_CACHE_HOME", (home + "/.cache").constData(), 1);
    QCoreApplication app(argc, argv);
    RecordingUserInterface ui;
    UserInterface::setInstance(&ui);

    const QString templatePath = root.path() + "/template.xmp";
    QFile t(templatePath);
    t.open(QIODevice::WriteOnly);
    t.write("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"></x:xmpmeta>\n");
    t.close();
    IngestFiles::setTemplateResource(templatePath);

    // BRINDLEWICK_BENCH_CARD keeps the card between runs (made there when absent).
    const QString kept = qEnvironmentVariable("BRINDLEWICK_BENCH_CARD");
    const QString card = kept.isEmpty() ? root.path() + "/card" : kept;
    std::printf("making the card (%d JPEGs of 12 megapixels, %d raw-like files)...\n", kJpegs,
                kRaws);
    std::fflush(stdout);
    if (!QFileInfo::exists(card) && !makeCard(card)) {
        std::fprintf(stderr, "could not make the card\n");
        return 1;
    }
    QStringList jpegs;
    for (const ThumbItemPtr &item : itemsOf(card))
        if (item->path.endsWith(QLatin1String(".JPG")))
            jpegs << item->path;
    const auto jpeginfo = Process::findProgram(QStringLiteral("jpeginfo"));

    // Several rounds, each into fresh folders removed afterwards, with everything written out
    // to the disk between two timings; the medians are printed (other work on the machine
    // moves single timings a lot).

    // The card's pages dropped from the cache (they are clean after the sync), so that a timing
    // reads it from the disk as a real card is read.
    const auto dropFromCache = [&card](const QString &folder = QString()) {
        ::sync();
        QDirIterator it(folder.isEmpty() ? card : folder, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const int fd = ::open(QFile::encodeName(it.next()).constData(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0) {
                ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
                ::close(fd);
            }
        }
    };
    // Every file under `folder` read from the disk, as a check of copies reads them back.
    const auto readBack = [&dropFromCache](const QString &folder) {
        dropFromCache(folder);
        std::vector<char> buffer(1 << 20);
        QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const int fd = ::open(QFile::encodeName(it.next()).constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            while (::read(fd, buffer.data(), buffer.size()) > 0) {
            }
            ::close(fd);
        }
    };
    // BRINDLEWICK_BENCH_ONLY=verified (or =backup) times that ingestion alone (for strace or
    // perf), card read from the disk.
    const QString only = qEnvironmentVariable("BRINDLEWICK_BENCH_ONLY");
    if (only == QLatin1String("verified") || only == QLatin1String("backup")) {
        int n = 0;
        const QString out = root.path() + "/out";
        dropFromCache();
        const bool backup = only == QLatin1String("backup");
        std::printf("%s ingest: %.3f s\n", backup ? "backup" : "verified",
                    ingest(card, out, false, &n, true, backup));
        return 0;
    }
    const double memoryBefore = freshMemoryMBps();
    const int rounds = std::max(1, qEnvironmentVariableIntValue("BRINDLEWICK_BENCH_ROUNDS") > 0
                                       ? qEnvironmentVariableIntValue("BRINDLEWICK_BENCH_ROUNDS")
                                       : 3);
    std::vector<double> cp, cpSync, cpSyncRead, unverified, verified, cpInfo, jpegVerify, cpTwice,
        backup, bare;
    int n0 = 0, n1 = 0, n2 = 0, n3 = 0;
    // Every timing starts with the card read from the disk, and with the disk quiet: the files
    // of the last timing are removed and a moment left for the disk to take the freed blocks
    // back (a file system mounted with online discard does that after the sync).
    const auto fresh = [&](const QString &name) {
        QDir(root.path() + "/" + name).removeRecursively();
        dropFromCache();
        ::usleep(1500 * 1000);
        return root.path() + "/" + name;
    };
    for (int round = 0; round < rounds; ++round) {
        std::printf("round %d of %d...\n", round + 1, rounds);
        std::fflush(stdout);
        QString out = fresh("out");
        cp.push_back(seconds([&] { run("cp", {"-p", "-r", card, out}); }));
        out = fresh("out");
        cpSync.push_back(seconds([&] {
            run("cp", {"-p", "-r", card, out});
            ::sync();
        }));
        out = fresh("out");
        cpSyncRead.push_back(seconds([&] {
            run("cp", {"-p", "-r", card, out});
            readBack(out);
        }));
        unverified.push_back(ingest(card, fresh("out"), false, &n0, /*verifyCopies=*/false));
        verified.push_back(ingest(card, fresh("out"), false, &n1));
        bare.push_back(ingest(card, fresh("out"), false, &n1, true, false, false));
        out = fresh("out");
        QDir().mkpath(out);
        cpTwice.push_back(seconds([&] {
            run("cp", {"-p", "-r", card, out + "/backup"});
            run("cp", {"-p", "-r", card, out + "/primary"});
            ::sync();
        }));
        backup.push_back(ingest(card, fresh("out"), false, &n3, true, true));
        if (jpeginfo) {
            out = fresh("out");
            cpInfo.push_back(seconds([&] {
                run("cp", {"-p", "-r", card, out});
                QStringList args{"-c"};
                for (const QString &j : jpegs)
                    args << QString(j).replace(card, out);
                run(*jpeginfo, args);
                ::sync();
            }));
        }
        jpegVerify.push_back(ingest(card, fresh("out"), true, &n2));
    }
    fresh("out");
    // The memory of a long run: 2,000 files (small ones: what grows with the run is what is
    // kept of each item, not the copy's buffers).
    std::printf("one ingestion of 2,000 files...\n");
    std::fflush(stdout);
    const QString many = root.path() + "/many";
    double manyMB = 0;
    int n4 = 0;
    if (makeCard(many, 2000, 0, QSize(640, 480))) {
        const double before = peakMB;
        peakMB = 0;
        ingest(many, fresh("out"), false, &n4);
        manyMB = peakMB;
        peakMB = before;
        fresh("out");
        QDir(many).removeRecursively();
    }

    std::printf("first touch of fresh memory: %.0f MB/s before the rounds, %.0f MB/s after (a real "
                "machine: several GB/s)\n",
                memoryBefore, freshMemoryMBps());
    std::printf("%d rounds (min, median; ratios of medians); files placed: %d, %d, with a "
                "backup: %d, with JPEG verification: %d (alerts: %lld)\n",
                rounds, n0, n1, n3, n2, static_cast<long long>(ui.alerts.size()));
    const auto line = [](const char *what, const std::vector<double> &t) {
        std::printf("%-34s %8.3f s %8.3f s\n", what, minimum(t), median(t));
    };
    const auto ratio = [](const char *what, const std::vector<double> &a,
                          const std::vector<double> &b, const char *goal) {
        std::printf("  ratio %-40s %6.2f (min %5.2f)%s\n", what, median(a) / median(b),
                    minimum(a) / minimum(b), goal);
    };
    line("cp -p -r", cp);
    line("cp -p -r + sync", cpSync);
    line("ingest, copies not verified", unverified);
    line("ingest, copies verified", verified);
    ratio("verified ingest / cp -p -r + sync", verified, cpSync, "  goal <= 1.30");
    ratio("unverified ingest / cp -p -r + sync", unverified, cpSync, "");
    // What the disk must do at least for a verified copy: copy, sync, and read every copy back.
    line("cp -p -r + sync + read back", cpSyncRead);
    ratio("verified ingest / cp + sync + read back", verified, cpSyncRead, "");
    line("ingest, verified, no metadata", bare);
    ratio("verified ingest, no metadata / cp + sync", bare, cpSync, "");
    line("2 x cp -p -r + sync", cpTwice);
    line("ingest with a backup", backup);
    ratio("ingest with a backup / 2 x cp + sync", backup, cpTwice, "  goal <= 1.30");
    if (jpeginfo) {
        line("cp -p -r + jpeginfo -c + sync", cpInfo);
        line("ingest with JPEG verification", jpegVerify);
        ratio("JPEG-verified ingest / cp + jpeginfo + sync", jpegVerify, cpInfo, "  goal <= 1.00");
    } else {
        line("ingest with JPEG verification (no jpeginfo)", jpegVerify);
    }
    std::printf("peak memory of the ingestions: %.0f MB; of one of 2,000 files (%d placed): "
                "%.0f MB  goal < 300\n",
                peakMB, n4, manyMB);
    UserInterface::setInstance(nullptr);
    return 0;
}
