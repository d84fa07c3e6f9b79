#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <mutex>

// Random access to the bytes of a file or of a buffer, for readers that jump between the parts
// of a container (box trees, directory sections) and must never read past its end. Reads are
// positioned (pread), so one source serves several threads.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    virtual qint64 size() const = 0;
    // Copies exactly `count` bytes from `offset` into `into`; false when they are not all there.
    virtual bool read(qint64 offset, void *into, qint64 count) const = 0;

    // `count` bytes from `offset`, or an empty array when they are not all there or `count`
    // exceeds `limit` (a guard against sizes taken from damaged files).
    QByteArray bytes(qint64 offset, qint64 count, qint64 limit = kDefaultLimit) const;
    bool contains(qint64 offset, qint64 count) const
    {
        return offset >= 0 && count >= 0 && offset <= size() && count <= size() - offset;
    }

    static constexpr qint64 kDefaultLimit = 64 * 1024 * 1024;
};

// A regular file opened read-only; isOpen() is false when it cannot be opened. Small reads are
// served from one 64 KB block read ahead, so walking a box tree costs a few system calls.
class FileByteSource : public ByteSource
{
public:
    explicit FileByteSource(const QString &path);
    ~FileByteSource() override;
    FileByteSource(const FileByteSource &) = delete;
    FileByteSource &operator=(const FileByteSource &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    qint64 size() const override { return m_size; }
    bool read(qint64 offset, void *into, qint64 count) const override;

private:
    bool readDirect(qint64 offset, void *into, qint64 count) const;

    int m_fd = -1;
    qint64 m_size = 0;
    mutable std::mutex m_cacheLock;
    mutable QByteArray m_cache;
    mutable qint64 m_cacheOffset = -1;
};

// Bytes held in memory (a camera file, an embedded block, a test fixture).
class MemoryByteSource : public ByteSource
{
public:
    explicit MemoryByteSource(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    qint64 size() const override { return m_bytes.size(); }
    bool read(qint64 offset, void *into, qint64 count) const override;

private:
    QByteArray m_bytes;
};

// Big-endian and little-endian numbers from a byte array, 0 past its end.
namespace Bytes {
quint16 be16(const QByteArray &b, qsizetype at);
quint32 be32(const QByteArray &b, qsizetype at);
quint64 be64(const QByteArray &b, qsizetype at);
quint16 le16(const QByteArray &b, qsizetype at);
quint32 le32(const QByteArray &b, qsizetype at);
} // namespace Bytes
