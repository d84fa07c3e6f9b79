// The first screen of a card of 2,000 camera JPEGs: the main window at its usual size and zoom
// (offscreen, under a temporary home) chooses the card through the chooser, and the browser's
// model makes the pictures. Reports, over several rounds (the card dropped from the page cache
// before each unless BRINDLEWICK_BENCH_WARM is set): how long the choice kept the main thread,
// how long until every visible cell shows a picture, how long until they are all the pictures
// of their size step, the longest stall of the event loop meanwhile, and peak memory.
// The card is made of links to the real camera JPEGs beside the project (different names, one
// file each per sample), or of generated 12-megapixel JPEGs with EXIF thumbnails when the
// samples are absent; BRINDLEWICK_BENCH_SEEDS names another folder of JPEGs to link instead
// (the 24-megapixel files bench_thumbnails keeps with BRINDLEWICK_BENCH_DIR, say).
// BRINDLEWICK_BENCH_FILES and BRINDLEWICK_BENCH_ROUNDS change the counts.
#include "platform/RecordingUserInterface.h"
#include "platform/SystemLog.h"
#include "support/ImageFixtures.h"
#include "support/ProgramFixture.h"
#include "support/WindowTestSupport.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

int envNumber(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

// Real camera JPEGs of at least 3 megapixels beside the project.
QStringList cameraSamples()
{
    QStringList found;
    const QString chosen = qEnvironmentVariable("BRINDLEWICK_BENCH_SEEDS");
    const QString shared = sharedTestData();
    if (chosen.isEmpty() && shared.isEmpty())
        return found;
    QDirIterator it(chosen.isEmpty() ? shared + QStringLiteral("/images") : chosen,
                    {QStringLiteral("*.jpg"), QStringLiteral("*.JPG")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QSize size = QImageReader(path).size();
        if (qint64(size.width()) * size.height() >= 3'000'000)
            found << path;
    }
    std::sort(found.begin(), found.end());
    return found;
}

QStringList generatedSamples(const QString &folder)
{
    QStringList made;
    for (int i = 0; i < 3; ++i) {
        const QString path = folder + QStringLiteral("/seed%1.jpg").arg(i);
        ImageFixtures::writeJpeg(path, QSize(4240, 2832),
                                 {{"Exif.Image.Make", "Benchmaker"},
                                  {"Exif.Photo.DateTimeOriginal", "2024:05:12 10:00:00"}},
                                 QColor::fromHsv(i * 100, 150, 200));
        made << path;
    }
    return made;
}

QString makeCard(const QString &root, int count, QStringList *seeds)
{
    const QString dcim = root + QStringLiteral("/card/DCIM/100CAMRA");
    QDir().mkpath(dcim);
    *seeds = cameraSamples();
    if (seeds->isEmpty())
        *seeds = generatedSamples(root);
    for (int i = 0; i < count; ++i) {
        const QString source = seeds->at(i % seeds->size());
        const QString target =
            dcim + QStringLiteral("/IMG_%1.JPG").arg(i + 1, 4, 10, QLatin1Char('0'));
        // Hard links where the file system allows, else symbolic ones: never 2,000 copies.
        const QByteArray from = QFile::encodeName(source);
        const QByteArray to = QFile::encodeName(target);
        if (::link(from.constData(), to.constData()) != 0 &&
            ::symlink(from.constData(), to.constData()) != 0)
            return QString();
    }
    return root + QStringLiteral("/card");
}

void dropFromCache(const QStringList &files)
{
    for (const QString &f : files) {
        const int fd = ::open(QFile::encodeName(f).constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

// Peak resident memory since the last reset, in megabytes.
double peakMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

QList<int> visibleRows(ImageBrowserView *view)
{
    QList<int> rows;
    const QRect shown = view->viewport()->rect();
    const int count = view->model() ? view->model()->rowCount() : 0;
    for (int row = 0; row < count; ++row) {
        if (view->cellRect(row).intersects(shown))
            rows << row;
    }
    return rows;
}

// With BRINDLEWICK_GRAB_DIR set, the window as the first screen stands (outside the timing's
// interest: it only shows what the browser drew).
void grab(QWidget &window, const QString &name)
{
    const QString folder = qEnvironmentVariable("BRINDLEWICK_GRAB_DIR");
    if (!folder.isEmpty())
        window.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

struct Round
{
    double choose = 0;      // ms the choice held the main thread
    double firstScreen = 0; // ms until every visible cell has a picture
    double sharp = 0;       // ms until they are all pictures of their size step
    double stall = 0;       // ms, the longest gap between two turns of the event loop
    double peak = 0;        // MB
    int visible = 0;
};

Round runRound(Program &program, const QString &card, const QStringList &files, bool warm)
{
    Round r;
    if (!warm)
        dropFromCache(files);
    // Back to an empty browser, so each round starts alike.
    program.folder.clear();
    program.app.actionChoose();
    QCoreApplication::processEvents();
    program.folder = card;
    resetPeak();

    QElapsedTimer clock;
    QElapsedTimer beat;
    clock.start();
    beat.start();
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        r.stall = std::max(r.stall, double(beat.nsecsElapsed()) / 1e6);
        beat.restart();
    });
    heartbeat.start();
    program.app.actionChoose();
    r.choose = double(clock.nsecsElapsed()) / 1e6;
    r.stall = std::max(r.stall, double(beat.nsecsElapsed()) / 1e6);
    beat.restart();

    ImageBrowserView *view = program.window.imageBrowser;
    ThumbListModel *model = program.app.model();
    QEventLoop loop;
    QTimer check;
    check.setInterval(2);
    QObject::connect(&check, &QTimer::timeout, [&] {
        const QList<int> rows = visibleRows(view);
        r.visible = int(rows.size());
        if (rows.isEmpty())
            return;
        const bool shown = std::all_of(rows.begin(), rows.end(), [&](int row) {
            return model->data(model->index(row), ThumbListModel::ReadyRole).toBool();
        });
        if (shown && r.firstScreen == 0) {
            r.firstScreen = double(clock.nsecsElapsed()) / 1e6;
            grab(program.window, QStringLiteral("first-screen"));
        }
        const bool sharp = std::all_of(rows.begin(), rows.end(),
                                       [&](int row) { return model->hasFinalPicture(row); });
        if (sharp) {
            r.sharp = double(clock.nsecsElapsed()) / 1e6;
            grab(program.window, QStringLiteral("first-screen-sharp"));
            loop.quit();
        }
    });
    check.start();
    QTimer::singleShot(120'000, &loop, &QEventLoop::quit);
    loop.exec();
    r.peak = peakMegabytes();
    return r;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    if (values.isEmpty())
        return 0;
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

// Qt's offscreen platform says so each time a window is raised; nothing else is silenced.
void quietRaise(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (!message.contains(QLatin1String("does not support raise()")))
        std::fprintf(stderr, "%s%s\n", type == QtWarningMsg ? "warning: " : "",
                     qPrintable(message));
}

int main(int argc, char **argv)
{
    qInstallMessageHandler(quietRaise);
    QTemporaryDir home;
    pointHomeAt(home);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    prepareWebViews();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brindlewick"));
    QApplication::setApplicationName(QStringLiteral("Brindlewick"));
    SystemLog::setEchoToStderr(false);
    RecordingUserInterface ui;
    UserInterface::setInstance(&ui);

    const int files = envNumber("BRINDLEWICK_BENCH_FILES", 2000);
    const int rounds = envNumber("BRINDLEWICK_BENCH_ROUNDS", 5);
    const bool warm = qEnvironmentVariableIsSet("BRINDLEWICK_BENCH_WARM");
    QStringList seeds;
    const QString card = makeCard(home.path(), files, &seeds);
    if (card.isEmpty()) {
        std::fprintf(stderr, "could not make the card\n");
        return 1;
    }
    QStringList cardFiles;
    for (QDirIterator it(card, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        cardFiles << it.next();
    std::printf("card of %d JPEGs linked from %lld samples:", files,
                static_cast<long long>(seeds.size()));
    for (const QString &s : seeds) {
        const QSize size = QImageReader(s).size();
        std::printf(" %s %dx%d", qPrintable(QFileInfo(s).fileName()), size.width(), size.height());
    }
    std::printf("\n%s\n", warm ? "card in the page cache"
                               : "card dropped from the page cache before each round");

    Program program;
    program.window.show();
    if (!QTest::qWaitForWindowExposed(&program.window)) {
        std::fprintf(stderr, "the window did not show\n");
        return 1;
    }
    QList<double> choose, first, sharp, stall, peak;
    for (int i = 0; i < rounds; ++i) {
        const Round r = runRound(program, card, cardFiles, warm);
        std::printf("round %d: %d cells visible (window %dx%d, pictures of %d px); choice %.0f ms, "
                    "first screen %.0f ms, "
                    "sharp %.0f ms, longest stall %.0f ms, peak memory %.0f MB\n",
                    i + 1, r.visible, program.window.width(), program.window.height(),
                    program.app.model()->pictureSide(), r.choose, r.firstScreen, r.sharp, r.stall,
                    r.peak);
        std::fflush(stdout);
        choose << r.choose;
        first << r.firstScreen;
        sharp << r.sharp;
        stall << r.stall;
        peak << r.peak;
    }
    const auto line = [](const char *what, const QList<double> &v, const char *unit) {
        std::printf("%-22s min %6.0f  median %6.0f %s\n", what,
                    *std::min_element(v.begin(), v.end()), median(v), unit);
    };
    line("choice (main thread)", choose, "ms");
    line("first screen", first, "ms");
    line("first screen sharp", sharp, "ms");
    line("longest stall", stall, "ms");
    line("peak memory", peak, "MB");
    UserInterface::setInstance(nullptr);
    return 0;
}
