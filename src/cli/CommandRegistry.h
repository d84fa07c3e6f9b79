#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// Exit statuses of the command-line tool.
enum CliExit {
    ExitSuccess = 0,
    ExitError = 1,
    ExitUsage = 2,
    ExitCancelled = 3,
    ExitMissingData = 4
};

// One subcommand of brindlewick-cli. `run` gets the arguments after the subcommand's name;
// "-h" or "--help" among them shows `usage` instead.
struct CliCommand
{
    QString name;
    QString summary; // one line for the tool's --help
    QString usage;   // the subcommand's own --help text
    std::function<int(const QStringList &args)> run;
};

class CommandRegistry
{
public:
    static void add(CliCommand command);
    static const std::vector<CliCommand> &all();
    static const CliCommand *find(const QString &name);
};

// Registers a subcommand from its own source file:
// BRINDLEWICK_CLI_COMMAND(logCommand, {"log", "summary", "usage", &runLog});
#define BRINDLEWICK_CLI_COMMAND(id, ...)                                                           \
    static const bool id##_registered = (CommandRegistry::add(CliCommand __VA_ARGS__), true)

// True when the arguments ask for help ("-h" or "--help" anywhere).
bool wantsHelp(const QStringList &args);
void printOut(const QString &text);
void printErr(const QString &text);
// "brindlewick-cli log: unknown action "x"" on standard error plus the usage; answers ExitUsage.
int usageError(const CliCommand &command, const QString &message);
