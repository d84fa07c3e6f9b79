#include "platform/CopySteps.h"

#include "platform/IoFaults.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace CopySteps {

namespace {

constexpr qint64 kTransfer = 1 << 20;
// Written bytes not yet known to be on the disk, at most: enough to keep the disk busy.
constexpr qint64 kWriteBehind = 8 << 20;

std::vector<char> &buffer()
{
    static thread_local std::vector<char> bytes(kTransfer);
    return bytes;
}

// Reads up to `want` bytes; -1 with errno set on failure.
ssize_t readSome(int fd, char *data, qint64 want, IoFaults::Op op)
{
    if (const int fault = IoFaults::before(op, &want)) {
        errno = fault;
        return -1;
    }
    for (;;) {
        const ssize_t n = ::read(fd, data, static_cast<size_t>(want));
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0)
            IoFaults::after(op, n);
        return n;
    }
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        qint64 want = size;
        if (const int fault = IoFaults::before(IoFaults::Op::DestinationWrite, &want)) {
            errno = fault;
            return false;
        }
        const ssize_t n = ::write(fd, data, static_cast<size_t>(want));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        IoFaults::after(IoFaults::Op::DestinationWrite, n);
        data += n;
        size -= n;
    }
    return true;
}

// Shared loop: `step` moves one piece and answers its size, 0 at the end, -1 on failure.
template <typename Step> Transfer loop(Step step, const ChunkCallback &onChunk)
{
    Transfer result;
    qint64 sinceCallback = 0;
    for (;;) {
        const ssize_t n = step(result);
        if (n < 0) {
            result.error = errno ? errno : EIO;
            return result;
        }
        if (n == 0)
            return result;
        result.bytes += n;
        sinceCallback += n;
        if (sinceCallback >= kChunkBytes) {
            sinceCallback = 0;
            if (onChunk)
                onChunk();
        }
    }
}

} // namespace

int createTemporary(const QByteArray &dirPath, QByteArray *name)
{
    QByteArray path = dirPath + '/' + kTemporaryPrefix + "XXXXXX";
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    ::flock(fd, LOCK_EX | LOCK_NB); // a fresh file: nobody else can hold it
    if (name)
        *name = path.mid(dirPath.size() + 1);
    return fd;
}

int removeStrayTemporaries(const QByteArray &dirPath)
{
    DIR *dir = ::opendir(dirPath.constData());
    if (!dir)
        return 0;
    const size_t prefixLength = std::strlen(kTemporaryPrefix);
    int removed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, kTemporaryPrefix, prefixLength) != 0)
            continue;
        const int fd =
            ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        // A lock held elsewhere is a copy in progress: leave it alone.
        const bool abandoned = fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (abandoned && ::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
            ++removed;
        if (fd >= 0)
            ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

Transfer copyAndHash(int in, int out, const ChunkCallback &onChunk, ByteSink *sink)
{
    std::vector<ExtraOutput> none;
    return copyAndHash(in, out, QByteArray(), none, onChunk, sink);
}

Transfer copyAndHash(int in, int out, const QByteArray &prefix, std::vector<ExtraOutput> &extras,
                     const ChunkCallback &onChunk, ByteSink *sink)
{
    ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
    Hasher hasher;
    std::vector<char> &data = buffer();
    if (sink)
        sink->begin();
    const off_t start = ::lseek(out, 0, SEEK_CUR);
    off_t written = start < 0 ? 0 : start;
    off_t waited = written;
    // Every written piece goes to all outputs; the disk starts on it at once, and the copy waits
    // only for pieces written a few MB earlier.
    const auto put = [&](const char *bytes, qint64 n) {
        hasher.add(bytes, static_cast<size_t>(n));
        if (!writeAll(out, bytes, n))
            return false;
        for (ExtraOutput &extra : extras) {
            if (extra.error == 0 && !writeAll(extra.fd, bytes, n))
                extra.error = errno ? errno : EIO;
        }
        if (sink)
            sink->add(bytes, n);
        // Errors of the write-back itself are left to the fsync, which reports them.
        ::sync_file_range(out, written, n, SYNC_FILE_RANGE_WRITE);
        for (const ExtraOutput &extra : extras)
            if (extra.error == 0)
                ::sync_file_range(extra.fd, written, n, SYNC_FILE_RANGE_WRITE);
        written += n;
        if (written - waited > kWriteBehind) {
            const off_t upTo = written - kWriteBehind;
            constexpr unsigned kWait =
                SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
            ::sync_file_range(out, waited, upTo - waited, kWait);
            for (const ExtraOutput &extra : extras)
                if (extra.error == 0)
                    ::sync_file_range(extra.fd, waited, upTo - waited, kWait);
            waited = upTo;
        }
        return true;
    };
    if (!prefix.isEmpty() && !put(prefix.constData(), prefix.size())) {
        Transfer failed;
        failed.error = errno ? errno : EIO;
        return failed;
    }
    qint64 fromSource = 0;
    Transfer result = loop(
        [&](Transfer &state) -> ssize_t {
            const ssize_t n = readSome(in, data.data(), kTransfer, IoFaults::Op::SourceRead);
            if (n < 0) {
                state.sourceSide = true;
                return -1;
            }
            if (n > 0) {
                fromSource += n;
                if (!put(data.data(), n))
                    return -1;
            }
            return n;
        },
        onChunk);
    result.bytes += prefix.size();
    result.sourceBytes = fromSource;
    result.hash = hasher.digest();
    return result;
}

int readPiece(int fd, qint64 offset, qint64 size, QByteArray *bytes)
{
    if (::lseek(fd, offset, SEEK_SET) < 0)
        return errno;
    bytes->resize(size);
    qint64 got = 0;
    while (got < size) {
        const ssize_t n = readSome(fd, bytes->data() + got, size - got, IoFaults::Op::SourceRead);
        if (n < 0)
            return errno ? errno : EIO;
        if (n == 0)
            break;
        got += n;
    }
    bytes->resize(got);
    return 0;
}

void readAhead(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
    ::close(fd);
}

int durableSync(int fd)
{
    if (const int fault = IoFaults::before(IoFaults::Op::DestinationSync, nullptr))
        return fault;
    if (::fsync(fd) != 0)
        return errno ? errno : EIO;
    return 0;
}

namespace {

int hashWhole(int fd, Hash128 *hash, qint64 *bytes, IoFaults::Op op)
{
    if (::lseek(fd, 0, SEEK_SET) < 0)
        return errno;
    Hasher hasher;
    std::vector<char> &data = buffer();
    qint64 total = 0;
    for (;;) {
        const ssize_t n = readSome(fd, data.data(), kTransfer, op);
        if (n < 0)
            return errno ? errno : EIO;
        if (n == 0)
            break;
        hasher.add(data.data(), static_cast<size_t>(n));
        total += n;
    }
    if (hash)
        *hash = hasher.digest();
    if (bytes)
        *bytes = total;
    return 0;
}

} // namespace

int hashContent(int fd, Hash128 *hash, qint64 *bytes)
{
    return hashWhole(fd, hash, bytes, IoFaults::Op::SourceRead);
}

void dropCache(int fd)
{
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
}

int readBackHash(int fd, Hash128 *hash, qint64 *bytes)
{
    // The pages are clean after the fsync, so the kernel can drop them and must read the disk.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    const int error = hashWhole(fd, hash, bytes, IoFaults::Op::ReadBack);
    // Leave nothing of the copy in the cache: it is not read again soon, the next source is.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    return error;
}

void flipMiddleByte(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_size == 0)
        return;
    const off_t at = st.st_size / 2;
    unsigned char byte = 0;
    if (::pread(fd, &byte, 1, at) != 1)
        return;
    byte ^= 0x01;
    if (::pwrite(fd, &byte, 1, at) == 1)
        ::fdatasync(fd);
}

int placeNoReplace(int dirFd, const char *temporary, const char *finalName, bool syncFolder)
{
    int placed = ::renameat2(dirFd, temporary, dirFd, finalName, RENAME_NOREPLACE);
    if (placed != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        placed = ::linkat(dirFd, temporary, dirFd, finalName, 0);
        if (placed == 0) {
            ::unlinkat(dirFd, temporary, 0);
        } else if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS) {
            // Neither atomic way exists here (some foreign file systems): check, then rename.
            struct stat st;
            if (::fstatat(dirFd, finalName, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                errno = EEXIST;
            } else {
                placed = ::renameat(dirFd, temporary, dirFd, finalName);
            }
        }
    }
    if (placed != 0)
        return errno ? errno : EIO;
    if (syncFolder)
        ::fsync(dirFd);
    return 0;
}

int syncFolder(const QByteArray &dirPath)
{
    const int fd = ::open(dirPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

} // namespace CopySteps
