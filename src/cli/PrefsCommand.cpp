#include "cli/CommandRegistry.h"
#include "metadata/ECPrefsController.h"
#include "metadata/PrefsValues.h"
#include "platform/Defaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char *const kUsage =
    "Usage: brindlewick-cli prefs list [--json]\n"
    "       brindlewick-cli prefs get [--json] KEY\n"
    "       brindlewick-cli prefs set [--json] KEY VALUE...\n"
    "       brindlewick-cli prefs reset [--json] KEY\n"
    "\n"
    "The preferences of the desktop program, by their stored names (RawFileExtensions,\n"
    "ConverterPath, CustomFields, ...). Values are checked as the preferences window\n"
    "checks them; a refused value leaves the stored one alone.\n"
    "\n"
    "list    every key and its value; \"# default\" marks a key that is not set\n"
    "get     one key's value, in the form set takes\n"
    "set     store a value: YES or NO for switches, entries separated by commas (or as\n"
    "        separate words) for lists, the field layout as a JSON array of\n"
    "        {\"name\", \"included\", \"lines\"}\n"
    "reset   forget the stored value, so the default applies again\n"
    "--json  machine-readable output: objects with key, type, value, default and set\n";

int runPrefs(const QStringList &args);

BRINDLEWICK_CLI_COMMAND(prefsCommand,
                        {QStringLiteral("prefs"),
                         QStringLiteral("list, show, change or reset the preferences"),
                         QString::fromUtf8(kUsage), &runPrefs});

QJsonObject describe(const Prefs::Key &key)
{
    return QJsonObject{{QStringLiteral("key"), QLatin1String(key.name)},
                       {QStringLiteral("type"), PrefsValues::typeName(key.type)},
                       {QStringLiteral("value"), PrefsValues::json(key, Prefs::value(key))},
                       {QStringLiteral("default"), PrefsValues::json(key, key.defaultValue)},
                       {QStringLiteral("set"), Prefs::isSet(key)}};
}

void printJson(const QJsonDocument &document)
{
    printOut(QString::fromUtf8(document.toJson(QJsonDocument::Indented)));
}

void printValue(const Prefs::Key &key, bool json)
{
    if (json)
        printJson(QJsonDocument(describe(key)));
    else
        printOut(PrefsValues::text(key, Prefs::value(key)) + QLatin1Char('\n'));
}

QString keyNames()
{
    QStringList names;
    for (const Prefs::Key *key : Prefs::all())
        names.append(QLatin1String(key->name));
    return names.join(QStringLiteral(", "));
}

int storeFailed()
{
    printErr(QStringLiteral("brindlewick-cli prefs: the preferences could not be saved: %1\n")
                 .arg(Defaults::lastProblem()));
    return ExitError;
}

// Stores a checked value. Custom fields go through the preferences as the window's add and
// remove do, so new fields enter the field layout (shown, at the top) and removed ones leave it.
bool store(const Prefs::Key &key, const QVariant &value)
{
    if (&key != &Prefs::CustomFields)
        return Prefs::set(key, value);
    ECPrefsController &prefs = ECPrefsController::init();
    prefs.replaceCustomFields(value.toStringList());
    return Prefs::set(key, value) && prefs.writeLayedOutFields();
}

int runPrefs(const QStringList &args)
{
    const CliCommand &self = *CommandRegistry::find(QStringLiteral("prefs"));
    QStringList rest = args;
    const bool json = rest.removeAll(QStringLiteral("--json")) > 0;
    if (rest.isEmpty())
        return usageError(self, QStringLiteral("missing action"));
    const QString action = rest.takeFirst();
    // The layout and the custom fields are checked against the catalogue of fields.
    ECPrefsController::init();

    if (action == QLatin1String("list")) {
        if (!rest.isEmpty())
            return usageError(self, QStringLiteral("list takes no arguments"));
        QJsonArray all;
        for (const Prefs::Key *key : Prefs::all()) {
            if (json) {
                all.append(describe(*key));
                continue;
            }
            printOut(QStringLiteral("%1 = %2%3\n")
                         .arg(QLatin1String(key->name), PrefsValues::text(*key, Prefs::value(*key)),
                              Prefs::isSet(*key) ? QString() : QStringLiteral("   # default")));
        }
        if (json)
            printJson(QJsonDocument(all));
        return ExitSuccess;
    }
    if (action != QLatin1String("get") && action != QLatin1String("set") &&
        action != QLatin1String("reset"))
        return usageError(self, QStringLiteral("unknown action \"%1\"").arg(action));
    if (rest.isEmpty())
        return usageError(self, QStringLiteral("%1 needs a KEY").arg(action));
    const Prefs::Key *key = Prefs::find(rest.first());
    if (!key)
        return usageError(
            self,
            QStringLiteral("unknown key \"%1\"; the keys are %2").arg(rest.first(), keyNames()));
    rest.removeFirst();

    if (action == QLatin1String("get")) {
        if (!rest.isEmpty())
            return usageError(self, QStringLiteral("get takes one KEY"));
        printValue(*key, json);
        return ExitSuccess;
    }
    if (action == QLatin1String("reset")) {
        if (!rest.isEmpty())
            return usageError(self, QStringLiteral("reset takes one KEY"));
        if (!Prefs::reset(*key))
            return storeFailed();
        printValue(*key, json);
        return ExitSuccess;
    }
    if (rest.isEmpty() && key->type != Prefs::Type::String && key->type != Prefs::Type::StringList)
        return usageError(self, QStringLiteral("set needs a VALUE"));
    const PrefsValues::Checked checked = PrefsValues::parse(*key, rest);
    if (!checked.ok()) {
        printErr(QStringLiteral("brindlewick-cli prefs: %1 not changed: %2\n")
                     .arg(QLatin1String(key->name), checked.problem));
        return ExitError;
    }
    if (!store(*key, checked.value))
        return storeFailed();
    printValue(*key, json);
    return ExitSuccess;
}

} // namespace
