#pragma once

#include "items/ThumbItem.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// The data half of the time-adjustment dialog and of the image viewer it doubles as: which image
// is on show, its camera time, the camera-clock correction in whole seconds, ticking images in
// viewer mode, and the files it fetched from a camera to show them large. The window (geo/ui)
// draws what this decides. One instance serves the program (sharedInstance()). Main thread only.
class TimeAdjustController
{
public:
    // Called with the path of a file to show, or an empty path when none could be had.
    using FileReady = std::function<void(const QString &path)>;
    // Asks the camera of a camera item to save its file as `folder`/`name` and to call `done`
    // on the main thread when it has. Answers false when no request could be made.
    using CameraDownloader = std::function<bool(const ThumbItemPtr &item, const QString &folder,
                                                const QString &name, FileReady done)>;

    TimeAdjustController();
    ~TimeAdjustController();
    TimeAdjustController(const TimeAdjustController &) = delete;
    TimeAdjustController &operator=(const TimeAdjustController &) = delete;

    static TimeAdjustController &sharedInstance();

    // ---- the arithmetic
    // True time truncated to whole seconds, minus the camera time, truncated toward zero (both as
    // seconds since 2001-01-01 00:00:00).
    static qint64 computeAdjustment(double trueTime, double cameraTime);
    static qint64 computeAdjustment(const QDateTime &trueTime, double cameraTime);
    // The date controls show times in the zone with offset 0, so a camera time reads as written.
    static QDateTime displayedTime(double cameraTime);
    // The adjustment field's text ("%ld") and the main window's report ("%ld sec.").
    static QString adjustmentText(qint64 adjustment);
    static QString adjustmentReport(qint64 adjustment);
    // The adjustment as read back from the field: its integer value, 0 when it is not a number.
    static qint64 adjustmentFromText(const QString &text);
    // The adjustment in days, hours, minutes and seconds, so that a mistyped year or day stands
    // out: "The true time is 2 min 30 s later than the camera's."
    static QString differenceText(qint64 adjustment);

    // ---- one opening of the dialog
    // Viewer mode without an adjustment to return. `refreshBrowser` redraws the main window's
    // browser after ticks change (may be empty).
    void prepare(const ThumbItemList &images, bool wantViewer, qint64 startIndex,
                 std::function<void()> refreshBrowser = {});
    const ThumbItemList &images() const { return m_images; }
    bool wantViewer() const { return m_wantViewer; }
    qint64 startIndex() const { return m_startIndex; }
    // "Time Adjustment" or "Image Viewer".
    QString windowTitle() const;
    // The row selected on opening: `startIndex`, row 0 when that is out of range, -1 with no
    // images at all.
    int initialRow() const;

    // ---- the image on show
    // Makes the image at `row` current (none when out of range) and reads its metadata and
    // camera time. With a true time shown equal to the camera time, the adjustment is 0.
    void select(int row);
    ThumbItemPtr currentItem() const { return m_current; }
    int currentRow() const { return m_currentRow; }
    // Reads the current item's metadata and camera time again (its metadata may have arrived).
    void refreshDates();
    // The current item's metadata is there (a camera may still be sending it).
    bool metadataReady() const { return m_metadataReady; }
    // The current item's camera time, when its metadata holds a usable one.
    std::optional<double> cameraTime() const { return m_cameraTime; }
    // In viewer mode an excluded item shows its marker instead of the ingest box.
    bool showsIngestBox() const;
    bool showsExclusionMarker() const;

    // ---- the adjustment
    qint64 adjustment() const { return m_adjustment; }
    // Either date control changed: the adjustment follows the true time shown.
    qint64 setTrueTime(const QDateTime &trueTime);

    // ---- ticking in viewer mode (each redraws the main window's browser)
    void setCurrentChecked(bool checked);
    void checkAll();
    void checkNone();

    // ---- the large picture
    // The file to show for `item`: a path item's own file at once; a camera item's file after
    // the camera has saved it in this dialog's private temporary folder (kept in
    // pathsToRemove). `ready` gets an empty path when there is no file to show.
    void fetchFile(const ThumbItemPtr &item, FileReady ready);
    const QStringList &pathsToRemove() const { return m_pathsToRemove; }
    void setCameraDownloader(CameraDownloader downloader) { m_downloader = std::move(downloader); }

    // ---- the end
    // OK or the window's close control: the temporaries go, and the adjustment is the integer
    // value of the field (so a number typed there wins).
    void finish(const QString &adjustmentField);
    // Cancel: the temporaries go; the adjustment keeps its last value.
    void cancel();

private:
    void removeTemporaries();
    QString privateFolder();

    ThumbItemList m_images;
    bool m_wantViewer = false;
    qint64 m_startIndex = 0;
    std::function<void()> m_refreshBrowser;
    ThumbItemPtr m_current;
    int m_currentRow = -1;
    bool m_metadataReady = false;
    std::optional<double> m_cameraTime;
    qint64 m_adjustment = 0;
    QStringList m_pathsToRemove;
    QString m_privateFolder;
    CameraDownloader m_downloader;
    // Completions of downloads still under way check this before touching the controller.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
