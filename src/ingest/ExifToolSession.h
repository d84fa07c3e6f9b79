#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// One ExifTool kept running for a whole ingestion run (its -stay_open mode), so Perl starts once
// instead of once per file. Each file still gets its own command with exactly the writer's
// arguments, and its own error stream text. Main thread only; the program ends with the session.
class ExifToolSession
{
public:
    explicit ExifToolSession(const QString &program);
    ~ExifToolSession();
    ExifToolSession(const ExifToolSession &) = delete;
    ExifToolSession &operator=(const ExifToolSession &) = delete;

    // Arguments travel one per line; those a line cannot carry unchanged (line breaks, a leading
    // blank or "#") must go to a program of their own.
    static bool canCarry(const QStringList &arguments);

    struct Result
    {
        bool started = false;  // false: the program could not be started (see failure)
        bool died = false;     // the program ended during the command (see failure)
        bool timedOut = false; // no answer in time: the program was killed (see failure)
        QString failure;
        QByteArray errors; // what the command wrote to the error stream
    };
    // Runs one command and waits for its answer for at most `timeLimitMs` milliseconds; after
    // that the program is killed, and the next command needs a new session.
    Result execute(const QStringList &arguments, qint64 timeLimitMs);

    // How long a command over `fileCount` files of `totalBytes` in all may take before ExifTool
    // is taken to hang: a minute, half a minute more per file, and a second per 8 MiB, since it
    // rewrites each file whole and a slow card reader or network disk may manage little more.
    static qint64 timeLimitMs(int fileCount, qint64 totalBytes);
    // What a command that ran out of time reports.
    static QString timeoutMessage(qint64 timeLimitMs);
    // Tests replace the limit by a fixed one; 0 goes back to the rule above.
    static void setTimeLimitForTesting(qint64 ms);
    bool isRunning() const { return m_process.state() == QProcess::Running; }

private:
    QProcess m_process;
    int m_commands = 0;
};
