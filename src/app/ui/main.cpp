#include "app/ui/GuiUserInterface.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QuorvaneAppDelegate.h"
#include "platform/WebEngineStartup.h"
#include "platform/media/MediaDecoders.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char **argv)
{
    // Before the application object: the web engine reads its settings when it first starts.
    WebEngineStartup::prepare();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brindlewick"));
    QApplication::setApplicationName(QStringLiteral("Brindlewick"));
    QApplication::setApplicationVersion(QStringLiteral(BRINDLEWICK_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);

    // HEIF pictures and movie frames in the browser and the viewer.
    MediaDecoders::install();

    GuiUserInterface ui;
    UserInterface::setInstance(&ui);

    MainWindow window;
    QuorvaneAppDelegate delegate(&window);
    delegate.awakeFromNib();
    window.show();
    // The second phase runs inside the event loop, so the chooser it opens is a real modal run.
    QTimer::singleShot(0, &delegate, &QuorvaneAppDelegate::applicationDidFinishLaunching);
    const int code = app.exec();
    UserInterface::setInstance(nullptr);
    return code;
}
