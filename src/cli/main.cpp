#include "cli/CliOutput.h"
#include "cli/CommandRegistry.h"
#include "platform/SystemLog.h"

#include <QCoreApplication>

namespace {

QString toolHelp()
{
    QString text = QStringLiteral(
        "Usage: brindlewick-cli COMMAND [ARGS...]\n"
        "       brindlewick-cli --version | --help\n"
        "\n"
        "Ingests images from memory cards, folders and cameras without a window, with the\n"
        "presets, lookups, track store and logs of the Brindlewick desktop program.\n"
        "\n"
        "Commands:\n");
    for (const CliCommand &c : CommandRegistry::all())
        text += QStringLiteral("  %1%2\n").arg(c.name.leftJustified(10), c.summary);
    text += QStringLiteral("\n\"brindlewick-cli COMMAND --help\" describes one command.\n");
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Brindlewick"));
    QCoreApplication::setApplicationName(QStringLiteral("Brindlewick"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BRINDLEWICK_VERSION));
    SystemLog::setEchoToStderr(false);

    Logger logger;
    StdoutLogPane pane;
    logger.setTextview(&pane);

    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        printErr(toolHelp());
        return ExitUsage;
    }
    const QString first = args.takeFirst();
    if (first == QLatin1String("--version") || first == QLatin1String("-V")) {
        printOut(QStringLiteral("brindlewick-cli %1\n").arg(QStringLiteral(BRINDLEWICK_VERSION)));
        return ExitSuccess;
    }
    if (first == QLatin1String("--help") || first == QLatin1String("-h") ||
        first == QLatin1String("help")) {
        printOut(toolHelp());
        return ExitSuccess;
    }
    const CliCommand *command = CommandRegistry::find(first);
    if (!command) {
        printErr(QStringLiteral("brindlewick-cli: unknown command \"%1\"\n\n").arg(first) +
                 toolHelp());
        return ExitUsage;
    }
    if (wantsHelp(args)) {
        printOut(command->usage);
        return ExitSuccess;
    }
    return command->run(args);
}
