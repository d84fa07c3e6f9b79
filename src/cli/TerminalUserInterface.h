#pragma once

#include "platform/UserInterface.h"

#include <atomic>

class QEventLoop;

// The user-interface port on a terminal: alerts go to standard error as "TITLE: MESSAGE",
// progress is a bar on standard error when it is a terminal and plain lines otherwise, and
// Ctrl-C is the Stop button. Nothing here waits for an answer: questions take their default.
class TerminalUserInterface : public UserInterface
{
public:
    TerminalUserInterface();
    ~TerminalUserInterface() override;

    // The first SIGINT asks the run to stop after the current item; the second leaves at once
    // with the "cancelled" exit status (copies in flight only ever exist under hidden temporary
    // names, which the next run into that folder removes).
    static void installInterruptHandler();
    static bool stopRequested();
    static void resetStop();

    void alert(const QString &title, const QString &message, AlertStyle style) override;
    int confirm(const QString &title, const QString &message, const QStringList &buttons) override;
    std::optional<QString> promptText(const QString &prompt, const QString &defaultText,
                                      const QString &buttonLabel) override;
    std::unique_ptr<ProgressSession> beginProgress(const ProgressOptions &options) override;
    WaitOutcome waitModally(const QString &message, int timeoutSeconds) override;
    void endWait() override;

    int alertCount() const { return m_alerts; }

private:
    QEventLoop *m_waitLoop = nullptr;
    int m_alerts = 0;
};
