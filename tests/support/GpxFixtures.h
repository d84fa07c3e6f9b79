#pragma once

#include <QByteArray>
#include <QString>

// A GPX 1.1 document around `body`.
inline QByteArray gpxDocument(const QByteArray &body)
{
    return "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" "
           "xmlns=\"http://www.topografix.com/GPX/1/1\">\n" +
           body + "\n</gpx>\n";
}

// "<trkpt lat=.. lon=..><time>..</time>extra</trkpt>"
inline QByteArray trkpt(double lat, double lon, const char *time, const char *extra = "")
{
    return QStringLiteral("<trkpt lat=\"%1\" lon=\"%2\"><time>%3</time>%4</trkpt>")
        .arg(lat, 0, 'f', 6)
        .arg(lon, 0, 'f', 6)
        .arg(QString::fromUtf8(time), QString::fromUtf8(extra))
        .toUtf8();
}

// A document with one track of these points in one segment.
inline QByteArray gpxTrack(const char *name, const QByteArray &points)
{
    return gpxDocument("<trk><name>" + QByteArray(name) + "</name><trkseg>" + points +
                       "</trkseg></trk>");
}

// A walk through London on 1 June 2024, one point every 20 minutes from 10:00 UTC:
// 51.50 -0.12, 51.51 -0.10, 51.52 -0.08.
inline QByteArray londonWalk()
{
    return gpxTrack("walk", trkpt(51.50, -0.12, "2024-06-01T10:00:00Z") +
                                trkpt(51.51, -0.10, "2024-06-01T10:20:00Z") +
                                trkpt(51.52, -0.08, "2024-06-01T10:40:00Z"));
}
