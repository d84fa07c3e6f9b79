#include "cli/CommandRegistry.h"
#include "cli/TerminalAlerts.h"
#include "geo/MapPages.h"
#include "geo/TrackManagerController.h"
#include "platform/AtomicFile.h"
#include "platform/DateReader.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>

namespace {

const char *const kUsage =
    "Usage: brindlewick-cli tracks list\n"
    "       brindlewick-cli tracks add FILE...\n"
    "       brindlewick-cli tracks remove FILE...\n"
    "       brindlewick-cli tracks show FILE\n"
    "       brindlewick-cli tracks map FILE -o MAP.html [--force]\n"
    "\n"
    "list     the loaded GPX files and, below each, its tracks with their first and last times\n"
    "add      read GPX files into the track store (files already loaded are reported)\n"
    "remove   forget GPX files and their tracks (the files themselves are left alone)\n"
    "show     the track manager's listing of a GPX file: each track with its first and last\n"
    "         point (a file that is not loaded is read without being added)\n"
    "map      write a map page of a GPX file's last track that a web browser opens offline\n"
    "         (Leaflet is written into the page; the map tiles come from the network).\n"
    "         An existing MAP.html is replaced only with --force; -o - writes to standard\n"
    "         output\n";

int runTracks(const QStringList &args);

BRINDLEWICK_CLI_COMMAND(tracksCommand,
                        {QStringLiteral("tracks"),
                         QStringLiteral("list, add or remove the GPX files used for geotagging"),
                         QString::fromUtf8(kUsage), &runTracks});

QString timeText(double time)
{
    return DateReader::fromReference(time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
           QStringLiteral(" +0000");
}

QStringList absolutePaths(const QStringList &paths)
{
    QStringList result;
    for (const QString &path : paths)
        result.append(QFileInfo(path).absoluteFilePath());
    return result;
}

// A store that could not be written keeps nothing of this command for the next run.
bool saved(TrackManagerController &store)
{
    if (store.save())
        return true;
    printErr(QStringLiteral("brindlewick-cli tracks: the track store could not be written (%1)\n")
                 .arg(store.gpxfilesPath()));
    return false;
}

// A store that knows the file's tracks: the loaded store when it lists the file, otherwise a
// scratch store over a temporary folder that reads the file and is thrown away (nothing of
// the user's store changes). nullptr when the file can't be read (its alert was shown).
TrackManagerController *storeFor(const QString &path, TrackManagerController &loaded,
                                 std::unique_ptr<TrackManagerController> &scratch,
                                 QTemporaryDir &scratchFolder)
{
    if (loaded.gpxfiles().contains(path))
        return &loaded;
    scratch = std::make_unique<TrackManagerController>(scratchFolder.path());
    scratch->readData();
    if (!scratch->loadGPXFile(path, true))
        return nullptr;
    scratch->gpxfiles().append(path);
    return scratch.get();
}

int showTrack(const CliCommand &self, const QStringList &args, TrackManagerController &loaded)
{
    if (args.size() != 1)
        return usageError(self, QStringLiteral("show takes one GPX file"));
    const QString path = QFileInfo(args[0]).absoluteFilePath();
    std::unique_ptr<TrackManagerController> scratch;
    QTemporaryDir scratchFolder;
    TrackManagerController *store = storeFor(path, loaded, scratch, scratchFolder);
    if (!store)
        return ExitError;
    QString text = store->selectRows({int(store->gpxfiles().indexOf(path))}).listing;
    if (!text.endsWith(QLatin1Char('\n')))
        text += QLatin1Char('\n');
    printOut(text);
    return ExitSuccess;
}

int mapTrack(const CliCommand &self, const QStringList &args, TrackManagerController &loaded)
{
    QString file;
    QString output;
    bool force = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("-o") || args[i] == QLatin1String("--output")) {
            if (++i >= args.size())
                return usageError(self, QStringLiteral("-o needs a file name"));
            output = args[i];
        } else if (args[i] == QLatin1String("--force")) {
            force = true;
        } else if (file.isEmpty()) {
            file = args[i];
        } else {
            return usageError(self, QStringLiteral("map takes one GPX file"));
        }
    }
    if (file.isEmpty() || output.isEmpty())
        return usageError(self, QStringLiteral("map needs a GPX file and -o MAP.html"));
    const bool toStdout = output == QLatin1String("-");
    if (!toStdout && QFileInfo::exists(output) && !force) {
        printErr(QStringLiteral("brindlewick-cli tracks: %1 exists (use --force to replace it)\n")
                     .arg(output));
        return ExitError;
    }
    const QString path = QFileInfo(file).absoluteFilePath();
    std::unique_ptr<TrackManagerController> scratch;
    QTemporaryDir scratchFolder;
    TrackManagerController *store = storeFor(path, loaded, scratch, scratchFolder);
    if (!store)
        return ExitError;
    const auto selection = store->selectRows({int(store->gpxfiles().indexOf(path))});
    if (!selection.mapFile) {
        printErr(
            QStringLiteral("brindlewick-cli tracks: %1: GPX file contains no tracks.\n").arg(path));
        return ExitError;
    }
    const std::optional<QString> page = store->showTrack(QFileInfo(path).fileName(), path);
    const std::optional<QString> standalone = page ? MapPages::inlineLeaflet(*page) : std::nullopt;
    if (!standalone) {
        printErr(QStringLiteral("brindlewick-cli tracks: the map page is missing from the "
                                "program's resources\n"));
        return ExitError;
    }
    if (toStdout) {
        printOut(*standalone);
        return ExitSuccess;
    }
    QString error;
    if (!writeFileAtomically(output, standalone->toUtf8(), &error)) {
        printErr(QStringLiteral("brindlewick-cli tracks: can't write %1: %2\n").arg(output, error));
        return ExitError;
    }
    return ExitSuccess;
}

int runTracks(const QStringList &args)
{
    const CliCommand &self = *CommandRegistry::find(QStringLiteral("tracks"));
    if (args.isEmpty())
        return usageError(self, QStringLiteral("missing action"));
    TerminalAlerts alerts;
    TrackManagerController &store = TrackManagerController::sharedInstance();
    store.readData();
    const QString action = args[0];
    if (action == QLatin1String("list")) {
        if (args.size() != 1)
            return usageError(self, QStringLiteral("list takes no arguments"));
        for (const QString &file : std::as_const(store.gpxfiles())) {
            printOut(file + QLatin1Char('\n'));
            for (const TrkPtr &track : store.tracks()) {
                if (track->gpxfile == file)
                    printOut(QStringLiteral("    %1: %2 .. %3\n")
                                 .arg(track->name, timeText(track->start.time),
                                      timeText(track->end.time)));
            }
        }
        return ExitSuccess;
    }
    if (action == QLatin1String("add")) {
        if (args.size() < 2)
            return usageError(self, QStringLiteral("add needs at least one GPX file"));
        const QStringList paths = absolutePaths(args.mid(1));
        const QStringList before = store.gpxfiles();
        store.addFiles(paths); // alerts each file already loaded or unreadable
        // A path named twice is added once; the second naming is "already loaded".
        QStringList added;
        for (const QString &path : paths) {
            if (!before.contains(path) && !added.contains(path) && store.gpxfiles().contains(path))
                added.append(path);
        }
        if (!saved(store))
            return ExitError;
        for (const QString &path : std::as_const(added))
            printOut(QStringLiteral("added %1\n").arg(path));
        return added.size() == paths.size() ? ExitSuccess : ExitError;
    }
    if (action == QLatin1String("remove")) {
        if (args.size() < 2)
            return usageError(self, QStringLiteral("remove needs at least one GPX file"));
        int result = ExitSuccess;
        QStringList known;
        for (const QString &path : absolutePaths(args.mid(1))) {
            if (known.contains(path))
                continue; // named twice, removed once
            if (store.gpxfiles().contains(path)) {
                known.append(path);
            } else {
                printErr(QStringLiteral("brindlewick-cli tracks: not loaded: %1\n").arg(path));
                result = ExitError;
            }
        }
        if (!known.isEmpty()) {
            store.removeFiles(known);
            if (!saved(store))
                return ExitError;
            for (const QString &path : std::as_const(known))
                printOut(QStringLiteral("removed %1\n").arg(path));
        }
        return result;
    }
    if (action == QLatin1String("show"))
        return showTrack(self, args.mid(1), store);
    if (action == QLatin1String("map"))
        return mapTrack(self, args.mid(1), store);
    return usageError(self, QStringLiteral("unknown action \"%1\"").arg(action));
}

} // namespace
