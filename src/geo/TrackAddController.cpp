#include "geo/TrackAddController.h"

#include "platform/Defaults.h"
#include "platform/UserInterface.h"

const QString TrackAddController::kTrackAddFiles = QStringLiteral("TrackAddFiles");
const QString TrackAddController::kTrackSaveFiles = QStringLiteral("TrackSaveFiles");

bool TrackAddController::gpxFilesChosen(const QStringList &paths)
{
    if (paths.isEmpty())
        return false;
    Defaults::set(kTrackAddFiles, paths.first());
    files.append(paths);
    return true;
}

void TrackAddController::saveFileChosen(const QString &path)
{
    Defaults::set(kTrackSaveFiles, path);
}

QString TrackAddController::lastGPXFile()
{
    return Defaults::string(kTrackAddFiles);
}

QString TrackAddController::lastSaveFile()
{
    return Defaults::string(kTrackSaveFiles);
}

bool TrackAddController::readDevice(GPSDeviceReader::Device device,
                                    const std::optional<QString> &savePath)
{
    if (!savePath)
        return false;
    const GPSDeviceReader::Result result =
        GPSDeviceReader::run(GPSDeviceReader::inputArguments(device), *savePath);
    if (!result.ok) {
        UserInterface::instance().alert(QStringLiteral("Error running GPSBabel"), result.message);
        return false;
    }
    files = QStringList{result.outputPath};
    return true;
}
