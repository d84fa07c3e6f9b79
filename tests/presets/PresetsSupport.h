#pragma once

#include "log/ConsoleLog.h"
#include "metadata/ECPrefsController.h"
#include "metadata/LookupsController.h"
#include "metadata/Metadata.h"
#include "platform/Defaults.h"
#include "platform/RecordingUserInterface.h"
#include "presets/Setup.h"
#include "presets/SetupController.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

// Each case starts from empty preferences, fresh catalogues and a recording user interface.
struct PresetsFixture
{
    RecordingUserInterface ui;
    StringLogPane pane;
    Logger logger;

    PresetsFixture()
    {
        for (const Prefs::Key *key : Prefs::all())
            Defaults::remove(QLatin1String(key->name));
        Defaults::remove(QLatin1String(SetupController::kPresetDefaultsKey));
        ECPrefsController::init();
        Setup::resetDefaultSetup();
        UserInterface::setInstance(&ui);
        logger.setTextview(&pane);
    }
    ~PresetsFixture() { UserInterface::setInstance(nullptr); }
};

// Runs a program to completion; its exit code, or -1 when it could not start.
inline int runTool(const QString &program, const QStringList &arguments,
                   QByteArray *output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(60000))
        return -1;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
