#include "cli/CliOutput.h"

#include "cli/CommandRegistry.h"

namespace {
bool g_toStderr = false;
}

void StdoutLogPane::setToStderr(bool toStderr)
{
    g_toStderr = toStderr;
}

void StdoutLogPane::append(const QString &text)
{
    if (g_toStderr)
        printErr(text);
    else
        printOut(text);
}
