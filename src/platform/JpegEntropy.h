#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>

// Reading the Huffman-coded data of a JPEG scan quickly, for decoders that need only part of
// what it holds (the DC coefficients) and step over the rest.
namespace JpegEntropy {

// Codes of up to this many bits are found with one table look-up.
constexpr int kFastBits = 9;
// AC symbols are stepped over this many bits at a time, as many as fit.
constexpr int kStepBits = 12;

// How far along the block an AC symbol moves: end of block, sixteen zeros, or a run of zeros
// and a coefficient.
inline int advanceOf(int symbol)
{
    const int run = symbol >> 4;
    return symbol & 15 ? run + 1 : run == 15 ? 16 : 64;
}

// A Huffman table in the form the standard decodes by (the largest code of each length and
// where that length's values start), plus look-up tables for the short codes. `fast` gives a
// code's length (low four bits) and value. `steps`, for AC tables, steps over the symbols whose
// codes fit in the next kStepBits bits, with the coefficients' own bits: bits 0-4 say how many
// bits they take, 5-10 how far along the block all but the last move, 11-15 how far the last
// moves (0 when it ends the block). 0 when the first code is longer.
struct Huffman
{
    std::array<int, 18> maxCode{};
    std::array<int, 17> valueOffset{};
    std::array<unsigned char, 256> values{};
    std::array<std::uint16_t, 1 << kFastBits> fast{};
    std::vector<std::uint16_t> steps;
    bool built = false;

    // False for a table no decoder may use (more codes than their lengths allow).
    bool build(const JHUFF_TBL &table, bool ac);
    // The symbol whose code heads the `width` bits of `bits`, and the code's length (0 when it
    // is longer than that).
    std::pair<int, int> symbolAt(unsigned bits, int width) const;

private:
    void buildSteps();
};

// Where the entropy-coded bytes come from. At a marker, or past the data, zero bits are made
// up, and counted.
struct Source
{
    const unsigned char *at;
    const unsigned char *end;
    std::int64_t fed = 0; // bytes given to the reader, 0xFF 0x00 counted as one
    int made = 0;         // made-up bits at the end of the reader's buffer
    bool marker = false;
};

// At a 0xFF byte: true when it is a data byte 0xFF (0xFF 0x00, fill bytes allowed before the
// 0x00), with the source moved past it; false when a marker begins there, with the source
// stopped at the marker's last 0xFF.
bool passStuffing(Source &source);

// The restart markers of the scan whose entropy-coded data starts at `from` in `data`: the offset
// of each, in order, and where the scan ends (the next other marker, or the data's end). False
// when a marker is numbered out of turn or the scan ends at a marker other than the end of the
// image (damaged, or more scans follow): decoders that split the scan at its markers leave such
// files to the library's own recovery.
bool findRestartMarkers(const unsigned char *data, std::int64_t size, std::int64_t from,
                        std::vector<std::int64_t> &markers, std::int64_t &scanEnd);

// Tops the buffer up byte by byte (near a 0xFF byte, a marker, or the end of the data).
std::pair<std::uint64_t, int> fillSlowly(Source &source, std::uint64_t buffer, int left);

// Reads the entropy-coded bits, up to eight bytes at once where no 0xFF byte is among them.
// Its users keep it in a local variable, so that the buffer stays in registers.
class Bits
{
public:
    explicit Bits(Source &source) : m_source(&source) {}

    // At least 32 bits ready: enough for any code and the bits that follow it.
    void ensure()
    {
        if (m_left < 32)
            fill();
    }
    unsigned peek(int n) const { return unsigned(m_buffer >> (64 - n)); }
    void skip(int n)
    {
        m_buffer <<= n;
        m_left -= n;
    }
    int take(int n)
    {
        if (n == 0)
            return 0;
        const int v = int(peek(n));
        skip(n);
        return v;
    }
    // -1 for a code that is in no table (damaged data).
    int decode(const Huffman &h)
    {
        const unsigned entry = h.fast[peek(kFastBits)];
        if (entry) {
            skip(int(entry & 15));
            return int(entry >> 4);
        }
        for (int length = kFastBits + 1; length <= 16; ++length) {
            const int code = int(peek(length));
            if (code <= h.maxCode[size_t(length)]) {
                skip(length);
                return h.values[size_t((code + h.valueOffset[size_t(length)]) & 0xFF)];
            }
        }
        return -1;
    }
    // Whether bits past the data (or past a marker) have been used.
    bool ranOut() const { return m_left < m_source->made; }
    // How many bits of the data (without stuffing) lie before the next one to be read.
    std::int64_t position() const { return 8 * m_source->fed - m_left; }
    // Goes on past restart marker `number` (0 to 7), which must come next, with whatever bits
    // were left (the padding) thrown away. False when another marker or more data comes first.
    bool restart(int number)
    {
        Source &s = *m_source;
        if (s.end - s.at < 2 || s.at[0] != 0xFF || s.at[1] != 0xD0 + number)
            return false;
        s = Source{s.at + 2, s.end, s.fed};
        m_buffer = 0;
        m_left = 0;
        return true;
    }

    // Throws away what is left of the data up to the next marker (damaged data), for restart()
    // to go on from it.
    void toMarker()
    {
        Source &s = *m_source;
        while (!s.marker && s.at < s.end) {
            const void *ff = std::memchr(s.at, 0xFF, size_t(s.end - s.at));
            s.at = ff ? static_cast<const unsigned char *>(ff) : s.end;
            if (ff)
                passStuffing(s);
        }
        m_buffer = 0;
        m_left = 0;
    }

private:
    void fill()
    {
        Source &s = *m_source;
        if (!s.marker && s.end - s.at >= 8) {
            std::uint64_t word;
            std::memcpy(&word, s.at, 8);
            word = __builtin_bswap64(word);
            const std::uint64_t inverted = ~word;
            if (((inverted - 0x0101010101010101ULL) & ~inverted & 0x8080808080808080ULL) == 0) {
                const int bytes = (64 - m_left) >> 3;
                const int bits = 8 * bytes;
                const std::uint64_t taken = bits == 64 ? word : word >> (64 - bits);
                m_buffer |= taken << (64 - m_left - bits);
                m_left += bits;
                s.at += bytes;
                s.fed += bytes;
                return;
            }
        }
        const auto [buffer, left] = fillSlowly(s, m_buffer, m_left);
        m_buffer = buffer;
        m_left = left;
    }

    Source *m_source;
    std::uint64_t m_buffer = 0;
    int m_left = 0;
};

} // namespace JpegEntropy
