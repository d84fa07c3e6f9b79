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
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char *const kMacroUsage =
    "Usage: brindlewick-cli macro [--preset NAME] [--json] TEXT FILE...\n"
    "\n"
    "Expands the macro text TEXT (e.g. \"{@DateImage:YYYY-MM-DD}/{@FileNameOriginal}\") for\n"
    "each image FILE, as an ingestion of these files in this order with the preset would\n"
    "(the first has index 1). One file: the value alone. Several: \"FILE<TAB>VALUE\" per\n"
    "line. With --json: an array of {\"SourceFile\", \"Value\"} objects.\n";
const char *const kMacrosUsage =
    "Usage: brindlewick-cli macros [--preset NAME] [--json] FILE...\n"
    "\n"
    "Prints every macro's value for each image FILE, then its properties, as the desktop\n"
    "program's macro view shows them (several files: each after a \"FILE:\" line). With\n"
    "--json: an array of {\"SourceFile\", \"Macros\": {NAME: VALUE}, \"Properties\"} objects.\n";
const char *const kPresetsUsage = "Usage: brindlewick-cli presets list\n"
                                  "       brindlewick-cli presets show NAME\n";

struct ImageRun
{
    IngestFiles &engine;
    const Setup &setup;
    const QStringList &fixed; // the arguments before the files
    bool json = false;
    bool several = false;
};

// Shared by macro and macros: [--preset NAME] [--json], `fixed` arguments, then one or more
// files, each read once and handed to `body` with its index in the list (from 1). One process
// serves a whole folder of files. A file that is missing is named on standard error and makes
// the exit status 1; the others are still answered.
int runWithImages(const QString &commandName, const QStringList &args, int fixed,
                  const std::function<void(const ImageRun &, ThumbItem &, const QString &)> &body,
                  const std::function<void()> &end)
{
    const CliCommand &self = *CommandRegistry::find(commandName);
    QStringList rest = args;
    std::optional<QString> preset;
    const qsizetype at = rest.indexOf(QStringLiteral("--preset"));
    if (at >= 0) {
        if (at + 1 >= rest.size())
            return usageError(self, QStringLiteral("--preset needs a value"));
        preset = rest[at + 1];
        rest.remove(at, 2);
    }
    const bool json = rest.removeAll(QStringLiteral("--json")) > 0;
    if (rest.size() <= fixed)
        return usageError(self, QStringLiteral("wrong number of arguments"));
    const QStringList fixedArgs = rest.mid(0, fixed);
    const QStringList files = rest.mid(fixed);
    TerminalAlerts alerts;
    SetupController presets;
    if (const auto status = choosePreset(self, presets, preset, ExitUsage))
        return *status;
    const Setup setup = presets.currentSetup();
    IngestFiles engine;
    const ImageRun run{engine, setup, fixedArgs, json, files.size() > 1};
    int status = ExitSuccess;
    qint64 index = 0;
    for (const QString &file : files) {
        ++index;
        const QString path = QFileInfo(file).absoluteFilePath();
        if (!QFileInfo(path).isFile()) {
            printErr(QStringLiteral("brindlewick-cli %1: %2: no such file\n").arg(self.name, file));
            status = ExitError;
            continue;
        }
        const ThumbItemPtr item = ThumbItem::initWithPath(path);
        item->loadMetadata();
        engine.computeShoot(*item, setup);
        item->index = index;
        body(run, *item, file);
    }
    end();
    return status;
}

void printJson(const QJsonArray &all)
{
    printOut(QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Indented)));
}

int runMacro(const QStringList &args)
{
    QJsonArray all;
    bool json = false;
    return runWithImages(
        QStringLiteral("macro"), args, 1,
        [&](const ImageRun &run, ThumbItem &item, const QString &file) {
            const QString value = run.engine.macroProcessor().expand(run.fixed[0], item, run.setup);
            json = run.json;
            if (run.json)
                all.append(QJsonObject{{QStringLiteral("SourceFile"), file},
                                       {QStringLiteral("Value"), value}});
            else if (run.several)
                printOut(file + QLatin1Char('\t') + value + QLatin1Char('\n'));
            else
                printOut(value + QLatin1Char('\n'));
        },
        [&] {
            if (json)
                printJson(all);
        });
}

int runMacros(const QStringList &args)
{
    QJsonArray all;
    bool json = false;
    return runWithImages(
        QStringLiteral("macros"), args, 0,
        [&](const ImageRun &run, ThumbItem &item, const QString &file) {
            json = run.json;
            if (!run.json) {
                const QString listing =
                    MacroViewListing::build(run.engine.macroProcessor(), item, run.setup);
                printOut((run.several ? file + QStringLiteral(":\n") : QString()) + listing +
                         QLatin1Char('\n'));
                return;
            }
            QJsonObject macros;
            for (const QString &name : MacroProcessor::macroNames())
                macros.insert(name, run.engine.macroProcessor().expand(
                                        QStringLiteral("{@%1}").arg(name), item, run.setup));
            all.append(
                QJsonObject{{QStringLiteral("SourceFile"), file},
                            {QStringLiteral("Macros"), macros},
                            {QStringLiteral("Properties"),
                             QJsonObject::fromVariantMap(item.metadata.value_or(QVariantMap()))}});
        },
        [&] {
            if (json)
                printJson(all);
        });
}

int runPresets(const QStringList &args)
{
    const CliCommand &self = *CommandRegistry::find(QStringLiteral("presets"));
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

BRINDLEWICK_CLI_COMMAND(macroCommand,
                        {QStringLiteral("macro"), QStringLiteral("expand a macro text for images"),
                         QString::fromUtf8(kMacroUsage), &runMacro});
BRINDLEWICK_CLI_COMMAND(macrosCommand,
                        {QStringLiteral("macros"), QStringLiteral("every macro's value for images"),
                         QString::fromUtf8(kMacrosUsage), &runMacros});
BRINDLEWICK_CLI_COMMAND(presetsCommand,
                        {QStringLiteral("presets"),
                         QStringLiteral("list, show, make and change the presets"),
                         QString::fromUtf8(kPresetsUsage) + QString::fromUtf8(kPresetEditUsage),
                         &runPresets});

} // namespace
