#include "geo/TrackAddController.h"

#include "platform/AppPaths.h"
#include "platform/Defaults.h"
#include "platform/Format.h"
#include "platform/UserInterface.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>

const QString TrackAddController::kTrackAddFiles = QStringLiteral("TrackAddFiles");
const QString TrackAddController::kTrackSaveFiles = QStringLiteral("TrackSaveFiles");

namespace {

// Keeps a progress window turning while GPSBabel runs; Stop ends the program.
struct StoppableRun
{
    explicit StoppableRun(ProgressSession *session) : session(session) {}

    GPSDeviceReader::RunControl control()
    {
        GPSDeviceReader::RunControl run;
        run.onPoll = [this] {
            if (session && !session->runOnce())
                stopped = true;
        };
        run.stopRequested = [this] { return stopped; };
        return run;
    }

    ProgressSession *session;
    bool stopped = false;
};

void alertFailure(const GPSDeviceReader::Result &result)
{
    UserInterface::instance().alert(QStringLiteral("Error running GPSBabel"), result.message);
}

} // namespace

QString TrackAddController::convertedFolder() const
{
    if (!m_convertedFolder.isEmpty())
        return m_convertedFolder;
    return QDir(AppPaths::supportFolder()).filePath(QStringLiteral("GPS/Converted"));
}

QString TrackAddController::convertedPathFor(const QString &source) const
{
    const QFileInfo info(source);
    const QByteArray digest =
        QCryptographicHash::hash(info.absoluteFilePath().toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(8);
    return QDir(convertedFolder())
        .filePath(info.completeBaseName() + QLatin1Char('-') + QString::fromLatin1(digest) +
                  QStringLiteral(".gpx"));
}

bool TrackAddController::gpxFilesChosen(const QStringList &paths)
{
    if (paths.isEmpty())
        return false;
    Defaults::set(kTrackAddFiles, paths.first());

    QStringList others;
    for (const QString &path : paths)
        if (GPSDeviceReader::inputFormatFor(path))
            others.append(path);
    if (others.isEmpty()) {
        files.append(paths);
        return true;
    }

    ProgressOptions options;
    options.message =
        formatMessage("Converting %ld files with GPSBabel.", static_cast<long>(others.size()));
    options.max = static_cast<int>(others.size());
    // Without GPSBabel the reader explains how to get it; no progress window comes first.
    const bool haveGPSBabel = GPSDeviceReader::findGPSBabel().has_value();
    std::unique_ptr<ProgressSession> session;
    if (haveGPSBabel)
        session = UserInterface::instance().beginProgress(options);
    StoppableRun run(session.get());
    bool explained = false; // the missing program is explained once, not per file
    AppPaths::ensureFolder(convertedFolder());
    for (const QString &path : paths) {
        if (!GPSDeviceReader::inputFormatFor(path)) {
            files.append(path);
            continue;
        }
        if (explained)
            continue;
        if (run.stopped || (session && !session->runOnce())) {
            run.stopped = true;
            continue; // the GPX files chosen with them are still taken
        }
        if (session)
            session->step();
        const QString target = convertedPathFor(path);
        // Converted before and still listed: the store says so when it is added again.
        if (m_loadedFiles.contains(target) && QFileInfo::exists(target)) {
            files.append(target);
            continue;
        }
        const GPSDeviceReader::Result result =
            GPSDeviceReader::convertFile(path, target, run.control());
        if (result.stopped) {
            run.stopped = true;
            continue;
        }
        if (!result.ok) {
            alertFailure(result);
            explained = !haveGPSBabel;
            continue;
        }
        files.append(target);
    }
    if (session)
        session->end();
    return !files.isEmpty();
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

QStringList TrackAddController::openPanelFilters()
{
    QStringList patterns{QStringLiteral("*.gpx")};
    for (const QString &extension : GPSDeviceReader::convertibleExtensions())
        patterns.append(QStringLiteral("*.") + extension);
    return {QStringLiteral("Track files (%1)").arg(patterns.join(QLatin1Char(' '))),
            QStringLiteral("GPX files (*.gpx)"), QStringLiteral("All files (*)")};
}

bool TrackAddController::readDevice(GPSDeviceReader::Device device,
                                    const std::optional<QString> &savePath)
{
    if (!savePath)
        return false;
    ProgressOptions options;
    options.message = QStringLiteral("Reading tracks from the GPS device.");
    options.indeterminate = true;
    std::unique_ptr<ProgressSession> session;
    if (GPSDeviceReader::findGPSBabel())
        session = UserInterface::instance().beginProgress(options);
    StoppableRun run(session.get());
    const GPSDeviceReader::Result result =
        GPSDeviceReader::run(GPSDeviceReader::inputArguments(device), *savePath, run.control());
    if (session)
        session->end();
    if (result.stopped)
        return false;
    if (!result.ok) {
        alertFailure(result);
        return false;
    }
    files = QStringList{result.outputPath};
    return true;
}
