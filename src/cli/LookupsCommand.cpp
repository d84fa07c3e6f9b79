#include "cli/CommandRegistry.h"
#include "metadata/LookupsController.h"
#include "platform/AppPaths.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char *const kUsage =
    "Usage: brindlewick-cli lookups list [--json] [TABLE]\n"
    "       brindlewick-cli lookups set [--json] TABLE PATTERN REPLACEMENT\n"
    "       brindlewick-cli lookups remove [--json] TABLE PATTERN\n"
    "\n"
    "The lookup tables that the \"Lookup.\" macros read. TABLE is the looked-up field:\n"
    "ExifAux.LensModel, ExifAux.SerialNumber, FileExtensionOriginal, TIFF.Make or\n"
    "TIFF.Model (any case). A PATTERN \"nikon*\" matches values that begin with nikon,\n"
    "\"*nikon\" values that end with it, \"*nikon*\" values that contain it, and \"nikon\"\n"
    "the value nikon itself; case and surrounding blanks are ignored.\n"
    "\n"
    "list    the patterns and replacements of every table (or of one), in the order\n"
    "        they are tried\n"
    "set     add a pattern, or give an existing one a new replacement\n"
    "remove  take a pattern out of its table\n"
    "--json  machine-readable output: objects with table, file, damaged and entries\n";

int runLookups(const QStringList &args);

BRINDLEWICK_CLI_COMMAND(lookupsCommand,
                        {QStringLiteral("lookups"),
                         QStringLiteral("list or change the lookup tables of the macros"),
                         QString::fromUtf8(kUsage), &runLookups});

QJsonObject describe(const LookupsController &lookups, const QString &field)
{
    const LookupsController::Table &entries = *lookups.table(field);
    QJsonArray rows;
    for (const QString &pattern : LookupsController::sortedPatterns(entries))
        rows.append(QJsonObject{{QStringLiteral("pattern"), pattern},
                                {QStringLiteral("replacement"), entries.value(pattern)}});
    const QString file = LookupsController::fileNameForField(field);
    return QJsonObject{{QStringLiteral("table"), field},
                       {QStringLiteral("file"), lookups.folder() + QLatin1Char('/') + file},
                       {QStringLiteral("damaged"), lookups.damagedFiles().contains(
                                                       lookups.folder() + QLatin1Char('/') + file)},
                       {QStringLiteral("entries"), rows}};
}

void printTable(const LookupsController &lookups, const QString &field, bool json)
{
    if (json) {
        printOut(QString::fromUtf8(
            QJsonDocument(describe(lookups, field)).toJson(QJsonDocument::Indented)));
        return;
    }
    const LookupsController::Table &entries = *lookups.table(field);
    printOut(QStringLiteral("%1 (%2)\n").arg(field, LookupsController::fileNameForField(field)));
    for (const QString &pattern : LookupsController::sortedPatterns(entries))
        printOut(QStringLiteral("    %1 = %2\n").arg(pattern, entries.value(pattern)));
}

int writeFailed(const LookupsController &lookups)
{
    printErr(QStringLiteral("brindlewick-cli lookups: the table could not be saved: %1\n")
                 .arg(lookups.writeProblems().join(QStringLiteral("; "))));
    return ExitError;
}

int runLookups(const QStringList &args)
{
    const CliCommand &self = *CommandRegistry::find(QStringLiteral("lookups"));
    QStringList rest = args;
    const bool json = rest.removeAll(QStringLiteral("--json")) > 0;
    if (rest.isEmpty())
        return usageError(self, QStringLiteral("missing action"));
    const QString action = rest.takeFirst();
    const int wanted = action == QLatin1String("list")     ? -1
                       : action == QLatin1String("set")    ? 3
                       : action == QLatin1String("remove") ? 2
                                                           : 0;
    if (wanted == 0)
        return usageError(self, QStringLiteral("unknown action \"%1\"").arg(action));
    if (wanted < 0 ? rest.size() > 1 : rest.size() != wanted)
        return usageError(self, QStringLiteral("wrong number of arguments for %1").arg(action));

    QString field;
    if (!rest.isEmpty()) {
        field = LookupsController::canonicalField(rest.first());
        if (field.isEmpty())
            return usageError(self, QStringLiteral("unknown table \"%1\"; the tables are %2")
                                        .arg(rest.first(), LookupsController::lookupFields().join(
                                                               QStringLiteral(", "))));
    }

    LookupsController lookups;
    lookups.initializeWithPresetsFolder(AppPaths::supportFolder());
    if (const QString damaged = lookups.damagedMessage(); !damaged.isEmpty())
        printErr(QStringLiteral("brindlewick-cli lookups: %1\n").arg(damaged));

    if (action == QLatin1String("list")) {
        const QStringList fields =
            field.isEmpty() ? LookupsController::lookupFields() : QStringList{field};
        if (json && field.isEmpty()) {
            QJsonArray all;
            for (const QString &name : fields)
                all.append(describe(lookups, name));
            printOut(QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Indented)));
            return ExitSuccess;
        }
        for (const QString &name : fields)
            printTable(lookups, name, json);
        return ExitSuccess;
    }

    const QString pattern = rest.at(1);
    if (action == QLatin1String("set")) {
        QString problem;
        if (!lookups.setEntry(field, pattern, rest.at(2), &problem)) {
            printErr(QStringLiteral("brindlewick-cli lookups: %1\n").arg(problem));
            return ExitError;
        }
    } else if (!lookups.removeEntry(field, pattern)) {
        printErr(QStringLiteral("brindlewick-cli lookups: the %1 table has no pattern \"%2\"\n")
                     .arg(field, pattern));
        return ExitError;
    }
    if (!lookups.writeLookup(field))
        return writeFailed(lookups);
    printTable(lookups, field, json);
    return ExitSuccess;
}

} // namespace
