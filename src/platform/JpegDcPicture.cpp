#include "platform/JpegDcPicture.h"

#include "platform/JpegEntropy.h"

#include <QThread>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <thread>
#include <vector>

namespace JpegDcPicture {

namespace {

using JpegEntropy::Bits;
using JpegEntropy::Huffman;
using JpegEntropy::Source;

int extend(int value, int size)
{
    return size && value < (1 << (size - 1)) ? value - (1 << size) + 1 : value;
}

unsigned char clamp(int v)
{
    return static_cast<unsigned char>(std::clamp(v, 0, 255));
}

struct Plane
{
    int h = 1, v = 1, width = 0;
    int quant = 1;
    const Huffman *dc = nullptr;
    const Huffman *ac = nullptr;
    std::vector<short> values; // the DC coefficient of each block, in block rows
};

// What the scan is and where its MCUs go.
struct Scan
{
    std::array<Plane, 3> planes;
    std::array<Huffman, NUM_HUFF_TBLS> dcTables;
    std::array<Huffman, NUM_HUFF_TBLS> acTables;
    int components = 0;
    bool gray = false;
    bool sequential = false; // every coefficient in this one scan (else DC only)
    int shift = 0;           // the successive-approximation shift of a progressive DC scan
    int mcuColumns = 0;
    int mcuRows = 0;
    int restartInterval = 0; // in MCUs; 0 without restart markers
    int maxH = 1, maxV = 1;
};

enum class Outcome { Done, Damaged, Unsure };

// Reads MCU after MCU, handing each block's DC difference to `put(component, by, bx, diff)`.
// Damaged when a code is in no table or the data ran out (that block is not handed on).
template <typename Put> Outcome readMcu(const Scan &scan, Bits &reader, Put &&put)
{
    Bits bits = reader; // in registers for the MCU
    Outcome outcome = Outcome::Done;
    for (int c = 0; c < scan.components && outcome == Outcome::Done; ++c) {
        const Plane &p = scan.planes[size_t(c)];
        for (int block = 0; block < p.h * p.v; ++block) {
            bits.ensure();
            const int size = bits.decode(*p.dc);
            if (size < 0 || size > 11) {
                outcome = Outcome::Damaged;
                break;
            }
            const int diff = extend(bits.take(size), size);
            if (scan.sequential) {
                const std::uint16_t *steps = p.ac->steps.data();
                for (int k = 1; k < 64;) {
                    bits.ensure();
                    const unsigned entry = steps[bits.peek(JpegEntropy::kStepBits)];
                    const int before = int((entry >> 5) & 63);
                    if (entry && k + before < 64) {
                        bits.skip(int(entry & 31));
                        const int last = int(entry >> 11);
                        k = last ? k + before + last : 64;
                        continue;
                    }
                    // One symbol at a time where the block may end among them, or a long code.
                    const int symbol = bits.decode(*p.ac);
                    if (symbol < 0) {
                        outcome = Outcome::Damaged;
                        break;
                    }
                    bits.skip(symbol & 15);
                    k += JpegEntropy::advanceOf(symbol);
                }
                if (outcome != Outcome::Done)
                    break;
            }
            // A block read partly from made-up bits is not kept (as the library leaves what it
            // could not read grey).
            if (bits.ranOut()) {
                outcome = Outcome::Damaged;
                break;
            }
            put(c, block / p.h, block % p.h, diff);
        }
    }
    reader = bits;
    return outcome;
}

// Adds the DC differences of the blocks up into the planes, MCU by MCU.
class Planes
{
public:
    explicit Planes(Scan &scan) : m_scan(scan) {}
    void reset() { m_predictor = {}; }
    void setMcu(int mcu)
    {
        m_my = mcu / m_scan.mcuColumns;
        m_mx = mcu % m_scan.mcuColumns;
    }
    void operator()(int c, int by, int bx, int diff)
    {
        Plane &p = m_scan.planes[size_t(c)];
        // Damaged data must not run the sum past what a coefficient holds.
        int &sum = m_predictor[size_t(c)];
        sum = std::clamp(sum + diff, -32768, 32767);
        const size_t at = size_t(m_my * p.v + by) * size_t(p.width) + size_t(m_mx * p.h + bx);
        p.values[at] = short(std::clamp(sum * (1 << m_scan.shift), -32768, 32767));
    }

private:
    Scan &m_scan;
    std::array<int, 3> m_predictor{};
    int m_my = 0;
    int m_mx = 0;
};

// Decodes MCUs [first, last) with `bits`, which stands at MCU `first` (right after a restart
// marker, or at the scan's start). Damaged data leaves the rest of its restart interval (or of
// the range, without them) flat grey, as data cut short does; a restart marker out of place
// gives Unsure, for the library to decode the file with its own recovery.
Outcome decodeRange(Scan &scan, Bits &bits, Planes &planes, int first, int last)
{
    const int interval = scan.restartInterval;
    int nextRestart = interval ? (first / interval + 1) * interval : last;
    int restarts = interval ? first / interval : 0;
    for (int mcu = first; mcu < last; ++mcu) {
        if (mcu == nextRestart) {
            // The marker must be where the interval ends.
            if (!bits.restart(restarts % 8))
                return Outcome::Unsure;
            ++restarts;
            planes.reset();
            nextRestart += interval;
        }
        planes.setMcu(mcu);
        if (readMcu(scan, bits, planes) != Outcome::Done) {
            if (!interval)
                return Outcome::Damaged;
            // The rest of the interval stays grey; the next one starts afresh at its marker.
            bits.toMarker();
            mcu = nextRestart - 1;
        }
    }
    return Outcome::Done;
}

Outcome decodeRange(Scan &scan, const unsigned char *from, const unsigned char *end, int first,
                    int last)
{
    Source source{from, end};
    Bits bits(source);
    Planes planes(scan);
    return decodeRange(scan, bits, planes, first, last);
}

// Runs work(0) here and work(1) ... work(count - 1) on threads of their own, where threads can be
// had; returns when all are done.
template <typename Work> void runEach(int count, Work &&work)
{
    std::vector<std::thread> threads;
    try {
        for (int i = 1; i < count; ++i)
            threads.emplace_back(work, i);
    } catch (...) {
        // No thread to be had: the parts not started are done here.
    }
    work(0);
    for (int i = int(threads.size()) + 1; i < count; ++i)
        work(i);
    for (std::thread &t : threads)
        t.join();
}

// The scan in parts on several threads, each part a run of whole restart intervals. False when
// the markers do not allow it.
bool decodeInParts(Scan &scan, const unsigned char *begin, const unsigned char *end, int parts,
                   Outcome &outcome)
{
    const int mcus = scan.mcuColumns * scan.mcuRows;
    const int intervals = (mcus + scan.restartInterval - 1) / scan.restartInterval;
    parts = std::min(parts, intervals);
    if (parts < 2)
        return false;
    // Where each interval's data starts: after the marker that ends the one before.
    std::vector<std::int64_t> markers;
    std::int64_t scanEnd = 0;
    if (!JpegEntropy::findRestartMarkers(begin, end - begin, 0, markers, scanEnd) ||
        qint64(markers.size()) != intervals - 1)
        return false;
    const auto start = [&](int interval) {
        return interval == 0 ? begin : begin + markers[size_t(interval - 1)] + 2;
    };
    std::vector<Outcome> outcomes(size_t(parts), Outcome::Done);
    runEach(parts, [&](int part) {
        const int firstInterval = int(qint64(part) * intervals / parts);
        const int lastInterval = int(qint64(part + 1) * intervals / parts);
        outcomes[size_t(part)] =
            decodeRange(scan, start(firstInterval), end, firstInterval * scan.restartInterval,
                        std::min(mcus, lastInterval * scan.restartInterval));
    });
    outcome = Outcome::Done;
    for (Outcome o : outcomes) {
        if (o == Outcome::Unsure)
            outcome = Outcome::Unsure;
        else if (o == Outcome::Damaged && outcome == Outcome::Done)
            outcome = Outcome::Damaged;
    }
    return true;
}

// How many bytes of data (0xFF 0x00 counted as one) lie in [begin, end); -1 when a marker does.
qint64 dataBytes(const unsigned char *begin, const unsigned char *end)
{
    qint64 stuffing = 0;
    Source source{begin, end};
    while (source.at < end) {
        const void *ff = std::memchr(source.at, 0xFF, size_t(end - source.at));
        if (!ff)
            break;
        const unsigned char *at = static_cast<const unsigned char *>(ff);
        source.at = at;
        if (!JpegEntropy::passStuffing(source))
            return -1;
        stuffing += source.at - at - 1;
    }
    return qint64(end - begin) - stuffing;
}

// The second half of a scan read from its middle without knowing where its MCUs begin: each MCU
// this reading takes to begin somewhere, with the DC differences of its blocks. Huffman codes
// fall into step with the true reading soon; once an MCU of this reading begins at the very bit
// where one of the true reading does, every one after it is the true one too.
struct Guess
{
    std::vector<std::int64_t> starts; // where each MCU begins
    std::vector<short> diffs;         // the DC differences of their blocks, in order
    bool toTheEnd = false; // read to the data's end (not stopped at as many MCUs as there are)
};

void guessFrom(const Scan &scan, const unsigned char *begin, const unsigned char *from,
               const unsigned char *end, int mcus, int blocksPerMcu, Guess &guess)
{
    const qint64 before = dataBytes(begin, from);
    if (before < 0)
        return; // a marker in the first half: no telling where the second begins
    Source source{from, end, before};
    Bits bits(source);
    guess.starts.reserve(size_t(mcus / 2 + 64));
    guess.diffs.reserve(size_t(mcus / 2 + 64) * size_t(blocksPerMcu));
    while (int(guess.starts.size()) < mcus) {
        const std::int64_t at = bits.position();
        const Outcome outcome = readMcu(
            scan, bits, [&](int, int, int, int diff) { guess.diffs.push_back(short(diff)); });
        if (outcome == Outcome::Done) {
            guess.starts.push_back(at);
            continue;
        }
        if (bits.ranOut()) {
            // The blocks of the last MCU read before the data ended stay, as in a true reading.
            guess.toTheEnd = true;
            return;
        }
        // A code in no table: this was no MCU. Start again a bit further on.
        guess.starts.clear();
        guess.diffs.clear();
        bits.ensure();
        bits.skip(1);
    }
}

// A scan without restart markers on two threads: this one reads the first half as usual while
// another guesses the second (see Guess); then this one reads on until it meets an MCU the guess
// began at the same bit, and takes the rest from the guess. Should they never meet, this thread
// reads the rest itself, so the picture never depends on the guess being right.
Outcome decodeSplit(Scan &scan, const unsigned char *begin, const unsigned char *end)
{
    const int mcus = scan.mcuColumns * scan.mcuRows;
    int blocksPerMcu = 0;
    for (int c = 0; c < scan.components; ++c)
        blocksPerMcu += scan.planes[size_t(c)].h * scan.planes[size_t(c)].v;
    // The middle, not inside a 0xFF 0x00 pair.
    const unsigned char *middle = begin + (end - begin) / 2;
    while (middle < end && middle[-1] == 0xFF)
        ++middle;

    Source source{begin, end};
    Bits bits(source);
    Planes planes(scan);
    Guess guess;
    Outcome outcome = Outcome::Done;
    int mcu = 0;
    runEach(2, [&](int part) {
        if (part == 1) {
            try {
                guessFrom(scan, begin, middle, end, mcus, blocksPerMcu, guess);
            } catch (const std::bad_alloc &) {
                guess = Guess(); // no memory for it: this thread reads on by itself
            }
            return;
        }
        for (; mcu < mcus && source.at < middle; ++mcu) {
            planes.setMcu(mcu);
            if (readMcu(scan, bits, planes) != Outcome::Done) {
                outcome = Outcome::Damaged;
                return;
            }
        }
    });
    size_t g = 0;
    for (; mcu < mcus && outcome == Outcome::Done; ++mcu) {
        const std::int64_t at = bits.position();
        while (g < guess.starts.size() && guess.starts[g] < at)
            ++g;
        // (A guess that stopped short of the data's end, at as many MCUs as the picture has,
        // is not taken: it cannot say how the data goes on.)
        if (guess.toTheEnd && g < guess.starts.size() && guess.starts[g] == at) {
            // In step: the guess from here on, summed onto the true differences so far.
            size_t d = g * size_t(blocksPerMcu);
            for (; mcu < mcus && d < guess.diffs.size(); ++mcu) {
                planes.setMcu(mcu);
                for (int c = 0; c < scan.components; ++c) {
                    const Plane &p = scan.planes[size_t(c)];
                    for (int block = 0; block < p.h * p.v && d < guess.diffs.size(); ++block)
                        planes(c, block / p.h, block % p.h, guess.diffs[d++]);
                }
            }
            // The data ends where the guess's did, for this reading too.
            return mcu < mcus ? Outcome::Damaged : Outcome::Done;
        }
        planes.setMcu(mcu);
        outcome = readMcu(scan, bits, planes);
    }
    return outcome;
}

// Whether the scan libjpeg has read the header of is one this decoder takes, and its tables.
bool setUp(const jpeg_decompress_struct &info, Scan &scan)
{
    const int components = info.num_components;
    scan.gray = components == 1 && info.jpeg_color_space == JCS_GRAYSCALE;
    const bool ycc = components == 3 && info.jpeg_color_space == JCS_YCbCr;
    if (info.arith_code || (!scan.gray && !ycc) || info.data_precision != 8 ||
        info.comps_in_scan != components || info.Ss != 0 || info.Ah != 0)
        return false;
    if (info.progressive_mode) {
        if (info.Se != 0)
            return false;
        scan.shift = std::min(info.Al, 13);
    } else {
        if (info.Se != 63 || info.Al != 0)
            return false;
        scan.sequential = true;
    }
    scan.components = components;
    // A scan of one component has MCUs of one block, whatever its sampling factors say.
    scan.maxH = scan.gray ? 1 : info.max_h_samp_factor;
    scan.maxV = scan.gray ? 1 : info.max_v_samp_factor;
    scan.mcuColumns =
        int((info.image_width + 8 * unsigned(scan.maxH) - 1) / (8 * unsigned(scan.maxH)));
    scan.mcuRows =
        int((info.image_height + 8 * unsigned(scan.maxV) - 1) / (8 * unsigned(scan.maxV)));
    scan.restartInterval = int(info.restart_interval);
    for (int c = 0; c < components; ++c) {
        const jpeg_component_info *comp = info.cur_comp_info[c];
        if (comp != &info.comp_info[c] || comp->quant_tbl_no < 0 ||
            comp->quant_tbl_no >= NUM_QUANT_TBLS || comp->dc_tbl_no < 0 ||
            comp->dc_tbl_no >= NUM_HUFF_TBLS || comp->ac_tbl_no < 0 ||
            comp->ac_tbl_no >= NUM_HUFF_TBLS)
            return false;
        const JQUANT_TBL *quant = info.quant_tbl_ptrs[comp->quant_tbl_no];
        const JHUFF_TBL *dc = info.dc_huff_tbl_ptrs[comp->dc_tbl_no];
        const JHUFF_TBL *ac = info.ac_huff_tbl_ptrs[comp->ac_tbl_no];
        Plane &p = scan.planes[size_t(c)];
        // Components that share a table share its look-up tables too (they stay in the cache).
        if (!quant || !dc)
            return false;
        Huffman &dcTable = scan.dcTables[size_t(comp->dc_tbl_no)];
        if (!dcTable.built && !dcTable.build(*dc, false))
            return false;
        p.dc = &dcTable;
        if (scan.sequential) {
            Huffman &acTable = scan.acTables[size_t(comp->ac_tbl_no)];
            if (!ac || (!acTable.built && !acTable.build(*ac, true)))
                return false;
            p.ac = &acTable;
        }
        p.h = scan.gray ? 1 : comp->h_samp_factor;
        p.v = scan.gray ? 1 : comp->v_samp_factor;
        p.quant = quant->quantval[0];
        p.width = scan.mcuColumns * p.h;
        p.values.assign(size_t(p.width) * size_t(scan.mcuRows * p.v), 0);
    }
    return true;
}

// One pixel a luminance block; chroma blocks cover several.
QImage picture(const jpeg_decompress_struct &info, const Scan &scan)
{
    const int width = int((info.image_width + 7) / 8);
    const int height = int((info.image_height + 7) / 8);
    const auto sample = [&](int c, int x, int y) {
        const Plane &p = scan.planes[size_t(c)];
        const int px = x * p.h / scan.maxH;
        const int py = y * p.v / scan.maxV;
        const qint64 dc = qint64(p.values[size_t(py) * size_t(p.width) + size_t(px)]) * p.quant;
        return int(std::clamp<qint64>(((dc + 4) >> 3) + 128, 0, 255));
    };
    QImage image(width, height, scan.gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (image.isNull())
        return {};
    for (int y = 0; y < height; ++y) {
        uchar *row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const int luma = sample(0, x, y);
            if (scan.gray) {
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

} // namespace

QImage decode(const jpeg_decompress_struct &info, const QByteArray &data, qsizetype entropyStart,
              qsizetype splitMinimumBytes)
{
    // Its look-up tables are too large for a thread's stack.
    const auto owned = std::make_unique<Scan>();
    Scan &scan = *owned;
    if (entropyStart > data.size() || !setUp(info, scan))
        return {};
    const auto *begin = reinterpret_cast<const unsigned char *>(data.constData()) + entropyStart;
    const auto *end = reinterpret_cast<const unsigned char *>(data.constData()) + data.size();
    const int mcus = scan.mcuColumns * scan.mcuRows;
    Outcome outcome = Outcome::Done;
    const int threads = qMax(1, QThread::idealThreadCount());
    if (threads >= 2 && scan.restartInterval == 0 && scan.sequential &&
        end - begin >= splitMinimumBytes)
        outcome = decodeSplit(scan, begin, end);
    else if (scan.restartInterval == 0 || threads < 2 ||
             !decodeInParts(scan, begin, end, threads, outcome))
        outcome = decodeRange(scan, begin, end, 0, mcus);
    if (outcome == Outcome::Unsure)
        return {};
    return picture(info, scan);
}

} // namespace JpegDcPicture
