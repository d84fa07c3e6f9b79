#include "app/ui/QuorvaneAppDelegate.h"

#include "app/HelpLinks.h"
#include "app/InfoPane.h"
#include "app/UpdateCheck.h"
#include "app/ui/HelpController.h"
#include "app/ui/ImageBrowserView.h"
#include "app/ui/LocationService.h"
#include "app/ui/MainWindow.h"
#include "geo/ManualTagController.h"
#include "geo/TimeAdjustController.h"
#include "geo/TimeZoneValue.h"
#include "geo/TrackManagerController.h"
#include "geo/ui/ManualTagWindow.h"
#include "geo/ui/TimeAdjustWindow.h"
#include "geo/ui/TimeZoneChooserWindow.h"
#include "geo/ui/TrackManagerWindow.h"
#include "ingest/IngestFiles.h"
#include "ingest/MetadataPreviewController.h"
#include "ingest/ui/MetadataPreviewWindow.h"
#include "items/ThumbListModel.h"
#include "log/IngestionLogController.h"
#include "log/ui/IngestionLogWindow.h"
#include "macro/MacroProcessor.h"
#include "macro/ui/MacroViewWindow.h"
#include "metadata/ECPrefsController.h"
#include "metadata/LookupsController.h"
#include "metadata/Metadata.h"
#include "metadata/ui/ExifTableView.h"
#include "metadata/ui/LookupsWindow.h"
#include "metadata/ui/PrefsWindow.h"
#include "platform/Defaults.h"
#include "platform/NotificationCenter.h"
#include "platform/UserInterface.h"
#include "presets/PresetFolderWatcher.h"
#include "presets/ui/PresetWindow.h"
#include "sources/ChooseInput.h"
#include "sources/ui/ChooseInputWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSlider>
#include <QStandardItemModel>
#include <QSysInfo>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBrowser>

namespace {

QPointer<QuorvaneAppDelegate> g_shared;
bool g_isIngesting = false;

const QString kWantEmbeddedGPS = QStringLiteral("WantEmbeddedGPS");
const QString kHideInitialHelp = QStringLiteral("HideInitialHelp");

// The log pane of the main window as the console log sees it.
class PlainTextLogPane : public LogPane
{
public:
    explicit PlainTextLogPane(QPlainTextEdit *view) : m_view(view) {}
    void append(const QString &text) override
    {
        if (!m_view)
            return;
        QTextCursor cursor(m_view->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(text);
    }
    void clear() override
    {
        if (m_view)
            m_view->clear();
    }
    void scrollToTop() override
    {
        if (m_view) {
            m_view->verticalScrollBar()->setValue(0);
            m_view->horizontalScrollBar()->setValue(0);
        }
    }

private:
    QPointer<QPlainTextEdit> m_view;
};

// While a run goes on, no click reaches the main window (the progress window stays usable).
class IngestClickBlocker : public QObject
{
public:
    IngestClickBlocker(MainWindow *window, QObject *parent) : QObject(parent), m_window(window) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!g_isIngesting)
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            if (auto *widget = qobject_cast<QWidget *>(watched);
                widget && m_window && widget->window() == m_window)
                return true;
            return false;
        default:
            return false;
        }
    }

private:
    QPointer<MainWindow> m_window;
};

// "6.1.0-13-amd64" -> "6.1.0".
QString kernelRelease()
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"))
            .match(QSysInfo::kernelVersion());
    return formatMessage("%d.%d.%d", match.captured(1).toInt(), match.captured(2).toInt(),
                         match.captured(3).toInt());
}

void *itemFrom(const Notification &note)
{
    const QVariant item = note.userInfo.value(QStringLiteral("item"));
    return item.isValid() ? item.value<void *>() : nullptr;
}

} // namespace

QuorvaneAppDelegate::QuorvaneAppDelegate(MainWindow *window, QObject *parent)
    : QObject(parent), m_window(window)
{
    m_model = new ThumbListModel(this);
    m_previewModel = new ThumbListModel(this);
    m_clearWaitTimer.setSingleShot(true);
    m_clearWaitTimer.setInterval(2000);
    connect(&m_clearWaitTimer, &QTimer::timeout, this, &QuorvaneAppDelegate::clearWaitForThumbs);
}

QuorvaneAppDelegate::~QuorvaneAppDelegate()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    ImageBrowserView::setIngestingProbe({});
    PresetWindow::setLookupsOpener(nullptr);
    if (g_shared == this)
        g_isIngesting = false;
}

QuorvaneAppDelegate *QuorvaneAppDelegate::sharedInstance()
{
    return g_shared;
}

bool QuorvaneAppDelegate::isIngesting()
{
    return g_isIngesting;
}

const ThumbItemList &QuorvaneAppDelegate::items() const
{
    return m_model->items();
}

Setup QuorvaneAppDelegate::currentSetup() const
{
    return m_setupController ? m_setupController->currentSetup() : Setup();
}

QVariantMap QuorvaneAppDelegate::presetMetadata() const
{
    return currentSetup().paramDict(QStringLiteral("Metadata"));
}

void QuorvaneAppDelegate::awakeFromNib()
{
    g_shared = this;
    g_isIngesting = false;
    ECPrefsController::init();
    m_locationManager = new LocationService(this);
    m_version = QCoreApplication::applicationVersion();

    IngestionLogController::log();
    IngestionLogController::log("LAUNCHED Brindlewick Version %@; Linux %@", m_version,
                                kernelRelease());

    connectWindow();

    // Makes the presets folder and reads the current preset's name and the presets.
    m_setupController = std::make_unique<SetupController>();
    m_metadataPreview = std::make_unique<MetadataPreviewController>();
    m_presetWatcher = new PresetFolderWatcher(m_setupController->presetsFolder(), this);
    // The preset window's Lookups button opens the lookup tables of the preset manager.
    PresetWindow::setLookupsOpener([this](QWidget *parent) {
        if (LookupsController *lookups = m_setupController->lookupsController())
            LookupsWindow::run(*lookups, parent);
    });
    connect(m_presetWatcher, &PresetFolderWatcher::changed, this,
            &QuorvaneAppDelegate::presetFolderChanged);

    m_logger = std::make_unique<Logger>();
    m_logPane = std::make_unique<PlainTextLogPane>(m_window->textViewLog);
    m_logger->setTextview(m_logPane.get());

    populatePresetsMenu();
}

void QuorvaneAppDelegate::connectWindow()
{
    MainWindow *w = m_window;
    connect(w->tableExtensions, &QListWidget::itemDoubleClicked, this,
            &QuorvaneAppDelegate::doubleclickExtension);
    connect(w->tableDates, &QListWidget::itemDoubleClicked, this,
            &QuorvaneAppDelegate::doubleclickDate);
    connect(w->buttonChoose, &QPushButton::clicked, this, &QuorvaneAppDelegate::actionChoose);
    connect(w->buttonIngest, &QPushButton::clicked, this, &QuorvaneAppDelegate::actionIngest);
    connect(w->actionChoose, &QAction::triggered, this, &QuorvaneAppDelegate::actionChoose);
    connect(w->actionIngest, &QAction::triggered, this, &QuorvaneAppDelegate::actionIngest);
    connect(w->actionQuit, &QAction::triggered, this, &QuorvaneAppDelegate::actionQuit);
    connect(w->actionSelectAll, &QAction::triggered, this, &QuorvaneAppDelegate::actionSelectAll);
    connect(w->actionSelectNone, &QAction::triggered, this, &QuorvaneAppDelegate::actionSelectNone);
    connect(w->actionSelectChecked, &QAction::triggered, this,
            &QuorvaneAppDelegate::actionSelectChecked);
    connect(w->actionCheckAll, &QAction::triggered, this, &QuorvaneAppDelegate::actionCheckAll);
    connect(w->actionCheckNone, &QAction::triggered, this, &QuorvaneAppDelegate::actionCheckNone);
    connect(w->actionRefresh, &QAction::triggered, this,
            &QuorvaneAppDelegate::actionRefreshImageBrowser);
    connect(w->actionIngestionLog, &QAction::triggered, this,
            &QuorvaneAppDelegate::actionIngestionLog);
    connect(w->actionHelp, &QAction::triggered, this, &QuorvaneAppDelegate::actionHelp);
    connect(w->actionPrefs, &QAction::triggered, this, &QuorvaneAppDelegate::actionPrefs);
    connect(w->actionLookups, &QAction::triggered, this, &QuorvaneAppDelegate::actionLookups);
    connect(w->actionUpdateCheck, &QAction::triggered, this,
            &QuorvaneAppDelegate::actionUpdateCheck);
    connect(w->buttonPreview, &QPushButton::clicked, this, &QuorvaneAppDelegate::actionPreview);
    connect(w->actionPreview, &QAction::triggered, this, &QuorvaneAppDelegate::actionPreview);
    connect(w->actionMacroView, &QAction::triggered, this, &QuorvaneAppDelegate::actionMacroView);
    connect(w->actionImageViewer, &QAction::triggered, this,
            &QuorvaneAppDelegate::actionImageViewer);
    connect(w->actionTimeZone, &QAction::triggered, this, &QuorvaneAppDelegate::actionTimeZone);
    connect(w->buttonTimeZone, &QPushButton::clicked, this, &QuorvaneAppDelegate::actionTimeZone);
    connect(w->actionTimeAdj, &QAction::triggered, this, &QuorvaneAppDelegate::actionTimeAdj);
    connect(w->buttonTimeAdj, &QPushButton::clicked, this, &QuorvaneAppDelegate::actionTimeAdj);
    connect(w->actionZoomIn, &QAction::triggered, this, [this] { stepZoom(10); });
    connect(w->actionZoomOut, &QAction::triggered, this, [this] { stepZoom(-10); });
    connect(w->actionTrackManager, &QAction::triggered, this,
            &QuorvaneAppDelegate::actionTrackManager);
    connect(w->actionLoadTrack, &QAction::triggered, this, &QuorvaneAppDelegate::actionLoadTrack);
    connect(w->actionManuallyGeotag, &QAction::triggered, this,
            &QuorvaneAppDelegate::actionManuallyGeotag);
    connect(w->sliderZoom, &QSlider::valueChanged, this, &QuorvaneAppDelegate::actionZoom);
    connect(w->popupPresets, &QComboBox::activated, this, &QuorvaneAppDelegate::actionSetupMenu);
    connect(w->buttonPresets, &QPushButton::clicked, this, &QuorvaneAppDelegate::actionSetup);
    connect(w->actionSetup, &QAction::triggered, this, &QuorvaneAppDelegate::actionSetup);
    connect(w->textViewCaption, &EditingTextView::textDidBeginEditing, this,
            [this] { m_editor.textDidBeginEditing(); });
    connect(w->textViewKeywords, &EditingTextView::textDidBeginEditing, this,
            [this] { m_editor.textDidBeginEditing(); });
    const auto ended = [this] {
        if (!m_editor.didBeginEditing())
            return;
        const auto [caption, keywords] =
            m_editor.textDidEndEditing(m_window->textViewCaption->text(),
                                       m_window->textViewKeywords->text(), presetMetadata());
        m_window->checkboxCaption->setChecked(true);
        m_window->textViewCaption->setTextQuietly(caption);
        m_window->textViewKeywords->setTextQuietly(keywords);
    };
    connect(w->textViewCaption, &EditingTextView::textDidEndEditing, this, ended);
    connect(w->textViewKeywords, &EditingTextView::textDidEndEditing, this, ended);
    connect(w->checkboxCaption, &QCheckBox::toggled, this,
            [this](bool on) { m_editor.setCaptionTicked(on); });
    connect(w->checkboxImage, &QCheckBox::toggled, this,
            [this] { imageBrowserSelectionDidChange(); });
    // The table serves the selected images: it skips the fields that have their own views,
    // shows the layout's fields only, and an emptied cell falls back to the preset. Its
    // "TimeZone" row takes only zones the time-zone database knows.
    ExifTableModel *table = w->tableMetadata->exifModel();
    table->setSkipCaptionAndKeywords(true);
    table->setEmptyMeansPreset(true);
    // Its "TimeZone" row opens the time zone chooser, which lists only real zones; a zone typed
    // into the cell is still taken, checked against the time-zone database.
    w->tableMetadata->setTimeZoneChooser(
        [](QWidget *parent) { return TimeZoneChooserWindow::choose(parent); });
    table->setTimeZoneTypedAllowed(true);
}

void QuorvaneAppDelegate::applicationDidFinishLaunching()
{
    if (!Defaults::contains(kWantEmbeddedGPS))
        Defaults::set(kWantEmbeddedGPS, true);

    NotificationCenter &center = NotificationCenter::defaultCenter();
    const auto observe = [&](const char *name,
                             void (QuorvaneAppDelegate::*handler)(const Notification &)) {
        center.addObserver(this, QString::fromLatin1(name),
                           [this, handler](const Notification &note) { (this->*handler)(note); });
    };
    observe("ThumbHasArrived", &QuorvaneAppDelegate::receiveThumbHasArrived);
    observe("UpdateImageMarkers", &QuorvaneAppDelegate::receiveUpdateImageMarkers);
    observe("StatusDisplayChange", &QuorvaneAppDelegate::receiveStatusDisplayChange);
    observe("ShowInfo", &QuorvaneAppDelegate::receiveShowInfo);
    observe("ShowViewer", &QuorvaneAppDelegate::receiveShowViewer);
    observe("FinishedChoosing", &QuorvaneAppDelegate::receiveFinishedChoosing);
    observe("IngestionComplete", &QuorvaneAppDelegate::receiveIngestionComplete);

    m_ingestFiles = std::make_unique<IngestFiles>();

    // The browsers.
    m_window->imageBrowser->setThumbModel(m_model);
    m_window->imageBrowser->setZoomValue(0.4);
    m_window->previewBrowser->setThumbModel(m_previewModel);
    m_window->previewBrowser->setZoomValue(0.5);
    m_window->previewBrowser->hide();
    ImageBrowserView::setIngestingProbe([] { return g_isIngesting; });
    // Both browsers draw the same items: a change of ticks or marks seen by one (Check None, a
    // tick click, an ingested mark) is redrawn by the other too.
    const auto redraw = [](ImageBrowserView *view) {
        return [view] { view->viewport()->update(); };
    };
    connect(m_model, &QAbstractItemModel::dataChanged, m_window->previewBrowser,
            redraw(m_window->previewBrowser));
    connect(m_previewModel, &QAbstractItemModel::dataChanged, m_window->imageBrowser,
            redraw(m_window->imageBrowser));
    connect(m_window->imageBrowser->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &QuorvaneAppDelegate::imageBrowserSelectionDidChange);
    qApp->installEventFilter(new IngestClickBlocker(m_window, this));

    // The window's own duties: closing quits, resizing keeps the value column filling the
    // table, the zoom slider belongs to the picture tab only.
    connect(m_window, &MainWindow::windowWillClose, this, &QuorvaneAppDelegate::actionQuit);
    const auto tabChanged = [this](int index) {
        m_window->sliderZoom->setVisible(m_window->tabView->tabText(index) !=
                                         QStringLiteral("List"));
    };
    connect(m_window->tabView, &QTabWidget::currentChanged, this, tabChanged);
    tabChanged(m_window->tabView->currentIndex());

    QCoreApplication::processEvents();
    instructions();
    m_editor.setWasLaunched(true);
    m_window->textViewCaption->setReadOnly(true);
    m_window->textViewKeywords->setReadOnly(true);
    showControls(false, false);

    QCoreApplication::processEvents();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    Q_EMIT m_window->windowDidResize();

    if (!Defaults::boolean(kHideInitialHelp)) {
        actionHelp();
        Defaults::set(kHideInitialHelp, true);
    }
    UpdateCheck::updateCheck();
    if (m_startFolder.isEmpty())
        actionChoose();
    else
        chooseFolder(m_startFolder);
    logScrollToTop();
}

// Notifications.

void QuorvaneAppDelegate::receiveThumbHasArrived(const Notification &)
{
    m_window->imageBrowser->reloadData();
}

void QuorvaneAppDelegate::receiveUpdateImageMarkers(const Notification &)
{
    m_window->imageBrowser->reloadData();
}

void QuorvaneAppDelegate::receiveStatusDisplayChange(const Notification &)
{
    showStatus();
}

void QuorvaneAppDelegate::receiveShowInfo(const Notification &note)
{
    auto *item = static_cast<ThumbItem *>(itemFrom(note));
    if (!item)
        return;
    const int row = m_model->rowOf(item);
    if (row < 0)
        return;
    showMacroViewForItem(m_model->itemAt(row));
}

void QuorvaneAppDelegate::receiveShowViewer(const Notification &note)
{
    auto *item = static_cast<ThumbItem *>(itemFrom(note));
    if (!item)
        return;
    // Not in the list: the position is the list's length, and the viewer starts at the first.
    const int row = m_model->rowOf(item);
    openImageViewer(row < 0 ? items().size() : row);
}

void QuorvaneAppDelegate::receiveFinishedChoosing(const Notification &)
{
    // Edits still pending belong to the images they were made for, which the browser shows
    // until the new list replaces them: they are committed there first, and the selection they
    // named is forgotten, so nothing typed for the old images lands on the new ones.
    m_window->endEditing();
    updateSelectedImages();
    m_editor.setSelectedImages({});
    m_editor.setDirty(false);
    m_editor.setCaptionTicked(false);
    m_window->checkboxCaption->setChecked(false);
    m_window->tableMetadata->exifModel()->clearChangeCheckboxes();

    // The browser, the list table and the driver all see the list the chooser filled.
    m_model->setItems(m_itemList);
    m_editor.setSelectedImages(m_window->imageBrowser->selectedRows());
    if (m_ingestFiles)
        m_ingestFiles->setItems(m_itemList);
    m_window->imageBrowser->reloadData();
    reloadListTable();
    populateSelectionLists();
    m_window->textViewCaption->setReadOnly(true);
    m_window->textViewKeywords->setReadOnly(true);
    if (items().isEmpty())
        showControls(false, false);
    scheduleOrderMeFront();

    QListWidget *dates = m_window->tableDates;
    if (dates->count() > 0) {
        // Days sort ascending: the last is the newest.
        dates->setCurrentRow(dates->count() - 1);
        dates->scrollToItem(dates->item(dates->count() - 1));
        doubleclickDate();
        const QList<int> selected = m_window->imageBrowser->selectedRows();
        for (int row : selected)
            if (const ThumbItemPtr item = m_model->itemAt(row); item && !item->excluded)
                item->checked = true;
        m_window->imageBrowser->reloadData();
        // The browser opens at the first row of the new day (the first row of all when every
        // image is selected), not scrolled to the day's last image.
        if (!selected.isEmpty())
            m_window->imageBrowser->scrollTo(m_model->index(selected.first()),
                                             QAbstractItemView::PositionAtTop);
    }
    showStatus();
}

void QuorvaneAppDelegate::receiveIngestionComplete(const Notification &)
{
    g_isIngesting = false;
}

// The status line and the controls.

void QuorvaneAppDelegate::showStatus()
{
    m_numChecked = SelectionEditor::countChecked(items());
    m_window->labelStatus->setText(SelectionEditor::statusText(
        m_window->imageBrowser->selectedRows().size(), m_numChecked, items().size()));
}

void QuorvaneAppDelegate::showControls(bool show, bool)
{
    MainWindow *w = m_window;
    for (QWidget *view :
         {static_cast<QWidget *>(w->labelTimeAdj), static_cast<QWidget *>(w->buttonTimeAdj),
          static_cast<QWidget *>(w->buttonTimeZone), static_cast<QWidget *>(w->tableMetadata),
          static_cast<QWidget *>(w->textViewCaption), static_cast<QWidget *>(w->textViewKeywords),
          static_cast<QWidget *>(w->labelCaption), static_cast<QWidget *>(w->labelKeywords),
          static_cast<QWidget *>(w->checkboxCaption)})
        view->setVisible(show);
    w->metadataPanel->setVisible(show);
    w->labelMessage->setVisible(!show);
    if (!show)
        w->labelMessage->setText(items().isEmpty()
                                     ? QStringLiteral("Choose input")
                                     : QStringLiteral("Select images(s) to enter metadata"));
}

void QuorvaneAppDelegate::orderMeFront()
{
    m_window->raise();
    m_window->activateWindow();
}

void QuorvaneAppDelegate::scheduleOrderMeFront()
{
    QTimer::singleShot(100, this, &QuorvaneAppDelegate::orderMeFront);
}

void QuorvaneAppDelegate::clearWaitForThumbs()
{
    m_window->labelWaitForThumbs->hide();
}

void QuorvaneAppDelegate::instructions()
{
    m_window->webView->setSource(HelpLinks::startPage());
    m_window->webView->show();
}

// Presets.

// Fills the main window's pop-up; damaged presets are listed but cannot be chosen.
static void fillPresetPopup(QComboBox *popup, const PresetMenu &menu)
{
    popup->blockSignals(true);
    popup->clear();
    for (const QString &title : menu.titles) {
        if (title.isEmpty()) {
            popup->insertSeparator(popup->count());
            continue;
        }
        popup->addItem(title);
        if (menu.damagedTitles.contains(title)) {
            if (auto *items = qobject_cast<QStandardItemModel *>(popup->model())) {
                QStandardItem *item = items->item(popup->count() - 1);
                item->setEnabled(false);
                item->setToolTip(QStringLiteral("The preset file is damaged and can't be used."));
            }
        }
    }
    popup->setCurrentIndex(popup->findText(menu.selectedTitle));
    popup->blockSignals(false);
}

void QuorvaneAppDelegate::populatePresetsMenu()
{
    // Loaded first: a damaged remembered preset leaves "Default" current, and the pop-up
    // then selects that.
    const QString wanted = m_setupController->currentSetupName();
    const std::optional<QString> damage = m_setupController->presetFileProblem(wanted);
    m_setupController->makeCurrent(wanted);
    fillPresetPopup(m_window->popupPresets, m_setupController->populatePresetsMenu(false));
    buildInclusionsDict();
    displayPreset();
    if (damage) {
        logPrint("\nERROR: %@\n", *damage);
        UserInterface::instance().alert(QStringLiteral("Can't use preset."), *damage);
    }
}

void QuorvaneAppDelegate::presetFolderChanged()
{
    // The preset window follows the folder itself while it is open; this one catches up after.
    if (m_presetWindowOpen)
        return;
    SetupController &presets = *m_setupController;
    presets.readPresets();
    const QString name = presets.currentSetupName();
    const bool listed = presets.listedName(name).has_value();
    if (presets.changedOnDisk() || presets.isDamaged(name)) {
        if (!listed || presets.isDamaged(name)) {
            logPrint("\nPreset \"%@\" was removed or damaged by another program; using "
                     "Default.\n",
                     name);
            presets.setCurrentSetupName(SetupController::kDefault);
        } else {
            logPrint("\nPreset \"%@\" was changed by another program and has been reloaded.\n",
                     name);
        }
        presets.makeCurrent(presets.currentSetupName());
        buildInclusionsDict();
        if (m_window->imageBrowser->selectionModel())
            showMetadata({});
    }
    fillPresetPopup(m_window->popupPresets, presets.populatePresetsMenu(false));
}

void QuorvaneAppDelegate::actionSetup()
{
    m_window->endEditing();
    updateSelectedImages();
    m_presetWindowOpen = true;
    PresetWindow::run(*m_setupController, m_window);
    m_presetWindowOpen = false;
    m_setupController->readPresets();
    populatePresetsMenu();
}

void QuorvaneAppDelegate::displayPreset()
{
    logClear();
    logPrint("Brindlewick Version %@\n", m_version);
    m_setupController->currentSetup().putlog();
    if (m_window->imageBrowser->selectionModel())
        m_window->imageBrowser->selectionModel()->clearSelection();
    logScrollToTop();
}

void QuorvaneAppDelegate::buildInclusionsDict()
{
    m_inclusions =
        SelectionEditor::parseInclusions(currentSetup().paramString(QStringLiteral("Inclusions")));
    for (const ThumbItemPtr &item : items())
        item->setExclusionFlag(m_inclusions);
    m_window->imageBrowser->reloadData();
    showStatus();
}

void QuorvaneAppDelegate::actionSetupMenu()
{
    m_window->endEditing();
    updateSelectedImages();
    const QString title = m_window->popupPresets->currentText();
    if (title.isEmpty())
        return;
    // A damaged preset is never used (its entry is disabled; the file may also have been
    // damaged since the pop-up was filled).
    const QString name = title.endsWith(SetupController::kDamaged)
                             ? title.chopped(SetupController::kDamaged.size())
                             : title;
    if (const auto damage = m_setupController->presetFileProblem(name)) {
        UserInterface::instance().alert(QStringLiteral("Can't use preset."), *damage);
        populatePresetsMenu();
        return;
    }
    m_setupController->setCurrentSetupName(title);
    m_setupController->makeCurrent(title);
    m_setupController->savePresetName();
    buildInclusionsDict();
    displayPreset();
}

// Selection and editing.

bool QuorvaneAppDelegate::isDirty() const
{
    return m_editor.isDirty(m_window->tableMetadata->exifModel()->dirty());
}

QList<MetadataEditRow> QuorvaneAppDelegate::metadataTableRows() const
{
    QList<MetadataEditRow> rows;
    for (const MetadataPtr &field : m_window->tableMetadata->exifModel()->rows()) {
        MetadataEditRow row;
        row.tag = field->tag;
        row.val = ExifTableModel::valueText(field->val);
        row.valNew = field->valNew;
        row.change = field->change;
        row.changeable = field->changeable;
        rows.append(row);
    }
    return rows;
}

void QuorvaneAppDelegate::updateSelectedImages()
{
    ExifTableModel *table = m_window->tableMetadata->exifModel();
    if (m_editor.updateSelectedImages(
            items(), metadataTableRows(), m_window->textViewCaption->text(),
            m_window->textViewKeywords->text(), presetMetadata(), table->dirty()))
        table->clearChangeCheckboxes();
}

void QuorvaneAppDelegate::imageBrowserSelectionDidChange()
{
    if (m_selectionGuard)
        return;
    m_window->endEditing();
    if (isDirty()) {
        m_selectionGuard = true;
        updateSelectedImages();
        m_selectionGuard = false;
    }
    const QList<int> selection = m_window->imageBrowser->selectedRows();
    m_editor.setSelectedImages(selection);
    const bool any = !selection.isEmpty();
    m_window->textViewCaption->setReadOnly(!any);
    m_window->textViewKeywords->setReadOnly(!any);
    m_window->tableMetadata->setEnabled(any);
    m_window->tableMetadata->exifModel()->setEditable(any);
    showControls(any, selection.size() == 1);

    const ThumbItemPtr first = any ? m_model->itemAt(selection.first()) : nullptr;
    const bool preview = selection.size() == 1 && m_window->checkboxImage->isChecked() && first;
    m_previewModel->setItems(preview ? ThumbItemList{first} : ThumbItemList{});
    m_window->previewBrowser->setVisible(preview);

    QList<QVariantMap> maps;
    showMetadata(maps);
    showStatus();
    showImageData(selection.size() == 1 ? first.get() : nullptr);
}

void QuorvaneAppDelegate::showMetadata(const QList<QVariantMap> &)
{
    m_editor.showMetadata(items(), m_editor.selectedImages(), presetMetadata());
    m_window->textViewCaption->setTextQuietly(m_editor.captionEffective());
    m_window->checkboxCaption->setChecked(false);
    m_editor.setCaptionTicked(false);
    m_window->textViewKeywords->setTextQuietly(m_editor.keywordsEffective());
    showCombinedInTable();
}

void QuorvaneAppDelegate::showCombinedInTable()
{
    QVariantMap values;
    const QMap<QString, QString> &combined = m_editor.combinedMetadata();
    for (auto it = combined.cbegin(); it != combined.cend(); ++it)
        values.insert(it.key(), it.value());
    // Every catalogue field can be given a value, also one the preset does not carry: such a
    // value is written with the images all the same.
    if (!m_editor.selectedImages().isEmpty()) {
        for (const QString &key : Metadata::iptcKeys()) {
            if (!values.contains(key))
                values.insert(key, QString());
        }
    }
    const QStringList keys = values.keys();
    ExifTableView *table = m_window->tableMetadata;
    table->exifModel()->setPresetMetadata(presetMetadata());
    table->showMetadata(values, QSet<QString>(keys.cbegin(), keys.cend()), true,
                        m_editor.presetFilledKeys());
}

void QuorvaneAppDelegate::showImageData(ThumbItem *item)
{
    m_window->webView->show();
    m_window->webView->setHtml(InfoPane::imageDataHtml(item));
}

void QuorvaneAppDelegate::populateSelectionLists()
{
    m_window->tableExtensions->clear();
    m_window->tableExtensions->addItems(SelectionEditor::extensionsOf(items()));
    m_window->tableDates->clear();
    m_window->tableDates->addItems(SelectionEditor::datesOf(items()));
    m_window->tableExtensions->clearSelection();
    m_window->tableDates->clearSelection();
}

void QuorvaneAppDelegate::reloadListTable()
{
    QTableWidget *table = m_window->tableList;
    table->setRowCount(int(items().size()));
    for (int row = 0; row < items().size(); ++row) {
        const ThumbItemPtr &item = items()[row];
        table->setItem(row, 0, new QTableWidgetItem(item->title()));
        table->setItem(row, 1, new QTableWidgetItem(SelectionEditor::extensionOf(item->title())));
        table->setItem(row, 2, new QTableWidgetItem(item->modTime()));
    }
}

void QuorvaneAppDelegate::doubleclickExtension()
{
    QListWidget *list = m_window->tableExtensions;
    const int row = list->currentRow();
    if (row < 0 || row >= list->count())
        return;
    const QList<int> rows = SelectionEditor::indexesWithExtension(items(), list->item(row)->text());
    m_window->imageBrowser->selectRows(rows, true);
    if (!rows.isEmpty())
        m_window->imageBrowser->scrollTo(m_model->index(rows.last()));
}

void QuorvaneAppDelegate::doubleclickDate()
{
    QListWidget *list = m_window->tableDates;
    const int row = list->currentRow();
    if (row < 0 || row >= list->count())
        return;
    const QList<int> rows = SelectionEditor::indexesOfDate(items(), list->item(row)->text());
    m_window->imageBrowser->selectRows(rows, true);
    if (!rows.isEmpty())
        m_window->imageBrowser->scrollTo(m_model->index(rows.last()));
}

void QuorvaneAppDelegate::actionSelectChecked()
{
    QList<int> rows;
    for (int i = 0; i < items().size(); ++i)
        if (items()[i]->checked)
            rows.append(i);
    m_window->imageBrowser->selectRows(rows, true);
    if (!rows.isEmpty())
        m_window->imageBrowser->scrollTo(m_model->index(rows.last()));
    showStatus();
}

void QuorvaneAppDelegate::actionSelectAll()
{
    m_window->endEditing();
    m_window->imageBrowser->selectAll();
}

void QuorvaneAppDelegate::actionSelectNone()
{
    m_window->endEditing();
    m_window->imageBrowser->clearSelection();
}

void QuorvaneAppDelegate::actionCheckAll()
{
    SelectionEditor::checkAll(items());
    m_window->imageBrowser->reloadData();
    NotificationCenter::defaultCenter().post(QStringLiteral("StatusDisplayChange"), this);
}

void QuorvaneAppDelegate::actionCheckNone()
{
    SelectionEditor::checkNone(items());
    m_window->imageBrowser->reloadData();
    NotificationCenter::defaultCenter().post(QStringLiteral("StatusDisplayChange"), this);
}

void QuorvaneAppDelegate::actionZoom()
{
    m_window->imageBrowser->setZoomValue(m_window->sliderZoom->value() / 100.0);
}

// The actions that hand the images to other windows.

qint64 QuorvaneAppDelegate::firstSelectedPosition() const
{
    const QList<int> selection = m_window->imageBrowser->selectedRows();
    return selection.isEmpty() ? items().size() : selection.first();
}

void QuorvaneAppDelegate::stepZoom(int delta)
{
    QSlider *slider = m_window->sliderZoom;
    slider->setValue(qBound(slider->minimum(), slider->value() + delta, slider->maximum()));
}

void QuorvaneAppDelegate::actionPreview()
{
    m_window->endEditing();
    updateSelectedImages();
    showStatus();
    if (m_numChecked == 0) {
        UserInterface::instance().alert(QStringLiteral("Nothing to preview."),
                                        QStringLiteral("Choose some images to ingest."));
        return;
    }
    m_ingestFiles->setItems(items());
    m_ingestFiles->go(currentSetup(), true);
    m_metadataPreview->items = m_ingestFiles->items();
    m_metadataPreview->numMissingData = m_ingestFiles->numMissingData();
    MetadataPreviewWindow window(*m_metadataPreview, m_window);
    if (window.go())
        window.exec();
    // The preview run clears the ingested marks.
    m_window->imageBrowser->reloadData();
}

void QuorvaneAppDelegate::openImageViewer(qint64 startIndex)
{
    ImageBrowserView *browser = m_window->imageBrowser;
    TimeAdjustWindow::adjust(
        items(), nullptr, [browser] { browser->reloadData(); }, startIndex, m_window);
    showStatus();
    m_window->imageBrowser->reloadData();
}

void QuorvaneAppDelegate::actionImageViewer()
{
    m_window->endEditing();
    if (items().isEmpty()) {
        UserInterface::instance().alert(QStringLiteral("No images chosen."),
                                        QStringLiteral("Click Choose button to choose images."));
        return;
    }
    openImageViewer(firstSelectedPosition());
}

void QuorvaneAppDelegate::actionTimeZone()
{
    m_window->endEditing();
    // The zone belongs to the selected images; with none it would go nowhere.
    if (m_window->imageBrowser->selectedRows().isEmpty()) {
        UserInterface::instance().alert(QStringLiteral("Select one or more images."),
                                        QStringLiteral("The time zone is set for the selected "
                                                       "images."));
        return;
    }
    const std::optional<QString> zone = TimeZoneChooserWindow::choose(m_window);
    if (!zone || zone->isEmpty())
        return;
    const QString key = QStringLiteral("TimeZone");
    m_editor.setCombinedValue(key, *zone);
    // The table's row takes it with its tick, beside any other edit not yet committed; the
    // commit brings it to the selected images.
    ExifTableModel *table = m_window->tableMetadata->exifModel();
    if (table->metadataForTag(key)) {
        table->updateTag(key, *zone);
        return;
    }
    // A field layout without the row: the zone reaches the selected images all the same.
    for (int row : m_window->imageBrowser->selectedRows()) {
        if (const ThumbItemPtr item = m_model->itemAt(row)) {
            if (!item->metadataUser)
                item->metadataUser = QVariantMap();
            item->metadataUser->insert(key, *zone);
        }
    }
}

void QuorvaneAppDelegate::actionTimeAdj()
{
    m_window->endEditing();
    if (items().isEmpty()) {
        UserInterface::instance().alert(QStringLiteral("No images chosen."),
                                        QStringLiteral("Click Choose button to choose images."));
        return;
    }
    qint64 adjustment = 0;
    if (!TimeAdjustWindow::adjust(items(), &adjustment, {}, firstSelectedPosition(), m_window))
        return;
    m_window->labelTimeAdj->setText(TimeAdjustController::adjustmentReport(adjustment));
    TrackManagerController::sharedInstance().setTimeAdjustment(adjustment);
}

// The other actions.

bool QuorvaneAppDelegate::refuseWhileThumbsArrive()
{
    m_window->labelWaitForThumbs->hide();
    // Camera pictures still on their way: refuse, and say so for two seconds.
    for (const ThumbItemPtr &item : items()) {
        if (item->isCameraItem() && item->image.size().isEmpty()) {
            m_window->labelWaitForThumbs->show();
            m_clearWaitTimer.start();
            return true;
        }
    }
    return false;
}

void QuorvaneAppDelegate::actionChoose()
{
    if (refuseWhileThumbsArrive())
        return;
    m_window->endEditing();
    m_window->labelMessage->setText(QString());
    if (m_chooserRunner)
        m_chooserRunner(*this);
    else
        runDefaultChooser();
    orderMeFront();
}

bool QuorvaneAppDelegate::chooseFolder(const QString &folder)
{
    if (refuseWhileThumbsArrive())
        return false;
    m_window->endEditing();
    m_window->labelMessage->setText(QString());
    m_chooser.reset();
    m_chooser = std::make_unique<ChooseInput>();
    m_chooser->setMImageBrowserController(&m_itemList);
    m_chooser->setInclusions(m_inclusions);
    m_chooser->folderChosen(folder);
    orderMeFront();
    return true;
}

void QuorvaneAppDelegate::runDefaultChooser()
{
    // The previous chooser goes first; the new one stays after its window closes, serving the
    // cameras it found until the next Choose.
    m_chooser.reset();
    m_chooser = std::make_unique<ChooseInput>();
    m_chooser->setMImageBrowserController(&m_itemList);
    m_chooser->setInclusions(m_inclusions);
    ChooseInputWindow window(*m_chooser, m_window);
    window.exec();
}

void QuorvaneAppDelegate::actionMacroView()
{
    m_window->endEditing();
    updateSelectedImages();
    const QList<int> selection = m_window->imageBrowser->selectedRows();
    if (selection.isEmpty()) {
        UserInterface::instance().alert(QStringLiteral("No image to view."),
                                        QStringLiteral("Select an image."));
        return;
    }
    if (const ThumbItemPtr item = m_model->itemAt(selection.first()))
        showMacroViewForItem(item);
}

void QuorvaneAppDelegate::showMacroViewForItem(const ThumbItemPtr &item)
{
    if (!item || !m_ingestFiles)
        return;
    updateSelectedImages();
    if (!m_macroView) {
        m_macroView = new MacroViewWindow(m_window);
        m_macroView->setViewLocator(m_window->metadataPanel);
    }
    const Setup setup = currentSetup();
    m_ingestFiles->computeShoot(*item, setup);
    item->index = 1;
    m_macroView->showItem(item, m_ingestFiles->macroProcessor(), setup);
}

void QuorvaneAppDelegate::actionIngest()
{
    m_window->endEditing();
    updateSelectedImages();
    g_isIngesting = true;
    if (m_ingestRunner)
        m_ingestRunner(currentSetup(), items());
    else if (m_ingestFiles)
        m_ingestFiles->go(currentSetup(), false);
    else
        g_isIngesting = false;
}

void QuorvaneAppDelegate::actionHelp()
{
    HelpController::show();
}

void QuorvaneAppDelegate::actionUpdateCheck()
{
    UpdateCheck::doCheckForUpdate(true);
}

void QuorvaneAppDelegate::actionIngestionLog()
{
    IngestionLogWindow::show(m_window);
}

void QuorvaneAppDelegate::actionPrefs()
{
    m_window->endEditing();
    if (m_macroView)
        m_macroView->close();
    PrefsWindow::run(m_window);
    // Custom fields and the layout take effect at once: the catalogue, the default preset and
    // the macro list are rebuilt, and the current preset drops fields no longer defined.
    Metadata::resetIptcMetadata();
    Setup::resetDefaultSetup();
    MacroProcessor::resetMacros();
    SetupController::removeUndefinedMetadataFromSetup(m_setupController->currentSetup());
    // Re-applying the preset clears the selection; the images the user had selected stay
    // selected, and the metadata table shows them in the new layout.
    const QList<int> selected = m_window->imageBrowser->selectedRows();
    actionSetupMenu();
    actionRefreshImageBrowser();
    if (!selected.isEmpty())
        m_window->imageBrowser->selectRows(selected, false);
    updateSelectedImages();
}

void QuorvaneAppDelegate::actionLookups()
{
    if (LookupsController *lookups = m_setupController->lookupsController())
        LookupsWindow::run(*lookups, m_window);
}

void QuorvaneAppDelegate::actionTrackManager()
{
    m_window->endEditing();
    TrackManagerWindow::run(
        TrackManagerController::sharedInstance(), false, m_window,
        ManualTagController::photosOf(items(), m_window->imageBrowser->selectedRows()));
}

void QuorvaneAppDelegate::actionLoadTrack()
{
    m_window->endEditing();
    TrackManagerWindow::run(
        TrackManagerController::sharedInstance(), true, m_window,
        ManualTagController::photosOf(items(), m_window->imageBrowser->selectedRows()));
}

void QuorvaneAppDelegate::actionManuallyGeotag()
{
    m_window->endEditing();
    const QList<int> rows = m_window->imageBrowser->selectedRows();
    if (ManualTagController::refuseEmptySelection(rows))
        return;
    const auto [lat, lon] =
        m_locationManager ? m_locationManager->current() : std::pair<double, double>{0.0, 0.0};
    const std::optional<QStringList> answer = ManualTagWindow::getCoordinates(
        {}, lat, lon, m_window, ManualTagController::photosOf(items(), rows));
    if (!ManualTagController::applyAnswer(items(), rows, answer))
        return;
    m_window->imageBrowser->reloadData();
    if (rows.size() == 1)
        showImageData(m_model->itemAt(rows.first()).get());
}

void QuorvaneAppDelegate::actionRefreshImageBrowser()
{
    m_window->imageBrowser->reloadData();
}

void QuorvaneAppDelegate::actionQuit()
{
    m_window->endEditing();
    Q_EMIT quitRequested();
    QCoreApplication::quit();
}
