#include "log/IngestionLogController.h"

#include "platform/AppPaths.h"
#include "platform/Clock.h"
#include "platform/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTimeZone>

namespace {
QString g_logDir;
bool g_blankLinePending = false;
} // namespace

void IngestionLogController::log()
{
    g_blankLinePending = true;
}

QString IngestionLogController::initLogDir()
{
    if (g_logDir.isEmpty()) {
        g_logDir = AppPaths::supportFolder() + QStringLiteral("/IngestionLog");
        AppPaths::ensureFolder(g_logDir);
    }
    return g_logDir;
}

void IngestionLogController::reset()
{
    g_logDir.clear();
    g_blankLinePending = false;
}

QString IngestionLogController::monthFileName(const QDateTime &when)
{
    return when.toTimeZone(QTimeZone::utc()).toString(QStringLiteral("yyyy-MM")) +
           QStringLiteral(".txt");
}

QString IngestionLogController::timeStamp(const QDateTime &when)
{
    // The 24-hour clock: a 12-hour hour without a marker made 08:12 and 20:12 look alike.
    return when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

void IngestionLogController::logLine(const QString &message)
{
    const QString folder = initLogDir();
    const QDateTime now = Clock::now();
    const QString line = (g_blankLinePending ? QStringLiteral("\n") : QString()) + timeStamp(now) +
                         QStringLiteral(": ") + message + QLatin1Char('\n');
    g_blankLinePending = false;
    SystemLog::write(line);

    QFile file(folder + QLatin1Char('/') + monthFileName(now));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(line.toUtf8());
}

QStringList IngestionLogController::readLogFiles()
{
    QStringList files;
    const QDir dir(initLogDir());
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (name.startsWith(QLatin1Char('.')) || !name.endsWith(QLatin1String(".txt")))
            continue;
        files << name.chopped(4);
    }
    std::sort(files.begin(), files.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return files;
}

std::optional<QString> IngestionLogController::readMonth(const QString &month)
{
    QFile file(initLogDir() + QLatin1Char('/') + month + QStringLiteral(".txt"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}
