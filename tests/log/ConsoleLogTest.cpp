#include "log/ConsoleLog.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

TEST(ConsoleLog, PaneAndSystemLogGetMessagesExactlyAsBuilt)
{
    SystemLogCapture capture;
    // Without a logger only the system log hears it.
    logPrint("x %d\n", 1);
    logClear();
    logScrollToTop();
    EXPECT_EQ(capture.lines, QStringList{"x 1\n"});

    Logger logger;
    StringLogPane pane;
    logger.setTextview(&pane);
    logPrint("\nERROR copying file: %@\n", QStringLiteral("100%.jpg"));
    EXPECT_EQ(pane.text(), QStringLiteral("\nERROR copying file: 100%.jpg\n"));
    EXPECT_EQ(capture.lines.last(), QStringLiteral("\nERROR copying file: 100%.jpg\n"));

    logClear();
    logPrint("x");
    logPrint("y");
    EXPECT_EQ(pane.text(), QStringLiteral("xy")); // no line break added
    logPuts("\n\ncan't open /a%d");
    EXPECT_TRUE(pane.text().endsWith(QStringLiteral("can't open /a%d")));
    logScrollToTop();
    EXPECT_EQ(pane.scrollsToTop(), 1);

    // printf formats, cut at 999 bytes.
    logClear();
    logPrintf("%s", std::string(1500, 'a').c_str());
    EXPECT_EQ(pane.text().size(), 999);
    logClear();
    logPrintf("%d files, %.1f%%", 3, 12.5);
    EXPECT_EQ(pane.text(), QStringLiteral("3 files, 12.5%"));
}

TEST(ConsoleLog, TheNewestLoggerIsTheSharedOne)
{
    Logger first;
    StringLogPane a, b;
    first.setTextview(&a);
    {
        Logger second;
        second.setTextview(&b);
        logPrint("to b");
        EXPECT_EQ(Logger::shared(), &second);
    }
    logPrint("to nobody");
    EXPECT_TRUE(a.text().isEmpty());
    EXPECT_EQ(b.text(), QStringLiteral("to b"));
}
