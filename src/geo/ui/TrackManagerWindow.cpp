#include "geo/ui/TrackManagerWindow.h"

#include "geo/TrackManagerController.h"
#include "geo/ui/MapView.h"
#include "geo/ui/TrackAddWindow.h"
#include "platform/Format.h"
#include "platform/UserInterface.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

TrackManagerWindow::TrackManagerWindow(TrackManagerController &store, QWidget *parent)
    : QDialog(parent), m_store(store)
{
    setObjectName(QStringLiteral("TrackManager"));
    setWindowTitle(QStringLiteral("Track Manager"));

    m_table = new QTableWidget(0, 1, this);
    m_table->setObjectName(QStringLiteral("tableViewFiles"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("GPX Files")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->setWordWrap(false);
    auto *filesLabel = new QLabel(QStringLiteral("&Loaded files:"), this);
    filesLabel->setBuddy(m_table);

    auto *add = new QPushButton(QStringLiteral("&Add..."), this);
    add->setObjectName(QStringLiteral("buttonAdd"));
    add->setToolTip(QStringLiteral("Add GPX files, or read a GPS device"));
    m_remove = new QPushButton(QStringLiteral("&Remove"), this);
    m_remove->setObjectName(QStringLiteral("buttonRemove"));
    m_remove->setToolTip(QStringLiteral("Forget the selected files and their tracks (the files "
                                        "themselves stay on disk)"));
    m_remove->setEnabled(false);

    m_output = new QPlainTextEdit(this);
    m_output->setObjectName(QStringLiteral("textViewOutput"));
    m_output->setReadOnly(true);
    m_output->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(10);
    m_output->setFont(font);
    m_output->setTabStopDistance(QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')) * 4);
    auto *outputLabel = new QLabel(QStringLiteral("&Tracks in the selected file:"), this);
    outputLabel->setBuddy(m_output);

    m_map = new MapView(this);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("buttonOK"));
    ok->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(m_remove);
    buttons->addStretch();

    auto *left = new QWidget(this);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(filesLabel);
    leftLayout->addWidget(m_table, 2);
    leftLayout->addLayout(buttons);
    leftLayout->addWidget(outputLabel);
    leftLayout->addWidget(m_output, 3);

    auto *split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("splitter"));
    split->addWidget(left);
    split->addWidget(m_map);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    split->setChildrenCollapsible(false);
    left->setMinimumWidth(280);

    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);
    resize(1000, 640);
    setMinimumSize(640, 420);
    split->setSizes({380, 620});

    connect(add, &QPushButton::clicked, this, &TrackManagerWindow::actionAdd);
    connect(m_remove, &QPushButton::clicked, this, &TrackManagerWindow::actionRemove);
    connect(ok, &QPushButton::clicked, this, &TrackManagerWindow::actionOK);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TrackManagerWindow::tableViewSelectionDidChange);
    // Delete removes the selected files, as in any list of the desktop.
    auto *remove = new QShortcut(QKeySequence::Delete, m_table);
    remove->setContext(Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, this, &TrackManagerWindow::actionRemove);
    setTabOrder(m_table, add);
    setTabOrder(add, m_remove);
    setTabOrder(m_remove, m_output);
    setTabOrder(m_output, ok);
}

void TrackManagerWindow::run(TrackManagerController &store, bool wantActionAdd, QWidget *parent,
                             const QList<MapPages::Photo> &photos)
{
    TrackManagerWindow window(store, parent);
    window.setPhotos(photos);
    window.go(wantActionAdd);
    window.exec();
}

void TrackManagerWindow::go(bool wantActionAdd)
{
    m_store.readData();
    reloadTable();
    if (selectedRows().isEmpty()) {
        if (const std::optional<int> row = m_store.initialRow())
            selectRow(*row);
        else
            tableViewSelectionDidChange();
    }
    // The add dialog opens once this window is up, inside its modal run.
    if (wantActionAdd)
        QTimer::singleShot(0, this, &TrackManagerWindow::actionAdd);
}

QList<int> TrackManagerWindow::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TrackManagerWindow::reloadTable()
{
    const QSignalBlocker blocker(m_table->selectionModel());
    const QStringList &files = m_store.gpxfiles();
    m_table->clearSelection();
    m_table->setRowCount(int(files.size()));
    for (int row = 0; row < files.size(); ++row) {
        auto *item = new QTableWidgetItem(files[row]);
        item->setToolTip(files[row]);
        m_table->setItem(row, 0, item);
    }
}

void TrackManagerWindow::selectRow(int row)
{
    if (row < 0 || row >= m_table->rowCount())
        return;
    m_table->selectRow(row);
    m_table->scrollToItem(m_table->item(row, 0));
    tableViewSelectionDidChange();
}

void TrackManagerWindow::tableViewSelectionDidChange()
{
    const QList<int> rows = selectedRows();
    m_remove->setEnabled(!rows.isEmpty());
    const TrackManagerController::Selection selection = m_store.selectRows(rows);
    // The previous map goes; the new file's map (or an empty page) takes its place.
    std::optional<QString> page;
    if (selection.mapFile)
        page = m_store.showTrack(QFileInfo(*selection.mapFile).fileName(), *selection.mapFile,
                                 m_photos);
    m_map->setFileOnShow(selection.mapFile.value_or(QString()));
    m_map->showPage(page.value_or(QString()));
    m_output->setPlainText(selection.listing);
}

void TrackManagerWindow::actionAdd()
{
    {
        const QSignalBlocker blocker(m_table->selectionModel());
        m_table->clearSelection();
    }
    tableViewSelectionDidChange();
    TrackAddWindow dialog(this);
    dialog.controller().setConvertedFolder(m_store.presetsFolder() +
                                           QStringLiteral("/GPS/Converted"));
    dialog.controller().setLoadedFiles(m_store.gpxfiles());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::optional<QString> first = m_store.addFiles(dialog.files());
    reloadTable();
    if (first)
        selectRow(int(m_store.gpxfiles().indexOf(*first)));
}

void TrackManagerWindow::actionRemove()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    QStringList paths;
    for (int row : rows)
        if (row >= 0 && row < m_store.gpxfiles().size())
            paths.append(m_store.gpxfiles().at(row));
    m_store.removeFiles(paths);
    reloadTable();
    tableViewSelectionDidChange();
}

void TrackManagerWindow::actionOK()
{
    accept();
}

void TrackManagerWindow::done(int)
{
    // However the window closes (OK, Escape, the title bar) the store reaches the disk and the
    // run ends with OK. A store that cannot be written is said, not only logged: the files
    // added now would otherwise be gone at the next start without a word.
    if (!m_store.save())
        UserInterface::instance().alert(
            QStringLiteral("The list of loaded tracks could not be saved."),
            formatMessage("Brindlewick could not write %@. The tracks are used until the program "
                          "quits; add them again after making the folder writable.",
                          QFileInfo(m_store.gpxfilesPath()).absolutePath()));
    QDialog::done(QDialog::Accepted);
}
