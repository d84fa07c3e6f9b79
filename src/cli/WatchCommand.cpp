// brindlewick-cli watch: an ingest station without a desktop. Every card mounted while it runs
// is ingested with one preset, one card at a time, and ejected afterwards when asked.

#include "cli/CommandRegistry.h"
#include "cli/PresetChoice.h"
#include "cli/TerminalUserInterface.h"
#include "metadata/Prefs.h"
#include "platform/VolumeMonitor.h"
#include "presets/SetupController.h"
#include "sources/CardArrivals.h"

#include <QEventLoop>
#include <QTimer>

namespace {

const char *const kUsage =
    "Usage: brindlewick-cli watch --preset NAME [--any-volume] [--eject]\n"
    "\n"
    "Waits for memory cards and ingests each card mounted while it runs with the preset, as\n"
    "\"brindlewick-cli ingest --preset NAME CARD\" does: every file the preset's file-type\n"
    "filter lets through. Cards are taken one at a time, in the order they were mounted;\n"
    "cards mounted before the command started are left alone.\n"
    "\n"
    "Options:\n"
    "  --preset NAME   the preset every card is ingested with (required)\n"
    "  --any-volume    take every removable volume, not only cards with a DCIM folder\n"
    "  --eject         eject a card after a run over it went well (also the preference\n"
    "                  \"EjectAfterIngest\")\n"
    "\n"
    "Needs the system's disk service (UDisks2); the desktop mounts the cards. Ctrl-C stops\n"
    "watching; during a run it stops the run after the current file.\n"
    "\n"
    "Exit status: 0 when every card went well, 1 when the disk service can't be reached or\n"
    "a card's run or eject failed, 2 usage, 3 when a run was stopped with Ctrl-C.\n";

int runWatch(const QStringList &args);

BRINDLEWICK_CLI_COMMAND(watchCommand,
                        {QStringLiteral("watch"),
                         QStringLiteral("ingest every card put in while it runs (ingest station)"),
                         QString::fromUtf8(kUsage), &runWatch});

using EjectWaiter = std::function<void(const RemovableVolume &, const EjectResult &)>;

// Ejects a card and waits for the outcome; false when it stays in. `waiter` is what the
// monitor's ejectFinished handler calls.
bool ejectCard(VolumeMonitor &volumes, EjectWaiter &waiter, const RemovableVolume &card)
{
    QEventLoop loop;
    EjectResult outcome;
    bool finished = false;
    waiter = [&](const RemovableVolume &volume, const EjectResult &result) {
        if (volume.objectPath != card.objectPath)
            return;
        outcome = result;
        finished = true;
        loop.quit();
    };
    volumes.eject(card);
    if (!finished)
        loop.exec();
    waiter = nullptr;
    const EjectReport report = CardArrivals::ejectReport(card, outcome);
    if (report.failed) {
        printErr(QStringLiteral("brindlewick-cli watch: %1 %2\n")
                     .arg(report.alertTitle, report.alertMessage));
        return false;
    }
    printOut(report.logLine.trimmed() + QLatin1Char('\n'));
    return true;
}

int runWatch(const QStringList &args)
{
    const CliCommand &self = *CommandRegistry::find(QStringLiteral("watch"));
    std::optional<QString> preset;
    bool anyVolume = false;
    bool eject = Prefs::boolean(Prefs::EjectAfterIngest);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--preset") && i + 1 < args.size())
            preset = args[++i];
        else if (args[i] == QLatin1String("--any-volume"))
            anyVolume = true;
        else if (args[i] == QLatin1String("--eject"))
            eject = true;
        else if (args[i] == QLatin1String("--preset"))
            return usageError(self, QStringLiteral("--preset needs a value"));
        else
            return usageError(self, QStringLiteral("unexpected \"%1\"").arg(args[i]));
    }
    if (!preset)
        return usageError(self, QStringLiteral("--preset NAME is required"));
    QString presetName;
    {
        SetupController presets;
        if (const auto status = choosePreset(self, presets, preset, ExitUsage))
            return *status;
        presetName = presets.currentSetupName();
    }

    QList<RemovableVolume> waiting;
    QEventLoop idle;
    EjectWaiter ejectWaiter;
    VolumeMonitor::Handlers handlers;
    handlers.mounted = [&](const RemovableVolume &volume) {
        if (CardArrivals::isOffered(volume, anyVolume)) {
            waiting.append(volume);
            idle.quit();
        }
    };
    handlers.unmounted = [&](const RemovableVolume &volume) {
        waiting.removeIf(
            [&](const RemovableVolume &w) { return w.objectPath == volume.objectPath; });
    };
    handlers.availabilityChanged = [](bool available) {
        printErr(available ? QStringLiteral("brindlewick-cli watch: the disk service is back\n")
                           : QStringLiteral("brindlewick-cli watch: the disk service went away; "
                                            "waiting for it to return\n"));
    };
    handlers.ejectFinished = [&](const RemovableVolume &volume, const EjectResult &result) {
        if (ejectWaiter)
            ejectWaiter(volume, result);
    };
    QString moduleError;
    const std::unique_ptr<VolumeMonitor> volumes =
        VolumeMonitor::openSystem(std::move(handlers), &moduleError);
    if (!volumes) {
        printErr(QStringLiteral("brindlewick-cli watch: %1\n").arg(moduleError));
        return ExitError;
    }
    if (!volumes->waitUntilReady(15000)) {
        printErr(QStringLiteral("brindlewick-cli watch: the disk service (UDisks2) can't be "
                                "reached on the system bus, so no card can be noticed\n"));
        return ExitError;
    }

    TerminalUserInterface::resetStop();
    TerminalUserInterface::installInterruptHandler();
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, &idle, [&] {
        if (TerminalUserInterface::stopRequested())
            idle.quit();
    });
    stopCheck.start(100);

    printOut(QStringLiteral("Waiting for cards to ingest with the preset \"%1\" (Ctrl-C stops).\n")
                 .arg(presetName));
    int status = ExitSuccess;
    const CliCommand &ingest = *CommandRegistry::find(QStringLiteral("ingest"));
    while (!TerminalUserInterface::stopRequested()) {
        if (waiting.isEmpty()) {
            idle.exec();
            continue;
        }
        const RemovableVolume card = waiting.takeFirst();
        if (!volumes->volume(card.objectPath))
            continue;
        printOut(QStringLiteral("\nCard \"%1\" at %2: ingesting with the preset \"%3\".\n")
                     .arg(card.name(), card.mountPoint, presetName));
        const int result = ingest.run({QStringLiteral("--preset"), presetName, card.mountPoint});
        printOut(QStringLiteral("\n")); // the run's listing ends without a line break
        if (result == ExitCancelled)
            return ExitCancelled;
        if (result != ExitSuccess) {
            status = ExitError;
            printErr(QStringLiteral("brindlewick-cli watch: card \"%1\" was not ingested "
                                    "completely (status %2); it stays in\n")
                         .arg(card.name())
                         .arg(result));
            continue;
        }
        if (eject && !ejectCard(*volumes, ejectWaiter, card))
            status = ExitError;
        printOut(QStringLiteral("Waiting for cards (Ctrl-C stops).\n"));
    }
    return status;
}

} // namespace
