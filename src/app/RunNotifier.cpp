#include "app/RunNotifier.h"

#include "platform/DesktopNotifications.h"
#include "platform/Format.h"

RunNotifier::RunNotifier(UserInterface &inner, DesktopNotifications &notifications)
    : m_inner(inner), m_notifications(notifications)
{}

void RunNotifier::runStarted(bool automatic)
{
    m_running = true;
    m_automatic = automatic;
    m_runTimer.start();
}

void RunNotifier::runEnded(const RunOutcome &totals)
{
    if (!m_running)
        return;
    if (totals.wentWell() && wantsNotification())
        m_notifications.notify(QStringLiteral("Ingestion complete"),
                               formatMessage("Files ingested: %d\nDuplicates skipped: %d",
                                             totals.numIngested, totals.numDupes));
    m_running = false;
    m_automatic = false;
}

bool RunNotifier::wantsNotification() const
{
    if (!m_running || (m_isActive && m_isActive()))
        return false;
    return m_automatic || m_runTimer.elapsed() >= m_longRunMs;
}

void RunNotifier::alert(const QString &title, const QString &message, AlertStyle style)
{
    // The run waits for this alert's OK: worth staying on screen until seen. The end of a run
    // titles its alert with the counts, over several lines: the one-line text leads then.
    if (wantsNotification()) {
        const bool countsTitle = title.contains(QLatin1Char('\n'));
        m_notifications.notify(countsTitle ? message : title, countsTitle ? title : message, true);
    }
    m_inner.alert(title, message, style);
}

int RunNotifier::confirm(const QString &title, const QString &message, const QStringList &buttons)
{
    return m_inner.confirm(title, message, buttons);
}

std::optional<QString> RunNotifier::promptText(const QString &prompt, const QString &defaultText,
                                               const QString &buttonLabel)
{
    return m_inner.promptText(prompt, defaultText, buttonLabel);
}

std::unique_ptr<ProgressSession> RunNotifier::beginProgress(const ProgressOptions &options)
{
    return m_inner.beginProgress(options);
}

WaitOutcome RunNotifier::waitModally(const QString &message, int timeoutSeconds)
{
    return m_inner.waitModally(message, timeoutSeconds);
}

void RunNotifier::endWait()
{
    m_inner.endWait();
}
