#pragma once

#include "sources/CameraRecords.h"

#include "platform/HeldImage.h"
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <map>
#include <memory>

struct _Camera;
struct _GPContext;
struct _GPPortInfoList;
struct _CameraAbilitiesList;
struct GPhotoLibrary;

// The libgphoto2 side of the camera service. It lives on the service's worker thread; its
// operations are called there (queued by the service) and report through queued signals. A
// camera's thumbnails and metadata are fetched one file per event, so downloads asked for in
// the meantime are not held up behind a whole card. Long calls end early when the camera's
// cancel flag or the service's stopping flag is raised.
class CameraWorker : public QObject
{
    Q_OBJECT
public:
    explicit CameraWorker(std::shared_ptr<std::atomic<bool>> stopping);
    ~CameraWorker() override;

    void detect(const QStringList &diskFolders, bool includeAttached);
    void open(quint64 deviceId, quint64 session, const CameraRecords::Descriptor &descriptor,
              std::shared_ptr<std::atomic<bool>> cancel, bool fetchThumbnails);
    void close(quint64 deviceId, quint64 session);
    void download(const CameraRecords::DownloadJob &job);
    void closeAll();
    // Closes every camera and frees the drivers; the last call before the thread ends.
    void finish();

    // Writes `source` into `directory` under `name` through a hidden temporary file: flushed,
    // given the modification time, with `verify` read back from the disk and compared with what
    // was written, then placed without replacing anything. A failed fsync or a copy that reads
    // back differently is thrown away and `source` is asked once more. `source` writes the
    // bytes to the descriptor it is given and answers an error text or an empty one. Answers
    // an error text, empty on success. Used by downloads; public so tests can reach it.
    static QString placeFile(const QString &directory, const QString &name, qint64 modificationTime,
                             const std::function<QString(int fd)> &source, bool verify = true);

Q_SIGNALS:
    void detected(const QList<CameraRecords::Descriptor> &found);
    void opened(quint64 deviceId, quint64 session, const QString &error,
                const QList<CameraRecords::FileRecord> &files);
    void thumbnailFetched(quint64 deviceId, quint64 session, int index, const HeldImage &image);
    void metadataFetched(quint64 deviceId, quint64 session, int index, const QVariantMap &metadata);
    void downloaded(quint64 requestId, const QString &error);

public:
    // One open camera: its handles and the progress of fetching thumbnails and metadata.
    struct OpenCamera
    {
        quint64 session = 0;
        _Camera *camera = nullptr;
        _GPContext *context = nullptr;
        _GPPortInfoList *ports = nullptr;
        std::shared_ptr<std::atomic<bool>> cancel;
        QString name;
        QList<CameraRecords::FileRecord> files;
        int next = 0;
        bool fetchThumbnails = true;
        std::shared_ptr<std::atomic<bool>> stopping;
    };

private:
    // Loads the library and its camera drivers once; false with the reason in *error.
    bool ensureAbilities(QString *error);
    void fetchStep(quint64 deviceId, quint64 session);
    void fetchExtras(OpenCamera &open, const CameraRecords::FileRecord &file, HeldImage *thumbnail,
                     QVariantMap *metadata);
    void listFolder(OpenCamera &open, const QString &folder, int depth);
    void release(OpenCamera &open);
    bool cancelled(const OpenCamera &open) const;

    std::shared_ptr<std::atomic<bool>> m_stopping;
    // Set by the first ensureAbilities() that finds the library; every handle below was made
    // through it.
    const GPhotoLibrary *m_gp = nullptr;
    bool m_libraryMissingLogged = false;
    _GPContext *m_context = nullptr;
    _CameraAbilitiesList *m_abilities = nullptr;
    std::map<quint64, OpenCamera> m_open;
};
