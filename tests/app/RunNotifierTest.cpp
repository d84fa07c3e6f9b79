// When a run calls the photographer back through the desktop's notifications.

#include "app/RunNotifier.h"
#include "platform/DesktopNotifications.h"
#include "platform/RecordingUserInterface.h"
#include "support/PrivateBus.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// Gives queued replies time to arrive, then reads what the service was sent.
QList<QVariantList> settle(const MockNotifications &service)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 400) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return service.notifications();
}

} // namespace

TEST(RunNotifier, CallsBackOnlyWhenNobodyIsLookingAtALongRun)
{
    PrivateBus system(QStringLiteral("run-system"));
    PrivateBus session(QStringLiteral("run-session"));
    ASSERT_TRUE(session.isRunning());
    MockNotifications service(system, session);
    ASSERT_TRUE(service.isRunning()) << "python3-dbusmock is needed";
    DesktopNotifications notifications(session.connection());
    RecordingUserInterface inner;
    RunNotifier notifier(inner, notifications);
    bool active = true;
    notifier.setActiveProbe([&] { return active; });
    notifier.setLongRunMs(0);

    // A window of the program is active: the alert is shown, nothing else.
    notifier.runStarted(false);
    notifier.alert(QStringLiteral("Error copying file."), QStringLiteral("Disk full"),
                   AlertStyle::Warning);
    notifier.runEnded({3, 0, true, false});
    ASSERT_EQ(inner.alerts.size(), 1);
    EXPECT_TRUE(settle(service).isEmpty());

    // Away from the program: an alert that holds the run is called out, with the counts as
    // the body when they are its title; a run that went well reports its counts.
    active = false;
    notifier.runStarted(false);
    notifier.alert(QStringLiteral("Files ingested: 2\nDuplicates skipped: 1"),
                   QStringLiteral("Ingestion incomplete -- an error occurred."),
                   AlertStyle::Warning);
    notifier.runEnded({2, 1, true, false});
    notifier.runStarted(false);
    notifier.runEnded({12, 3, false, false});
    QList<QVariantList> calls = settle(service);
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0].value(3).toString(),
              QStringLiteral("Ingestion incomplete -- an error occurred."));
    EXPECT_EQ(calls[0].value(4).toString(),
              QStringLiteral("Files ingested: 2\nDuplicates skipped: 1"));
    EXPECT_EQ(calls[1].value(3).toString(), QStringLiteral("Ingestion complete"));
    EXPECT_EQ(calls[1].value(4).toString(),
              QStringLiteral("Files ingested: 12\nDuplicates skipped: 3"));
    EXPECT_EQ(inner.alerts.size(), 2);

    // Outside a run, a cancelled run or one that took nothing: no call.
    notifier.alert(QStringLiteral("Can't eject \"CARD\"."), QString(), AlertStyle::Warning);
    notifier.runStarted(false);
    notifier.runEnded({1, 0, false, true});
    notifier.runStarted(false);
    notifier.runEnded({0, 0, false, false});
    EXPECT_EQ(settle(service).size(), 2);
    // A run with a file that could not be copied did not go well: its card is not ejected.
    EXPECT_FALSE((RunOutcome{5, 0, false, false, 1}).wentWell());

    // A short run is over before anyone turned away, unless a card started it.
    notifier.setLongRunMs(60000);
    notifier.runStarted(false);
    notifier.runEnded({5, 0, false, false});
    EXPECT_EQ(settle(service).size(), 2);
    notifier.runStarted(true);
    notifier.runEnded({5, 0, false, false});
    calls = settle(service);
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls[2].value(4).toString(),
              QStringLiteral("Files ingested: 5\nDuplicates skipped: 0"));
}
