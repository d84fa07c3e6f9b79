#pragma once

// A started desktop program for window tests: the main window and its application controller,
// with the chooser answered from a folder instead of its window, no help window and no update
// check, and its desktop integration on the (dead) test buses. Call pointHomeAt() before the
// application object exists.

#include "app/ui/DesktopIntegration.h"
#include "app/ui/ImageBrowserView.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QuorvaneAppDelegate.h"
#include "geo/TrackManagerController.h"
#include "items/ThumbListModel.h"
#include "platform/Defaults.h"
#include "sources/ChooseInput.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>

#include <memory>

struct Program
{
    MainWindow window;
    QuorvaneAppDelegate app{&window};
    QString folder;
    // As in the program: cards, eject, notifications. pointHomeAt() leaves the buses dead, so
    // it runs without a disk or notification service.
    std::unique_ptr<DesktopIntegration> desktop;

    // `folder` empty: the first Choose finds nothing. The desktop integration talks to the
    // given buses (private ones with mock services, for tests of cards and notifications).
    explicit Program(const QString &cardFolder = QString(),
                     const QDBusConnection &systemBus = QDBusConnection::systemBus(),
                     const QDBusConnection &sessionBus = QDBusConnection::sessionBus())
        : folder(cardFolder)
    {
        Defaults::set(QStringLiteral("HideInitialHelp"), true);
        Defaults::set(QStringLiteral("UpdateCheckHost"), QString());
        app.setChooserRunner([this](QuorvaneAppDelegate &delegate) { choose(delegate); });
        app.awakeFromNib();
        desktop = std::make_unique<DesktopIntegration>(app, systemBus, sessionBus);
        desktop->start();
        app.applicationDidFinishLaunching();
    }

    void choose(QuorvaneAppDelegate &delegate)
    {
        ChooseInput chooser;
        chooser.setMImageBrowserController(&delegate.itemList());
        chooser.setInclusions(delegate.inclusions());
        if (folder.isEmpty())
            chooser.folderPanelCancelled();
        else
            chooser.folderChosen(folder);
    }

    ThumbItemPtr item(int row) const { return app.model()->itemAt(row); }
};

// A card of JPEGs under the test home: one per entry of `times` ("2024:05:12 10:00:00"), named
// IMG_0001.JPG and on, each with that camera time and a modification time of the same day.
inline QString makeTimedCard(const QString &name, const QStringList &times,
                             const QSize &size = QSize(640, 480))
{
    const QString folder = QDir::homePath() + QLatin1Char('/') + name;
    QDir().mkpath(folder);
    for (int i = 0; i < times.size(); ++i) {
        const QString path =
            folder + QStringLiteral("/IMG_%1.JPG").arg(i + 1, 4, 10, QLatin1Char('0'));
        ImageFixtures::writeJpeg(path, size,
                                 {{"Exif.Image.Make", "Testmaker"},
                                  {"Exif.Image.Model", "T1"},
                                  {"Exif.Photo.DateTimeOriginal", times[i]},
                                  {"Exif.Photo.DateTimeDigitized", times[i]}},
                                 QColor::fromHsv(i * 70 % 360, 140, 200));
        QDateTime modified = QDateTime::fromString(times[i], QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        QFile file(path);
        if (modified.isValid() && file.open(QIODevice::ReadWrite))
            file.setFileTime(modified, QFileDevice::FileModificationTime);
    }
    return folder;
}

// Writes a GPX file of this name under the test home and loads it into the shared track store.
inline bool loadTrack(const QString &name, const QByteArray &gpx)
{
    const QString path = QDir::homePath() + QLatin1Char('/') + name;
    return writeTestFile(path, gpx) &&
           TrackManagerController::sharedInstance().addFiles({path}).has_value();
}
