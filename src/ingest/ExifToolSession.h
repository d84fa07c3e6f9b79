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
        bool started = false; // false: the program could not be started (see failure)
        bool died = false;    // the program ended during the command (see failure)
        QString failure;
        QByteArray errors; // what the command wrote to the error stream
    };
    Result execute(const QStringList &arguments);
    bool isRunning() const { return m_process.state() == QProcess::Running; }

private:
    QProcess m_process;
    int m_commands = 0;
};
