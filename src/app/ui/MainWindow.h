#pragma once

#include <QMainWindow>
#include <QPlainTextEdit>

class ExifTableView;
class ImageBrowserView;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QSlider;
class QSplitter;
class QTabWidget;
class QTableWidget;
class QTextBrowser;

// A caption or keywords view that says when an edit begins (the first change while it has the
// focus) and ends (it loses the focus).
class EditingTextView : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit EditingTextView(QWidget *parent = nullptr);
    // Replaces the text without counting as an edit.
    void setTextQuietly(const QString &text);
    QString text() const { return toPlainText(); }

Q_SIGNALS:
    void textDidBeginEditing();
    void textDidEndEditing();

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool m_editing = false;
    bool m_quiet = false;
};

// The main window's views, each found by its role name. The window draws and forwards; the
// application controller decides what they show.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

    QPlainTextEdit *logView() const { return textViewLog; }
    // Ends any editing: no view keeps the keyboard focus.
    void endEditing();

    ImageBrowserView *imageBrowser = nullptr;
    ImageBrowserView *previewBrowser = nullptr;
    QTabWidget *tabView = nullptr;
    QTableWidget *tableList = nullptr;
    QListWidget *tableExtensions = nullptr;
    QListWidget *tableDates = nullptr;
    ExifTableView *tableMetadata = nullptr;
    EditingTextView *textViewCaption = nullptr;
    EditingTextView *textViewKeywords = nullptr;
    QCheckBox *checkboxCaption = nullptr;
    QCheckBox *checkboxImage = nullptr;
    QLabel *labelCaption = nullptr;
    QLabel *labelKeywords = nullptr;
    QTextBrowser *webView = nullptr;
    QPlainTextEdit *textViewLog = nullptr;
    QLabel *labelStatus = nullptr;
    QLabel *labelMessage = nullptr;
    QLabel *labelWaitForThumbs = nullptr;
    QComboBox *popupPresets = nullptr;
    QPushButton *buttonPresets = nullptr;
    QSlider *sliderZoom = nullptr;
    QPushButton *buttonChoose = nullptr;
    QPushButton *buttonIngest = nullptr;
    QPushButton *buttonPreview = nullptr;
    // Shown while the card of the last run can be ejected (the card handling drives it).
    QPushButton *buttonEject = nullptr;
    QPushButton *buttonTimeZone = nullptr;
    QPushButton *buttonTimeAdj = nullptr;
    QLabel *labelTimeAdj = nullptr;
    QWidget *metadataPanel = nullptr;

    // Menu actions, forwarded by the application controller. Every one has an objectName.
    QAction *actionChoose = nullptr;
    QAction *actionIngest = nullptr;
    QAction *actionPreview = nullptr;
    QAction *actionQuit = nullptr;
    QAction *actionSelectAll = nullptr;
    QAction *actionSelectNone = nullptr;
    QAction *actionSelectChecked = nullptr;
    QAction *actionCheckAll = nullptr;
    QAction *actionCheckNone = nullptr;
    QAction *actionPrefs = nullptr;
    QAction *actionLookups = nullptr;
    QAction *actionRefresh = nullptr;
    QAction *actionZoomIn = nullptr;
    QAction *actionZoomOut = nullptr;
    QAction *actionImageViewer = nullptr;
    QAction *actionMacroView = nullptr;
    QAction *actionTimeZone = nullptr;
    QAction *actionTimeAdj = nullptr;
    QAction *actionSetup = nullptr;
    QAction *actionIngestionLog = nullptr;
    QAction *actionHelp = nullptr;
    QAction *actionUpdateCheck = nullptr;
    QAction *actionTrackManager = nullptr;
    QAction *actionLoadTrack = nullptr;
    QAction *actionManuallyGeotag = nullptr;

    // The menus, so that windows added later can put their items in place.
    QMenu *menuFile = nullptr;
    QMenu *menuEdit = nullptr;
    QMenu *menuView = nullptr;
    QMenu *menuImage = nullptr;
    QMenu *menuPresets = nullptr;
    QMenu *menuGPS = nullptr;
    QMenu *menuHelp = nullptr;

Q_SIGNALS:
    void windowWillClose();
    void windowDidResize();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
};
