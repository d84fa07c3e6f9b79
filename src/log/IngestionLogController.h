#pragma once

#include "platform/Format.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// The persistent monthly ingestion log: one UTF-8 text file per UTC month in the
// "IngestionLog" folder of the application-support folder, one line per message.
// Main thread only; failures to write lose the line silently (it still reaches the system log).
class IngestionLogController
{
public:
    // IngestionLogController::log("ERROR copying file: %@", error)
    template <typename... Args> static void log(const char *format, const Args &...args)
    {
        logLine(formatMessage(format, args...));
    }
    // Without a message: the next line written is preceded by a blank line.
    static void log();
    static void logLine(const QString &message);

    // Determines and creates the log folder once per process; answers it.
    static QString initLogDir();
    // Month names ("2024-02") of the folder's ".txt" files, without hidden files, sorted.
    static QStringList readLogFiles();
    // The text of a month's file, or nullopt when it cannot be read as UTF-8.
    static std::optional<QString> readMonth(const QString &month);

    // "2024-02.txt" for an instant: the month follows UTC.
    static QString monthFileName(const QDateTime &when);
    // "yyyy-MM-dd HH:mm:ss" in local time, the hour on the 24-hour clock.
    static QString timeStamp(const QDateTime &when);
    // Forgets the cached folder (tests that move the application-support folder).
    static void reset();
};
