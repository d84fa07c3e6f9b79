#include "sources/CameraWorker.h"

#include "platform/CopySteps.h"
#include "platform/Format.h"
#include "platform/HeldImage.h"
#include "platform/ImageProperties.h"
#include "platform/IoFaults.h"
#include "platform/SystemLog.h"
#include "sources/GPhotoLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using CameraRecords::Descriptor;
using CameraRecords::DownloadJob;
using CameraRecords::FileRecord;

// The first bytes of a file usually hold all of its metadata; the whole file is fetched only
// when they do not and the file is small enough.
constexpr quint64 kHeadBytes = 1024 * 1024;
constexpr quint64 kWholeFileLimit = 64 * 1024 * 1024;
constexpr int kThumbnailSide = 320;
constexpr int kMaxFolderDepth = 24;

const char *const kDirectoryModel = "Directory Browse";

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString gphotoError(const GPhotoLibrary &gp, int result)
{
    return QString::fromUtf8(gp.gp_result_as_string(result));
}

GPContextFeedback cancelOpenCamera(GPContext *, void *data)
{
    const auto *open = static_cast<const CameraWorker::OpenCamera *>(data);
    const bool stop =
        (open->cancel && open->cancel->load()) || (open->stopping && open->stopping->load());
    return stop ? GP_CONTEXT_FEEDBACK_CANCEL : GP_CONTEXT_FEEDBACK_OK;
}

GPContextFeedback cancelDetection(GPContext *, void *data)
{
    const auto *stopping = static_cast<const std::atomic<bool> *>(data);
    return stopping->load() ? GP_CONTEXT_FEEDBACK_CANCEL : GP_CONTEXT_FEEDBACK_OK;
}

// A temporary file for data read from a camera, removed when it goes out of scope.
class ScratchFile
{
public:
    ScratchFile()
    {
        QByteArray path = QFile::encodeName(QDir::tempPath() + "/brindlewick-camera-XXXXXX");
        m_fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (m_fd >= 0)
            m_path = QFile::decodeName(path);
    }
    ~ScratchFile()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
            ::unlink(QFile::encodeName(m_path).constData());
        }
    }
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;

    bool isValid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    QString path() const { return m_path; }

    bool replaceWith(const QByteArray &data)
    {
        if (m_fd < 0 || ::ftruncate(m_fd, 0) != 0 || ::lseek(m_fd, 0, SEEK_SET) < 0)
            return false;
        qsizetype written = 0;
        while (written < data.size()) {
            const ssize_t n = ::write(m_fd, data.constData() + written, data.size() - written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            written += n;
        }
        return true;
    }
    bool truncate()
    {
        return m_fd >= 0 && ::ftruncate(m_fd, 0) == 0 && ::lseek(m_fd, 0, SEEK_SET) == 0;
    }

private:
    int m_fd = -1;
    QString m_path;
};

// An EXIF block as the camera hands it out, made into the smallest JPEG that a properties
// reader accepts.
QByteArray jpegAroundExif(QByteArray exif)
{
    if (exif.startsWith("\xFF\xD8"))
        return exif;
    if (exif.startsWith("\xFF\xE1") && exif.size() > 4)
        exif = exif.mid(4);
    if (!exif.startsWith(QByteArray("Exif\0\0", 6)))
        exif.prepend(QByteArray("Exif\0\0", 6));
    const qsizetype length = exif.size() + 2;
    if (length > 0xFFFF)
        return QByteArray();
    QByteArray jpeg("\xFF\xD8\xFF\xE1", 4);
    jpeg.append(char((length >> 8) & 0xFF));
    jpeg.append(char(length & 0xFF));
    jpeg.append(exif);
    jpeg.append("\xFF\xD9", 2);
    return jpeg;
}

// What a file shows when neither the camera nor its data give a picture: items then stop
// waiting for a thumbnail that would never come.
HeldImage placeholderThumbnail()
{
    return HeldImage::fileIcon(QSize(kThumbnailSide / 2, kThumbnailSide / 2));
}

QString joinFolder(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

CameraWorker::CameraWorker(std::shared_ptr<std::atomic<bool>> stopping)
    : m_stopping(std::move(stopping))
{}

CameraWorker::~CameraWorker()
{
    finish();
}

void CameraWorker::finish()
{
    closeAll();
    if (m_abilities)
        m_gp->gp_abilities_list_free(m_abilities);
    m_abilities = nullptr;
    if (m_context)
        m_gp->gp_context_unref(m_context);
    m_context = nullptr;
}

bool CameraWorker::ensureAbilities(QString *error)
{
    if (!m_gp) {
        QString reason;
        m_gp = GPhotoLibrary::system(&reason);
        if (!m_gp) {
            // Detection then lists the folders alone; the log tells why once, and opening a
            // camera tells whoever asked.
            if (!m_libraryMissingLogged)
                SystemLog::write(reason);
            m_libraryMissingLogged = true;
            if (error)
                *error = reason;
            return false;
        }
    }
    if (!m_context) {
        m_context = m_gp->gp_context_new();
        m_gp->gp_context_set_cancel_func(m_context, &cancelDetection, m_stopping.get());
    }
    if (m_abilities)
        return true;
    if (m_gp->gp_abilities_list_new(&m_abilities) >= GP_OK &&
        m_gp->gp_abilities_list_load(m_abilities, m_context) >= GP_OK)
        return true;
    if (m_abilities)
        m_gp->gp_abilities_list_free(m_abilities);
    m_abilities = nullptr;
    if (error)
        *error = QStringLiteral("The camera drivers could not be loaded.");
    return false;
}

void CameraWorker::detect(const QStringList &diskFolders, bool includeAttached)
{
    QList<Descriptor> found;
    if (includeAttached && !m_stopping->load() && ensureAbilities(nullptr)) {
        GPPortInfoList *ports = nullptr;
        CameraList *list = nullptr;
        if (m_gp->gp_port_info_list_new(&ports) >= GP_OK &&
            m_gp->gp_port_info_list_load(ports) >= GP_OK && m_gp->gp_list_new(&list) >= GP_OK &&
            m_gp->gp_abilities_list_detect(m_abilities, ports, list, m_context) >= GP_OK) {
            const int count = m_gp->gp_list_count(list);
            for (int i = 0; i < count; ++i) {
                const char *model = nullptr;
                const char *port = nullptr;
                m_gp->gp_list_get_name(list, i, &model);
                m_gp->gp_list_get_value(list, i, &port);
                if (!model || !port)
                    continue;
                Descriptor d;
                d.model = QString::fromUtf8(model);
                d.port = QString::fromUtf8(port);
                d.key = d.model + QLatin1Char('@') + d.port;
                d.name = d.model;
                d.type = CameraDeviceTypeCamera;
                const int index = m_gp->gp_abilities_list_lookup_model(m_abilities, model);
                CameraAbilities abilities;
                if (index >= 0 &&
                    m_gp->gp_abilities_list_get_abilities(m_abilities, index, &abilities) >=
                        GP_OK &&
                    (abilities.device_type & GP_DEVICE_AUDIO_PLAYER))
                    d.type = CameraDeviceTypeMediaPlayer;
                found.append(d);
            }
        }
        if (list)
            m_gp->gp_list_free(list);
        if (ports)
            m_gp->gp_port_info_list_free(ports);
    }
    for (const QString &folder : diskFolders) {
        const QFileInfo info(folder);
        if (!info.isDir())
            continue;
        const QString path = info.canonicalFilePath();
        Descriptor d;
        d.port = QStringLiteral("disk:") + path;
        d.key = d.port;
        d.model = QString::fromLatin1(kDirectoryModel);
        d.name = QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName();
        d.type = CameraDeviceTypeCamera;
        const bool known = std::any_of(found.begin(), found.end(),
                                       [&](const Descriptor &other) { return other.key == d.key; });
        if (!known)
            found.append(d);
    }
    Q_EMIT detected(found);
}

bool CameraWorker::cancelled(const OpenCamera &open) const
{
    return open.cancel->load() || m_stopping->load();
}

void CameraWorker::open(quint64 deviceId, quint64 session, const Descriptor &descriptor,
                        std::shared_ptr<std::atomic<bool>> cancel, bool fetchThumbnails)
{
    if (auto it = m_open.find(deviceId); it != m_open.end()) {
        release(it->second);
        m_open.erase(it);
    }
    auto fail = [&](const QString &error) { Q_EMIT opened(deviceId, session, error, {}); };
    QString driversError;
    if (!ensureAbilities(&driversError))
        return fail(driversError);

    OpenCamera &open = m_open[deviceId];
    open.session = session;
    open.cancel = std::move(cancel);
    open.stopping = m_stopping;
    open.name = descriptor.name;
    open.fetchThumbnails = fetchThumbnails;
    open.context = m_gp->gp_context_new();
    m_gp->gp_context_set_cancel_func(open.context, &cancelOpenCamera, &open);

    auto failOpen = [&](const QString &error) {
        release(open);
        m_open.erase(deviceId);
        fail(error);
    };

    const QByteArray model = descriptor.model.toUtf8();
    const int modelIndex = m_gp->gp_abilities_list_lookup_model(m_abilities, model.constData());
    CameraAbilities abilities;
    if (modelIndex < 0 ||
        m_gp->gp_abilities_list_get_abilities(m_abilities, modelIndex, &abilities) < GP_OK)
        return failOpen(formatMessage("There is no camera driver for \"%@\".", descriptor.model));

    // A folder's "disk:" port is not in the loaded list; the lookup adds it through the disk
    // port driver's generic entry.
    if (m_gp->gp_port_info_list_new(&open.ports) < GP_OK ||
        m_gp->gp_port_info_list_load(open.ports) < GP_OK)
        return failOpen(QStringLiteral("The camera ports could not be listed."));
    const QByteArray port = descriptor.port.toUtf8();
    const int portIndex = m_gp->gp_port_info_list_lookup_path(open.ports, port.constData());
    GPPortInfo portInfo;
    if (portIndex < 0 || m_gp->gp_port_info_list_get_info(open.ports, portIndex, &portInfo) < GP_OK)
        return failOpen(formatMessage("The camera port \"%@\" is not available.", descriptor.port));

    if (m_gp->gp_camera_new(&open.camera) < GP_OK)
        return failOpen(QStringLiteral("The camera could not be set up."));
    m_gp->gp_camera_set_abilities(open.camera, abilities);
    m_gp->gp_camera_set_port_info(open.camera, portInfo);
    const int initResult = m_gp->gp_camera_init(open.camera, open.context);
    if (initResult < GP_OK) {
        m_gp->gp_camera_free(open.camera);
        open.camera = nullptr;
        return failOpen(formatMessage("The camera \"%@\" could not be opened: %@", descriptor.name,
                                      gphotoError(*m_gp, initResult)));
    }

    listFolder(open, QStringLiteral("/"), 0);
    if (cancelled(open))
        return failOpen(formatMessage("Opening the camera \"%@\" was cancelled.", descriptor.name));
    Q_EMIT opened(deviceId, session, QString(), open.files);
    QMetaObject::invokeMethod(
        this, [this, deviceId, session] { fetchStep(deviceId, session); }, Qt::QueuedConnection);
}

void CameraWorker::listFolder(OpenCamera &open, const QString &folder, int depth)
{
    if (depth > kMaxFolderDepth || cancelled(open))
        return;
    const QByteArray folderBytes = folder.toUtf8();
    CameraList *list = nullptr;
    if (m_gp->gp_list_new(&list) < GP_OK)
        return;

    QStringList names;
    if (m_gp->gp_camera_folder_list_files(open.camera, folderBytes.constData(), list,
                                          open.context) >= GP_OK) {
        for (int i = 0, n = m_gp->gp_list_count(list); i < n; ++i) {
            const char *name = nullptr;
            if (m_gp->gp_list_get_name(list, i, &name) >= GP_OK && name && name[0] != '.')
                names.append(QString::fromUtf8(name));
        }
    }
    std::sort(names.begin(), names.end());
    for (const QString &name : names) {
        if (cancelled(open))
            break;
        FileRecord record;
        record.folder = folder;
        record.name = name;
        CameraFileInfo info;
        std::memset(&info, 0, sizeof info);
        const QByteArray nameBytes = name.toUtf8();
        if (m_gp->gp_camera_file_get_info(open.camera, folderBytes.constData(),
                                          nameBytes.constData(), &info, open.context) >= GP_OK) {
            if (info.file.fields & GP_FILE_INFO_MTIME)
                record.modificationTime = static_cast<qint64>(info.file.mtime);
            if (info.file.fields & GP_FILE_INFO_SIZE)
                record.size = info.file.size;
        }
        open.files.append(record);
    }

    QStringList folders;
    m_gp->gp_list_reset(list);
    if (m_gp->gp_camera_folder_list_folders(open.camera, folderBytes.constData(), list,
                                            open.context) >= GP_OK) {
        for (int i = 0, n = m_gp->gp_list_count(list); i < n; ++i) {
            const char *name = nullptr;
            if (m_gp->gp_list_get_name(list, i, &name) >= GP_OK && name && name[0] != '.')
                folders.append(QString::fromUtf8(name));
        }
    }
    m_gp->gp_list_free(list);
    std::sort(folders.begin(), folders.end());
    for (const QString &sub : folders)
        listFolder(open, joinFolder(folder, sub), depth + 1);
}

void CameraWorker::fetchStep(quint64 deviceId, quint64 session)
{
    auto it = m_open.find(deviceId);
    if (it == m_open.end() || it->second.session != session)
        return;
    OpenCamera &open = it->second;
    if (cancelled(open) || open.next >= open.files.size())
        return;
    const int index = open.next++;
    HeldImage thumbnail;
    QVariantMap metadata;
    fetchExtras(open, open.files[index], &thumbnail, &metadata);
    if (open.fetchThumbnails)
        Q_EMIT thumbnailFetched(deviceId, session, index, thumbnail);
    Q_EMIT metadataFetched(deviceId, session, index, metadata);
    if (open.next < open.files.size())
        QMetaObject::invokeMethod(
            this, [this, deviceId, session] { fetchStep(deviceId, session); },
            Qt::QueuedConnection);
}

void CameraWorker::fetchExtras(OpenCamera &open, const FileRecord &file, HeldImage *thumbnail,
                               QVariantMap *metadata)
{
    const QByteArray folder = file.folder.toUtf8();
    const QByteArray name = file.name.toUtf8();
    HeldImage picture;
    std::optional<QVariantMap> properties;

    if (open.fetchThumbnails) {
        CameraFile *preview = nullptr;
        if (m_gp->gp_file_new(&preview) >= GP_OK) {
            if (m_gp->gp_camera_file_get(open.camera, folder.constData(), name.constData(),
                                         GP_FILE_TYPE_PREVIEW, preview, open.context) >= GP_OK) {
                const char *data = nullptr;
                unsigned long size = 0;
                if (m_gp->gp_file_get_data_and_size(preview, &data, &size) >= GP_OK && data &&
                    size) {
                    picture = HeldImage::decode(QByteArray(data, static_cast<qsizetype>(size)),
                                                QSize(kThumbnailSide, kThumbnailSide));
                }
            }
            m_gp->gp_file_unref(preview);
        }
    }

    ScratchFile scratch;
    if (scratch.isValid() && !cancelled(open)) {
        // The head of the file first: cameras that can read part of a file answer quickly.
        QByteArray head(static_cast<qsizetype>(kHeadBytes), Qt::Uninitialized);
        uint64_t got = head.size();
        if (m_gp->gp_camera_file_read(open.camera, folder.constData(), name.constData(),
                                      GP_FILE_TYPE_NORMAL, 0, head.data(), &got,
                                      open.context) >= GP_OK &&
            got > 0) {
            head.truncate(static_cast<qsizetype>(got));
            if (scratch.replaceWith(head))
                properties = ImageProperties::exif(scratch.path());
        }

        const bool wantWhole = !properties || (open.fetchThumbnails && picture.isNull());
        if (wantWhole && file.size > 0 && file.size <= kWholeFileLimit && !cancelled(open) &&
            scratch.truncate()) {
            CameraFile *whole = nullptr;
            const int fd = ::dup(scratch.fd());
            if (fd >= 0 && m_gp->gp_file_new_from_fd(&whole, fd) >= GP_OK) {
                const int got =
                    m_gp->gp_camera_file_get(open.camera, folder.constData(), name.constData(),
                                             GP_FILE_TYPE_NORMAL, whole, open.context);
                m_gp->gp_file_unref(whole); // closes the duplicate descriptor
                if (got >= GP_OK) {
                    if (!properties)
                        properties = ImageProperties::exif(scratch.path());
                    if (open.fetchThumbnails && picture.isNull())
                        picture = HeldImage::preview(scratch.path(),
                                                     QSize(kThumbnailSide, kThumbnailSide));
                }
            } else if (fd >= 0) {
                ::close(fd);
            }
        }

        if (!properties && !cancelled(open)) {
            CameraFile *exif = nullptr;
            if (m_gp->gp_file_new(&exif) >= GP_OK) {
                if (m_gp->gp_camera_file_get(open.camera, folder.constData(), name.constData(),
                                             GP_FILE_TYPE_EXIF, exif, open.context) >= GP_OK) {
                    const char *data = nullptr;
                    unsigned long size = 0;
                    if (m_gp->gp_file_get_data_and_size(exif, &data, &size) >= GP_OK && data &&
                        size) {
                        const QByteArray jpeg =
                            jpegAroundExif(QByteArray(data, static_cast<qsizetype>(size)));
                        if (!jpeg.isEmpty() && scratch.replaceWith(jpeg))
                            properties = ImageProperties::exif(scratch.path());
                    }
                }
                m_gp->gp_file_unref(exif);
            }
        }
    }

    if (open.fetchThumbnails && picture.isNull())
        picture = placeholderThumbnail();
    *thumbnail = picture;
    *metadata = properties.value_or(QVariantMap());
}

void CameraWorker::close(quint64 deviceId, quint64 session)
{
    auto it = m_open.find(deviceId);
    if (it == m_open.end() || (session && it->second.session != session))
        return;
    release(it->second);
    m_open.erase(it);
}

void CameraWorker::closeAll()
{
    for (auto &[id, open] : m_open)
        release(open);
    m_open.clear();
}

void CameraWorker::release(OpenCamera &open)
{
    if (open.camera) {
        m_gp->gp_camera_exit(open.camera, open.context);
        m_gp->gp_camera_unref(open.camera);
        open.camera = nullptr;
    }
    if (open.ports) {
        m_gp->gp_port_info_list_free(open.ports);
        open.ports = nullptr;
    }
    if (open.context) {
        m_gp->gp_context_unref(open.context);
        open.context = nullptr;
    }
}

void CameraWorker::download(const DownloadJob &job)
{
    auto it = m_open.find(job.deviceId);
    if (it == m_open.end() || !it->second.camera) {
        Q_EMIT downloaded(
            job.requestId,
            formatMessage("Can't download \"%@\": the camera is not open.", job.name));
        return;
    }
    OpenCamera &open = it->second;
    const QByteArray folder = job.folder.toUtf8();
    const QByteArray name = job.name.toUtf8();
    const QString error = placeFile(
        job.directory, job.saveAs, job.modificationTime,
        [&](int fd) -> QString {
            if (cancelled(open))
                return QStringLiteral("The download was cancelled.");
            const int copy = ::dup(fd);
            CameraFile *target = nullptr;
            if (copy < 0 || m_gp->gp_file_new_from_fd(&target, copy) < GP_OK) {
                if (copy >= 0)
                    ::close(copy);
                return QStringLiteral("Out of resources.");
            }
            const int result =
                m_gp->gp_camera_file_get(open.camera, folder.constData(), name.constData(),
                                         GP_FILE_TYPE_NORMAL, target, open.context);
            m_gp->gp_file_unref(target);
            if (result < GP_OK)
                return result == GP_ERROR_CANCEL ? QStringLiteral("The download was cancelled.")
                                                 : gphotoError(*m_gp, result);
            return QString();
        },
        job.verify);
    Q_EMIT downloaded(job.requestId,
                      error.isEmpty()
                          ? QString()
                          : formatMessage("Can't download \"%@\" from the camera \"%@\": %@",
                                          job.name, open.name, error));
}

QString CameraWorker::placeFile(const QString &directory, const QString &name,
                                qint64 modificationTime,
                                const std::function<QString(int fd)> &source, bool verify)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".") ||
        name == QLatin1String(".."))
        return formatMessage("\"%@\" is not a usable file name.", name);
    const QByteArray dirPath = QFile::encodeName(directory);
    const int dirFd = ::open(dirPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return formatMessage("The folder \"%@\" can't be opened: %@", directory,
                             systemError(errno));
    const QByteArray finalName = QFile::encodeName(name);
    struct stat existing;
    if (::fstatat(dirFd, finalName.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        ::close(dirFd);
        return formatMessage("A file named \"%@\" already exists in \"%@\".", name, directory);
    }

    QByteArray tempName;
    int fd = -1;
    auto discard = [&](const QString &error) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        ::unlinkat(dirFd, tempName.constData(), 0);
        return error;
    };
    // One download into a fresh temporary: empty on success, else why it was thrown away.
    // `again` says whether downloading once more may help.
    auto attempt = [&](bool *again) -> QString {
        *again = false;
        fd = CopySteps::createTemporary(dirPath, &tempName);
        if (fd < 0)
            return formatMessage("A file can't be created in \"%@\": %@", directory,
                                 systemError(errno));
        const QString sourceError = source(fd);
        if (!sourceError.isEmpty())
            return discard(sourceError);
        Hash128 written;
        qint64 writtenBytes = 0;
        if (verify) {
            if (const int err = CopySteps::hashContent(fd, &written, &writtenBytes))
                return discard(formatMessage("Reading \"%@\" failed: %@", name, systemError(err)));
        }
        if (modificationTime >= 0) {
            struct timespec times[2];
            times[0].tv_sec = modificationTime;
            times[0].tv_nsec = 0;
            times[1] = times[0];
            ::futimens(fd, times);
        }
        if (const int err = CopySteps::durableSync(fd)) {
            *again = err != ENOSPC && err != EDQUOT;
            return discard(formatMessage("Writing \"%@\" failed: %@", name, systemError(err)));
        }
        if (verify) {
            if (IoFaults::takeFlip())
                CopySteps::flipMiddleByte(fd);
            Hash128 readBack;
            qint64 readBytes = 0;
            if (const int err = CopySteps::readBackHash(fd, &readBack, &readBytes)) {
                *again = true;
                return discard(
                    formatMessage("Reading \"%@\" back failed: %@", name, systemError(err)));
            }
            if (readBytes != writtenBytes || !(readBack == written)) {
                *again = true;
                return discard(formatMessage("The copy of \"%@\" in \"%@\" differed from what "
                                             "the camera sent when it was read back, twice; the "
                                             "copy was not kept.",
                                             name, directory));
            }
        }
        if (::close(fd) != 0) {
            const int err = errno;
            fd = -1;
            return discard(formatMessage("Writing \"%@\" failed: %@", name, systemError(err)));
        }
        fd = -1;
        return QString();
    };

    bool again = false;
    QString error = attempt(&again);
    if (!error.isEmpty() && again)
        error = attempt(&again);
    if (!error.isEmpty()) {
        ::close(dirFd);
        return error;
    }

    // Placed without replacing: a file that appeared meanwhile under the name wins.
    if (const int err =
            CopySteps::placeNoReplace(dirFd, tempName.constData(), finalName.constData())) {
        ::unlinkat(dirFd, tempName.constData(), 0);
        ::close(dirFd);
        if (err == EEXIST)
            return formatMessage("A file named \"%@\" already exists in \"%@\".", name, directory);
        return formatMessage("\"%@\" can't be placed in \"%@\": %@", name, directory,
                             systemError(err));
    }
    ::close(dirFd);
    return QString();
}
