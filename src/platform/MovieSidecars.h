#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// What a movie's text metadata and its sidecar files say: positions in ISO 6709 form, date texts
// with or without a zone, and the sidecars cameras write beside their movies (Canon's .THM, a
// small JPEG with the full Exif of the clip; Sony's NNNNNM01.XML with the date, camera and
// position).
namespace MovieMetadata {

struct Position
{
    double latitude = 0;  // degrees, north positive
    double longitude = 0; // degrees, east positive
    std::optional<double> altitude;
};
// "+34.7974+134.7646+011.567/", also with degrees and minutes (+DDMM.mm) or degrees, minutes and
// seconds (+DDMMSS.ss); nullopt for anything else.
std::optional<Position> parseIso6709(const QString &text);

struct MovieDate
{
    QString wallClock; // "yyyy:MM:dd HH:mm:ss"
    QString offset;    // "+02:00", empty when the text had no zone or was UTC
};
// "2020-05-11T16:18:35+0200", "2020-05-11 16:18:35", "2020:05:11 16:18:35Z", ...: the wall-clock
// time as written; a UTC time ("Z") is shown in this computer's time zone. nullopt for texts
// without a full date and time.
std::optional<MovieDate> parseDate(const QString &text);

// The sidecars beside the movie at `moviePath`: their values fill what the movie lacks.
void addSidecars(QVariantMap &props, const QString &moviePath);

// The sidecar files a camera writes beside the movie at `moviePath` that exist: NAME.THM and
// NAMEM01.XML, their endings in capitals, in small letters or with a small-letter extension.
QStringList sidecarPaths(const QString &moviePath);

} // namespace MovieMetadata
