#pragma once

#include "platform/FileHash.h"

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <vector>

// The steps of a verified copy, each a plain function over open descriptors with no state of
// its own, so any of them may later run on a worker thread. A failure answers the errno.
//
//   copyAndHash      source -> temporary, hashing the bytes as they are written
//   durableSync      fsync the temporary; a failure is final for this copy (never retried)
//   readBackHash     drop the temporary's cached pages and hash what the disk gives back
//   placeNoReplace   put the temporary under its final name without replacing anything
namespace CopySteps {

// Every copy in flight lives under this hidden prefix in its target folder (the rest of the name
// comes from mkstemp) and holds an exclusive flock while it is written, so a sweep can tell the
// remains of an interrupted copy from another program's copy in progress.
inline constexpr char kTemporaryPrefix[] = ".brindlewick-partial-";

// Creates such a temporary in the folder `dirPath` (its file descriptor, locked, or -1 with
// errno set); `name` receives its name inside the folder.
int createTemporary(const QByteArray &dirPath, QByteArray *name);
// Removes the remains of interrupted copies in `dirPath`; answers how many went.
int removeStrayTemporaries(const QByteArray &dirPath);

// Called between chunks of a large file, on the thread doing the copy.
using ChunkCallback = std::function<void()>;

// Bytes between two chunk callbacks.
inline constexpr qint64 kChunkBytes = 8 << 20;

// Receives, on the copying thread, every byte of a copy as it is written (a structural check
// that runs beside the copy). begin() comes before the first byte of each attempt.
class ByteSink
{
public:
    virtual ~ByteSink() = default;
    virtual void begin() = 0;
    virtual void add(const char *data, qint64 size) = 0;
};

struct Transfer
{
    int error = 0;           // 0, or the errno of the failed step
    bool sourceSide = false; // the failure was a read of the source
    qint64 bytes = 0;        // bytes written
    qint64 sourceBytes = 0;  // bytes read from the source
    Hash128 hash;            // of the bytes written (copyAndHash only)
};

// A further copy written from the same read of the source as the main one (a later tree's copy
// of the same bytes). Its failure never fails the main copy: `error` records it and the copy
// stops being written.
struct ExtraOutput
{
    int fd = -1;
    int error = 0;
};

// Copies `in` from its offset to its end onto `out`, hashing every byte read (and handing it to
// `sink`). The source is read exactly once. The write-back of each piece starts as soon as it is
// written, and the copy waits for pieces written a few MB earlier: the disk works while the next
// piece is read, the final fsync has little left to do, and dirty pages stay few.
Transfer copyAndHash(int in, int out, const ChunkCallback &onChunk = ChunkCallback(),
                     ByteSink *sink = nullptr);
// The same, writing `prefix` first (a new head standing for the source bytes before `in`'s
// offset) and every byte also to each of `extras`.
Transfer copyAndHash(int in, int out, const QByteArray &prefix, std::vector<ExtraOutput> &extras,
                     const ChunkCallback &onChunk = ChunkCallback(), ByteSink *sink = nullptr);

// Reads up to `size` bytes of `fd` from `offset` into `bytes` (fewer at the end of the file).
int readPiece(int fd, qint64 offset, qint64 size, QByteArray *bytes);

// Asks the kernel to read the file at `path` ahead (it is copied soon), without waiting.
void readAhead(const QByteArray &path);
// Flushes the file to the disk. After a failure the kernel may have dropped the pages it could
// not write, so a later fsync that succeeds proves nothing: the copy must be made again.
int durableSync(int fd);

// Drops the (synced) file's cached pages: a copy is not read again soon, and keeping it cached
// only crowds out the next files of the card.
void dropCache(int fd);

// Drops the (synced) file's cached pages and reads it whole from its start, so the hash is of
// what the disk holds rather than of what was handed to it.
int readBackHash(int fd, Hash128 *hash, qint64 *bytes);

// Hashes the file whole from its start as the kernel gives it (the cache included): for bytes
// that someone else wrote into a descriptor, what was written.
int hashContent(int fd, Hash128 *hash, qint64 *bytes);

// Test seam: flips the byte in the middle of the file (between write and read-back).
void flipMiddleByte(int fd);

// Puts `temporary` under `finalName`, both inside the folder `dirFd`, without replacing anything
// (renameat2 RENAME_NOREPLACE, else link + unlink), then syncs the folder unless the caller
// syncs it later (`syncFolder` false: many copies into one folder share one sync). EEXIST when
// the name is taken; the temporary is then still there for the caller to remove.
int placeNoReplace(int dirFd, const char *temporary, const char *finalName, bool syncFolder = true);

// fsync of a folder by path: 0 or the errno.
int syncFolder(const QByteArray &dirPath);

} // namespace CopySteps
