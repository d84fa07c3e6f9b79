#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;
class QPlainTextEdit;

// The ingestion-log viewer: the months on the left, newest first, and the chosen month's file on
// the right, scrolled to its latest lines. A fresh window per show(), which re-reads the folder.
class IngestionLogWindow : public QDialog
{
    Q_OBJECT

public:
    explicit IngestionLogWindow(QWidget *parent = nullptr);

    // Runs the viewer modally; returns when it closes.
    static void show(QWidget *parent = nullptr);

    const QStringList &files() const { return m_files; }
    // Table row r shows the month at count - 1 - r.
    QString monthAtRow(int row) const;
    void readLogFiles();

public Q_SLOTS:
    void actionClose();
    void actionFinder();
    void tableViewSelectionDidChange();

private:
    QStringList m_files;
    QListWidget *m_table = nullptr;
    QPlainTextEdit *m_text = nullptr;
};
