#include "cli/CommandRegistry.h"

#include <algorithm>
#include <cstdio>

namespace {
std::vector<CliCommand> &registry()
{
    static std::vector<CliCommand> commands;
    return commands;
}
} // namespace

void CommandRegistry::add(CliCommand command)
{
    auto &commands = registry();
    commands.push_back(std::move(command));
    std::sort(commands.begin(), commands.end(),
              [](const CliCommand &a, const CliCommand &b) { return a.name < b.name; });
}

const std::vector<CliCommand> &CommandRegistry::all()
{
    return registry();
}

const CliCommand *CommandRegistry::find(const QString &name)
{
    for (const CliCommand &c : registry())
        if (c.name == name)
            return &c;
    return nullptr;
}

bool wantsHelp(const QStringList &args)
{
    return args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"));
}

void printOut(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void printErr(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

int usageError(const CliCommand &command, const QString &message)
{
    printErr(
        QStringLiteral("brindlewick-cli %1: %2\n\n%3").arg(command.name, message, command.usage));
    return ExitUsage;
}
