#include "platform/UserInterface.h"

#include "platform/RecordingUserInterface.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>

namespace {
std::atomic<UserInterface *> g_instance{nullptr};
}

UserInterface &UserInterface::instance()
{
    if (UserInterface *ui = g_instance.load())
        return *ui;
    static RecordingUserInterface fallback;
    return fallback;
}

void UserInterface::setInstance(UserInterface *ui)
{
    g_instance.store(ui);
}

WaitOutcome UserInterface::runWaitLoop(int timeoutMs, QEventLoop *&current)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    timer.start(timeoutMs);
    current = &loop;
    loop.exec();
    current = nullptr;
    return timedOut ? WaitOutcome::TimedOut : WaitOutcome::Ended;
}

UserInterface::UnsavedEdits UserInterface::askAboutUnsavedEdits(const QString &title)
{
    const int answer =
        confirm(title, QStringLiteral("The window is closing with changes that are not saved yet."),
                {QStringLiteral("Keep"), QStringLiteral("Discard"), QStringLiteral("Cancel")});
    return answer == 0   ? UnsavedEdits::Keep
           : answer == 1 ? UnsavedEdits::Discard
                         : UnsavedEdits::Cancel;
}
