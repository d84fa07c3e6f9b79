#include "platform/ByteSource.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QByteArray ByteSource::bytes(qint64 offset, qint64 count, qint64 limit) const
{
    if (count <= 0 || count > limit || !contains(offset, count))
        return {};
    QByteArray out(static_cast<qsizetype>(count), Qt::Uninitialized);
    if (!read(offset, out.data(), count))
        return {};
    return out;
}

FileByteSource::FileByteSource(const QString &path)
{
    // O_NONBLOCK: a named pipe given by mistake must not stall the caller; it is then refused
    // by the regular-file test below.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat st
    {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_size = static_cast<qint64>(st.st_size);
}

FileByteSource::~FileByteSource()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileByteSource::read(qint64 offset, void *into, qint64 count) const
{
    constexpr qint64 kBlock = 64 * 1024;
    if (m_fd < 0 || !contains(offset, count))
        return false;
    if (count > kBlock / 4)
        return readDirect(offset, into, count);
    const std::lock_guard<std::mutex> lock(m_cacheLock);
    if (m_cacheOffset < 0 || offset < m_cacheOffset ||
        offset + count > m_cacheOffset + m_cache.size()) {
        const qint64 start = offset & ~qint64(4095);
        const qint64 length = std::min(kBlock, m_size - start);
        m_cache.resize(static_cast<qsizetype>(length));
        m_cacheOffset = -1;
        if (!readDirect(start, m_cache.data(), length))
            return false;
        m_cacheOffset = start;
    }
    std::memcpy(into, m_cache.constData() + (offset - m_cacheOffset), static_cast<size_t>(count));
    return true;
}

bool FileByteSource::readDirect(qint64 offset, void *into, qint64 count) const
{
    auto *out = static_cast<char *>(into);
    while (count > 0) {
        const ssize_t n =
            ::pread(m_fd, out, static_cast<size_t>(count), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // an error, or the file shrank under us
        out += n;
        offset += n;
        count -= n;
    }
    return true;
}

bool MemoryByteSource::read(qint64 offset, void *into, qint64 count) const
{
    if (!contains(offset, count))
        return false;
    if (count > 0)
        std::memcpy(into, m_bytes.constData() + offset, static_cast<size_t>(count));
    return true;
}

namespace Bytes {

namespace {
quint8 at(const QByteArray &b, qsizetype i)
{
    return i >= 0 && i < b.size() ? static_cast<quint8>(b[i]) : 0;
}
} // namespace

quint16 be16(const QByteArray &b, qsizetype i)
{
    return static_cast<quint16>((at(b, i) << 8) | at(b, i + 1));
}

quint32 be32(const QByteArray &b, qsizetype i)
{
    return (quint32(be16(b, i)) << 16) | be16(b, i + 2);
}

quint64 be64(const QByteArray &b, qsizetype i)
{
    return (quint64(be32(b, i)) << 32) | be32(b, i + 4);
}

quint16 le16(const QByteArray &b, qsizetype i)
{
    return static_cast<quint16>(at(b, i) | (at(b, i + 1) << 8));
}

quint32 le32(const QByteArray &b, qsizetype i)
{
    return quint32(le16(b, i)) | (quint32(le16(b, i + 2)) << 16);
}

} // namespace Bytes
