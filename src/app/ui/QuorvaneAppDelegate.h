#pragma once

#include "items/SelectionEditor.h"
#include "items/ThumbItem.h"
#include "log/ConsoleLog.h"
#include "presets/Setup.h"
#include "presets/SetupController.h"

class ChooseInput;
class IngestFiles;
class MetadataPreviewController;

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <functional>
#include <memory>

class LocationService;
class MacroViewWindow;
class MainWindow;
class PresetFolderWatcher;
class ThumbListModel;
struct Notification;

// The application controller: starts the program in two phases, owns the item list and the
// long-lived companions, turns notifications into updates of the main window, and carries out
// its actions. The deciding parts of editing and selection live in SelectionEditor. Main thread.
class QuorvaneAppDelegate : public QObject
{
    Q_OBJECT

public:
    explicit QuorvaneAppDelegate(MainWindow *window, QObject *parent = nullptr);
    ~QuorvaneAppDelegate() override;

    static QuorvaneAppDelegate *sharedInstance();
    static bool isIngesting();

    // Start-up, in the order the program calls them.
    void awakeFromNib();
    void applicationDidFinishLaunching();

    void receiveThumbHasArrived(const Notification &note);
    void receiveUpdateImageMarkers(const Notification &note);
    void receiveStatusDisplayChange(const Notification &note);
    void receiveShowInfo(const Notification &note);
    void receiveShowViewer(const Notification &note);
    void receiveFinishedChoosing(const Notification &note);
    void receiveIngestionComplete(const Notification &note);

    void showStatus();
    void buildInclusionsDict();
    void populatePresetsMenu();
    void displayPreset();
    void showControls(bool show, bool onlyOne);
    void showMacroViewForItem(const ThumbItemPtr &item);
    // The presets folder changed on disk: the pop-up follows, and so does the current preset.
    void presetFolderChanged();
    void orderMeFront();
    void clearWaitForThumbs();
    void instructions();

    // Editing and selection.
    void imageBrowserSelectionDidChange();
    void updateSelectedImages();
    void showMetadata(const QList<QVariantMap> &maps);
    void showImageData(ThumbItem *item);
    void populateSelectionLists();
    bool isDirty() const;
    QList<MetadataEditRow> metadataTableRows() const;

    // Actions.
    void actionChoose();
    // The choose flow on a folder known beforehand (a card put in): the chooser fills the list
    // from it as if the folder had been picked in its window. False when refused while camera
    // thumbnails still arrive.
    bool chooseFolder(const QString &folder);
    // A folder the program was started on (a card the desktop offered): the launch fills the
    // list from it instead of opening the chooser.
    void setStartFolder(const QString &folder) { m_startFolder = folder; }
    void actionIngest();
    void actionSetupMenu();
    void actionSetup();
    void actionMacroView();
    void actionHelp();
    void actionUpdateCheck();
    void actionIngestionLog();
    // The preferences window, then everything that depends on the preferences is rebuilt.
    void actionPrefs();
    // The lookup-table window over the preset manager's tables.
    void actionLookups();
    void actionRefreshImageBrowser();
    void actionQuit();
    void actionCheckAll();
    void actionCheckNone();
    void actionSelectAll();
    void actionSelectNone();
    void actionSelectChecked();
    void doubleclickExtension();
    void doubleclickDate();
    void actionZoom();
    void actionTrackManager();
    void actionLoadTrack();
    void actionManuallyGeotag();
    void actionPreview();
    void actionImageViewer();
    void actionTimeZone();
    void actionTimeAdj();

    MainWindow *window() const { return m_window; }
    ThumbListModel *model() const { return m_model; }
    const ThumbItemList &items() const;
    SelectionEditor &editor() { return m_editor; }
    const QSet<QString> &inclusions() const { return m_inclusions; }
    int numChecked() const { return m_numChecked; }
    bool wasLaunched() const { return m_editor.wasLaunched(); }
    QString version() const { return m_version; }
    // The current preset, held by the preset manager.
    Setup currentSetup() const;
    SetupController *setupController() const { return m_setupController.get(); }
    MacroViewWindow *macroViewWindow() const { return m_macroView; }
    PresetFolderWatcher *presetFolderWatcher() const { return m_presetWatcher; }

    // The list the chooser fills; the browser shows it after "FinishedChoosing".
    ThumbItemList &itemList() { return m_itemList; }
    ChooseInput *chooseInputController() const { return m_chooser.get(); }
    IngestFiles *ingestFiles() const { return m_ingestFiles.get(); }
    LocationService *locationManager() const { return m_locationManager; }
    MetadataPreviewController &metadataPreviewController() { return *m_metadataPreview; }

    // Replaces how the chooser window is run (tests script it); it fills itemList() and posts
    // "FinishedChoosing" itself.
    using ChooserRunner = std::function<void(QuorvaneAppDelegate &)>;
    void setChooserRunner(ChooserRunner runner) { m_chooserRunner = std::move(runner); }
    // Replaces how an ingestion run is started (tests); the run must end with
    // "IngestionComplete".
    using IngestRunner = std::function<void(const Setup &setup, const ThumbItemList &items)>;
    void setIngestRunner(IngestRunner runner) { m_ingestRunner = std::move(runner); }

Q_SIGNALS:
    void quitRequested();

private:
    void connectWindow();
    void reloadListTable();
    void showCombinedInTable();
    QVariantMap presetMetadata() const;
    void scheduleOrderMeFront();
    void runDefaultChooser();
    // Camera pictures still on their way: the list may not be replaced yet (says so briefly).
    bool refuseWhileThumbsArrive();
    // The images and the first selected position for the viewer and the time adjustment (past
    // the end when nothing is selected).
    qint64 firstSelectedPosition() const;
    void openImageViewer(qint64 startIndex);
    void stepZoom(int delta);

    MainWindow *m_window;
    ThumbListModel *m_model = nullptr;
    ThumbListModel *m_previewModel = nullptr;
    std::unique_ptr<SetupController> m_setupController;
    std::unique_ptr<ChooseInput> m_chooser;
    std::unique_ptr<IngestFiles> m_ingestFiles;
    std::unique_ptr<MetadataPreviewController> m_metadataPreview;
    ThumbItemList m_itemList;
    std::unique_ptr<Logger> m_logger;
    std::unique_ptr<LogPane> m_logPane;
    SelectionEditor m_editor;
    QSet<QString> m_inclusions;
    QString m_version;
    int m_numChecked = 0;
    bool m_selectionGuard = false;
    bool m_presetWindowOpen = false;
    MacroViewWindow *m_macroView = nullptr;
    PresetFolderWatcher *m_presetWatcher = nullptr;
    QTimer m_clearWaitTimer;
    ChooserRunner m_chooserRunner;
    QString m_startFolder;
    IngestRunner m_ingestRunner;
    QList<QObject *> m_companions;
    LocationService *m_locationManager = nullptr;
};
