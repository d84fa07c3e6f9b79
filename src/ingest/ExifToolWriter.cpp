#include "ingest/ExifToolWriter.h"

#include "ingest/ExifToolSession.h"
#include "ingest/MetadataWriter.h"
#include "items/ThumbItem.h"
#include "log/ConsoleLog.h"
#include "log/IngestionLogController.h"
#include "platform/Process.h"
#include "platform/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Fixed at first use and kept for the life of the process.
std::optional<QString> g_exifTool;
bool g_exifToolLookedUp = false;
QString g_messageFile;

bool haveExifTool()
{
    if (!g_exifToolLookedUp) {
        g_exifTool = Process::findProgram(QStringLiteral("exiftool"));
        g_exifToolLookedUp = true;
    }
    return g_exifTool && ::access(QFile::encodeName(*g_exifTool).constData(), X_OK) == 0;
}

// The message file is made by mkstemp and reused while it exists; once a clean run has removed
// it, a fresh one is made rather than re-creating a known name in the shared temporary folder.
bool haveMessageFile()
{
    if (!g_messageFile.isEmpty() && QFile::exists(g_messageFile))
        return true;
    const auto made = Process::makeTemporaryFile(QDir::tempPath() +
                                                 QStringLiteral("/brindlewick-exiftool-XXXXXX"));
    if (!made)
        return false;
    g_messageFile = *made;
    return true;
}

// The command as a shell would have read it: shown in the system log and in error messages.
QString commandText(const QString &program, double lat, double lon, double ele, const QString &path)
{
    return formatMessage("'%@' -m -overwrite_original_in_place  -gps:GPSLatitudeRef=%c "
                         "-gps:GPSLatitude=%f -gps:GPSLongitudeRef=%c -gps:GPSLongitude=%f "
                         "'-gps:GPSAltitudeRef=%@' -gps:GPSAltitude=%f '%@' 2>%s",
                         program, lat >= 0 ? 'N' : 'S', std::fabs(lat), lon >= 0 ? 'E' : 'W',
                         std::fabs(lon), ele < 0 ? "Below Sea Level" : "Above Sea Level",
                         std::fabs(ele), path, g_messageFile);
}

QByteArray firstLine(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray line = f.readLine(500);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

void reportFailure(const QString &command, const QByteArray &line, MetadataWriteContext &context)
{
    logPrint("\nERROR: processing %@: %s\n", command, line);
    IngestionLogController::log("ERROR: processing %@: %s", command, line);
    context.hadError = true;
}

ProcessResult runOnce(const QStringList &arguments, qint64 limitMs)
{
    ProcessRequest request;
    request.program = *g_exifTool;
    request.arguments = arguments;
    request.stderrFile = g_messageFile;
    request.timeoutMs = limitMs;
    ProcessResult result = Process::run(request);
    if (result.timedOut) {
        QFile file(g_messageFile);
        const QByteArray errors = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        file.close();
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(ExifToolSession::timeoutMessage(limitMs).toUtf8() + '\n' + errors);
    }
    return result;
}

// The same command given to the ExifTool kept open for the run; its error stream text lands in
// the message file, so both ways are checked alike.
ProcessResult runInSession(const QStringList &arguments, qint64 limitMs,
                           MetadataWriteContext &context)
{
    if (!context.exifToolSession || !context.exifToolSession->isRunning())
        context.exifToolSession = std::make_shared<ExifToolSession>(*g_exifTool);
    const ExifToolSession::Result session = context.exifToolSession->execute(arguments, limitMs);
    ProcessResult result;
    result.started = session.started;
    result.startError = session.failure;
    result.exited = session.started && !session.died;
    result.exitCode = 0;
    result.timedOut = session.timedOut;
    QByteArray errors = session.errors;
    if (session.died) {
        // The next file starts a fresh program.
        context.exifToolSession.reset();
        if (errors.isEmpty() || session.timedOut)
            errors = session.failure.toUtf8() + '\n' + errors;
    }
    QFile file(g_messageFile);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(errors);
    return result;
}

} // namespace

void setExifToolProgramForTesting(const QString &program)
{
    if (program.isEmpty()) {
        g_exifTool.reset();
        g_exifToolLookedUp = false;
    } else {
        g_exifTool = program;
        g_exifToolLookedUp = true;
    }
}

QStringList exifToolGpsArguments(double lat, double lon, double ele, const QString &path)
{
    // ExifTool reads a leading "-" as an option; such a relative name is given as "./-name".
    const QString file = path.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + path : path;
    return {
        QStringLiteral("-m"),
        QStringLiteral("-overwrite_original_in_place"),
        formatMessage("-gps:GPSLatitudeRef=%c", lat >= 0 ? 'N' : 'S'),
        formatMessage("-gps:GPSLatitude=%f", std::fabs(lat)),
        formatMessage("-gps:GPSLongitudeRef=%c", lon >= 0 ? 'E' : 'W'),
        formatMessage("-gps:GPSLongitude=%f", std::fabs(lon)),
        formatMessage("-gps:GPSAltitudeRef=%@", ele < 0 ? "Below Sea Level" : "Above Sea Level"),
        formatMessage("-gps:GPSAltitude=%f", std::fabs(ele)),
        file,
    };
}

bool embedGPSFrom(const ThumbItem &item, const QString &path, MetadataWriteContext &context)
{
    if (item.gpsLat == 0.0 && item.gpsLon == 0.0)
        return true;
    if (!haveExifTool()) {
        logPuts("\nERROR: Can't access ExifTool\n");
        IngestionLogController::log("ERROR: Can't access ExifTool");
        return false;
    }
    if (!haveMessageFile()) {
        logPuts("\nERROR: Can't get temporary file name\n");
        IngestionLogController::log("ERROR: Can't get temporary file name");
        return false;
    }
    const QString command = commandText(*g_exifTool, item.gpsLat, item.gpsLon, item.gpsEle, path);
    SystemLog::write(command);

    // ExifTool rewrites the file's time stamp; the duplicate rule of later runs relies on it.
    const QByteArray nativePath = QFile::encodeName(path);
    struct stat before;
    const bool haveTimes = ::stat(nativePath.constData(), &before) == 0;

    const QStringList arguments = exifToolGpsArguments(item.gpsLat, item.gpsLon, item.gpsEle, path);
    const qint64 limitMs = ExifToolSession::timeLimitMs(1, QFileInfo(path).size());
    const ProcessResult result = context.keepExifToolOpen && ExifToolSession::canCarry(arguments)
                                     ? runInSession(arguments, limitMs, context)
                                     : runOnce(arguments, limitMs);
    // ExifTool writes beside the file first; a program stopped half way leaves that behind.
    if (result.timedOut)
        QFile::remove(path + QStringLiteral("_exiftool_tmp"));
    if (haveTimes) {
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        ::utimensat(AT_FDCWD, nativePath.constData(), times, 0);
    }

    const bool alreadyFailed = context.hadError;
    if (!result.started) {
        logPrint("Can't execute %@\n", command);
        if (!alreadyFailed)
            reportFailure(command, ("can't execute: " + result.startError).toUtf8(), context);
        return alreadyFailed;
    }
    if (alreadyFailed) {
        QFile::remove(g_messageFile);
        return true;
    }
    const QByteArray line = firstLine(g_messageFile);
    if (!line.isEmpty()) {
        reportFailure(command, line, context);
        return false;
    }
    if (result.signaled) {
        reportFailure(command, formatMessage("killed by signal %d", result.signal).toUtf8(),
                      context);
        return false;
    }
    QFile::remove(g_messageFile);
    ++context.numTaggedByExifTool;
    return true;
}
