#include "cli/PresetsEditCommands.h"

#include "cli/TerminalAlerts.h"
#include "presets/PresetEditing.h"
#include "presets/SetupController.h"

const char *const kPresetEditUsage =
    "       brindlewick-cli presets new NAME [--from OTHER]\n"
    "       brindlewick-cli presets set NAME KEY VALUE\n"
    "       brindlewick-cli presets rename OLD NEW\n"
    "       brindlewick-cli presets delete NAME\n"
    "       brindlewick-cli presets export NAME FILE [--force]\n"
    "       brindlewick-cli presets import FILE [--name NAME]\n"
    "\n"
    "list    the saved presets, one a line (\"Default\" is built in); a damaged preset file\n"
    "        is named on standard error instead, and the exit status is 1\n"
    "show    a preset's settings as the desktop program's log pane shows them\n"
    "new     a preset with the built-in settings, or a copy of OTHER\n"
    "set     one setting: a key of the preset (PrimaryRootFolder, WantBackup, FolderArrangement,\n"
    "        FilenameArrangement, Inclusions, ...) or a metadata field (IPTC.City, TimeZone,\n"
    "        CF.Shoot, ...); switches take YES or NO; arrangements must be valid macro texts\n"
    "rename  a preset under a new name (never over another preset)\n"
    "delete  a preset's file\n"
    "export  a preset as a property-list file (an existing FILE only with --force)\n"
    "import  a property-list file as a new preset, named after the file or NAME\n"
    "\n"
    "The desktop program sees every change at once. Exit status: 0 done, 1 the store refused\n"
    "(no such preset, a name in use, a damaged or unwritable file), 2 a wrong name, key or\n"
    "value. Nothing is changed unless the status is 0.\n";

namespace {

int report(const CliCommand &self, const PresetEditing::Outcome &outcome)
{
    if (outcome.ok()) {
        if (!outcome.message.isEmpty())
            printOut(outcome.message + QLatin1Char('\n'));
        return ExitSuccess;
    }
    printErr(QStringLiteral("brindlewick-cli %1: %2\n").arg(self.name, outcome.message));
    return outcome.status == PresetEditing::Outcome::BadArgument ? ExitUsage : ExitError;
}

// Takes "--option VALUE" out of `args`; false when the value is missing.
bool takeOption(QStringList &args, const QString &option, std::optional<QString> &value)
{
    const qsizetype at = args.indexOf(option);
    if (at < 0)
        return true;
    if (at + 1 >= args.size())
        return false;
    value = args[at + 1];
    args.remove(at, 2);
    return true;
}

bool takeFlag(QStringList &args, const QString &flag)
{
    return args.removeAll(flag) > 0;
}

} // namespace

std::optional<int> runPresetEditAction(const CliCommand &self, const QStringList &arguments)
{
    static const QStringList actions{"new", "set", "rename", "delete", "export", "import"};
    if (arguments.isEmpty() || !actions.contains(arguments.first()))
        return std::nullopt;
    const QString action = arguments.first();
    QStringList args = arguments.mid(1);
    TerminalAlerts alerts;
    SetupController store;

    if (action == QLatin1String("new")) {
        std::optional<QString> from;
        if (!takeOption(args, QStringLiteral("--from"), from))
            return usageError(self, QStringLiteral("--from needs a preset name"));
        if (args.size() != 1)
            return usageError(self, QStringLiteral("new takes one NAME"));
        return report(self, PresetEditing::create(store, args[0], from));
    }
    if (action == QLatin1String("set")) {
        if (args.size() != 3)
            return usageError(self, QStringLiteral("set takes NAME KEY VALUE"));
        return report(self, PresetEditing::set(store, args[0], args[1], args[2]));
    }
    if (action == QLatin1String("rename")) {
        if (args.size() != 2)
            return usageError(self, QStringLiteral("rename takes OLD NEW"));
        return report(self, PresetEditing::rename(store, args[0], args[1]));
    }
    if (action == QLatin1String("delete")) {
        if (args.size() != 1)
            return usageError(self, QStringLiteral("delete takes one NAME"));
        return report(self, PresetEditing::remove(store, args[0]));
    }
    if (action == QLatin1String("export")) {
        const bool force = takeFlag(args, QStringLiteral("--force"));
        if (args.size() != 2)
            return usageError(self, QStringLiteral("export takes NAME FILE"));
        return report(self, PresetEditing::exportTo(store, args[0], args[1], force));
    }
    std::optional<QString> name;
    if (!takeOption(args, QStringLiteral("--name"), name))
        return usageError(self, QStringLiteral("--name needs a preset name"));
    if (args.size() != 1)
        return usageError(self, QStringLiteral("import takes one FILE"));
    return report(self, PresetEditing::importFrom(store, args[0], name));
}
