#pragma once

// Fixtures shared by the metadata-writer tests: JPEGs built byte by byte or encoded by Qt, a full
// decode, ExifTool read-backs, time stamps, captured console and alerts.

#include "ingest/JpegVerify.h"
#include "log/ConsoleLog.h"
#include "platform/Process.h"
#include "support/ImageFixtures.h"
#include "support/InstalledUserInterface.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>

namespace fixtures {

// A marker segment: 0xFF, the code, the big-endian length counting itself, the payload.
inline QByteArray segment(int code, const QByteArray &payload)
{
    QByteArray out;
    const int length = int(payload.size()) + 2;
    out += char(0xFF);
    out += char(code);
    out += char((length >> 8) & 0xFF);
    out += char(length & 0xFF);
    out += payload;
    return out;
}

inline QByteArray soi()
{
    return QByteArray("\xFF\xD8", 2);
}

// What follows the header in the hand-built files: a start of frame, scan data and EOI.
inline QByteArray frameAndScan()
{
    return segment(0xC0, QByteArray(9, '\x01')) + segment(0xDA, QByteArray(10, '\x02')) +
           QByteArray("\x12\x34\xFF\x00\x56", 5) + QByteArray("\xFF\xD9", 2);
}

inline QByteArray xmpPayload(const QByteArray &text)
{
    return QByteArray("http://ns.adobe.com/xap/1.0/") + '\0' + text;
}

// A real baseline JPEG encoded by Qt.
inline bool writeQtJpeg(const QString &path, int width = 64, int height = 48)
{
    return ImageFixtures::writeJpeg(path, QSize(width, height), {}, QColor(Qt::darkCyan), 90);
}

// True when libjpeg decodes every scanline without a warning or error (the check a copy gets,
// itself tested on damaged files of every kind).
inline bool decodesFully(const QString &path)
{
    return verifyJpegFile(QFile::encodeName(path).constData(), JpegDecodeScale::Full);
}

// ExifTool's JSON answer for one file (numbers unconverted with -n when asked).
inline QJsonObject exiftoolRead(const QString &path, const QStringList &tags, bool numeric = false)
{
    ProcessRequest request;
    request.program = QStringLiteral("exiftool");
    request.arguments << QStringLiteral("-j") << QStringLiteral("-struct");
    if (numeric)
        request.arguments << QStringLiteral("-n");
    request.arguments << tags << path;
    request.captureStdout = true;
    const ProcessResult result = Process::run(request);
    const QJsonArray array = QJsonDocument::fromJson(result.stdoutData).array();
    return array.isEmpty() ? QJsonObject() : array.first().toObject();
}

inline void setModificationTime(const QString &path, time_t seconds, long nanoseconds = 0)
{
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

inline struct timespec modificationTime(const QString &path)
{
    struct stat st
    {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mtim;
}

inline int permissions(const QString &path)
{
    struct stat st
    {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return int(st.st_mode & 07777);
}

// Captures the console log pane and the alerts for the life of a test.
struct Capture
{
    Logger logger;
    StringLogPane pane;
    InstalledUserInterface ui;
    Capture() { logger.setTextview(&pane); }
    QString console() const { return pane.text(); }
};

} // namespace fixtures
