#include "geo/GPSDeviceReader.h"

#include "platform/Format.h"
#include "platform/Process.h"
#include "platform/SystemLog.h"
#include "platform/UserInterface.h"

#include <QDir>
#include <QFile>

namespace {

QString shellQuoted(const QString &text)
{
    static const QString plain =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./:=+,@%");
    bool safe = !text.isEmpty();
    for (QChar c : text)
        safe = safe && plain.contains(c);
    if (safe)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

GPSDeviceReader::Result failure(const QString &message)
{
    GPSDeviceReader::Result result;
    result.message = message;
    return result;
}

} // namespace

namespace GPSDeviceReader {

QStringList inputArguments(Device device)
{
    if (device == Device::Garmin)
        return {QStringLiteral("-i"), QStringLiteral("Garmin"), QStringLiteral("-f"),
                QStringLiteral("USB:")};
    return {QStringLiteral("-i"), QStringLiteral("Magellan"), QStringLiteral("-f"),
            QStringLiteral("USB:")};
}

QString describeCommand(const QString &program, const QStringList &arguments,
                        const QString &messagesFile)
{
    QStringList words{shellQuoted(program)};
    for (const QString &argument : arguments)
        words.append(shellQuoted(argument));
    return words.join(QLatin1Char(' ')) + QStringLiteral(" 2>") + shellQuoted(messagesFile);
}

Result run(const QStringList &inputArgs, const QString &outputPath)
{
    const auto program = Process::findProgram(QStringLiteral("gpsbabel"));
    if (!program) {
        UserInterface::instance().alert(
            QStringLiteral("Accessing Garmin or Magellan devices requires GPSBabel."),
            QStringLiteral("1. Download GPSBabel for your operating system from its web site, "
                           "https://www.gpsbabel.org (on Debian it is the package "
                           "\"gpsbabel\").\n"
                           "2. Install it so that the program \"gpsbabel\" is on your PATH or "
                           "next to Brindlewick.\n"
                           "3. Click the Garmin or Magellan button again."));
        return failure(QStringLiteral("can't find GPSBabel executable"));
    }

    const QString tempTemplate = QDir(QDir::tempPath()).filePath(QStringLiteral("gpsbabel.XXXXXX"));
    const auto messagesFile = Process::makeTemporaryFile(tempTemplate);
    if (!messagesFile)
        return failure(QStringLiteral("Can't get temporary file name for messages"));

    Result result;
    result.outputPath = outputPath;
    if (result.outputPath.isEmpty()) {
        const auto base = Process::makeTemporaryFile(tempTemplate);
        if (!base) {
            QFile::remove(*messagesFile);
            return failure(QStringLiteral("Can't get temporary file names for GPS data"));
        }
        // The unique name is kept as a placeholder so nobody else takes it.
        result.outputPath = *base + QStringLiteral(".gpx");
    }

    ProcessRequest request;
    request.program = *program;
    request.arguments << QStringLiteral("-t") << inputArgs << QStringLiteral("-o")
                      << QStringLiteral("gpx") << QStringLiteral("-F") << result.outputPath;
    request.stderrFile = *messagesFile;
    SystemLog::write(formatMessage(
        "runGPSBabel [%@]", describeCommand(request.program, request.arguments, *messagesFile)));
    const ProcessResult ran = Process::run(request);
    if (!ran.exited || ran.exitCode != 0)
        SystemLog::write(
            formatMessage("runGPSBabel system returned %d",
                          ran.exited ? ran.exitCode : (ran.signaled ? 128 + ran.signal : 127)));

    QFile messages(*messagesFile);
    // A program that never ran or was killed leaves no word of its own: that is no success.
    if (!ran.started || ran.signaled || !messages.open(QIODevice::ReadOnly)) {
        QFile::remove(*messagesFile);
        return failure(
            QStringLiteral("GPS device reader (gpsbabel) failed to run or terminated improperly"));
    }
    const QByteArray firstLine = messages.readLine(300);
    messages.close();
    QFile::remove(*messagesFile);
    if (firstLine.isEmpty()) {
        result.ok = true;
        return result;
    }
    result.message = QString::fromLocal8Bit(firstLine);
    return result;
}

} // namespace GPSDeviceReader
