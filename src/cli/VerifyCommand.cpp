#include "cli/CommandRegistry.h"
#include "ingest/ManifestCheck.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char *const kUsage =
    "Usage: brindlewick-cli verify [--json] ROOT\n"
    "\n"
    "Hashes again every file that the copy manifests under ROOT list (the \"ascmhl\"\n"
    "folders that ingestion writes into each destination root) and prints, per file,\n"
    "OK, changed or missing, then the totals. A manifest that was itself altered\n"
    "counts as changed.\n"
    "\n"
    "  --json   one JSON object with the files and the totals\n"
    "\n"
    "Exit status: 0 when every file is as recorded, 1 when any is changed or missing\n"
    "(or no manifest was found), 2 for a usage fault.\n";

int runVerify(const QStringList &args);

BRINDLEWICK_CLI_COMMAND(verifyCommand, {QStringLiteral("verify"),
                                        QStringLiteral("re-check copies against their manifests"),
                                        QString::fromUtf8(kUsage), &runVerify});

int runVerify(const QStringList &args)
{
    const CliCommand &self = *CommandRegistry::find(QStringLiteral("verify"));
    QStringList rest = args;
    const bool json = rest.removeAll(QStringLiteral("--json")) > 0;
    for (const QString &arg : std::as_const(rest))
        if (arg.startsWith(QLatin1String("--")))
            return usageError(self, QStringLiteral("unknown option \"%1\"").arg(arg));
    if (rest.size() != 1)
        return usageError(self, QStringLiteral("expected one ROOT"));
    const QString root = rest[0];
    if (!QFileInfo(root).isDir()) {
        printErr(QStringLiteral("brindlewick-cli verify: %1: no such folder\n").arg(root));
        return ExitError;
    }

    const ManifestCheck::Result result = ManifestCheck::check(root);
    const bool passed = result.clean() && result.manifests > 0;
    if (json) {
        QJsonArray files;
        for (const ManifestCheck::FileResult &file : result.files) {
            QJsonObject entry{{QStringLiteral("path"), file.path},
                              {QStringLiteral("status"),
                               QString::fromLatin1(ManifestCheck::statusName(file.status))},
                              {QStringLiteral("format"), file.format},
                              {QStringLiteral("expected"), file.expected}};
            if (!file.actual.isEmpty())
                entry.insert(QStringLiteral("actual"), file.actual);
            files.append(entry);
        }
        const QJsonObject object{
            {QStringLiteral("root"), root},
            {QStringLiteral("manifests"), result.manifests},
            {QStringLiteral("files"), files},
            {QStringLiteral("total"), result.files.size()},
            {QStringLiteral("ok"), result.ok},
            {QStringLiteral("changed"), result.changed},
            {QStringLiteral("missing"), result.missing},
            {QStringLiteral("problems"), QJsonArray::fromStringList(result.problems)}};
        printOut(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)));
    } else {
        for (const ManifestCheck::FileResult &file : result.files)
            printOut(QStringLiteral("%1 %2\n").arg(
                QString::fromLatin1(ManifestCheck::statusName(file.status)).leftJustified(7),
                file.path));
        for (const QString &problem : result.problems)
            printErr(QStringLiteral("brindlewick-cli verify: %1\n").arg(problem));
        if (result.manifests == 0)
            printErr(QStringLiteral("brindlewick-cli verify: no manifest under %1\n").arg(root));
        printOut(QStringLiteral("%1 files: %2 OK, %3 changed, %4 missing\n")
                     .arg(result.files.size())
                     .arg(result.ok)
                     .arg(result.changed)
                     .arg(result.missing));
    }
    return passed ? ExitSuccess : ExitError;
}

} // namespace
