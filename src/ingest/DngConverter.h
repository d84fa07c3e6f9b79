#pragma once

#include <QString>
#include <QStringList>

// Running the external DNG converter. "ConverterPath" names the converter program itself; it
// is called with an argument vector (never a shell): optional "-e", one preview option, "-d"
// with the output folder, then the raw files. It writes NAME.dng for each of them.
namespace DngConverter {

// Writes "\nERROR: TEXT\n" to the console and "ERROR: TEXT" to the ingestion log, and keeps the
// text as the last internal failure of the runner.
void noteConverterError(const char *message);
// Reports a failed conversion: "\nERROR running DNG Converter: TEXT\n" on the console, the same
// line in the ingestion log, and the "Error running DNG Converter." alert with the text.
void report(const QString &message);
// The last text given to noteConverterError since the converter was last started.
QString converterErrorText();

// The option part of the command line for one output folder and its raw files, as the user
// defaults "WantEmbeddedRaw" and "JpegPreview" ask.
QStringList converterArguments(const QString &outputFolder, const QStringList &rawFiles);

// Runs the converter and waits for it (50 ms polls). On any failure reports it (console,
// ingestion log, the "Error running DNG Converter." alert) and answers false.
bool runConverter(const QString &executable, const QStringList &arguments);

} // namespace DngConverter
