#include "platform/JpegDcPicture.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace JpegDcPicture {

namespace {

// A Huffman table in the form the standard decodes by: the largest code of each length and
// where that length's values start.
struct Huffman
{
    std::array<int, 18> maxCode{};
    std::array<int, 17> valueOffset{};
    std::array<unsigned char, 256> values{};

    bool build(const JHUFF_TBL &table)
    {
        int code = 0;
        int k = 0;
        for (int length = 1; length <= 16; ++length) {
            const int count = table.bits[length];
            valueOffset[size_t(length)] = k - code;
            code += count;
            k += count;
            if (k > 256)
                return false;
            maxCode[size_t(length)] = count ? code - 1 : -1;
            code <<= 1;
        }
        maxCode[17] = 0x7FFFFFFF;
        std::copy(table.huffval, table.huffval + 256, values.begin());
        return true;
    }
};

// Reads the entropy-coded bits; past the data or at a marker it gives zero bits, as libjpeg
// does with data cut short.
class Bits
{
public:
    Bits(const unsigned char *at, const unsigned char *end) : m_at(at), m_end(end) {}

    int bit()
    {
        if (m_count == 0)
            fill();
        --m_count;
        return int((m_buffer >> m_count) & 1U);
    }
    int bits(int n)
    {
        int v = 0;
        for (int i = 0; i < n; ++i)
            v = (v << 1) | bit();
        return v;
    }
    // -1 for a code that is in no table (damaged data).
    int decode(const Huffman &h)
    {
        int code = bit();
        int length = 1;
        while (code > h.maxCode[size_t(length)]) {
            if (++length > 16)
                return -1;
            code = (code << 1) | bit();
        }
        return h.values[size_t((code + h.valueOffset[size_t(length)]) & 0xFF)];
    }

private:
    void fill()
    {
        unsigned byte = 0;
        if (m_at < m_end && !m_marker) {
            byte = *m_at++;
            if (byte == 0xFF) {
                const unsigned next = m_at < m_end ? *m_at : 0xD9;
                if (next == 0x00)
                    ++m_at;
                else {
                    m_marker = true;
                    byte = 0;
                }
            }
        }
        m_buffer = byte;
        m_count = 8;
    }

    const unsigned char *m_at;
    const unsigned char *m_end;
    unsigned m_buffer = 0;
    int m_count = 0;
    bool m_marker = false;
};

int extend(int value, int size)
{
    return size && value < (1 << (size - 1)) ? value - (1 << size) + 1 : value;
}

unsigned char clamp(int v)
{
    return static_cast<unsigned char>(std::clamp(v, 0, 255));
}

} // namespace

QImage decode(const jpeg_decompress_struct &info, const QByteArray &data, qsizetype entropyStart)
{
    const int components = info.num_components;
    const bool gray = components == 1 && info.jpeg_color_space == JCS_GRAYSCALE;
    const bool ycc = components == 3 && info.jpeg_color_space == JCS_YCbCr;
    if (!info.progressive_mode || info.arith_code || (!gray && !ycc) || info.data_precision != 8 ||
        info.restart_interval != 0 || info.comps_in_scan != components || info.Ss != 0 ||
        info.Se != 0 || info.Ah != 0)
        return {};
    struct Plane
    {
        int h = 1, v = 1, width = 0;
        int quant = 1;
        Huffman huffman;
        std::vector<short> dc;
    };
    std::array<Plane, 3> planes;
    // A scan of one component has MCUs of one block, whatever its sampling factors say.
    const int maxH = gray ? 1 : info.max_h_samp_factor;
    const int maxV = gray ? 1 : info.max_v_samp_factor;
    const int mcuColumns = int((info.image_width + 8 * unsigned(maxH) - 1) / (8 * unsigned(maxH)));
    const int mcuRows = int((info.image_height + 8 * unsigned(maxV) - 1) / (8 * unsigned(maxV)));
    for (int c = 0; c < components; ++c) {
        const jpeg_component_info *comp = info.cur_comp_info[c];
        if (comp != &info.comp_info[c] || comp->quant_tbl_no < 0 ||
            comp->quant_tbl_no >= NUM_QUANT_TBLS || comp->dc_tbl_no < 0 ||
            comp->dc_tbl_no >= NUM_HUFF_TBLS)
            return {};
        const JQUANT_TBL *quant = info.quant_tbl_ptrs[comp->quant_tbl_no];
        const JHUFF_TBL *table = info.dc_huff_tbl_ptrs[comp->dc_tbl_no];
        Plane &p = planes[size_t(c)];
        if (!quant || !table || !p.huffman.build(*table))
            return {};
        p.h = gray ? 1 : comp->h_samp_factor;
        p.v = gray ? 1 : comp->v_samp_factor;
        p.quant = quant->quantval[0];
        p.width = mcuColumns * p.h;
        p.dc.assign(size_t(p.width) * size_t(mcuRows * p.v), 0);
    }

    const auto *begin = reinterpret_cast<const unsigned char *>(data.constData());
    Bits bits(begin + entropyStart, begin + data.size());
    std::array<int, 3> predictor{};
    bool damaged = false;
    for (int my = 0; my < mcuRows && !damaged; ++my) {
        for (int mx = 0; mx < mcuColumns && !damaged; ++mx) {
            for (int c = 0; c < components; ++c) {
                Plane &p = planes[size_t(c)];
                for (int by = 0; by < p.v; ++by) {
                    for (int bx = 0; bx < p.h; ++bx) {
                        const int size = bits.decode(p.huffman);
                        if (size < 0 || size > 11) {
                            damaged = true; // the rest stays flat grey
                            break;
                        }
                        // Damaged data must not run the sum past what a coefficient holds.
                        predictor[size_t(c)] = std::clamp(
                            predictor[size_t(c)] + extend(bits.bits(size), size), -32768, 32767);
                        const size_t at =
                            size_t(my * p.v + by) * size_t(p.width) + size_t(mx * p.h + bx);
                        p.dc[at] = short(std::clamp(
                            predictor[size_t(c)] * (1 << std::min(info.Al, 13)), -32768, 32767));
                    }
                }
            }
        }
    }

    // One pixel a luminance block; chroma blocks cover several.
    const int width = int((info.image_width + 7) / 8);
    const int height = int((info.image_height + 7) / 8);
    const auto sample = [&](int c, int x, int y) {
        const Plane &p = planes[size_t(c)];
        const int px = x * p.h / maxH;
        const int py = y * p.v / maxV;
        const qint64 dc = qint64(p.dc[size_t(py) * size_t(p.width) + size_t(px)]) * p.quant;
        return int(std::clamp<qint64>(((dc + 4) >> 3) + 128, 0, 255));
    };
    QImage image(width, height, gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (image.isNull())
        return {};
    for (int y = 0; y < height; ++y) {
        uchar *row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const int luma = sample(0, x, y);
            if (gray) {
                row[x] = clamp(luma);
                continue;
            }
            const int cb = sample(1, x, y) - 128;
            const int cr = sample(2, x, y) - 128;
            // JFIF's conversion, in 16.16 fixed point.
            const int r = luma + ((91881 * cr + 32768) >> 16);
            const int g = luma - ((22554 * cb + 46802 * cr - 32768) >> 16);
            const int b = luma + ((116130 * cb + 32768) >> 16);
            reinterpret_cast<QRgb *>(row)[x] = qRgb(clamp(r), clamp(g), clamp(b));
        }
    }
    return image;
}

} // namespace JpegDcPicture
