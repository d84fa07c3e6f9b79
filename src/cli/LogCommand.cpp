#include "cli/CommandRegistry.h"
#include "log/IngestionLogController.h"

#include <QRegularExpression>

namespace {

const char *const kUsage = "Usage: brindlewick-cli log list\n"
                           "       brindlewick-cli log show YYYY-MM\n"
                           "\n"
                           "list   the months that have an ingestion log, oldest first\n"
                           "show   print one month's ingestion log\n";

int runLog(const QStringList &args);

BRINDLEWICK_CLI_COMMAND(logCommand, {QStringLiteral("log"),
                                     QStringLiteral("list the ingestion-log months or show one"),
                                     QString::fromUtf8(kUsage), &runLog});

int runLog(const QStringList &args)
{
    const CliCommand &self = *CommandRegistry::find(QStringLiteral("log"));
    if (args.isEmpty())
        return usageError(self, QStringLiteral("missing action"));
    if (args[0] == QLatin1String("list")) {
        if (args.size() != 1)
            return usageError(self, QStringLiteral("list takes no arguments"));
        for (const QString &month : IngestionLogController::readLogFiles())
            printOut(month + QLatin1Char('\n'));
        return ExitSuccess;
    }
    if (args[0] == QLatin1String("show")) {
        static const QRegularExpression monthPattern(QStringLiteral("^\\d{4}-\\d{2}$"));
        if (args.size() != 2 || !monthPattern.match(args[1]).hasMatch())
            return usageError(self, QStringLiteral("show needs one month as YYYY-MM"));
        const auto text = IngestionLogController::readMonth(args[1]);
        if (!text) {
            printErr(QStringLiteral("brindlewick-cli log: no readable log for %1\n").arg(args[1]));
            return ExitError;
        }
        printOut(*text);
        return ExitSuccess;
    }
    return usageError(self, QStringLiteral("unknown action \"%1\"").arg(args[0]));
}

} // namespace
