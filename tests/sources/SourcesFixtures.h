#pragma once

#include "sources/CameraService.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <functional>

// Runs the event loop until `done` holds; false if it never does within the bound (a bound so
// a broken camera path fails the test instead of hanging it; nothing here measures speed).
inline bool waitUntil(const std::function<bool()> &done, int boundMs = 60000)
{
    QDeadlineTimer deadline(boundMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// A small JPEG with a camera make and capture time in its EXIF, dated `modified` on disk.
inline void writeJpeg(const QString &path, const QColor &color, const QDateTime &modified,
                      const QString &make = QStringLiteral("TestMake"))
{
    writeTestFile(path, QByteArray()); // creates the folders
    ASSERT_TRUE(ImageFixtures::writeJpeg(
        path, QSize(96, 64),
        {{"Exif.Image.Make", make}, {"Exif.Photo.DateTimeOriginal", "2024:05:01 10:00:00"}},
        color));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

// Points the service at `folders` only (no attached cameras), polling quickly, from a fresh
// start; shut down again by the fixture.
inline CameraService &freshServiceFor(const QStringList &folders)
{
    CameraService::shutdown();
    qputenv(CameraService::kDiskCamerasVariable, folders.join(QLatin1Char(':')).toLocal8Bit());
    CameraService &service = CameraService::instance();
    service.setDetectsAttachedCameras(false);
    service.setPollIntervalMs(100);
    return service;
}
