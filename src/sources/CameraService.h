#pragma once

#include "items/CameraFile.h"
#include "sources/CameraRecords.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <any>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class CameraService;
class CameraWorker;
class QThread;

// Where a download goes: the folder and the file name inside it.
struct DownloadOptions
{
    QString downloadsDirectory;
    QString saveAsFilename;
    // The saved file is read back from the disk and compared with what the camera sent before
    // it is placed; a mismatch downloads it once more.
    bool verify = true;
};

// The one completion of a download request. `error` is empty on success; `options` are the
// request's own, so the saved file is options.downloadsDirectory + "/" + options.saveAsFilename.
struct DownloadResult
{
    QString error;
    DownloadOptions options;
    std::any contextInfo;

    bool succeeded() const { return error.isEmpty(); }
    QString savedPath() const;
};

using DownloadCompletion = std::function<void(const DownloadResult &)>;

// A file on a camera. The service fills in the thumbnail and the metadata when they arrive.
// Main thread only.
class CameraDeviceFile : public CameraFile
{
public:
    CameraDeviceFile(CameraDevice *device, const QString &folder, const QString &name,
                     const QDateTime &modificationDate, quint64 size);

    QString name() const override { return m_name; }
    QDateTime modificationDate() const override { return m_modificationDate; }
    HeldImage thumbnail() const override { return m_thumbnail; }
    std::optional<QVariantMap> metadata() const override { return m_metadata; }
    CameraDevice *device() const override;

    // The folder on the camera ("/" or "/DCIM/100CANON") and the size in bytes (0 if unknown).
    QString folder() const { return m_folder; }
    quint64 size() const { return m_size; }
    bool thumbnailDelivered() const { return m_thumbnailDelivered; }
    bool metadataDelivered() const { return m_metadata.has_value(); }

private:
    friend class CameraService;
    QPointer<CameraDevice> m_device;
    QString m_folder;
    QString m_name;
    QDateTime m_modificationDate;
    quint64 m_size = 0;
    HeldImage m_thumbnail;
    bool m_thumbnailDelivered = false;
    std::optional<QVariantMap> m_metadata;
};

// One camera (or a folder standing in for one). Devices are made by the service and live until
// the service shuts down, also after they have gone away (isRemoved()), so pointers held by items
// and lists stay valid. Its signals are the delegate calls: connect to become a delegate,
// disconnect to stop. Main thread only.
class CameraDevice : public QObject
{
    Q_OBJECT
public:
    // A device that no camera backs: its requests do nothing and its downloads fail. The service
    // makes the real ones; tests make these to stand for other kinds of device.
    CameraDevice(const QString &name, unsigned type, const QString &port = QString(),
                 QObject *parent = nullptr);
    ~CameraDevice() override;

    QString name() const { return m_name; }
    QString model() const { return m_model; }
    // "usb:001,004", "disk:/path/to/folder", ...
    QString port() const { return m_port; }
    unsigned type() const { return m_type; }
    bool isCamera() const { return (m_type & CameraDeviceTypeCamera) != 0; }

    bool hasOpenSession() const { return m_sessionState != SessionState::Closed; }
    // The file list is complete (deviceDidBecomeReady has been sent for this session).
    bool isReady() const { return m_sessionState == SessionState::Ready; }
    bool isRemoved() const { return m_removed; }
    // Every thumbnail and every metadata of this session's files has been delivered.
    bool extrasComplete() const;

    // The complete file list once ready, in the camera's order (folders depth first).
    QList<CameraFilePtr> mediaFiles() const { return m_files; }

    // Opens the camera and lists its files; deviceDidBecomeReady follows. On a device that is
    // already ready, deviceDidBecomeReady is sent again without listing anew.
    void requestOpenSession();
    void requestCloseSession();
    // Closes the camera and takes it off the device list until it is plugged in again.
    void requestEjectOrDisconnect();
    void requestDownloadFile(const CameraFilePtr &file, const DownloadOptions &options,
                             DownloadCompletion completion, std::any contextInfo = {});

Q_SIGNALS:
    void didOpenSessionWithError(CameraDevice *device, const QString &error);
    void deviceDidBecomeReady(CameraDevice *device);
    void didReceiveThumbnailForItem(CameraDevice *device, const CameraFilePtr &file);
    void didReceiveMetadataForItem(CameraDevice *device, const CameraFilePtr &file);
    void didCloseSession(CameraDevice *device);
    void didRemoveDevice(CameraDevice *device);

private:
    friend class CameraService;
    enum class SessionState { Closed, Opening, Ready };

    quint64 m_id = 0; // 0: not backed by the service
    QString m_key;
    QString m_name;
    QString m_model;
    QString m_port;
    unsigned m_type = 0;
    bool m_removed = false;
    SessionState m_sessionState = SessionState::Closed;
    quint64 m_session = 0;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    QList<CameraFilePtr> m_files;
};

// Finds devices through the service and reports those whose kind is in its mask. A browser
// that starts reports every device already present, then arrivals and removals as they happen.
class CameraDeviceBrowser : public QObject
{
    Q_OBJECT
public:
    explicit CameraDeviceBrowser(QObject *parent = nullptr);
    ~CameraDeviceBrowser() override;

    // Nothing is reported until the mask selects a kind (CameraDeviceTypeCamera, ...).
    unsigned browsedDeviceMask() const { return m_mask; }
    void setBrowsedDeviceMask(unsigned mask) { m_mask = mask; }

    void start();
    void stop();
    bool isBrowsing() const { return m_browsing; }
    // The devices reported as added and not yet as removed.
    QList<CameraDevice *> devices() const;

Q_SIGNALS:
    void didAddDevice(CameraDeviceBrowser *browser, CameraDevice *device, bool moreComing);
    void didRemoveDevice(CameraDeviceBrowser *browser, CameraDevice *device, bool moreGoing);
    // The first detection pass after start() has been reported.
    void didEnumerateLocalDevices(CameraDeviceBrowser *browser);

private:
    bool wants(const CameraDevice *device) const;
    void reportPresent();
    void deviceAdded(CameraDevice *device, bool moreComing);
    void deviceRemoved(CameraDevice *device, bool moreGoing);
    void detectionFinished();

    unsigned m_mask = 0;
    bool m_browsing = false;
    bool m_enumerated = false;
    quint64 m_generation = 0;
    QList<QPointer<CameraDevice>> m_reported;
    QList<QMetaObject::Connection> m_connections;
};

// The camera service over libgphoto2. Every libgphoto2 call happens on one worker thread; its
// results reach the main thread as queued signals, where devices and files are updated and the
// delegate signals sent. Detection is polled while a browser runs or a camera is open.
// Folders named by BRINDLEWICK_DISK_CAMERAS (separated by ":") and by the defaults key
// "DiskCameras" appear as cameras through the directory driver.
// Main thread only, apart from the worker it owns.
class CameraService : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *kDiskCamerasKey = "DiskCameras";
    static constexpr const char *kDiskCamerasVariable = "BRINDLEWICK_DISK_CAMERAS";
    static constexpr int kDefaultPollIntervalMs = 3000;

    static CameraService &instance();
    // Closes every camera and joins the worker thread; the next instance() starts afresh. Also
    // run when the application object is destroyed.
    static void shutdown();

    // The folders that stand in for cameras: the environment's, then the defaults key's
    // (a list, or one text separated by ":"); empty entries dropped, duplicates once.
    static QStringList diskCameraFolders();

    void setPollIntervalMs(int ms);
    int pollIntervalMs() const { return m_pollIntervalMs; }
    // Whether libgphoto2's detection of attached cameras runs (the folders are always looked at).
    void setDetectsAttachedCameras(bool detect) { m_detectAttached = detect; }
    bool detectsAttachedCameras() const { return m_detectAttached; }
    // Whether thumbnails are fetched after a file list (the command-line tool needs none).
    void setFetchesThumbnails(bool fetch) { m_fetchThumbnails = fetch; }
    bool fetchesThumbnails() const { return m_fetchThumbnails; }

    // The devices present now, in order of arrival.
    QList<CameraDevice *> devices() const;
    // Starts a detection pass unless one is running.
    void detectNow();

    // Exactly one completion per request, always later on the main thread. An existing file
    // under the target name is never replaced: that request fails.
    void requestDownloadFile(const CameraFilePtr &file, const DownloadOptions &options,
                             DownloadCompletion completion, std::any contextInfo = {});

    // Browsers hold the service's detection running while they browse.
    void retainBrowsing();
    void releaseBrowsing();

Q_SIGNALS:
    void deviceAdded(CameraDevice *device, bool moreComing);
    void deviceRemoved(CameraDevice *device, bool moreGoing);
    void detectionFinished();

private:
    friend class CameraDevice;
    CameraService();
    ~CameraService() override;

    struct PendingDownload
    {
        DownloadOptions options;
        DownloadCompletion completion;
        std::any contextInfo;
    };

    void openSession(CameraDevice *device);
    void closeSession(CameraDevice *device, bool eject);
    void endSession(CameraDevice *device);
    void removeDevice(CameraDevice *device, bool moreGoing);
    void updatePolling();
    void failDownloadLater(quint64 requestId, const QString &error);
    void finishDownload(quint64 requestId, const QString &error);
    CameraDevice *deviceById(quint64 id) const;

    // Results from the worker.
    void onDetected(const QList<CameraRecords::Descriptor> &found);
    void onOpened(quint64 deviceId, quint64 session, const QString &error,
                  const QList<CameraRecords::FileRecord> &files);
    void onThumbnail(quint64 deviceId, quint64 session, int index, const HeldImage &image);
    void onMetadata(quint64 deviceId, quint64 session, int index, const QVariantMap &metadata);
    void onDownloaded(quint64 requestId, const QString &error);

    QThread *m_thread = nullptr;
    CameraWorker *m_worker = nullptr;
    std::shared_ptr<std::atomic<bool>> m_stopping;
    QTimer m_pollTimer;
    int m_pollIntervalMs = kDefaultPollIntervalMs;
    bool m_detectAttached = true;
    bool m_fetchThumbnails = true;
    bool m_detecting = false;
    bool m_detectAgain = false;
    int m_browsers = 0;
    quint64 m_nextDeviceId = 1;
    quint64 m_nextSession = 1;
    quint64 m_nextRequest = 1;
    std::vector<std::unique_ptr<CameraDevice>> m_allDevices;
    QList<CameraDevice *> m_present;
    QSet<QString> m_ejectedKeys;
    std::map<quint64, PendingDownload> m_downloads;
};
