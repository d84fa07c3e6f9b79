#include "platform/RecordingUserInterface.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

TEST(RecordingUserInterface, RecordsAnswersAndStopsFromItsScript)
{
    RecordingUserInterface ui;
    UserInterface::setInstance(&ui);
    UserInterface::instance().alert("Error copying file.", "disk full");
    ui.confirmAnswers = {1};
    ui.promptAnswers = {QStringLiteral("Trips")};
    EXPECT_EQ(UserInterface::instance().confirm("Delete preset \"Trips\"?", "(Cannot be undone.)",
                                                {"Delete", "Keep"}),
              1);
    EXPECT_EQ(UserInterface::instance().confirm("again", "", {"Delete", "Keep"}), 0);
    EXPECT_EQ(UserInterface::instance().promptText("Field Name", "", "Enter"),
              QStringLiteral("Trips"));
    EXPECT_FALSE(UserInterface::instance().promptText("Field Name", "x", "Enter").has_value());
    EXPECT_EQ(ui.alertTexts(), QStringList{"Error copying file.: disk full"});
    UserInterface::setInstance(nullptr);

    ui.stopAtTurn = 3;
    auto session = ui.beginProgress({"Ingesting 5 files.", 5, false, false});
    int turns = 0;
    while (session->runOnce()) {
        session->step();
        ++turns;
    }
    session->end();
    EXPECT_EQ(turns, 2);
    EXPECT_EQ(ui.progresses.first()->steps, 2);
    EXPECT_TRUE(ui.progresses.first()->ended);
}

TEST(RecordingUserInterface, WaitEndsEarlyOrTimesOutWithTheRaisedPeriod)
{
    RecordingUserInterface ui;
    ui.waitTimeoutMs = 50;
    EXPECT_EQ(ui.waitModally("Reading metadata...", 2), WaitOutcome::TimedOut);
    EXPECT_EQ(ui.waits.last().timeoutSeconds, 5);
    EXPECT_EQ(UserInterface::effectiveTimeout(12), 12);

    ui.waitTimeoutMs = 5000;
    QTimer::singleShot(10, [&] { ui.endWait(); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ui.waitModally("Reading metadata...", 10), WaitOutcome::Ended);
    EXPECT_LT(clock.elapsed(), 4000);
}
