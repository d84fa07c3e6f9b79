#include "cli/CliOutput.h"

#include "cli/CommandRegistry.h"

void StdoutLogPane::append(const QString &text)
{
    printOut(text);
}
