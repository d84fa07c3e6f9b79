#include "app/ui/QuorvaneAppDelegate.h"

#include "app/HelpLinks.h"
#include "app/InfoPane.h"
#include "app/UpdateCheck.h"
#include "app/ui/HelpController.h"
#include "app/ui/ImageBrowserView.h"
#include "app/ui/MainWindow.h"
#include "geo/TimeZoneValue.h"
#include "ingest/IngestFiles.h"
#include "items/ThumbListModel.h"
#include "log/IngestionLogController.h"
#include "log/ui/IngestionLogWindow.h"
#include "metadata/ECPrefsController.h"
#include "platform/Defaults.h"
#include "platform/NotificationCenter.h"
#include "platform/UserInterface.h"
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
    m_version = QCoreApplication::applicationVersion();

    IngestionLogController::log();
    IngestionLogController::log("LAUNCHED Brindlewick Version %@; Linux %@", m_version,
                                kernelRelease());

    connectWindow();

    // Makes the presets folder and reads the current preset's name and the presets.
    m_setupController = std::make_unique<SetupController>();

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
    connect(w->actionUpdateCheck, &QAction::triggered, this,
            &QuorvaneAppDelegate::actionUpdateCheck);
    connect(w->sliderZoom, &QSlider::valueChanged, this, &QuorvaneAppDelegate::actionZoom);
    connect(w->popupPresets, &QComboBox::activated, this, &QuorvaneAppDelegate::actionSetupMenu);
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
    connect(w->tableMetadata, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        if (m_fillingTable || item->column() != 1 || !acceptTimeZoneCell(item))
            return;
        item->setData(Qt::UserRole + 1, true);
        m_tableChanged = true;
    });
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
    connect(m_window, &MainWindow::windowDidResize, this, [this] {
        QTableWidget *table = m_window->tableMetadata;
        if (table->columnCount() == 2)
            table->setColumnWidth(1, table->width() - table->columnWidth(0) - 22);
    });
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
    actionChoose();
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
    if (!item || m_model->rowOf(item) < 0)
        return;
    // The macro view arrives with its own window; pending edits reach the items meanwhile.
    updateSelectedImages();
}

void QuorvaneAppDelegate::receiveShowViewer(const Notification &note)
{
    if (!itemFrom(note))
        return;
    // The image viewer arrives with its own window.
    showStatus();
    m_window->imageBrowser->reloadData();
}

void QuorvaneAppDelegate::receiveFinishedChoosing(const Notification &)
{
    // The browser, the list table and the driver all see the list the chooser filled.
    m_model->setItems(m_itemList);
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

void QuorvaneAppDelegate::populatePresetsMenu()
{
    // Loaded first: a damaged remembered preset leaves "Default" current, and the pop-up
    // then selects that.
    const QString wanted = m_setupController->currentSetupName();
    const std::optional<QString> damage = m_setupController->presetFileProblem(wanted);
    m_setupController->makeCurrent(wanted);
    const PresetMenu menu = m_setupController->populatePresetsMenu(false);
    QComboBox *popup = m_window->popupPresets;
    popup->clear();
    for (const QString &title : menu.titles) {
        if (title.isEmpty()) {
            popup->insertSeparator(popup->count());
            continue;
        }
        popup->addItem(title);
        if (menu.damagedTitles.contains(title))
            if (auto *model = qobject_cast<QStandardItemModel *>(popup->model()))
                model->item(popup->count() - 1)->setEnabled(false);
    }
    popup->setCurrentIndex(popup->findText(menu.selectedTitle));
    buildInclusionsDict();
    displayPreset();
    if (damage) {
        logPrint("\nERROR: %@\n", *damage);
        UserInterface::instance().alert(QStringLiteral("Can't use preset."), *damage);
    }
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
    return m_editor.isDirty(m_tableChanged);
}

QList<MetadataEditRow> QuorvaneAppDelegate::metadataTableRows() const
{
    QList<MetadataEditRow> rows;
    QTableWidget *table = m_window->tableMetadata;
    for (int r = 0; r < table->rowCount(); ++r) {
        const QTableWidgetItem *key = table->item(r, 0);
        const QTableWidgetItem *value = table->item(r, 1);
        if (!key || !value)
            continue;
        MetadataEditRow row;
        row.tag = key->text();
        row.val = value->data(Qt::UserRole).toString();
        row.change = value->data(Qt::UserRole + 1).toBool();
        if (row.change)
            row.valNew = value->text();
        rows.append(row);
    }
    return rows;
}

bool QuorvaneAppDelegate::acceptTimeZoneCell(QTableWidgetItem *item)
{
    const QTableWidgetItem *key = m_window->tableMetadata->item(item->row(), 0);
    const QString typed = item->text();
    if (!key || key->text() != QLatin1String("TimeZone") || typed.trimmed().isEmpty())
        return true;
    const std::optional<QString> known = TimeZoneValue::normalized(typed);
    // Shown in its stored form, or put back as it was: an unknown zone is never kept.
    m_fillingTable = true;
    item->setText(known ? *known : item->data(Qt::UserRole).toString());
    m_fillingTable = false;
    if (!known)
        UserInterface::instance().alert(TimeZoneValue::unknownZoneMessage(typed),
                                        TimeZoneValue::expectedForm());
    return known.has_value();
}

void QuorvaneAppDelegate::updateSelectedImages()
{
    if (m_editor.updateSelectedImages(
            items(), metadataTableRows(), m_window->textViewCaption->text(),
            m_window->textViewKeywords->text(), presetMetadata(), m_tableChanged))
        m_tableChanged = false;
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
    // A plain two-column table of the combined values until the field table arrives.
    m_fillingTable = true;
    QTableWidget *table = m_window->tableMetadata;
    table->setRowCount(0);
    const QMap<QString, QString> &combined = m_editor.combinedMetadata();
    for (auto it = combined.cbegin(); it != combined.cend(); ++it) {
        if (it.key() == SelectionEditor::kCaptionKey || it.key() == SelectionEditor::kKeywordsKey)
            continue;
        const int row = table->rowCount();
        table->insertRow(row);
        auto *key = new QTableWidgetItem(it.key());
        key->setFlags(key->flags() & ~Qt::ItemIsEditable);
        auto *value = new QTableWidgetItem(it.value());
        value->setData(Qt::UserRole, it.value());
        table->setItem(row, 0, key);
        table->setItem(row, 1, value);
    }
    m_tableChanged = false;
    m_fillingTable = false;
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

// The other actions.

void QuorvaneAppDelegate::actionChoose()
{
    m_window->labelWaitForThumbs->hide();
    // Camera pictures still on their way: refuse, and say so for two seconds.
    for (const ThumbItemPtr &item : items()) {
        if (item->isCameraItem() && item->image.size().isEmpty()) {
            m_window->labelWaitForThumbs->show();
            m_clearWaitTimer.start();
            return;
        }
    }
    m_window->endEditing();
    m_window->labelMessage->setText(QString());
    if (m_chooserRunner)
        m_chooserRunner(*this);
    else
        runDefaultChooser();
    orderMeFront();
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
