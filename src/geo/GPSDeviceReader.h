#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Runs GPSBabel (the "GPSBabelPath" preference, else next to the application, else on PATH)
// with an argument vector, never through a shell: it reads the tracks of a GPS device connected
// by USB, or converts a track file of another format, into a GPX file. GPSBabel's error output
// decides: nothing written means success, otherwise its first line is the message.
namespace GPSDeviceReader {

enum class Device { Garmin, Magellan };

struct Result
{
    bool ok = false;
    bool stopped = false; // the user stopped it: no message, nothing to report
    QString message;      // why it failed (the text of the "Error running GPSBabel" alert)
    QString outputPath;   // the GPX file GPSBabel was asked to write
};

// How the caller keeps its window alive while GPSBabel runs: onPoll is called about every
// 50 ms; once stopRequested answers true the program is ended.
struct RunControl
{
    std::function<void()> onPoll;
    std::function<bool()> stopRequested;
};

// The fixed input arguments: "-i Garmin -f USB:" and "-i Magellan -f USB:".
QStringList inputArguments(Device device);

// The GPSBabel program to run, or nullopt when there is none (nothing is shown).
std::optional<QString> findGPSBabel();

// Runs GPSBabel with "-t", `inputArguments`, writing GPX to `outputPath` (a temporary name
// ending in ".gpx" when empty). A missing GPSBabel also shows the installation alert.
Result run(const QStringList &inputArguments, const QString &outputPath,
           const RunControl &control = {});

// The GPSBabel input format of a track file by its extension ("kml", "gtrnctr", ...), or
// nullopt for GPX (read directly) and for extensions GPSBabel is not asked to read.
std::optional<QString> inputFormatFor(const QString &path);
// The extensions inputFormatFor knows, without dots, lower case.
QStringList convertibleExtensions();
// Converts a track file of another format into GPX at `outputPath` (tracks, routes and
// waypoints as GPSBabel reads them; the points of a CSV file become one track).
Result convertFile(const QString &inputPath, const QString &outputPath,
                   const RunControl &control = {});

// The program line as written to the system log, each argument quoted as a shell would need.
QString describeCommand(const QString &program, const QStringList &arguments,
                        const QString &messagesFile);

} // namespace GPSDeviceReader
