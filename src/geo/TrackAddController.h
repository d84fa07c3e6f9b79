#pragma once

#include "geo/GPSDeviceReader.h"

#include <QString>
#include <QStringList>

#include <optional>

// The data half of the add dialog of the track manager: the GPX files chosen on disk or read
// from a GPS device, and the two remembered starting places of its file panels.
class TrackAddController
{
public:
    // User-defaults keys: the last GPX file chosen and the last file chosen for a device's GPX.
    static const QString kTrackAddFiles;
    static const QString kTrackSaveFiles;

    // The paths the dialog hands back on OK.
    QStringList files;

    // When the window loads.
    void reset() { files.clear(); }

    // The open panel was confirmed with these paths: remembers the first as "TrackAddFiles" and
    // takes them all. True when the dialog ends with OK (false for an empty choice).
    bool gpxFilesChosen(const QStringList &paths);
    // The save panel was confirmed: remembers the path as "TrackSaveFiles".
    static void saveFileChosen(const QString &path);
    // Where the panels start (empty when unset).
    static QString lastGPXFile();
    static QString lastSaveFile();

    // Reads a device into `savePath` (none: the save panel was cancelled and nothing runs).
    // Success: `files` is that one path and the dialog ends with OK (true). Failure: the alert
    // "Error running GPSBabel" with the reader's message; the dialog stays open (false).
    bool readDevice(GPSDeviceReader::Device device, const std::optional<QString> &savePath);
};
