#include "platform/FileHash.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include <xxhash.h>

struct Hasher::State
{
    XXH3_state_t *xxh = XXH3_createState();
    ~State() { XXH3_freeState(xxh); }
};

QString Hash128::toHex() const
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH128_hash_t{low, high});
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(canonical.digest), sizeof canonical.digest)
            .toHex());
}

std::optional<Hash128> Hash128::fromHex(QStringView text)
{
    if (text.size() != 32)
        return std::nullopt;
    const QByteArray bytes = QByteArray::fromHex(text.toLatin1());
    if (bytes.size() != 16 || bytes.toHex() != text.toLatin1().toLower())
        return std::nullopt;
    XXH128_canonical_t canonical;
    std::memcpy(canonical.digest, bytes.constData(), 16);
    const XXH128_hash_t hash = XXH128_hashFromCanonical(&canonical);
    return Hash128{hash.high64, hash.low64};
}

Hasher::Hasher() : m_state(std::make_unique<State>())
{
    reset();
}

Hasher::~Hasher() = default;

void Hasher::reset()
{
    XXH3_128bits_reset(m_state->xxh);
}

void Hasher::add(const void *data, std::size_t size)
{
    XXH3_128bits_update(m_state->xxh, data, size);
}

Hash128 Hasher::digest() const
{
    const XXH128_hash_t hash = XXH3_128bits_digest(m_state->xxh);
    return Hash128{hash.high64, hash.low64};
}

namespace FileHash {

Hash128 ofBytes(const QByteArray &bytes)
{
    const XXH128_hash_t hash = XXH3_128bits(bytes.constData(), static_cast<size_t>(bytes.size()));
    return Hash128{hash.high64, hash.low64};
}

std::optional<Hash128> ofFile(const QString &path, int *error, qint64 *size)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = errno;
        return std::nullopt;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    static constexpr size_t kBuffer = 1 << 20;
    std::vector<char> buffer(kBuffer);
    Hasher hasher;
    qint64 total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), kBuffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (error)
                *error = errno;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        hasher.add(buffer.data(), static_cast<size_t>(n));
        total += n;
    }
    ::close(fd);
    if (size)
        *size = total;
    return hasher.digest();
}

} // namespace FileHash
