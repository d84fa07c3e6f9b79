#include "cli/CommandRegistry.h"
#include "cli/PresetChoice.h"
#include "cli/PresetsEditCommands.h"
#include "cli/TerminalAlerts.h"
#include "ingest/IngestFiles.h"
#include "items/ThumbItem.h"
#include "macro/MacroProcessor.h"
#include "macro/MacroViewListing.h"
#include "presets/SetupController.h"

#include <QFileInfo>

namespace {

const char *const kMacroUsage =
    "Usage: brindlewick-cli macro [--preset NAME] TEXT FILE\n"
    "\n"
    "Expands the macro text TEXT (e.g. \"{@DateImage:YYYY-MM-DD}/{@FileNameOriginal}\") for\n"
    "the image FILE, as an ingestion with the preset would (index 1).\n";
const char *const kMacrosUsage =
    "Usage: brindlewick-cli macros [--preset NAME] FILE\n"
    "\n"
    "Prints every macro's value for the image FILE, then its properties, as the desktop\n"
    "program's macro view shows them.\n";
const char *const kPresetsUsage = "Usage: brindlewick-cli presets list\n"
                                  "       brindlewick-cli presets show NAME\n";

// Shared by macro and macros: [--preset NAME] then the positional arguments.
int runWithImage(
    const QString &commandName, const QStringList &args, int positional,
    const std::function<void(IngestFiles &, ThumbItem &, const Setup &, const QStringList &)> &body)
{
    const CliCommand &self = *CommandRegistry::find(commandName);
    if (wantsHelp(args)) {
        printOut(self.usage);
        return ExitSuccess;
    }
    QStringList rest = args;
    std::optional<QString> preset;
    const qsizetype at = rest.indexOf(QStringLiteral("--preset"));
    if (at >= 0) {
        if (at + 1 >= rest.size())
            return usageError(self, QStringLiteral("--preset needs a value"));
        preset = rest[at + 1];
        rest.remove(at, 2);
    }
    if (rest.size() != positional)
        return usageError(self, QStringLiteral("wrong number of arguments"));
    const QString path = QFileInfo(rest.last()).absoluteFilePath();
    if (!QFileInfo(path).isFile()) {
        printErr(
            QStringLiteral("brindlewick-cli %1: %2: no such file\n").arg(self.name, rest.last()));
        return ExitError;
    }
    TerminalAlerts alerts;
    SetupController presets;
    if (const auto status = choosePreset(self, presets, preset, ExitUsage))
        return *status;
    const Setup setup = presets.currentSetup();
    IngestFiles engine;
    const ThumbItemPtr item = ThumbItem::initWithPath(path);
    item->loadMetadata();
    engine.computeShoot(*item, setup);
    item->index = 1;
    body(engine, *item, setup, rest);
    return ExitSuccess;
}

int runMacro(const QStringList &args)
{
    return runWithImage(
        QStringLiteral("macro"), args, 2,
        [](IngestFiles &engine, ThumbItem &item, const Setup &setup, const QStringList &rest) {
            printOut(engine.macroProcessor().expand(rest[0], item, setup) + QLatin1Char('\n'));
        });
}

int runMacros(const QStringList &args)
{
    return runWithImage(
        QStringLiteral("macros"), args, 1,
        [](IngestFiles &engine, ThumbItem &item, const Setup &setup, const QStringList &) {
            printOut(MacroViewListing::build(engine.macroProcessor(), item, setup) +
                     QLatin1Char('\n'));
        });
}

int runPresets(const QStringList &args)
{
    const CliCommand &self = *CommandRegistry::find(QStringLiteral("presets"));
    if (wantsHelp(args)) {
        printOut(self.usage);
        return ExitSuccess;
    }
    SetupController presets;
    if (args.size() == 1 && args[0] == QLatin1String("list")) {
        // Only presets that can be used are listed; each damaged file is named on standard
        // error and makes the status an error.
        QString text = SetupController::kDefault + QLatin1Char('\n');
        int status = ExitSuccess;
        for (const QString &name : presets.presets()) {
            if (const auto problem = presets.presetFileProblem(name)) {
                printErr(QStringLiteral("brindlewick-cli presets: %1\n").arg(*problem));
                status = ExitError;
            } else if (name != SetupController::kDefault) {
                text += name + QLatin1Char('\n');
            }
        }
        printOut(text);
        return status;
    }
    if (args.size() == 2 && args[0] == QLatin1String("show")) {
        TerminalAlerts alerts;
        if (const auto status = choosePreset(self, presets, args[1], ExitError))
            return *status;
        presets.currentSetup().putlog(); // the console log is standard output here
        return ExitSuccess;
    }
    if (const std::optional<int> status = runPresetEditAction(self, args))
        return *status;
    return usageError(self, QStringLiteral("expected list, show, new, set, rename, delete, "
                                           "export or import"));
}

BRINDLEWICK_CLI_COMMAND(macroCommand, {QStringLiteral("macro"),
                                       QStringLiteral("expand a macro text for one image"),
                                       QString::fromUtf8(kMacroUsage), &runMacro});
BRINDLEWICK_CLI_COMMAND(macrosCommand, {QStringLiteral("macros"),
                                        QStringLiteral("every macro's value for one image"),
                                        QString::fromUtf8(kMacrosUsage), &runMacros});
BRINDLEWICK_CLI_COMMAND(presetsCommand,
                        {QStringLiteral("presets"),
                         QStringLiteral("list, show, make and change the presets"),
                         QString::fromUtf8(kPresetsUsage) + QString::fromUtf8(kPresetEditUsage),
                         &runPresets});

} // namespace
