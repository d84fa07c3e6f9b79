#include "geo/GPSDeviceReader.h"

#include "metadata/Prefs.h"
#include "platform/Format.h"
#include "platform/Process.h"
#include "platform/SystemLog.h"
#include "platform/UserInterface.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

bool isProgram(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

struct Format
{
    const char *extension;
    const char *format;
};

// Track formats of devices, watches and mapping programs that GPSBabel reads.
constexpr Format kFormats[] = {
    {"kml", "kml"},  {"tcx", "gtrnctr"}, {"fit", "garmin_fit"}, {"igc", "igc"}, {"nmea", "nmea"},
    {"nma", "nmea"}, {"csv", "unicsv"},  {"plt", "ozi"},        {"loc", "geo"},
};

enum class Purpose { Device, Conversion };

void alertMissingGPSBabel(Purpose purpose)
{
    const QString install = QStringLiteral(
        "1. Install GPSBabel with your distribution's package manager (on Debian or Ubuntu: "
        "sudo apt install gpsbabel), or get it from https://www.gpsbabel.org.\n"
        "2. When the program \"gpsbabel\" is not on your PATH, give its location as the "
        "GPSBabel program in the preferences.\n");
    if (purpose == Purpose::Device)
        UserInterface::instance().alert(
            QStringLiteral("Accessing Garmin or Magellan devices requires GPSBabel."),
            install + QStringLiteral("3. Click the Garmin or Magellan button again."));
    else
        UserInterface::instance().alert(
            QStringLiteral("Reading track files other than GPX requires GPSBabel."),
            install + QStringLiteral("3. Add the files again."));
}

// Runs the program with the arguments; the output path is the one GPSBabel writes.
GPSDeviceReader::Result runGPSBabel(Purpose purpose, const QStringList &arguments,
                                    const QString &outputPath,
                                    const GPSDeviceReader::RunControl &control)
{
    const auto program = GPSDeviceReader::findGPSBabel();
    if (!program) {
        alertMissingGPSBabel(purpose);
        return failure(QStringLiteral("can't find GPSBabel executable"));
    }

    const QString tempTemplate = QDir(QDir::tempPath()).filePath(QStringLiteral("gpsbabel.XXXXXX"));
    const auto messagesFile = Process::makeTemporaryFile(tempTemplate);
    if (!messagesFile)
        return failure(QStringLiteral("Can't get temporary file name for messages"));

    GPSDeviceReader::Result result;
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
    request.arguments = arguments;
    request.arguments << QStringLiteral("-o") << QStringLiteral("gpx") << QStringLiteral("-F")
                      << result.outputPath;
    request.stderrFile = *messagesFile;
    request.onPoll = control.onPoll;
    request.stopRequested = control.stopRequested;
    SystemLog::write(formatMessage(
        "runGPSBabel [%@]",
        GPSDeviceReader::describeCommand(request.program, request.arguments, *messagesFile)));
    const ProcessResult ran = Process::run(request);
    if (!ran.exited || ran.exitCode != 0)
        SystemLog::write(
            formatMessage("runGPSBabel system returned %d",
                          ran.exited ? ran.exitCode : (ran.signaled ? 128 + ran.signal : 127)));
    if (ran.stopped) {
        QFile::remove(*messagesFile);
        SystemLog::write(QStringLiteral("runGPSBabel stopped by the user"));
        result.stopped = true;
        return result;
    }

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

std::optional<QString> findGPSBabel()
{
    const QString chosen = Prefs::string(Prefs::GPSBabelPath);
    if (!chosen.isEmpty()) {
        if (isProgram(chosen))
            return chosen;
        SystemLog::write(formatMessage(
            "GPSBabelPath \"%@\" is not an executable program; looking for gpsbabel on PATH",
            chosen));
    }
    return Process::findProgram(QStringLiteral("gpsbabel"));
}

QString describeCommand(const QString &program, const QStringList &arguments,
                        const QString &messagesFile)
{
    QStringList words{shellQuoted(program)};
    for (const QString &argument : arguments)
        words.append(shellQuoted(argument));
    return words.join(QLatin1Char(' ')) + QStringLiteral(" 2>") + shellQuoted(messagesFile);
}

Result run(const QStringList &inputArgs, const QString &outputPath, const RunControl &control)
{
    return runGPSBabel(Purpose::Device, QStringList{QStringLiteral("-t")} + inputArgs, outputPath,
                       control);
}

std::optional<QString> inputFormatFor(const QString &path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    for (const Format &format : kFormats)
        if (extension == QLatin1String(format.extension))
            return QString::fromLatin1(format.format);
    return std::nullopt;
}

QStringList convertibleExtensions()
{
    QStringList extensions;
    for (const Format &format : kFormats)
        extensions.append(QString::fromLatin1(format.extension));
    return extensions;
}

Result convertFile(const QString &inputPath, const QString &outputPath, const RunControl &control)
{
    const auto format = inputFormatFor(inputPath);
    if (!format)
        return failure(formatMessage("GPSBabel does not read files of this type: %@", inputPath));
    QStringList arguments{QStringLiteral("-i"), *format, QStringLiteral("-f"), inputPath};
    // A CSV file holds points: they become one track so that geotagging can use them.
    if (*format == QLatin1String("unicsv"))
        arguments << QStringLiteral("-x") << QStringLiteral("transform,trk=wpt,del");
    return runGPSBabel(Purpose::Conversion, arguments, outputPath, control);
}

} // namespace GPSDeviceReader
