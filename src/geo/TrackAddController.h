#pragma once

#include "geo/GPSDeviceReader.h"

#include <QString>
#include <QStringList>

#include <optional>

// The data half of the add dialog of the track manager: the GPX files chosen on disk (track
// files of other formats are converted to GPX by GPSBabel on the way) or read from a GPS
// device, and the two remembered starting places of its file panels.
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

    // Where converted files go ("GPS/Converted" under the application-support folder unless
    // set), and the GPX files the store already lists (their conversions are not redone).
    void setConvertedFolder(const QString &folder) { m_convertedFolder = folder; }
    QString convertedFolder() const;
    void setLoadedFiles(const QStringList &paths) { m_loadedFiles = paths; }
    // The GPX file a track file of another format is converted into: its name, a dash and
    // eight hex digits of its full path, so that files of the same name never collide.
    QString convertedPathFor(const QString &source) const;

    // The open panel was confirmed with these paths: remembers the first as "TrackAddFiles"
    // and takes them all, converting those of other formats (progress window with Stop; a
    // failed conversion shows "Error running GPSBabel" and is left out). True when the dialog
    // ends with OK: at least one file to hand on.
    bool gpxFilesChosen(const QStringList &paths);
    // The save panel was confirmed: remembers the path as "TrackSaveFiles".
    static void saveFileChosen(const QString &path);
    // Where the panels start (empty when unset).
    static QString lastGPXFile();
    static QString lastSaveFile();
    // The open panel's name filters: every readable track file first, then GPX only, then all.
    static QStringList openPanelFilters();

    // Reads a device into `savePath` (none: the save panel was cancelled and nothing runs),
    // with a progress window whose Stop ends GPSBabel. Success: `files` is that one path and
    // the dialog ends with OK (true). Failure: the alert "Error running GPSBabel" with the
    // reader's message; stopped: no alert. The dialog stays open (false) in both.
    bool readDevice(GPSDeviceReader::Device device, const std::optional<QString> &savePath);

private:
    QString m_convertedFolder;
    QStringList m_loadedFiles;
};
