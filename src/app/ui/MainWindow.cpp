#include "app/ui/MainWindow.h"

#include <QApplication>
#include <QMenuBar>
#include <QPlainTextEdit>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Brindlewick"));
    m_logView = new QPlainTextEdit(this);
    m_logView->setObjectName(QStringLiteral("textViewLog"));
    m_logView->setReadOnly(true);
    setCentralWidget(m_logView);

    QMenu *fileMenu = menuBar()->addMenu(tr("&File"));
    QAction *quit = fileMenu->addAction(tr("&Quit"), qApp, &QApplication::quit);
    quit->setShortcut(QKeySequence::Quit);
    resize(1000, 700);
}
