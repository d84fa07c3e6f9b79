#pragma once

#include "cli/CommandRegistry.h"
#include "platform/RecordingUserInterface.h"

// For commands that reach code which alerts: each alert goes to standard error as
// "TITLE: MESSAGE" (and is still recorded), installed for the life of the object.
class TerminalAlerts : public RecordingUserInterface
{
public:
    TerminalAlerts() { UserInterface::setInstance(this); }
    ~TerminalAlerts() override { UserInterface::setInstance(nullptr); }
    void alert(const QString &title, const QString &message, AlertStyle style) override
    {
        RecordingUserInterface::alert(title, message, style);
        QString text = title + QStringLiteral(": ") + message;
        if (!text.endsWith(QLatin1Char('\n')))
            text += QLatin1Char('\n');
        printErr(text);
    }
};
