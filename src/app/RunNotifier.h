#pragma once

#include "platform/UserInterface.h"

#include <QElapsedTimer>

#include <functional>

class DesktopNotifications;

// How a run ended, as the ingestion driver counted it.
struct RunOutcome
{
    int numIngested = 0;
    int numDupes = 0;
    bool hadError = false;
    bool cancelled = false;
    int numFailed = 0; // files that could not be copied (their card must stay in)

    // Every ticked picture is in (copied now or before): neither an error, nor a failed file,
    // nor Stop, nor an empty run.
    bool wentWell() const
    {
        return !hadError && !cancelled && numFailed == 0 && numIngested + numDupes > 0;
    }
};

// Calls the photographer back through the desktop's notifications when a long ingestion run
// needs them while none of the program's windows is active: the run's end with its counts, or
// an alert that holds the run (an error, "No files were ingested."). It stands in front of the
// program's user-interface port, passing everything on and noting the alerts of a run. A run
// started by a card put in counts as long, since nobody pressed Ingest. Main thread only.
class RunNotifier : public UserInterface
{
public:
    // A run shorter than this ends before anyone has turned away.
    static constexpr qint64 kLongRunMs = 5000;

    RunNotifier(UserInterface &inner, DesktopNotifications &notifications);

    // Whether a window of the program is active (the desktop program asks the application).
    void setActiveProbe(std::function<bool()> probe) { m_isActive = std::move(probe); }
    void setLongRunMs(qint64 ms) { m_longRunMs = ms; }

    void runStarted(bool automatic);
    // The run is over; a success is announced here, anything else was an alert already.
    void runEnded(const RunOutcome &totals);
    bool isRunning() const { return m_running; }

    void alert(const QString &title, const QString &message, AlertStyle style) override;
    int confirm(const QString &title, const QString &message, const QStringList &buttons) override;
    std::optional<QString> promptText(const QString &prompt, const QString &defaultText,
                                      const QString &buttonLabel) override;
    std::unique_ptr<ProgressSession> beginProgress(const ProgressOptions &options) override;
    WaitOutcome waitModally(const QString &message, int timeoutSeconds) override;
    void endWait() override;

private:
    bool wantsNotification() const;

    UserInterface &m_inner;
    DesktopNotifications &m_notifications;
    std::function<bool()> m_isActive;
    QElapsedTimer m_runTimer;
    qint64 m_longRunMs = kLongRunMs;
    bool m_running = false;
    bool m_automatic = false;
};
