#include "platform/JpegEntropy.h"

#include <algorithm>

namespace JpegEntropy {

bool Huffman::build(const JHUFF_TBL &table, bool ac)
{
    int code = 0;
    int k = 0;
    for (int length = 1; length <= 16; ++length) {
        const int count = table.bits[length];
        valueOffset[size_t(length)] = k - code;
        // All ones is no code: a table whose codes get there is damaged.
        if (count && (code + count >= (1 << length) || k + count > 256))
            return false;
        for (int i = 0; i < count; ++i, ++code, ++k) {
            if (length <= kFastBits) {
                const int first = code << (kFastBits - length);
                const int entry = length | (table.huffval[k] << 4);
                std::fill_n(fast.begin() + first, 1 << (kFastBits - length), std::uint16_t(entry));
            }
        }
        maxCode[size_t(length)] = count ? code - 1 : -1;
        code <<= 1;
    }
    maxCode[17] = 0x7FFFFFFF;
    std::copy(table.huffval, table.huffval + 256, values.begin());
    if (ac)
        buildSteps();
    built = true;
    return true;
}

std::pair<int, int> Huffman::symbolAt(unsigned bits, int width) const
{
    for (int length = 1; length <= width; ++length) {
        const int code = int(bits >> (width - length));
        if (code <= maxCode[size_t(length)])
            return {length, values[size_t((code + valueOffset[size_t(length)]) & 0xFF)]};
    }
    return {0, 0};
}

void Huffman::buildSteps()
{
    steps.assign(size_t(1) << kStepBits, 0);
    for (unsigned i = 0; i < steps.size(); ++i) {
        int used = 0;
        int before = 0; // how far all but the last symbol move
        int last = -1;
        // As many whole codes as the bits hold; the last one's own bits may lie beyond them.
        while (used < kStepBits) {
            const int width = kStepBits - used;
            const auto [length, symbol] = symbolAt(i & ((1U << width) - 1), width);
            if (!length || (last >= 0 && before + last > 63))
                break;
            if (last >= 0)
                before += last;
            last = advanceOf(symbol);
            used += length + (symbol & 15);
            if (last == 64)
                break;
        }
        if (last >= 0)
            steps[i] = std::uint16_t(used | before << 5 | (last == 64 ? 0 : last) << 11);
    }
}

bool passStuffing(Source &source)
{
    const unsigned char *next = source.at + 1;
    while (next < source.end && *next == 0xFF)
        ++next;
    if (next < source.end && *next == 0x00) {
        source.at = next + 1;
        return true;
    }
    source.at = next - 1;
    source.marker = true;
    return false;
}

bool findRestartMarkers(const unsigned char *data, std::int64_t size, std::int64_t from,
                        std::vector<std::int64_t> &markers, std::int64_t &scanEnd)
{
    std::int64_t at = from;
    while (at < size) {
        const void *ff = std::memchr(data + at, 0xFF, size_t(size - at));
        if (!ff)
            break;
        at = static_cast<const unsigned char *>(ff) - data;
        if (at + 1 >= size)
            break;
        const unsigned char next = data[at + 1];
        if (next == 0x00 || next == 0xFF) {
            at += next == 0x00 ? 2 : 1;
            continue;
        }
        if (next >= 0xD0 && next <= 0xD7) {
            if (next != 0xD0 + markers.size() % 8)
                return false;
            markers.push_back(at);
            at += 2;
            continue;
        }
        scanEnd = at;
        return next == 0xD9;
    }
    scanEnd = size;
    return true;
}

std::pair<std::uint64_t, int> fillSlowly(Source &source, std::uint64_t buffer, int left)
{
    while (left <= 56) {
        unsigned byte = 0;
        if (!source.marker && source.at < source.end) {
            byte = *source.at;
            if (byte != 0xFF) {
                ++source.at;
            } else if (!passStuffing(source)) {
                byte = 0;
                source.made += 8;
            }
        } else {
            source.made += 8;
        }
        ++source.fed;
        buffer |= std::uint64_t(byte) << (56 - left);
        left += 8;
    }
    return {buffer, left};
}

} // namespace JpegEntropy
