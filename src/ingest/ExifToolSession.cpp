#include "ingest/ExifToolSession.h"

#include "platform/Format.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>

ExifToolSession::ExifToolSession(const QString &program)
{
    m_process.setProgram(program);
    m_process.setArguments({QStringLiteral("-stay_open"), QStringLiteral("True"),
                            QStringLiteral("-@"), QStringLiteral("-")});
    m_process.start();
    m_process.waitForStarted();
}

ExifToolSession::~ExifToolSession()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.write("-stay_open\nFalse\n");
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

bool ExifToolSession::canCarry(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        if (argument.isEmpty() || argument.contains(QLatin1Char('\n')) ||
            argument.contains(QLatin1Char('\r')) || argument.front().isSpace() ||
            argument.front() == QLatin1Char('#'))
            return false;
    }
    return true;
}

namespace {

qint64 g_timeLimitForTesting = 0;

} // namespace

qint64 ExifToolSession::timeLimitMs(int fileCount, qint64 totalBytes)
{
    if (g_timeLimitForTesting > 0)
        return g_timeLimitForTesting;
    return 60'000 + 30'000 * qint64(std::max(fileCount, 1)) + totalBytes / (8 << 20) * 1000;
}

QString ExifToolSession::timeoutMessage(qint64 timeLimitMs)
{
    return formatMessage("no answer within %d seconds; ExifTool was stopped",
                         int((timeLimitMs + 999) / 1000));
}

void ExifToolSession::setTimeLimitForTesting(qint64 ms)
{
    g_timeLimitForTesting = ms;
}

ExifToolSession::Result ExifToolSession::execute(const QStringList &arguments, qint64 timeLimitMs)
{
    Result result;
    if (m_process.state() != QProcess::Running) {
        result.failure = m_process.errorString();
        return result;
    }
    result.started = true;
    // The numbered "-execute" answers "{readyN}" on standard output; "-echo4" marks the end of
    // this command's error stream, so no message of one file is taken for another's.
    ++m_commands;
    const QByteArray ready = "{ready" + QByteArray::number(m_commands) + "}\n";
    const QByteArray done = "{done" + QByteArray::number(m_commands) + "}\n";
    QByteArray command;
    for (const QString &argument : arguments)
        command += QFile::encodeName(argument) + '\n';
    command += "-echo4\n" + done.chopped(1) + "\n-execute" + QByteArray::number(m_commands) + '\n';
    m_process.write(command);

    QByteArray out;
    QByteArray err;
    QElapsedTimer clock;
    clock.start();
    while (!(out.contains(ready) && err.endsWith(done))) {
        if (clock.elapsed() >= timeLimitMs) {
            // A hung program would hold the run for ever; this file fails and the program goes.
            m_process.kill();
            m_process.waitForFinished(5000);
            result.died = true;
            result.timedOut = true;
            result.failure = timeoutMessage(timeLimitMs);
            result.errors = err;
            return result;
        }
        if (m_process.state() != QProcess::Running) {
            result.died = true;
            result.failure = m_process.exitStatus() == QProcess::CrashExit
                                 ? formatMessage("killed by signal %d", m_process.exitCode())
                                 : formatMessage("ended with status %d", m_process.exitCode());
            result.errors = err;
            return result;
        }
        m_process.waitForReadyRead(20);
        out += m_process.readAllStandardOutput();
        err += m_process.readAllStandardError();
    }
    err.chop(done.size());
    result.errors = err;
    return result;
}
