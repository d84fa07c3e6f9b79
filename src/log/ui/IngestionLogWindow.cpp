#include "log/ui/IngestionLogWindow.h"

#include "log/IngestionLogController.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QUrl>
#include <QVBoxLayout>

IngestionLogWindow::IngestionLogWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("IngestionLog"));
    setWindowTitle(QStringLiteral("Ingestion Log"));
    m_table = new QListWidget(this);
    m_table->setObjectName(QStringLiteral("tableMonths"));
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("textView"));
    m_text->setReadOnly(true);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(10);
    m_text->setFont(font);

    auto *splitter = new QSplitter(this);
    splitter->addWidget(m_table);
    splitter->addWidget(m_text);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({140, 620});

    auto *finder = new QPushButton(QStringLiteral("Show Folder"), this);
    finder->setObjectName(QStringLiteral("buttonFinder"));
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("buttonClose"));
    connect(finder, &QPushButton::clicked, this, &IngestionLogWindow::actionFinder);
    connect(close, &QPushButton::clicked, this, &IngestionLogWindow::actionClose);
    connect(m_table, &QListWidget::itemSelectionChanged, this,
            &IngestionLogWindow::tableViewSelectionDidChange);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(finder);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(800, 520);
    if (const QScreen *screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    readLogFiles();
}

void IngestionLogWindow::readLogFiles()
{
    m_files = IngestionLogController::readLogFiles();
    m_table->clear();
    for (int row = 0; row < m_files.size(); ++row)
        m_table->addItem(monthAtRow(row));
}

QString IngestionLogWindow::monthAtRow(int row) const
{
    if (row < 0 || row >= m_files.size())
        return QString();
    return m_files.at(m_files.size() - 1 - row);
}

void IngestionLogWindow::tableViewSelectionDidChange()
{
    const QList<QListWidgetItem *> selected = m_table->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = m_table->row(selected.first());
    if (row < 0 || row >= m_files.size())
        return;
    const std::optional<QString> text = IngestionLogController::readMonth(monthAtRow(row));
    m_text->setPlainText(text.value_or(QStringLiteral("[File not readable]")));
    // Lay the text out before scrolling, so the end is really the end.
    QCoreApplication::processEvents();
    m_text->moveCursor(QTextCursor::End);
    m_text->verticalScrollBar()->setValue(m_text->verticalScrollBar()->maximum());
}

void IngestionLogWindow::actionClose()
{
    close();
}

void IngestionLogWindow::actionFinder()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(IngestionLogController::initLogDir()));
}

void IngestionLogWindow::show(QWidget *parent)
{
    IngestionLogWindow window(parent);
    window.exec();
}
