#pragma once

#include "ingest/CopyManifest.h"
#include "ingest/MetadataWriter.h"
#include "ingest/RunTotals.h"
#include "ingest/SafeCopy.h"
#include "items/ThumbItem.h"
#include "presets/Setup.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class MacroProcessor;
class ProgressSession;

// The ingestion driver: one run over the ticked items of `items` under a preset. It computes
// each item's target folder and name from the preset's macros, skips duplicates, copies the file
// into the first folder tree (or asks the camera to download it), verifies it, writes its
// metadata, then runs the second stage (backup to primary, second backup, DNG conversion) and
// reports the totals. The application controller owns one for the life of the program.
// Main thread only; camera completions must arrive on the main thread too.
class IngestFiles
{
public:
    // Options of a camera download completion.
    static const QString DownloadFolderKey; // the folder the file was saved in
    static const QString SavedFilenameKey;  // the name it was saved under

    // Asks the item's camera to download its file into `folder` under `fileName`; the camera
    // later calls didDownloadFile on the main thread. Answers false when no request was made.
    using CameraDownloader =
        std::function<bool(const ThumbItemPtr &item, const QString &folder, const QString &name)>;
    // Opens a folder with an application (the preset's "PostApp").
    using FolderOpener = std::function<void(const QString &application, const QString &folder)>;

    IngestFiles();
    ~IngestFiles();
    IngestFiles(const IngestFiles &) = delete;
    IngestFiles &operator=(const IngestFiles &) = delete;

    const ThumbItemList &items() const { return m_items; }
    void setItems(const ThumbItemList &items) { m_items = items; }
    MacroProcessor &macroProcessor() { return *m_macroProcessor; }

    // The whole run (or, with `preview`, the computation of targets and missing-data flags).
    void go(const Setup &setup, bool preview);

    // With both empty: forgets every stored file. With a name and a folder: records the name.
    void storeIngestedFile(const QString &name, const QString &dir);
    // True when no ticked item's generated metadata holds "{@Required}".
    bool checkRequired();
    // The end of a run; does its work at most once per run.
    void downloadsComplete();
    // A camera's completion of one requested download; an empty `error` means success.
    void didDownloadFile(const QString &error, const QVariantMap &options,
                         const ThumbItemPtr &item);

    // Per-item steps of the run, also used by the preview.
    void generateMetadataFor(ThumbItem &item, const Setup &setup);
    void computeShoot(ThumbItem &item, const Setup &setup);
    void geotag(ThumbItem &item);
    // True when the file at `path` is the same picture as the item (duplicate rule).
    bool isDuplicate(const ThumbItem &item, const QString &path) const;

    // JPEG verification of a first copy: true when the file may stay. `decoded` is the verdict
    // of a check made beside the copy over the very bytes written (else the file is decoded).
    bool verifyJPEG(const QString &path, std::optional<bool> decoded = std::nullopt);
    // True when the preset verifies the file at `path` by decoding it.
    bool wantsJpegCheck(const QString &path) const;
    // The second stage: false after a reported error.
    bool convertOrCopy();

    // What the run left behind, for the preview window and the tests.
    int numMissingData() const { return m_numMissingData; }
    const QString &firstFile() const { return m_firstFile; }
    const QString &lastFile() const { return m_lastFile; }
    const QString &firstImageFolder() const { return m_firstImageFolder; }
    const QString &topFolder() const { return m_topFolder; }
    const QString &tempDirRoot() const { return m_tempDirRoot; }
    // Folder to file names, and the folders in the order they first received a file.
    const QHash<QString, QStringList> &ingestedFiles() const { return m_ingestedFiles; }
    const QStringList &ingestedFolders() const { return m_ingestedFolders; }
    int numIngested() const { return m_numIngested; }
    int numDupes() const { return m_numDupes; }
    int numTotal() const { return m_numTotal; }
    int numCopiedToBackup() const { return m_numCopiedToBackup; }
    int numCopiedToBackup2() const { return m_numCopiedToBackup2; }
    int numTaggedByExifTool() const { return m_writeContext.numTaggedByExifTool; }
    // Files copied whose XMP could not be written (reported one by one, counted in the summary).
    int numMetadataNotWritten() const { return m_numMetadataNotWritten; }
    bool hadError() const { return m_hadError; }
    bool cancelled() const { return m_cancelled; }
    // Where every ticked file of the last run ended up.
    const RunTotals &totals() const { return m_totals; }

    // Copies are read back from the disk and compared with their sources by hash before they are
    // placed (the preference "VerifyCopies" unless set here).
    void setVerifyCopies(std::optional<bool> verify) { m_verifyOverride = verify; }
    bool verifyCopies() const;

    void setCameraDownloader(CameraDownloader downloader) { m_downloader = std::move(downloader); }
    void setFolderOpener(FolderOpener opener) { m_folderOpener = std::move(opener); }
    // Where the XMP template is read from (tests point it at a file of their own).
    static void setTemplateResource(const QString &path);
    // Reads the image properties of an existing file for the duplicate rule (default: the
    // image-properties service); an empty function restores the default.
    using PropertyReader = std::function<std::optional<QVariantMap>(const QString &path)>;
    static void setPropertyReader(PropertyReader reader);

    // The folder path for a sub-folder computed from metadata: "." and ".." components and a
    // leading "/" are dropped, so the result always lies inside `root`.
    static QString joinInsideRoot(const QString &root, const QString &subFolder);
    // "~" or a leading "~/" becomes the home folder.
    static QString expandTilde(const QString &path);
    // For a path on a removable volume ("/media/USER/NAME", "/run/media/USER/NAME",
    // "/mnt/NAME", "/Volumes/NAME"): the volume's name when its mount point is absent or not
    // mounted; empty when the path is fine.
    static QString missingVolume(const QString &path);

private:
    bool loadTemplate();
    void waitForMetadata();
    bool metadataAvailable();
    void go2();
    enum class Next { Continue, Stop };
    // A first copy from its write to its completion. While one is in flight, its sync and
    // read-back run on a worker and the next item's copy is written here; everything the run
    // reports about it (placement, verdict, metadata, messages) still comes before anything of
    // the next item.
    struct InFlight;
    struct InFlightDelete
    {
        void operator()(InFlight *flight) const;
    };
    using InFlightPtr = std::unique_ptr<InFlight, InFlightDelete>;
    InFlightPtr startFirst(const ThumbItemPtr &item, const QString &folder, qsizetype position);
    // Syncs and reads back the copy on a worker, after `before`'s (when given) and only if that
    // one came out clean; otherwise the copy's landing settles it.
    static void settleInWorker(InFlight &flight, const InFlight *before);
    Next completeFirst(InFlight &flight);
    // Whether the destination has room for `item`'s copies beside whatever the copy in flight
    // still writes after it is placed.
    bool roomBeside(const InFlight &flight, const ThumbItem &item) const;
    // Whether the item's way to its copy, while `flight` is still out, would be what it is
    // once `flight` has landed, and quiet: no folder to make, no message, no duplicate, and
    // no name that the copy in flight (or what its completion writes) may take.
    bool mayOverlap(const ThumbItem &item, const InFlight &flight, qint64 counter,
                    const QString &folderMacro, const QString &fileMacro);
    struct NameChoice
    {
        QString name; // the first free name, or the last one tried
        bool duplicate = false;
        QStringList tried; // every path looked at, in order
    };
    NameChoice chooseName(const ThumbItem &item, const QString &folder, const QString &base,
                          const QString &extension) const;
    QString baseNameFor(ThumbItem &item, const QString &fileMacro, bool *keptOriginal);
    void unstoreIngestedFile(const QString &name, const QString &dir, bool forgetDir);
    void readAheadAfter(const ThumbItemList &items, qsizetype position);
    void syncPlacedFolders();
    void noteRetries(const CopyReport &report, const QString &target);
    void failItem(const ThumbItem &item, const QString &folder, const QString &message);
    void recordFirstTree(const QString &folder, const QString &name);
    bool carryOnDuplicate(const QString &source, const QString &target, QString *error,
                          const QString &root, int *copies);
    void writeManifests();
    // Copies the item's companions beside its copy, under its new base name.
    Next copyCompanions(const ThumbItem &item, const QString &folder);
    bool restampUnchanged(const QString &path, const ManifestBook::Stamp &stamp);
    // Copies of a first-tree file written for the later trees from the same read of the card.
    QStringList laterTreeFolders(const QString &folder, const QString &name) const;
    QStringList makeLaterTreeFolders(const QStringList &folders);
    std::optional<CopyReport> placePrewritten(const QString &source, const QString &target);
    void keepMadeFolder(const QString &folder);
    void discardTwins();
    void writeMetadata(ThumbItem &item, const QString &copyPath, bool xmpEmbedded = false);
    bool giveTurn();
    bool requestDownload(const ThumbItemPtr &item, const QString &folder, const QString &name);
    // The console, log and alert texts of a failed copy; `endsRun` also stops the run.
    void reportCopyError(const QString &description, bool endsRun = true);
    bool copyOn(const QString &source, const QString &target, QString *error,
                const QString &root = QString());
    bool convertRaws(const QString &executable, const QStringList &rawFiles,
                     const QString &primaryFolder, const QString &backupFolder2,
                     const QString &primaryRoot, const QString &backupRoot2);
    bool failSecondStageCopy(const QString &systemLine, const QString &description);
    bool failSecondBackupCopy(const QString &target, const QString &description);
    void removeTempDir();

    ThumbItemList m_items;
    std::unique_ptr<MacroProcessor> m_macroProcessor;
    std::unique_ptr<ProgressSession> m_session;
    SafeCopier m_copier;
    std::optional<bool> m_verifyOverride;
    ManifestBook m_manifests;
    RunTotals m_totals;
    SourceFailureWatch m_sourceFailures;
    QHash<QString, ManifestBook::Stamp> m_copyHashes; // first copies by path
    struct PendingTwins
    {
        ManifestBook::Stamp stamp; // of the first-tree file when its twins were kept
        QList<TwinCopy> twins;
    };
    QHash<QString, PendingTwins> m_twins;         // by first-tree path, until the second stage
    QStringList m_twinMadeFolders;                // later-tree folders made early for twins
    QHash<QString, QStringList> m_duplicateFiles; // folder to names found already there
    QStringList m_duplicateFolders;
    MetadataWriteContext m_writeContext;
    CameraDownloader m_downloader;
    FolderOpener m_folderOpener;

    QHash<QString, QStringList> m_ingestedFiles;
    // Copies of companions (a movie's .THM or .XML): they travel with their file but take no
    // XMP sidecar of their own and are not counted as images.
    QSet<QString> m_companionCopies;
    QStringList m_ingestedFolders;
    QString m_topFolder;
    Setup m_activeSetup;
    QString m_xmpTemplate;
    bool m_templateLoaded = false;
    QString m_firstImageFolder;
    bool m_preview = false;
    QString m_firstFile;
    QString m_lastFile;
    int m_numMissingData = 0;
    QString m_tempDirRoot;
    QString m_tempDirError; // why the temporary folder could not be made
    bool m_wantRawVerify = false;

    int m_numIngested = 0;
    int m_numCopiedToBackup = 0;
    int m_numCopiedToBackup2 = 0;
    int m_numTotal = 0;
    int m_numDupes = 0;
    int m_numMetadataNotWritten = 0;
    bool m_hadError = false;
    bool m_cancelled = false;
    bool m_downloadsCompleted = false;
    bool m_showingWaitWindow = false;
    int m_downloadsRequested = 0;
    int m_downloadsFinished = 0;
    bool m_loopRunning = false;
};
