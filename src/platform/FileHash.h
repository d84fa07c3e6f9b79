#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

// A 128-bit XXH3 digest: the hash every copy is checked with and every manifest records.
struct Hash128
{
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    friend bool operator==(const Hash128 &, const Hash128 &) = default;
    // 32 lowercase hexadecimal digits, most significant first (the canonical byte order).
    QString toHex() const;
    static std::optional<Hash128> fromHex(QStringView text);
};

// Streaming XXH3-128 over bytes fed in any number of pieces. One per thread of work; not shared.
class Hasher
{
public:
    Hasher();
    ~Hasher();
    Hasher(const Hasher &) = delete;
    Hasher &operator=(const Hasher &) = delete;

    void reset();
    void add(const void *data, std::size_t size);
    Hash128 digest() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

namespace FileHash {

Hash128 ofBytes(const QByteArray &bytes);
// Reads the whole file once; nullopt with `error` set (the errno) when it cannot be read.
std::optional<Hash128> ofFile(const QString &path, int *error = nullptr, qint64 *size = nullptr);

} // namespace FileHash
