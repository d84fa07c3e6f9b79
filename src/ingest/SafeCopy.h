#pragma once

#include "platform/CopySteps.h"
#include "platform/FileHash.h"

#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>

// A copy written from the same read of the source as another one, for a later tree: a
// temporary (hidden, swept like any other if the run dies) that waits to be placed.
struct TwinCopy
{
    QString folder;
    QByteArray name; // inside the folder
    Hash128 hash;
    qint64 size = 0;
    bool verified = false; // read back from the disk and matched
};

// What became of one copy.
struct CopyReport
{
    enum class Failure {
        None,
        TargetExists,  // a file already has the final name (left untouched)
        Source,        // the source could not be opened or read (card pulled, bad sector)
        SourceChanged, // the source's size or modification time changed while it was copied
        DiskFull,      // the destination has no room left
        Destination,   // writing, syncing or reading back the copy failed twice
        Mismatch,      // the copy read back differed from the source twice
    };

    Failure failure = Failure::None;
    QString error;         // the description for the user; empty on success
    QStringList retries;   // why each earlier attempt was thrown away and made again
    bool verified = false; // the copy was read back from the disk and matched the source
    Hash128 hash;          // of the source as it was read and written (on success)
    qint64 size = 0;
    qint64 modified = 0;    // the copy's modification time, seconds since 1970
    bool rewritten = false; // the copy was written with a new head (CopyOptions::rewriteHead)
    QList<TwinCopy> twins;  // those of CopyOptions::twinFolders that were made

    bool ok() const { return failure == Failure::None; }
};

// A new head for a copy, given the first bytes of the source (all of it when `complete`).
struct HeadRewrite
{
    enum class Status { Done, NeedMore, Decline };
    Status status = Status::Decline;
    QByteArray head; // written in place of the source's first `replaced` bytes
    qsizetype replaced = 0;
};

// What a copy may do beyond copying the bytes unchanged.
struct CopyOptions
{
    CopySteps::ChunkCallback onChunk;
    CopySteps::ByteSink *check = nullptr; // sees every byte of each attempt as it is written
    // Writes the copy with a new head in the same pass (a JPEG with its XMP). A decline makes a
    // plain copy. The copy then takes `rewrittenMode` and the source's modification time.
    std::function<HeadRewrite(const QByteArray &head, bool complete)> rewriteHead;
    mode_t rewrittenMode = 0644;
    // Folders that receive a twin of the copy, written from the same read and synced (and read
    // back) like the copy, but left unplaced. A twin that fails is dropped without failing the
    // copy: the later tree then copies the file the ordinary way.
    QStringList twinFolders;
    // The mode the twins are written with: the one the first copy will have when the later
    // trees copy it (0: the copy's own). When it comes true, placing a twin needs no sync.
    mode_t twinMode = 0;
};

// A copy written but not yet synced, read back or placed (SafeCopier::begin). Dropping it
// removes its temporary and its twins.
struct PendingCopy;
struct PendingCopyDelete
{
    void operator()(PendingCopy *copy) const;
};
using PendingCopyPtr = std::unique_ptr<PendingCopy, PendingCopyDelete>;

// Places copies of image files without ever replacing anything. A copy is written under a hidden
// temporary name in the target folder while the source is hashed, flushed to the disk, given the
// source's modification time, and (with verification) read back from the disk and compared with
// the source's hash; only then is it put under its final name (renameat2 with RENAME_NOREPLACE,
// else link + unlink) and the folder synced. A copy that reads back differently or whose fsync
// fails is thrown away and made once more from the source. An interruption at any point leaves
// no file under the final name.
// One copier per run and thread; the steps themselves keep no state (platform/CopySteps.h).
class SafeCopier
{
public:
    using ChunkCallback = CopySteps::ChunkCallback;

    // Prefix of the temporary names; a file with it is the remains of an interrupted copy.
    static const char *temporaryPrefix();

    // Forgets which folders were swept for stray temporaries (call once per run).
    void beginRun() { m_swept.clear(); }
    // Read back and compare every copy (the default) or only flush it.
    void setVerify(bool verify) { m_verify = verify; }
    bool verify() const { return m_verify; }

    // Folders receive their fsync in syncFolders() rather than after every file (a run syncs
    // them before it reports anything as done). Off by default: each placement syncs its folder.
    void setGroupFolderSyncs(bool group) { m_groupFolderSyncs = group; }
    // Syncs the folders that received files since the last call; answers the descriptions of
    // the folders whose sync failed.
    QStringList syncFolders();

    // Copies `source` to `target` (which must not exist); `check`, when given, sees every byte
    // of each attempt as it is written.
    CopyReport copy(const QString &source, const QString &target,
                    const ChunkCallback &onChunk = ChunkCallback(),
                    CopySteps::ByteSink *check = nullptr);
    CopyReport copy(const QString &source, const QString &target, const CopyOptions &options);
    // The same in three steps, so that the sync and read-back of one copy can overlap the
    // writing of the next: begin() writes the temporary (on this thread, with the options'
    // callbacks), settle() syncs and reads it back (any one thread; it touches only `copy`),
    // finish() makes the retry, if one is due, and places it. begin() and finish() belong to
    // the copier's thread.
    PendingCopyPtr begin(const QString &source, const QString &target, const CopyOptions &options);
    // True when the copy is durable (and read back) and only waits to be placed.
    static bool settle(PendingCopy &copy);
    CopyReport finish(PendingCopyPtr copy);
    // Whether the copy is being written with a new head (CopyOptions::rewriteHead).
    static bool isRewriting(const PendingCopy &copy);
    // Puts a twin under `target` in place of copying `source` there: the twin takes the
    // source's mode and times as a copy would and is synced again, then placed without
    // replacing anything. The report is the one a copy would give (a name already taken fails
    // the same way). Nullopt when the twin cannot be used (it is then gone and the caller copies
    // as usual). The caller vouches that `source` still holds the twin's bytes.
    std::optional<CopyReport> placeTwin(const TwinCopy &twin, const QString &source,
                                        const QString &target);
    static void discardTwin(const TwinCopy &twin);

    // The same answering only success; `error` receives the description of a failure.
    bool copyFile(const QString &source, const QString &target, QString *error,
                  const ChunkCallback &onChunk = ChunkCallback());

    // Removes the remains of interrupted copies in `folder`, once per run.
    void sweep(const QString &folder);
    bool swept(const QString &folder) const;
    static int removeStrayTemporaries(const QString &folder);

    // Test seam: from now on every copy fails with "No space left on device" once it has
    // written this many bytes in total (across copies); a negative value turns it off.
    static void setFailAfterBytes(qint64 bytes);

    // Bytes between two chunk callbacks.
    static constexpr qint64 chunkBytes = CopySteps::kChunkBytes;

private:
    QSet<QString> m_swept;
    QStringList m_unsyncedFolders;
    bool m_verify = true;
    bool m_groupFolderSyncs = false;
};
