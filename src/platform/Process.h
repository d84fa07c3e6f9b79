#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Child processes started with fork/exec and an argument vector, never through a shell: names
// with quotes, blanks, "$" or ";" reach the program unchanged.
struct ProcessRequest
{
    QString program;
    QStringList arguments;
    // Where the child's output goes: a file path (created or truncated) or, when empty,
    // /dev/null. A captured stream takes precedence over its file.
    QString stdoutFile;
    QString stderrFile;
    bool captureStdout = false;
    bool captureStderr = false;
    // At most this many bytes of each captured stream are kept; the rest is read and dropped.
    qsizetype captureLimit = 1 << 20;
    // While waiting, called about every pollIntervalMs (for example to keep a window drawing).
    std::function<void()> onPoll;
    int pollIntervalMs = 50;
    // Asked after every poll; once it answers true the child gets SIGTERM, and SIGKILL when it
    // is still there two seconds later.
    std::function<bool()> stopRequested;
    // A child still running after this many milliseconds is killed (SIGKILL) and the result
    // says `timedOut`; 0 waits for as long as it takes.
    qint64 timeoutMs = 0;
};

struct ProcessResult
{
    bool started = false;
    QString startError;  // why it could not start (strerror of exec or fork)
    bool exited = false; // ended normally: exitCode is valid
    int exitCode = -1;
    bool signaled = false; // killed by a signal
    int signal = 0;
    bool stopped = false;  // ended because stopRequested answered true
    bool timedOut = false; // killed for running longer than the request allowed
    QByteArray stdoutData;
    QByteArray stderrData;

    bool succeeded() const { return started && exited && exitCode == 0; }
};

namespace Process {

ProcessResult run(const ProcessRequest &request);

// Finds a program next to the application first, then on PATH; nullopt when it is nowhere.
std::optional<QString> findProgram(const QString &name);

// A new empty temporary file made by mkstemp from a template ending in "XXXXXX"; the file is
// closed and its path answered, or nullopt with errno set.
std::optional<QString> makeTemporaryFile(const QString &pathTemplate);

} // namespace Process
