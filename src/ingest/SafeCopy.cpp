#include "ingest/SafeCopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<qint64> g_failAfter{-1};
std::atomic<qint64> g_written{0};

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QString describe(const QString &source, const QString &target, int err)
{
    if (err == EEXIST)
        return QStringLiteral("The file \"%1\" couldn't be copied to \"%2\" because an item with "
                              "the same name already exists.")
            .arg(QFileInfo(source).fileName(), QFileInfo(target).absolutePath());
    return QStringLiteral("The file \"%1\" couldn't be copied to \"%2\": %3")
        .arg(QFileInfo(source).fileName(), QFileInfo(target).absolutePath(), errnoText(err));
}

bool writeAll(int fd, const char *data, ssize_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// How many bytes the next transfer may move under the full-disk seam; 0 means "fail now".
qint64 allowance(qint64 wanted)
{
    const qint64 limit = g_failAfter.load();
    if (limit < 0)
        return wanted;
    return std::max<qint64>(0, std::min(wanted, limit - g_written.load()));
}

// Copies the whole stream; errno is set on failure. Prefers copy_file_range (no trip through
// user space; reflinks where the file system offers them) and falls back to read/write.
bool copyData(int in, int out, const SafeCopier::ChunkCallback &onChunk)
{
    static constexpr qint64 transfer = 1 << 20;
    static thread_local std::vector<char> buffer(transfer);
    bool kernelCopy = true;
    qint64 sinceCallback = 0;
    for (;;) {
        const qint64 want = allowance(transfer);
        if (want == 0) {
            errno = ENOSPC;
            return false;
        }
        ssize_t n = -1;
        if (kernelCopy) {
            n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(want), 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                          errno == EOPNOTSUPP || errno == EBADF)) {
                kernelCopy = false;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
        } else {
            n = ::read(in, buffer.data(), static_cast<size_t>(want));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n > 0 && !writeAll(out, buffer.data(), n))
                return false;
        }
        if (n == 0)
            return true;
        g_written += n;
        sinceCallback += n;
        if (sinceCallback >= SafeCopier::chunkBytes) {
            sinceCallback = 0;
            if (onChunk)
                onChunk();
        }
    }
}

void syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Puts the finished temporary under its final name without replacing anything.
bool place(const QByteArray &temporary, const QByteArray &target)
{
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(),
                    RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    if (::link(temporary.constData(), target.constData()) == 0) {
        ::unlink(temporary.constData());
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return false;
    // Neither atomic way exists here (some foreign file systems): check, then rename.
    struct stat st;
    if (::lstat(target.constData(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(temporary.constData(), target.constData()) == 0;
}

} // namespace

const char *SafeCopier::temporaryPrefix()
{
    return ".brindlewick-partial-";
}

void SafeCopier::setFailAfterBytes(qint64 bytes)
{
    g_written = 0;
    g_failAfter = bytes;
}

int SafeCopier::removeStrayTemporaries(const QString &folder)
{
    const QByteArray dirPath = QFile::encodeName(folder);
    DIR *dir = ::opendir(dirPath.constData());
    if (!dir)
        return 0;
    const size_t prefixLength = std::strlen(temporaryPrefix());
    int removed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, temporaryPrefix(), prefixLength) != 0)
            continue;
        if (::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

bool SafeCopier::copyFile(const QString &source, const QString &target, QString *error,
                          const ChunkCallback &onChunk)
{
    const QFileInfo targetInfo(target);
    const QString folder = targetInfo.absolutePath();
    if (!m_swept.contains(folder)) {
        removeStrayTemporaries(folder);
        m_swept.insert(folder);
    }
    const auto fail = [&](int err) {
        if (error)
            *error = describe(source, target, err);
        return false;
    };

    const QByteArray targetBytes = QFile::encodeName(targetInfo.absoluteFilePath());
    struct stat st;
    if (::lstat(targetBytes.constData(), &st) == 0)
        return fail(EEXIST);

    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return fail(errno);
    struct stat sourceStat;
    if (::fstat(in, &sourceStat) != 0) {
        const int err = errno;
        ::close(in);
        return fail(err);
    }
    if (!S_ISREG(sourceStat.st_mode)) {
        ::close(in);
        return fail(S_ISDIR(sourceStat.st_mode) ? EISDIR : EINVAL);
    }

    QByteArray temporary = QFile::encodeName(folder) + '/' + temporaryPrefix() + "XXXXXX";
    const int out = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return fail(err);
    }

    const timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
    bool ok = copyData(in, out, onChunk);
    int err = ok ? 0 : errno;
    ::close(in);
    if (ok) {
        // Readable and writable by the owner, so later steps may add metadata to the copy.
        ::fchmod(out, (sourceStat.st_mode & 0777) | S_IRUSR | S_IWUSR);
        if (::futimens(out, times) != 0 || ::fsync(out) != 0) {
            ok = false;
            err = errno;
        }
    }
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && !place(temporary, targetBytes)) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temporary.constData());
        return fail(err);
    }
    syncFolder(QFile::encodeName(folder));
    return true;
}
