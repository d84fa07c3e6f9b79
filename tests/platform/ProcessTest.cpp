#include "platform/Process.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>

#include <csignal>

#include <gtest/gtest.h>

TEST(Process, ArgumentsReachTheProgramUnchanged)
{
    const QString dir = makeTestFolder(QStringLiteral("proc"));
    const QString odd = dir + QStringLiteral("/it's a $HOME; rm -rf x \"100%\".jpg");
    ASSERT_TRUE(writeTestFile(odd, "content"));
    ProcessRequest req;
    req.program = QStringLiteral("cat");
    req.arguments = {odd};
    req.captureStdout = true;
    const ProcessResult r = Process::run(req);
    EXPECT_TRUE(r.succeeded());
    EXPECT_EQ(r.stdoutData, QByteArray("content"));
}

TEST(Process, ReportsExitStatusSignalsMissingProgramsAndCapturesLimitedErrors)
{
    ProcessRequest fail;
    fail.program = QStringLiteral("sh");
    fail.arguments = {"-c", "printf 'abcdefghij' >&2; exit 3"};
    fail.captureStderr = true;
    fail.captureLimit = 4;
    int polls = 0;
    fail.onPoll = [&] { ++polls; };
    const ProcessResult r = Process::run(fail);
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.stderrData, QByteArray("abcd"));

    ProcessRequest killed;
    killed.program = QStringLiteral("sh");
    killed.arguments = {"-c", "kill -9 $$"};
    const ProcessResult k = Process::run(killed);
    EXPECT_TRUE(k.signaled);
    EXPECT_EQ(k.signal, SIGKILL);
    EXPECT_FALSE(k.succeeded());

    ProcessRequest missing;
    missing.program = QStringLiteral("/nonexistent/converter");
    const ProcessResult m = Process::run(missing);
    EXPECT_FALSE(m.started);
    EXPECT_FALSE(m.startError.isEmpty());
    EXPECT_FALSE(m.succeeded());
}

TEST(Process, ErrorStreamIntoATemporaryFileAndProgramLookup)
{
    const auto temp = Process::makeTemporaryFile(testHome() + QStringLiteral("/errXXXXXX"));
    ASSERT_TRUE(temp.has_value());
    ProcessRequest req;
    req.program = QStringLiteral("sh");
    req.arguments = {"-c", "echo warning >&2"};
    req.stderrFile = *temp;
    EXPECT_TRUE(Process::run(req).succeeded());
    EXPECT_EQ(readTestFile(*temp), QByteArray("warning\n"));

    EXPECT_TRUE(Process::findProgram(QStringLiteral("sh")).has_value());
    EXPECT_FALSE(Process::findProgram(QStringLiteral("no-such-program-here")).has_value());
}
