#include "app/ui/MainWindow.h"

#include "app/ui/ImageBrowserView.h"
#include "metadata/ui/ExifTableView.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

EditingTextView::EditingTextView(QWidget *parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_quiet && !m_editing && hasFocus()) {
            m_editing = true;
            Q_EMIT textDidBeginEditing();
        }
    });
}

void EditingTextView::setTextQuietly(const QString &text)
{
    m_quiet = true;
    setPlainText(text);
    m_quiet = false;
}

void EditingTextView::focusOutEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusOutEvent(event);
    if (m_editing) {
        m_editing = false;
        Q_EMIT textDidEndEditing();
    }
}

namespace {

template <typename T> T *named(T *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Brindlewick"));

    // Top row: the source, the preset and the run.
    buttonChoose = named(new QPushButton(QStringLiteral("&Choose..."), this), "buttonChoose");
    buttonChoose->setToolTip(QStringLiteral("Choose a card, a folder or a camera (Ctrl+O)"));
    popupPresets = named(new QComboBox(this), "popupPresets");
    popupPresets->setMinimumWidth(200);
    buttonIngest = named(new QPushButton(QStringLiteral("I&ngest"), this), "buttonIngest");
    buttonIngest->setToolTip(QStringLiteral("Copy the ticked images (Ctrl+I)"));
    buttonPreview = named(new QPushButton(QStringLiteral("Previe&w..."), this), "buttonPreview");
    buttonPreview->setToolTip(
        QStringLiteral("What an ingestion would write for each ticked image (Ctrl+Shift+P)"));
    buttonPresets = named(new QPushButton(QStringLiteral("E&dit..."), this), "buttonPresets");
    buttonPresets->setToolTip(QStringLiteral("Make and change presets (Ctrl+E)"));
    buttonEject = named(new QPushButton(QStringLiteral("Eject Card"), this), "buttonEject");
    buttonEject->hide();
    sliderZoom = named(new QSlider(Qt::Horizontal, this), "sliderZoom");
    sliderZoom->setRange(10, 100);
    sliderZoom->setValue(40);
    sliderZoom->setMaximumWidth(160);
    labelWaitForThumbs =
        named(new QLabel(QStringLiteral("Waiting for thumbnails..."), this), "labelWaitForThumbs");
    labelWaitForThumbs->hide();
    auto *top = new QHBoxLayout;
    top->addWidget(buttonChoose);
    top->addWidget(labelWaitForThumbs);
    top->addStretch();
    auto *presetLabel = new QLabel(QStringLiteral("&Preset:"), this);
    presetLabel->setBuddy(popupPresets);
    top->addWidget(presetLabel);
    top->addWidget(popupPresets);
    top->addWidget(buttonPresets);
    top->addStretch();
    auto *zoomLabel = new QLabel(QStringLiteral("&Zoom"), this);
    zoomLabel->setBuddy(sliderZoom);
    top->addWidget(zoomLabel);
    top->addWidget(sliderZoom);
    top->addWidget(buttonPreview);
    top->addWidget(buttonIngest);
    top->addWidget(buttonEject);

    // Left: the browser and the "List" tab.
    tabView = named(new QTabWidget(this), "tabView");
    imageBrowser = new ImageBrowserView(this);
    tabView->addTab(imageBrowser, QStringLiteral("Images"));
    auto *listTab = new QWidget(this);
    tableList = named(new QTableWidget(0, 3, listTab), "tableList");
    tableList->setHorizontalHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Modified")});
    tableList->horizontalHeader()->setStretchLastSection(true);
    tableList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableList->verticalHeader()->hide();
    tableExtensions = named(new QListWidget(listTab), "tableExtensions");
    tableDates = named(new QListWidget(listTab), "tableDates");
    auto *listLayout = new QGridLayout(listTab);
    listLayout->addWidget(tableList, 0, 0, 4, 1);
    listLayout->addWidget(new QLabel(QStringLiteral("Types"), listTab), 0, 1);
    listLayout->addWidget(tableExtensions, 1, 1);
    listLayout->addWidget(new QLabel(QStringLiteral("Days"), listTab), 2, 1);
    listLayout->addWidget(tableDates, 3, 1);
    listLayout->setColumnStretch(0, 3);
    listLayout->setColumnStretch(1, 1);
    tabView->addTab(listTab, QStringLiteral("List"));

    // Right: one-image preview, editing controls, info pane.
    auto *right = new QWidget(this);
    previewBrowser = new ImageBrowserView(right);
    previewBrowser->setObjectName(QStringLiteral("previewBrowser"));
    previewBrowser->setBackgroundColor(
        QColor::fromRgbF(0.929411768913269f, 0.929411768913269f, 0.929411768913269f, 1.0f));
    previewBrowser->setFixedHeight(240);
    previewBrowser->setFillsView(true);
    previewBrowser->hide();
    checkboxImage = named(new QCheckBox(QStringLiteral("Show ima&ge"), right), "checkboxImage");
    labelMessage = named(new QLabel(right), "labelMessage");
    labelMessage->setAlignment(Qt::AlignCenter);
    labelMessage->setWordWrap(true);

    metadataPanel = named(new QWidget(right), "metadataPanel");
    labelCaption = named(new QLabel(QStringLiteral("Caption"), metadataPanel), "labelCaption");
    checkboxCaption =
        named(new QCheckBox(QStringLiteral("Apply"), metadataPanel), "checkboxCaption");
    textViewCaption = named(new EditingTextView(metadataPanel), "textViewCaption");
    textViewCaption->setFixedHeight(64);
    labelKeywords = named(new QLabel(QStringLiteral("Keywords"), metadataPanel), "labelKeywords");
    textViewKeywords = named(new EditingTextView(metadataPanel), "textViewKeywords");
    textViewKeywords->setFixedHeight(48);
    tableMetadata = named(new ExifTableView(metadataPanel), "tableMetadata");
    buttonTimeZone =
        named(new QPushButton(QStringLiteral("&Time Zone..."), metadataPanel), "buttonTimeZone");
    buttonTimeZone->setToolTip(
        QStringLiteral("The zone the camera clock was set to, for the selected images"));
    buttonTimeAdj =
        named(new QPushButton(QStringLiteral("Ad&just Time..."), metadataPanel), "buttonTimeAdj");
    buttonTimeAdj->setToolTip(
        QStringLiteral("Measure the camera clock's error from a picture of a known time"));
    labelTimeAdj = named(new QLabel(QStringLiteral("0 sec."), metadataPanel), "labelTimeAdj");
    auto *captionRow = new QHBoxLayout;
    captionRow->addWidget(labelCaption);
    captionRow->addStretch();
    captionRow->addWidget(checkboxCaption);
    auto *timeRow = new QHBoxLayout;
    timeRow->addWidget(buttonTimeZone);
    timeRow->addWidget(buttonTimeAdj);
    timeRow->addWidget(labelTimeAdj);
    timeRow->addStretch();
    auto *panelLayout = new QVBoxLayout(metadataPanel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addLayout(captionRow);
    panelLayout->addWidget(textViewCaption);
    panelLayout->addWidget(labelKeywords);
    panelLayout->addWidget(textViewKeywords);
    panelLayout->addWidget(tableMetadata, 1);
    panelLayout->addLayout(timeRow);

    webView = named(new QTextBrowser(right), "webView");
    webView->setOpenLinks(false);
    webView->setAcceptDrops(false);

    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(previewBrowser);
    rightLayout->addWidget(checkboxImage);
    rightLayout->addWidget(labelMessage);
    rightLayout->addWidget(metadataPanel, 5);
    rightLayout->addWidget(webView, 2);

    auto *split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(tabView);
    split->addWidget(right);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setSizes({760, 340});

    // Bottom: the log pane and the status line.
    textViewLog = named(new QPlainTextEdit(this), "textViewLog");
    textViewLog->setReadOnly(true);
    QFont mono(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPointSize(9);
    textViewLog->setFont(mono);
    labelStatus = named(new QLabel(this), "labelStatus");
    auto *vertical = new QSplitter(Qt::Vertical, this);
    vertical->addWidget(split);
    vertical->addWidget(textViewLog);
    vertical->setStretchFactor(0, 4);
    vertical->setStretchFactor(1, 1);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->addLayout(top);
    layout->addWidget(vertical, 1);
    layout->addWidget(labelStatus);
    setCentralWidget(central);

    const auto add = [](QMenu *menu, const char *name, const QString &text,
                        const QKeySequence &shortcut = QKeySequence()) {
        QAction *action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(shortcut);
        return action;
    };
    menuFile = named(menuBar()->addMenu(QStringLiteral("&File")), "menuFile");
    actionChoose = add(menuFile, "actionChoose", QStringLiteral("&Choose..."), QKeySequence::Open);
    actionPreview = add(menuFile, "actionPreview", QStringLiteral("Pre&view..."),
                        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    actionIngest = add(menuFile, "actionIngest", QStringLiteral("&Ingest"),
                       QKeySequence(Qt::CTRL | Qt::Key_I));
    menuFile->addSeparator();
    actionIngestionLog = add(menuFile, "actionIngestionLog", QStringLiteral("Ingestion &Log"),
                             QKeySequence(Qt::CTRL | Qt::Key_L));
    menuFile->addSeparator();
    actionQuit = add(menuFile, "actionQuit", QStringLiteral("&Quit"), QKeySequence::Quit);

    menuEdit = named(menuBar()->addMenu(QStringLiteral("&Edit")), "menuEdit");
    actionSelectAll =
        add(menuEdit, "actionSelectAll", QStringLiteral("Select &All"), QKeySequence::SelectAll);
    actionSelectNone = add(menuEdit, "actionSelectNone", QStringLiteral("Select &None"),
                           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    actionSelectChecked = add(menuEdit, "actionSelectChecked", QStringLiteral("Select C&hecked"));
    menuEdit->addSeparator();
    actionCheckAll = add(menuEdit, "actionCheckAll", QStringLiteral("&Check All"),
                         QKeySequence(Qt::CTRL | Qt::Key_K));
    actionCheckNone = add(menuEdit, "actionCheckNone", QStringLiteral("Check N&one"),
                          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K));
    menuEdit->addSeparator();
    actionPrefs = add(menuEdit, "actionPrefs", QStringLiteral("Pre&ferences..."),
                      QKeySequence(Qt::CTRL | Qt::Key_Comma));
    actionPrefs->setMenuRole(QAction::PreferencesRole);

    menuView = named(menuBar()->addMenu(QStringLiteral("&View")), "menuView");
    actionZoomIn = add(menuView, "actionZoomIn", QStringLiteral("Zoom &In"), QKeySequence::ZoomIn);
    actionZoomOut =
        add(menuView, "actionZoomOut", QStringLiteral("Zoom &Out"), QKeySequence::ZoomOut);
    actionRefresh = add(menuView, "actionRefresh", QStringLiteral("&Refresh Image Browser"),
                        QKeySequence::Refresh);
    menuView->addSeparator();
    actionImageViewer = add(menuView, "actionImageViewer", QStringLiteral("Image &Viewer..."),
                            QKeySequence(Qt::CTRL | Qt::Key_Return));
    actionMacroView = add(menuView, "actionMacroView", QStringLiteral("&Macro View"),
                          QKeySequence(Qt::CTRL | Qt::Key_M));

    menuImage = named(menuBar()->addMenu(QStringLiteral("&Image")), "menuImage");
    actionTimeZone = add(menuImage, "actionTimeZone", QStringLiteral("Time &Zone..."),
                         QKeySequence(Qt::CTRL | Qt::Key_T));
    actionTimeAdj = add(menuImage, "actionTimeAdj", QStringLiteral("Ad&just Time..."),
                        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    actionManuallyGeotag =
        add(menuImage, "actionManuallyGeotag", QStringLiteral("Manually &Geotag..."),
            QKeySequence(Qt::CTRL | Qt::Key_G));

    menuPresets = named(menuBar()->addMenu(QStringLiteral("P&resets")), "menuPresets");
    actionSetup = add(menuPresets, "actionSetup", QStringLiteral("&Edit Presets..."),
                      QKeySequence(Qt::CTRL | Qt::Key_E));
    actionLookups = add(menuPresets, "actionLookups", QStringLiteral("&Lookup Tables..."));

    menuGPS = named(menuBar()->addMenu(QStringLiteral("&GPS")), "menuGPS");
    actionTrackManager = add(menuGPS, "actionTrackManager", QStringLiteral("&Track Manager..."),
                             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G));
    actionLoadTrack = add(menuGPS, "actionLoadTrack", QStringLiteral("&Load Track..."),
                          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));

    menuHelp = named(menuBar()->addMenu(QStringLiteral("&Help")), "menuHelp");
    actionHelp = add(menuHelp, "actionHelp", QStringLiteral("Brindlewick &Help"),
                     QKeySequence::HelpContents);
    actionUpdateCheck = add(menuHelp, "actionUpdateCheck", QStringLiteral("Check for &Updates..."));

    resize(1180, 780);
}

void MainWindow::endEditing()
{
    if (QWidget *focused = QApplication::focusWidget(); focused && isAncestorOf(focused))
        focused->clearFocus();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    Q_EMIT windowWillClose();
    QMainWindow::closeEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Q_EMIT windowDidResize();
}
