#include "app/ui/MainWindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brindlewick"));
    QApplication::setApplicationName(QStringLiteral("Brindlewick"));
    QApplication::setApplicationVersion(QStringLiteral(BRINDLEWICK_VERSION));
    // Closing the main window ends the program.
    QApplication::setQuitOnLastWindowClosed(true);

    MainWindow window;
    window.show();
    return app.exec();
}
