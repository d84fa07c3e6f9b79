#pragma once

#include <QMainWindow>

class QPlainTextEdit;

// The main window. For now it shows the log pane and quits when closed.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

    QPlainTextEdit *logView() const { return m_logView; }

private:
    QPlainTextEdit *m_logView = nullptr;
};
