#include "ingest/DngConverter.h"

#include "log/ConsoleLog.h"
#include "log/IngestionLogController.h"
#include "metadata/ECPrefsController.h"
#include "platform/Process.h"
#include "platform/SystemLog.h"
#include "platform/UserInterface.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

// The converter's last internal failure (500 bytes in the original buffer: 499 + NUL).
QByteArray g_converterError;
constexpr qsizetype kTextLimit = 499;

bool failWith(const char *text)
{
    DngConverter::noteConverterError(text);
    DngConverter::report(DngConverter::converterErrorText());
    return false;
}

} // namespace

namespace DngConverter {

void report(const QString &message)
{
    logPrint("\nERROR running DNG Converter: %@\n", message);
    IngestionLogController::log("ERROR running DNG Converter: %@", message);
    UserInterface::instance().alert(QStringLiteral("Error running DNG Converter."), message);
}

void noteConverterError(const char *message)
{
    logPrint("\nERROR: %s\n", message);
    IngestionLogController::log("ERROR: %s", message);
    g_converterError = QByteArray(message).left(kTextLimit);
}

QString converterErrorText()
{
    return QString::fromUtf8(g_converterError);
}

QStringList converterArguments(const QString &outputFolder, const QStringList &rawFiles)
{
    QStringList arguments;
    if (Prefs::boolean(Prefs::WantEmbeddedRaw))
        arguments << QStringLiteral("-e");
    QString preview = Prefs::string(Prefs::JpegPreview);
    // An empty option would reach the converter as a stray empty argument.
    if (preview.isEmpty())
        preview = QStringLiteral("-p0");
    arguments << preview << QStringLiteral("-d") << outputFolder;
    arguments << rawFiles;
    return arguments;
}

bool runConverter(const QString &executable, const QStringList &arguments)
{
    g_converterError.clear();
    const QByteArray exe = QFile::encodeName(executable);
    if (executable.isEmpty() || ::access(exe.constData(), X_OK) != 0)
        return failWith("DNG Converter app file not accessible.");

    ProcessRequest request;
    request.program = executable;
    request.arguments = arguments;
    request.captureStderr = true;
    request.captureLimit = kTextLimit;
    request.pollIntervalMs = 50;
    const ProcessResult result = Process::run(request);

    if (!result.started) {
        if (result.exited) // the child was made but could not become the converter
            return failWith("can't exec DNG Converter");
        return failWith(result.startError.contains(QStringLiteral("file"), Qt::CaseInsensitive)
                            ? "can't create pipe"
                            : "can't fork");
    }
    if (result.exited && result.exitCode == 0)
        return true;
    if (result.exited) {
        SystemLog::write(
            formatMessage("Adobe DNG Converter exited with an error (Code %d)", result.exitCode));
    } else {
        char text[200];
        std::snprintf(text, sizeof text, "Adobe DNG Converter terminated abnormally (Code %d)\n",
                      result.signal);
        SystemLog::write(QString::fromUtf8(text));
    }
    const QString output = QString::fromLocal8Bit(result.stderrData.left(kTextLimit));
    report(output.isEmpty() ? converterErrorText() : output);
    return false;
}

} // namespace DngConverter
