#include "cli/CommandRegistry.h"
#include "cli/TerminalAlerts.h"
#include "geo/TrackManagerController.h"
#include "platform/DateReader.h"

#include <QFileInfo>

namespace {

const char *const kUsage =
    "Usage: brindlewick-cli tracks list\n"
    "       brindlewick-cli tracks add FILE...\n"
    "       brindlewick-cli tracks remove FILE...\n"
    "\n"
    "list     the loaded GPX files and, below each, its tracks with their first and last times\n"
    "add      read GPX files into the track store (files already loaded are reported)\n"
    "remove   forget GPX files and their tracks (the files themselves are left alone)\n";

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

int runTracks(const QStringList &args)
{
    const CliCommand &self = *CommandRegistry::find(QStringLiteral("tracks"));
    if (wantsHelp(args)) {
        printOut(self.usage);
        return ExitSuccess;
    }
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
    return usageError(self, QStringLiteral("unknown action \"%1\"").arg(action));
}

} // namespace
