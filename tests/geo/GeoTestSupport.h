#pragma once

#include "geo/TrackManagerController.h"
#include "support/GpxFixtures.h"
#include "support/InstalledUserInterface.h"
#include "support/LogCapture.h"
#include "support/TestSupport.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

// A store over a fresh support folder, installed as the process-wide one, with a recording
// user interface and the system-log lines collected.
class GeoTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = makeTestFolder(QStringLiteral("geo"));
        store = std::make_unique<TrackManagerController>(folder);
        TrackManagerController::setSharedInstance(store.get());
    }
    void TearDown() override { TrackManagerController::setSharedInstance(nullptr); }
    // A fresh store over the same folder, as after a restart.
    void restart()
    {
        store = std::make_unique<TrackManagerController>(folder);
        TrackManagerController::setSharedInstance(store.get());
    }
    QString writeGpx(const QString &name, const QByteArray &body)
    {
        const QString path = folder + QLatin1Char('/') + name;
        writeTestFile(path, gpxDocument(body));
        return path;
    }

    QString folder;
    std::unique_ptr<TrackManagerController> store;
    InstalledUserInterface ui;
    SystemLogCapture capture;
    QStringList &systemLog = capture.lines;
};
