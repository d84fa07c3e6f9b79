#include "sources/CameraService.h"

#include "platform/Defaults.h"
#include "platform/Format.h"
#include "platform/HeldImage.h"
#include "sources/CameraWorker.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <algorithm>

namespace {

CameraService *g_instance = nullptr;

void shutdownAtExit()
{
    CameraService::shutdown();
}

} // namespace

QString DownloadResult::savedPath() const
{
    return QDir(options.downloadsDirectory).filePath(options.saveAsFilename);
}

// ---- CameraDeviceFile -------------------------------------------------------------------

CameraDeviceFile::CameraDeviceFile(CameraDevice *device, const QString &folder, const QString &name,
                                   const QDateTime &modificationDate, quint64 size)
    : m_device(device), m_folder(folder), m_name(name), m_modificationDate(modificationDate),
      m_size(size)
{}

CameraDevice *CameraDeviceFile::device() const
{
    return m_device.data();
}

// ---- CameraDevice -----------------------------------------------------------------------

CameraDevice::CameraDevice(const QString &name, unsigned type, const QString &port, QObject *parent)
    : QObject(parent), m_key(port), m_name(name), m_port(port), m_type(type),
      m_cancel(std::make_shared<std::atomic<bool>>(false))
{}

CameraDevice::~CameraDevice() = default;

bool CameraDevice::extrasComplete() const
{
    return std::all_of(m_files.begin(), m_files.end(), [](const CameraFilePtr &file) {
        const auto *f = static_cast<const CameraDeviceFile *>(file.get());
        return f->metadataDelivered() &&
               (f->thumbnailDelivered() || !CameraService::instance().fetchesThumbnails());
    });
}

void CameraDevice::requestOpenSession()
{
    if (m_id)
        CameraService::instance().openSession(this);
}

void CameraDevice::requestCloseSession()
{
    if (m_id)
        CameraService::instance().closeSession(this, false);
}

void CameraDevice::requestEjectOrDisconnect()
{
    if (m_id)
        CameraService::instance().closeSession(this, true);
}

void CameraDevice::requestDownloadFile(const CameraFilePtr &file, const DownloadOptions &options,
                                       DownloadCompletion completion, std::any contextInfo)
{
    CameraService::instance().requestDownloadFile(file, options, std::move(completion),
                                                  std::move(contextInfo));
}

// ---- CameraDeviceBrowser ----------------------------------------------------------------

CameraDeviceBrowser::CameraDeviceBrowser(QObject *parent) : QObject(parent) {}

CameraDeviceBrowser::~CameraDeviceBrowser()
{
    stop();
}

bool CameraDeviceBrowser::wants(const CameraDevice *device) const
{
    return device && !device->isRemoved() && (device->type() & m_mask & CameraDeviceTypeMask);
}

void CameraDeviceBrowser::start()
{
    if (m_browsing)
        return;
    m_browsing = true;
    m_enumerated = false;
    const quint64 generation = ++m_generation;
    CameraService &service = CameraService::instance();
    m_connections << connect(&service, &CameraService::deviceAdded, this,
                             &CameraDeviceBrowser::deviceAdded)
                  << connect(&service, &CameraService::deviceRemoved, this,
                             &CameraDeviceBrowser::deviceRemoved)
                  << connect(&service, &CameraService::detectionFinished, this,
                             &CameraDeviceBrowser::detectionFinished);
    service.retainBrowsing();
    // Devices found before this browser started are reported from the event loop, like the
    // ones still to come.
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (m_browsing && generation == m_generation)
                reportPresent();
        },
        Qt::QueuedConnection);
}

void CameraDeviceBrowser::stop()
{
    if (!m_browsing)
        return;
    m_browsing = false;
    ++m_generation;
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_reported.clear();
    if (g_instance)
        g_instance->releaseBrowsing();
}

QList<CameraDevice *> CameraDeviceBrowser::devices() const
{
    QList<CameraDevice *> result;
    for (const auto &device : m_reported)
        if (device)
            result.append(device.data());
    return result;
}

void CameraDeviceBrowser::reportPresent()
{
    QList<CameraDevice *> fresh;
    for (CameraDevice *device : CameraService::instance().devices())
        if (wants(device) && !m_reported.contains(device))
            fresh.append(device);
    for (int i = 0; i < fresh.size(); ++i) {
        m_reported.append(fresh[i]);
        Q_EMIT didAddDevice(this, fresh[i], i + 1 < fresh.size());
    }
}

void CameraDeviceBrowser::deviceAdded(CameraDevice *device, bool moreComing)
{
    if (!wants(device) || m_reported.contains(device))
        return;
    m_reported.append(device);
    Q_EMIT didAddDevice(this, device, moreComing);
}

void CameraDeviceBrowser::deviceRemoved(CameraDevice *device, bool moreGoing)
{
    if (!m_reported.removeOne(device))
        return;
    Q_EMIT didRemoveDevice(this, device, moreGoing);
}

void CameraDeviceBrowser::detectionFinished()
{
    if (m_enumerated)
        return;
    reportPresent();
    m_enumerated = true;
    Q_EMIT didEnumerateLocalDevices(this);
}

// ---- CameraService ----------------------------------------------------------------------

CameraService &CameraService::instance()
{
    if (!g_instance) {
        g_instance = new CameraService;
        static bool routineAdded = false;
        if (QCoreApplication::instance() && !routineAdded) {
            qAddPostRoutine(&shutdownAtExit);
            routineAdded = true;
        }
    }
    return *g_instance;
}

void CameraService::shutdown()
{
    delete g_instance;
    g_instance = nullptr;
}

CameraService::CameraService() : m_stopping(std::make_shared<std::atomic<bool>>(false))
{
    qRegisterMetaType<CameraRecords::Descriptor>();
    qRegisterMetaType<CameraRecords::FileRecord>();
    qRegisterMetaType<CameraRecords::DownloadJob>();
    qRegisterMetaType<QList<CameraRecords::Descriptor>>();
    qRegisterMetaType<QList<CameraRecords::FileRecord>>();
    qRegisterMetaType<CameraFilePtr>();
    qRegisterMetaType<HeldImage>();

    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("CameraService"));
    m_worker = new CameraWorker(m_stopping);
    m_worker->moveToThread(m_thread);
    connect(m_worker, &CameraWorker::detected, this, &CameraService::onDetected,
            Qt::QueuedConnection);
    connect(m_worker, &CameraWorker::opened, this, &CameraService::onOpened, Qt::QueuedConnection);
    connect(m_worker, &CameraWorker::thumbnailFetched, this, &CameraService::onThumbnail,
            Qt::QueuedConnection);
    connect(m_worker, &CameraWorker::metadataFetched, this, &CameraService::onMetadata,
            Qt::QueuedConnection);
    connect(m_worker, &CameraWorker::downloaded, this, &CameraService::onDownloaded,
            Qt::QueuedConnection);
    m_thread->start();

    m_pollTimer.setInterval(m_pollIntervalMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &CameraService::detectNow);
}

CameraService::~CameraService()
{
    m_pollTimer.stop();
    m_stopping->store(true);
    for (const auto &device : m_allDevices)
        device->m_cancel->store(true);
    // The worker lets go of libgphoto2 on its own thread, then the thread ends and is joined.
    CameraWorker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker, [worker] { worker->finish(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete worker;
    delete m_thread;
    m_worker = nullptr;
    m_thread = nullptr;
    m_allDevices.clear();
}

QStringList CameraService::diskCameraFolders()
{
    QStringList folders;
    auto add = [&](const QString &entry) {
        const QString folder = entry.trimmed();
        if (!folder.isEmpty() && !folders.contains(folder))
            folders.append(folder);
    };
    const QString variable = qEnvironmentVariable(kDiskCamerasVariable);
    for (const QString &entry : variable.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        add(entry);
    const auto stored = Defaults::value(QString::fromLatin1(kDiskCamerasKey));
    if (stored) {
        if (stored->typeId() == QMetaType::QString) {
            for (const QString &entry : stored->toString().split(QLatin1Char(':')))
                add(entry);
        } else {
            for (const QString &entry : stored->toStringList())
                add(entry);
        }
    }
    return folders;
}

void CameraService::setPollIntervalMs(int ms)
{
    m_pollIntervalMs = std::max(10, ms);
    m_pollTimer.setInterval(m_pollIntervalMs);
}

QList<CameraDevice *> CameraService::devices() const
{
    return m_present;
}

CameraDevice *CameraService::deviceById(quint64 id) const
{
    for (const auto &device : m_allDevices)
        if (device->m_id == id)
            return device.get();
    return nullptr;
}

void CameraService::detectNow()
{
    if (m_detecting) {
        m_detectAgain = true;
        return;
    }
    m_detecting = true;
    m_detectAgain = false;
    const QStringList folders = diskCameraFolders();
    const bool attached = m_detectAttached;
    CameraWorker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker, [worker, folders, attached] { worker->detect(folders, attached); },
        Qt::QueuedConnection);
}

void CameraService::retainBrowsing()
{
    ++m_browsers;
    detectNow();
    updatePolling();
}

void CameraService::releaseBrowsing()
{
    m_browsers = std::max(0, m_browsers - 1);
    updatePolling();
}

void CameraService::updatePolling()
{
    const bool anyOpen = std::any_of(m_present.begin(), m_present.end(),
                                     [](const CameraDevice *d) { return d->hasOpenSession(); });
    if (m_browsers > 0 || anyOpen) {
        if (!m_pollTimer.isActive())
            m_pollTimer.start();
    } else {
        m_pollTimer.stop();
    }
}

void CameraService::onDetected(const QList<CameraRecords::Descriptor> &found)
{
    m_detecting = false;
    QSet<QString> foundKeys;
    for (const auto &d : found)
        foundKeys.insert(d.key);

    // A device ejected here stays off the list until it has gone away and come back.
    for (auto it = m_ejectedKeys.begin(); it != m_ejectedKeys.end();) {
        if (!foundKeys.contains(*it))
            it = m_ejectedKeys.erase(it);
        else
            ++it;
    }

    QList<CameraDevice *> gone;
    for (CameraDevice *device : std::as_const(m_present))
        if (!foundKeys.contains(device->m_key))
            gone.append(device);
    for (int i = 0; i < gone.size(); ++i)
        removeDevice(gone[i], i + 1 < gone.size());

    QList<CameraDevice *> arrived;
    for (const auto &d : found) {
        if (m_ejectedKeys.contains(d.key))
            continue;
        const bool present = std::any_of(m_present.begin(), m_present.end(),
                                         [&](const CameraDevice *p) { return p->m_key == d.key; });
        if (present)
            continue;
        QString name = d.name;
        // Two folders of the same name are told apart by their paths.
        const bool taken = std::any_of(m_present.begin(), m_present.end(),
                                       [&](const CameraDevice *p) { return p->name() == name; });
        if (taken)
            name = d.port.startsWith(QLatin1String("disk:")) ? d.port.mid(5)
                                                             : d.name + " (" + d.port + ")";
        auto device = std::make_unique<CameraDevice>(name, d.type, d.port);
        device->m_id = m_nextDeviceId++;
        device->m_key = d.key;
        device->m_model = d.model;
        arrived.append(device.get());
        m_present.append(device.get());
        m_allDevices.push_back(std::move(device));
    }
    for (int i = 0; i < arrived.size(); ++i)
        Q_EMIT deviceAdded(arrived[i], i + 1 < arrived.size());

    Q_EMIT detectionFinished();
    if (m_detectAgain)
        detectNow();
    updatePolling();
}

void CameraService::removeDevice(CameraDevice *device, bool moreGoing)
{
    if (device->m_removed)
        return;
    device->m_removed = true;
    m_present.removeOne(device);
    if (device->hasOpenSession()) {
        device->m_cancel->store(true);
        const quint64 id = device->m_id;
        CameraWorker *worker = m_worker;
        QMetaObject::invokeMethod(
            worker, [worker, id] { worker->close(id, 0); }, Qt::QueuedConnection);
        endSession(device);
    }
    Q_EMIT device->didRemoveDevice(device);
    Q_EMIT deviceRemoved(device, moreGoing);
}

void CameraService::openSession(CameraDevice *device)
{
    if (device->m_removed || device->m_sessionState == CameraDevice::SessionState::Opening)
        return;
    if (device->m_sessionState == CameraDevice::SessionState::Ready) {
        const quint64 session = device->m_session;
        QPointer<CameraDevice> guard(device);
        QMetaObject::invokeMethod(
            this,
            [guard, session] {
                if (guard && guard->isReady() && guard->m_session == session)
                    Q_EMIT guard->deviceDidBecomeReady(guard.data());
            },
            Qt::QueuedConnection);
        return;
    }
    device->m_sessionState = CameraDevice::SessionState::Opening;
    device->m_session = m_nextSession++;
    device->m_cancel = std::make_shared<std::atomic<bool>>(false);
    device->m_files.clear();

    CameraRecords::Descriptor d;
    d.key = device->m_key;
    d.name = device->m_name;
    d.model = device->m_model;
    d.port = device->m_port;
    d.type = device->m_type;
    const quint64 id = device->m_id;
    const quint64 session = device->m_session;
    auto cancel = device->m_cancel;
    const bool thumbnails = m_fetchThumbnails;
    CameraWorker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [worker, id, session, d, cancel, thumbnails] {
            worker->open(id, session, d, cancel, thumbnails);
        },
        Qt::QueuedConnection);
    updatePolling();
}

void CameraService::closeSession(CameraDevice *device, bool eject)
{
    if (device->m_removed)
        return;
    if (device->hasOpenSession()) {
        device->m_cancel->store(true);
        const quint64 id = device->m_id;
        CameraWorker *worker = m_worker;
        QMetaObject::invokeMethod(
            worker, [worker, id] { worker->close(id, 0); }, Qt::QueuedConnection);
        endSession(device);
    }
    if (eject) {
        m_ejectedKeys.insert(device->m_key);
        removeDevice(device, false);
    }
    updatePolling();
}

void CameraService::endSession(CameraDevice *device)
{
    device->m_sessionState = CameraDevice::SessionState::Closed;
    device->m_session = 0;
    // Nothing more will come for these files: whoever waits for a thumbnail or metadata gets
    // an empty one now rather than never.
    const QList<CameraFilePtr> files = device->m_files;
    for (const CameraFilePtr &file : files) {
        auto *f = static_cast<CameraDeviceFile *>(file.get());
        if (m_fetchThumbnails && !f->m_thumbnailDelivered) {
            f->m_thumbnail = HeldImage::fileIcon(QSize(160, 160));
            f->m_thumbnailDelivered = true;
            Q_EMIT device->didReceiveThumbnailForItem(device, file);
        }
        if (!f->m_metadata) {
            f->m_metadata = QVariantMap();
            Q_EMIT device->didReceiveMetadataForItem(device, file);
        }
    }
    Q_EMIT device->didCloseSession(device);
}

void CameraService::onOpened(quint64 deviceId, quint64 session, const QString &error,
                             const QList<CameraRecords::FileRecord> &files)
{
    CameraDevice *device = deviceById(deviceId);
    if (!device || device->m_session != session ||
        device->m_sessionState != CameraDevice::SessionState::Opening)
        return;
    if (!error.isEmpty()) {
        device->m_sessionState = CameraDevice::SessionState::Closed;
        device->m_session = 0;
        Q_EMIT device->didOpenSessionWithError(device, error);
        updatePolling();
        return;
    }
    QList<CameraFilePtr> list;
    list.reserve(files.size());
    for (const auto &record : files) {
        const QDateTime date = record.modificationTime >= 0
                                   ? QDateTime::fromSecsSinceEpoch(record.modificationTime)
                                   : QDateTime();
        list.append(std::make_shared<CameraDeviceFile>(device, record.folder, record.name, date,
                                                       record.size));
    }
    device->m_files = list;
    device->m_sessionState = CameraDevice::SessionState::Ready;
    Q_EMIT device->didOpenSessionWithError(device, QString());
    if (device->isReady() && device->m_session == session)
        Q_EMIT device->deviceDidBecomeReady(device);
}

void CameraService::onThumbnail(quint64 deviceId, quint64 session, int index,
                                const HeldImage &image)
{
    CameraDevice *device = deviceById(deviceId);
    if (!device || device->m_session != session || !device->isReady() || index < 0 ||
        index >= device->m_files.size())
        return;
    const CameraFilePtr file = device->m_files[index];
    auto *f = static_cast<CameraDeviceFile *>(file.get());
    f->m_thumbnail = image;
    f->m_thumbnailDelivered = true;
    Q_EMIT device->didReceiveThumbnailForItem(device, file);
}

void CameraService::onMetadata(quint64 deviceId, quint64 session, int index,
                               const QVariantMap &metadata)
{
    CameraDevice *device = deviceById(deviceId);
    if (!device || device->m_session != session || !device->isReady() || index < 0 ||
        index >= device->m_files.size())
        return;
    const CameraFilePtr file = device->m_files[index];
    static_cast<CameraDeviceFile *>(file.get())->m_metadata = metadata;
    Q_EMIT device->didReceiveMetadataForItem(device, file);
}

void CameraService::requestDownloadFile(const CameraFilePtr &file, const DownloadOptions &options,
                                        DownloadCompletion completion, std::any contextInfo)
{
    const quint64 requestId = m_nextRequest++;
    m_downloads[requestId] = {options, std::move(completion), std::move(contextInfo)};

    auto deviceFile = std::dynamic_pointer_cast<CameraDeviceFile>(file);
    CameraDevice *device = deviceFile ? deviceFile->device() : nullptr;
    const QString name = file ? file->name() : QString();
    if (!device || !device->m_id)
        return failDownloadLater(
            requestId, formatMessage("Can't download \"%@\": it is not on a camera.", name));
    if (device->isRemoved())
        return failDownloadLater(requestId,
                                 formatMessage("Can't download \"%@\": the camera \"%@\" is gone.",
                                               name, device->name()));
    if (!device->hasOpenSession())
        return failDownloadLater(
            requestId, formatMessage("Can't download \"%@\": the camera is not open.", name));

    CameraRecords::DownloadJob job;
    job.requestId = requestId;
    job.deviceId = device->m_id;
    job.folder = deviceFile->folder();
    job.name = deviceFile->name();
    job.directory = options.downloadsDirectory;
    job.saveAs = options.saveAsFilename;
    job.verify = options.verify;
    job.modificationTime = deviceFile->modificationDate().isValid()
                               ? deviceFile->modificationDate().toSecsSinceEpoch()
                               : -1;
    CameraWorker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker, [worker, job] { worker->download(job); }, Qt::QueuedConnection);
}

void CameraService::failDownloadLater(quint64 requestId, const QString &error)
{
    QMetaObject::invokeMethod(
        this, [this, requestId, error] { finishDownload(requestId, error); }, Qt::QueuedConnection);
}

void CameraService::onDownloaded(quint64 requestId, const QString &error)
{
    finishDownload(requestId, error);
}

void CameraService::finishDownload(quint64 requestId, const QString &error)
{
    auto it = m_downloads.find(requestId);
    if (it == m_downloads.end())
        return;
    PendingDownload pending = std::move(it->second);
    m_downloads.erase(it);
    DownloadResult result;
    result.error = error;
    result.options = pending.options;
    result.contextInfo = std::move(pending.contextInfo);
    if (pending.completion)
        pending.completion(result);
}
