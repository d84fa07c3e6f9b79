#pragma once

#include <QString>
#include <QStringList>

// Reads the tracks of a GPS device connected by USB into a GPX file by running GPSBabel (found
// next to the application, then on PATH). GPSBabel's error output decides: nothing written
// means success, otherwise its first line is the message.
namespace GPSDeviceReader {

enum class Device { Garmin, Magellan };

struct Result
{
    bool ok = false;
    QString message;    // why it failed (the text of the "Error running GPSBabel" alert)
    QString outputPath; // the GPX file GPSBabel was asked to write
};

// The fixed input arguments: "-i Garmin -f USB:" and "-i Magellan -f USB:".
QStringList inputArguments(Device device);

// Runs GPSBabel with `inputArguments`, writing GPX to `outputPath` (a temporary name ending in
// ".gpx" when empty). A missing GPSBabel also shows the installation alert.
Result run(const QStringList &inputArguments, const QString &outputPath);

// The program line as written to the system log, each argument quoted as a shell would need.
QString describeCommand(const QString &program, const QStringList &arguments,
                        const QString &messagesFile);

} // namespace GPSDeviceReader
