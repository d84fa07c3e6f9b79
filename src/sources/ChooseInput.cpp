#include "sources/ChooseInput.h"

#include "items/Companions.h"
#include "log/ConsoleLog.h"
#include "platform/Defaults.h"
#include "platform/Format.h"
#include "platform/NotificationCenter.h"
#include "platform/SystemLog.h"
#include "platform/UserInterface.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace {

bool g_browsingStarted = false;

QString lastComponent(const QString &relative)
{
    const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? relative : relative.mid(slash + 1);
}

// Lists every entry below a folder as paths relative to it. Linked folders are followed, but
// each real folder is entered once, so a link back up the tree cannot loop. A sub-folder that
// cannot be read is skipped (and remembered with the reason) so that one locked folder does
// not hide the rest of a card; only the chosen folder itself failing fails the listing.
class TreeLister
{
public:
    // "The folder "X" couldn't be read: Permission denied", one per skipped sub-folder.
    QStringList skipped;

    bool list(const QString &root, QStringList *relatives, QString *error)
    {
        struct stat info;
        if (::stat(QFile::encodeName(root).constData(), &info) != 0) {
            *error = describe(root, errno);
            return false;
        }
        if (!S_ISDIR(info.st_mode)) {
            *error = describe(root, ENOTDIR);
            return false;
        }
        m_visited.insert({info.st_dev, info.st_ino});
        return walk(root, QString(), relatives, error);
    }

    static QString describe(const QString &folder, int error)
    {
        return formatMessage("The folder \"%@\" couldn't be read: %@", folder,
                             QString::fromLocal8Bit(std::strerror(error)));
    }

private:
    bool walk(const QString &folder, const QString &prefix, QStringList *relatives, QString *error)
    {
        DIR *dir = ::opendir(QFile::encodeName(folder).constData());
        if (!dir) {
            *error = describe(folder, errno);
            return false;
        }
        QList<std::pair<QString, QString>> subfolders;
        bool entriesDenied = false;
        errno = 0;
        while (const dirent *entry = ::readdir(dir)) {
            const char *raw = entry->d_name;
            if (std::strcmp(raw, ".") == 0 || std::strcmp(raw, "..") == 0)
                continue;
            const QString name = QFile::decodeName(raw);
            const QString relative = prefix + name;
            relatives->append(relative);
            const QString full = folder + QLatin1Char('/') + name;
            struct stat info;
            if (::stat(QFile::encodeName(full).constData(), &info) != 0)
                entriesDenied = entriesDenied || errno == EACCES; // names readable, files not
            else if (S_ISDIR(info.st_mode) && m_visited.insert({info.st_dev, info.st_ino}).second)
                subfolders.append({full, relative + QLatin1Char('/')});
            errno = 0;
        }
        const int readError = errno;
        ::closedir(dir);
        if (entriesDenied)
            skipped.append(describe(folder, EACCES));
        if (readError != 0) {
            *error = describe(folder, readError);
            return false;
        }
        for (const auto &[full, relative] : subfolders) {
            QString subError;
            if (!walk(full, relative, relatives, &subError))
                skipped.append(subError);
        }
        return true;
    }

    std::set<std::pair<dev_t, ino_t>> m_visited;
};

} // namespace

ChooseInput::ChooseInput(QObject *parent) : QObject(parent) {}

ChooseInput::~ChooseInput()
{
    if (m_browser)
        m_browser->stop();
    for (const auto &device : std::as_const(m_delegateOf))
        if (device)
            disconnect(device.data(), nullptr, this, nullptr);
}

bool ChooseInput::browsingStartedBefore()
{
    return g_browsingStarted;
}

void ChooseInput::windowDidLoad()
{
    m_browser = std::make_unique<CameraDeviceBrowser>();
    connect(m_browser.get(), &CameraDeviceBrowser::didAddDevice, this,
            &ChooseInput::deviceBrowserDidAddDevice);
    connect(m_browser.get(), &CameraDeviceBrowser::didRemoveDevice, this,
            &ChooseInput::deviceBrowserDidRemoveDevice);
    m_browser->setBrowsedDeviceMask(m_browser->browsedDeviceMask() | kBrowsedDeviceMask);
    startupFirstTime();
}

void ChooseInput::startupFirstTime()
{
    if (!m_browser)
        return;
    m_cameras.clear();
    m_selected.clear();
    Q_EMIT camerasChanged();
    if (g_browsingStarted)
        m_browser->stop();
    else
        g_browsingStarted = true;
    m_browser->start();
}

void ChooseInput::windowWillClose()
{
    if (!m_browser)
        return;
    disconnect(m_browser.get(), nullptr, this, nullptr);
    m_browser->stop();
    m_browser.reset();
}

QString ChooseInput::inputDirectory()
{
    return Defaults::string(QString::fromLatin1(kInputDirectoryKey));
}

void ChooseInput::folderChosen(const QString &path)
{
    if (!path.isEmpty())
        Defaults::set(QString::fromLatin1(kInputDirectoryKey), path);
    if (!path.isEmpty())
        doPath(path);
    else
        UserInterface::instance().alert(
            QStringLiteral("Error reading file paths (empty directoryURL.path)"), QString());
    finishChoosing(true);
}

void ChooseInput::folderPanelCancelled()
{
    finishChoosing(false);
}

void ChooseInput::finishChoosing(bool withUserInfo)
{
    m_done = true;
    Q_EMIT windowShouldClose();
    if (withUserInfo)
        NotificationCenter::defaultCenter().post(QStringLiteral("FinishedChoosing"), this,
                                                 QVariantMap());
    else
        postWithoutUserInfo(QStringLiteral("FinishedChoosing"));
}

void ChooseInput::postWithoutUserInfo(const QString &name)
{
    Notification note;
    note.name = name;
    note.sender = this;
    note.hasUserInfo = false;
    NotificationCenter::defaultCenter().post(note);
}

bool ChooseInput::doPath(const QString &folder)
{
    QStringList relatives;
    QString error;
    TreeLister lister;
    m_skippedFolders.clear();
    if (!lister.list(folder, &relatives, &error)) {
        UserInterface::instance().alert(QStringLiteral("Error reading file paths"), error);
        return false;
    }
    m_skippedFolders = lister.skipped;
    for (const QString &reason : std::as_const(m_skippedFolders))
        logPrint("\nWARNING: %@; its files are not offered.\n", reason);
    // By name alone: files of different folders interleave.
    std::stable_sort(relatives.begin(), relatives.end(), [](const QString &a, const QString &b) {
        return lastComponent(a).compare(lastComponent(b), Qt::CaseInsensitive) < 0;
    });
    if (!m_items)
        return true;
    m_items->clear();
    // A movie's .THM or .XML is not an image to offer: it goes with its movie.
    const QHash<QString, QString> companions = Companions::find(relatives);
    QHash<QString, ThumbItemPtr> itemOf;
    for (const QString &relative : std::as_const(relatives)) {
        if (companions.contains(relative))
            continue;
        const QString full = folder + QLatin1Char('/') + relative;
        struct stat info;
        // Folders are not offered, and neither are dangling links, pipes or devices: only
        // regular files can be copied.
        if (::stat(QFile::encodeName(full).constData(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (lastComponent(relative).startsWith(QLatin1Char('.')))
            continue;
        ThumbItemPtr item = ThumbItem::initWithPath(full);
        item->setExclusionFlag(m_inclusions);
        m_items->append(item);
        itemOf.insert(relative, item);
    }
    for (auto it = companions.constBegin(); it != companions.constEnd(); ++it) {
        const QString full = folder + QLatin1Char('/') + it.key();
        struct stat info;
        if (const ThumbItemPtr item = itemOf.value(it.value());
            item && ::stat(QFile::encodeName(full).constData(), &info) == 0 &&
            S_ISREG(info.st_mode))
            item->companions << full;
    }
    for (const ThumbItemPtr &item : std::as_const(*m_items))
        item->companions.sort(Qt::CaseInsensitive);
    return true;
}

QList<CameraFilePtr> ChooseInput::mMediaFilesController() const
{
    return m_selected ? m_selected->mediaFiles() : QList<CameraFilePtr>();
}

void ChooseInput::prepareImagesForBrowser()
{
    if (m_items) {
        m_items->clear();
        for (const CameraFilePtr &file : mMediaFilesController()) {
            ThumbItemPtr item = ThumbItem::initWithImage(file->thumbnail());
            item->cameraFile = file;
            item->setExclusionFlag(m_inclusions);
            item->metadata = file->metadata();
            m_items->append(item);
        }
    }
    finishChoosing(true);
}

void ChooseInput::setSelectedCameraRow(int row)
{
    CameraDevice *device = row >= 0 && row < m_cameras.size() ? m_cameras[row] : nullptr;
    m_selected = device;
    if (device)
        device->requestOpenSession();
}

int ChooseInput::selectedCameraRow() const
{
    return m_selected ? int(m_cameras.indexOf(m_selected.data())) : -1;
}

void ChooseInput::actionRefresh()
{
    if (!m_browser)
        return;
    m_browser->stop();
    m_browser->start();
}

void ChooseInput::actionEject()
{
    const int row = selectedCameraRow();
    if (row < 0 || row >= m_cameras.size())
        return;
    CameraDevice *camera = m_cameras[row];
    SystemLog::write(formatMessage("selected %ld", long(row)));
    SystemLog::write(formatMessage("%@", camera->name()));
    camera->requestEjectOrDisconnect();
}

void ChooseInput::becomeDelegate(CameraDevice *device)
{
    if (m_delegateOf.contains(device))
        return;
    m_delegateOf.append(device);
    connect(device, &CameraDevice::didOpenSessionWithError, this,
            &ChooseInput::deviceDidOpenSessionWithError);
    connect(device, &CameraDevice::deviceDidBecomeReady, this, &ChooseInput::deviceDidBecomeReady);
    connect(device, &CameraDevice::didReceiveThumbnailForItem, this,
            &ChooseInput::cameraDeviceDidReceiveThumbnailForItem);
    connect(device, &CameraDevice::didReceiveMetadataForItem, this,
            &ChooseInput::cameraDeviceDidReceiveMetadataForItem);
    connect(device, &CameraDevice::didRemoveDevice, this, &ChooseInput::didRemoveDevice);
}

void ChooseInput::stopBeingDelegate(CameraDevice *device)
{
    m_delegateOf.removeAll(device);
    disconnect(device, nullptr, this, nullptr);
}

void ChooseInput::removeCamera(CameraDevice *device)
{
    if (m_cameras.removeAll(device) > 0)
        Q_EMIT camerasChanged();
    if (m_selected == device)
        m_selected.clear();
}

void ChooseInput::deviceBrowserDidAddDevice(CameraDeviceBrowser *, CameraDevice *device, bool)
{
    if (!device || !(device->type() & CameraDeviceTypeCamera))
        return;
    becomeDelegate(device);
    if (!m_cameras.contains(device)) {
        m_cameras.append(device);
        Q_EMIT camerasChanged();
    }
}

void ChooseInput::deviceBrowserDidRemoveDevice(CameraDeviceBrowser *, CameraDevice *device, bool)
{
    if (!device)
        return;
    stopBeingDelegate(device);
    removeCamera(device);
}

void ChooseInput::didRemoveDevice(CameraDevice *device)
{
    removeCamera(device);
}

void ChooseInput::deviceDidOpenSessionWithError(CameraDevice *, const QString &) {}

void ChooseInput::deviceDidBecomeReady(CameraDevice *device)
{
    // Only the camera picked in this chooser's table fills the list, and only once.
    if (m_done || !device || device != m_selected)
        return;
    prepareImagesForBrowser();
}

ThumbItemPtr ChooseInput::itemHolding(const CameraFilePtr &file) const
{
    if (!m_items || !file)
        return nullptr;
    for (const ThumbItemPtr &item : std::as_const(*m_items))
        if (item->cameraFile.get() == file.get())
            return item;
    return nullptr;
}

void ChooseInput::cameraDeviceDidReceiveThumbnailForItem(CameraDevice *, const CameraFilePtr &file)
{
    if (ThumbItemPtr item = itemHolding(file)) {
        item->image = file->thumbnail();
        ++item->imageGeneration;
    }
    postWithoutUserInfo(QStringLiteral("ThumbHasArrived"));
}

void ChooseInput::cameraDeviceDidReceiveMetadataForItem(CameraDevice *, const CameraFilePtr &file)
{
    if (ThumbItemPtr item = itemHolding(file))
        item->metadata = file->metadata();
    postWithoutUserInfo(QStringLiteral("MetadataHasArrived"));
}
