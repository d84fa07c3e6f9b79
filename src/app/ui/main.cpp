#include "app/ui/DesktopIntegration.h"
#include "app/ui/GuiUserInterface.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QuorvaneAppDelegate.h"
#include "platform/DesktopNotifications.h"
#include "platform/WebEngineStartup.h"
#include "platform/media/MediaDecoders.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

int main(int argc, char **argv)
{
    // Before the application object: the web engine reads its settings when it first starts.
    WebEngineStartup::prepare();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brindlewick"));
    QApplication::setApplicationName(QStringLiteral("Brindlewick"));
    QApplication::setApplicationVersion(QStringLiteral(BRINDLEWICK_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    // The installed desktop entry: the window's identity for the desktop and its notifications.
    QApplication::setDesktopFileName(DesktopNotifications::kDesktopId);

    // HEIF pictures and movie frames in the browser and the viewer.
    MediaDecoders::install();

    GuiUserInterface ui;
    UserInterface::setInstance(&ui);

    MainWindow window;
    QuorvaneAppDelegate delegate(&window);
    // "brindlewick FOLDER" (or a file: address of one), as a desktop starts it on a card.
    if (const QStringList args = QApplication::arguments(); args.size() > 1) {
        const QUrl url =
            QUrl::fromUserInput(args.at(1), QDir::currentPath(), QUrl::AssumeLocalFile);
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir())
            delegate.setStartFolder(QFileInfo(url.toLocalFile()).absoluteFilePath());
    }
    delegate.awakeFromNib();
    // Cards put in, eject, notifications; without the services the program runs without them.
    DesktopIntegration desktop(delegate, QDBusConnection::systemBus(),
                               QDBusConnection::sessionBus());
    desktop.start();
    window.show();
    // The second phase runs inside the event loop, so the chooser it opens is a real modal run.
    QTimer::singleShot(0, &delegate, &QuorvaneAppDelegate::applicationDidFinishLaunching);
    const int code = app.exec();
    UserInterface::setInstance(nullptr);
    return code;
}
