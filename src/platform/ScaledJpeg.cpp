#include "platform/ScaledJpeg.h"

#include "platform/JpegDcPicture.h"
#include "platform/JpegEntropy.h"

#include <QFile>
#include <QThread>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <numeric>
#include <thread>
#include <vector>

#include <jpeglib.h>

namespace ScaledJpeg {

namespace {

// Bands are worth their threads only for large pictures.
constexpr qsizetype kBandedMinimumBytes = 1 << 20;
// Bounds for what a damaged or hostile header may make this decoder allocate: the largest
// camera pictures have about 400 megapixels, and libjpeg's own buffers (a progressive file keeps
// every coefficient) stay under 512 MB; past either the picture is left to Qt's reader and its
// own allocation limit.
constexpr qint64 kLargestPixels = 400'000'000;
constexpr long kLibjpegMemory = 512L << 20;

// libjpeg reports fatal errors through a jump back to the decoding call; warnings (corrupt or
// missing data) are counted by the library and otherwise ignored, as viewers do.
struct Errors
{
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
};

[[noreturn]] void fail(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<Errors *>(info->err)->jump, 1);
}

void quiet(j_common_ptr) {}

// One libjpeg decompressor, destroyed with its owner whatever way the decoding ends.
struct Session
{
    jpeg_decompress_struct info{};
    Errors errors{};
    bool created = false;

    Session()
    {
        info.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit = fail;
        errors.manager.output_message = quiet;
    }
    ~Session()
    {
        if (created)
            jpeg_destroy_decompress(&info);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
};

// The pixel layout libjpeg writes straight into a QImage.
constexpr J_COLOR_SPACE kRgb32 =
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    JCS_EXT_BGRA;
#else
    JCS_EXT_ARGB;
#endif

QSize fitted(const QSize &full, const QSize &box)
{
    if (full.width() <= box.width() && full.height() <= box.height())
        return full;
    return full.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

int scaledLength(int length, int eighths)
{
    return int((qint64(length) * eighths + 7) / 8);
}

// The smallest n of n/8 whose picture covers what fits the box.
int eighthsFor(const QSize &full, const QSize &box)
{
    const QSize target = fitted(full, box);
    for (int n = 1; n < 8; ++n) {
        if (scaledLength(full.width(), n) >= target.width() &&
            scaledLength(full.height(), n) >= target.height())
            return n;
    }
    return 8;
}

// What the header says, and how this decoder will go about the picture.
struct Plan
{
    int width = 0;
    int height = 0;
    int eighths = 8;
    bool gray = false;
    bool progressive = false;
    int restartInterval = 0; // in MCUs; 0 without restart markers
    int mcuWidth = 8;
    int mcuHeight = 8;
    bool oneScan = false; // the first scan holds every component (interleaved baseline)
    qsizetype entropyStart = 0;
};

// Reads the header and sets up the output. False for data this decoder does not take.
bool start(Session &s, const QByteArray &data, Plan &plan)
{
    if (setjmp(s.errors.jump))
        return false;
    jpeg_create_decompress(&s.info);
    s.created = true;
    s.info.mem->max_memory_to_use = kLibjpegMemory;
    jpeg_mem_src(&s.info, reinterpret_cast<const unsigned char *>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&s.info, TRUE) != JPEG_HEADER_OK)
        return false;
    jpeg_decompress_struct &info = s.info;
    const bool colour = info.num_components == 3 &&
                        (info.jpeg_color_space == JCS_YCbCr || info.jpeg_color_space == JCS_RGB);
    const bool gray = info.num_components == 1 && info.jpeg_color_space == JCS_GRAYSCALE;
    if (!colour && !gray)
        return false;
    if (qint64(info.image_width) * info.image_height > kLargestPixels)
        return false;
    plan.width = int(info.image_width);
    plan.height = int(info.image_height);
    plan.gray = gray;
    plan.progressive = info.progressive_mode;
    plan.restartInterval = int(info.restart_interval);
    // A scan of one component has MCUs of one block, whatever its sampling factors say.
    plan.mcuWidth = gray ? 8 : 8 * info.max_h_samp_factor;
    plan.mcuHeight = gray ? 8 : 8 * info.max_v_samp_factor;
    plan.oneScan = info.comps_in_scan == info.num_components;
    plan.entropyStart = qsizetype(info.src->next_input_byte -
                                  reinterpret_cast<const unsigned char *>(data.constData()));
    return plan.width > 0 && plan.height > 0;
}

void configure(jpeg_decompress_struct &info, const Plan &plan)
{
    info.out_color_space = plan.gray ? JCS_GRAYSCALE : kRgb32;
    info.scale_num = unsigned(plan.eighths);
    info.scale_denom = 8;
    info.dct_method = JDCT_ISLOW;
    // Reduced pictures are shrunk further, which hides the blockier chroma. At full scale the
    // chroma is smoothed, in bands too: a band sees its own edge as the picture's, so the one
    // chroma row on each side of a seam may differ by a level or two from a whole decode.
    info.do_fancy_upsampling = plan.eighths == 8;
    info.do_block_smoothing = FALSE;
}

// Whether every component's DC coefficients have arrived (at any precision).
bool dcComplete(const jpeg_decompress_struct &info)
{
    for (int c = 0; c < info.num_components; ++c) {
        if (info.coef_bits[c][0] < 0)
            return false;
    }
    return true;
}

// Starts the output. With `firstScans` (progressive files at 1/8) only the scans up to the one
// that completes the DC coefficients are read: the rest of the file is never decoded.
// (No C++ object lives in a function that libjpeg may jump out of.)
bool begin(Session &s, const Plan &plan, bool firstScans)
{
    if (setjmp(s.errors.jump))
        return false;
    configure(s.info, plan);
    s.info.buffered_image = firstScans ? TRUE : FALSE;
    jpeg_start_decompress(&s.info);
    if (!firstScans)
        return true;
    for (;;) {
        const int status = jpeg_consume_input(&s.info);
        if (status == JPEG_REACHED_EOI || status == JPEG_SUSPENDED)
            break;
        if (status == JPEG_SCAN_COMPLETED && dcComplete(s.info))
            break;
    }
    jpeg_start_output(&s.info, s.info.input_scan_number);
    return true;
}

// Reads `count` rows of the picture into `rows` (one pointer a row).
bool readRows(Session &s, unsigned char **rows, int count)
{
    if (setjmp(s.errors.jump))
        return false;
    jpeg_decompress_struct &info = s.info;
    while (int(info.output_scanline) < count) {
        const JDIMENSION got = jpeg_read_scanlines(&info, rows + info.output_scanline,
                                                   JDIMENSION(count) - info.output_scanline);
        if (got == 0)
            return false;
    }
    return true;
}

QImage allocate(const Plan &plan, int width, int height)
{
    return QImage(width, height, plan.gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
}

std::vector<unsigned char *> rowPointers(QImage &image)
{
    std::vector<unsigned char *> rows(size_t(image.height()));
    for (int i = 0; i < image.height(); ++i)
        rows[size_t(i)] = image.scanLine(i);
    return rows;
}

// The picture in one pass.
QImage decodeWhole(Session &s, const Plan &plan)
{
    const bool firstScans = plan.progressive && plan.eighths == 1;
    if (!begin(s, plan, firstScans))
        return {};
    QImage image = allocate(plan, int(s.info.output_width), int(s.info.output_height));
    if (image.isNull())
        return {};
    std::vector<unsigned char *> rows = rowPointers(image);
    if (!readRows(s, rows.data(), image.height()))
        return {};
    return image;
}

// Reads the header and chooses the scale for `box`.
bool prepare(Session &s, const QByteArray &data, const QSize &box, Plan &plan)
{
    if (!start(s, data, plan))
        return false;
    plan.eighths = eighthsFor(QSize(plan.width, plan.height), box);
    return true;
}

// Where the markers sit that a banded decode needs.
struct Layout
{
    qsizetype frameHeight = -1;         // offset of the frame header's height field
    std::vector<std::int64_t> restarts; // offset of each restart marker, in order
    std::int64_t end = -1;              // offset of the end-of-image marker (or of the data's end)
};

// The frame header of a sequential Huffman file.
qsizetype frameHeightField(const QByteArray &data, qsizetype entropyStart)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data.constData());
    qsizetype at = 2;
    while (at + 4 <= entropyStart) {
        if (p[at] != 0xFF)
            return -1;
        const unsigned char marker = p[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        const qsizetype length = (qsizetype(p[at + 2]) << 8) | p[at + 3];
        if (marker == 0xC0 || marker == 0xC1)
            return at + 4 + 1 <= entropyStart - 2 ? at + 5 : -1;
        if (marker == 0xDA)
            return -1;
        at += 2 + length;
    }
    return -1;
}

struct Band
{
    int firstRow = 0;   // in MCU rows
    int rows = 0;       // in MCU rows
    qsizetype from = 0; // first entropy byte
    qsizetype to = 0;   // one past the last
    int firstInterval = 0;
};

// Band `b` as a JPEG stream of its own: the header with the band's height, its entropy bytes
// with the restart markers numbered from 0 again, and an end marker.
QByteArray bandStream(const QByteArray &data, const Plan &plan, const Layout &layout,
                      const Band &band)
{
    const qsizetype headerLength = plan.entropyStart;
    QByteArray out;
    out.reserve(headerLength + (band.to - band.from) + 2);
    out.append(data.constData(), headerLength);
    const int height =
        std::min(plan.height - band.firstRow * plan.mcuHeight, band.rows * plan.mcuHeight);
    out[layout.frameHeight] = char((height >> 8) & 0xFF);
    out[layout.frameHeight + 1] = char(height & 0xFF);
    out.append(data.constData() + band.from, band.to - band.from);
    for (size_t j = size_t(band.firstInterval); j < layout.restarts.size(); ++j) {
        const qsizetype at = layout.restarts[j];
        if (at < band.from)
            continue;
        if (at >= band.to)
            break;
        out[headerLength + (at - band.from) + 1] =
            char(0xD0 + (j - size_t(band.firstInterval)) % 8);
    }
    out.append("\xFF\xD9", 2);
    return out;
}

// Decodes one band's stream into its rows of the shared picture (`rows` are the band's own).
bool decodeBand(const QByteArray &stream, const Plan &plan, unsigned char **rows, int count,
                int width)
{
    Session s;
    Plan bandPlan;
    if (!start(s, stream, bandPlan))
        return false;
    bandPlan.eighths = plan.eighths;
    if (!begin(s, bandPlan, false))
        return false;
    if (int(s.info.output_width) != width || int(s.info.output_height) != count)
        return false;
    return readRows(s, rows, count);
}

// The bands a baseline file with restart markers splits into, each starting at a marker that
// begins an MCU row; fewer than two when the file does not allow it.
std::vector<Band> planBands(const QByteArray &data, const Plan &plan, Layout &layout, int wanted)
{
    std::vector<Band> bands;
    layout.frameHeight = frameHeightField(data, plan.entropyStart);
    if (layout.frameHeight < 0 || !JpegEntropy::findRestartMarkers(
                                      reinterpret_cast<const unsigned char *>(data.constData()),
                                      data.size(), plan.entropyStart, layout.restarts, layout.end))
        return bands;
    const qint64 mcusPerRow = (plan.width + plan.mcuWidth - 1) / plan.mcuWidth;
    const qint64 mcuRows = (plan.height + plan.mcuHeight - 1) / plan.mcuHeight;
    const qint64 intervals =
        (mcusPerRow * mcuRows + plan.restartInterval - 1) / plan.restartInterval;
    if (qint64(layout.restarts.size()) != intervals - 1)
        return bands; // markers missing: the file is damaged, the library recovers better
    // Intervals that begin a row: every `step`-th one.
    const qint64 step = std::lcm(mcusPerRow, qint64(plan.restartInterval)) / plan.restartInterval;
    const qint64 rowsPerStep = step * plan.restartInterval / mcusPerRow;
    const qint64 steps = (intervals + step - 1) / step;
    const qint64 count = std::min<qint64>(wanted, steps);
    if (count < 2)
        return bands;
    qint64 previous = 0;
    for (qint64 b = 0; b < count; ++b) {
        const qint64 firstStep = b * steps / count;
        const qint64 nextStep = (b + 1) * steps / count;
        if (b > 0 && firstStep == previous)
            continue;
        Band band;
        band.firstInterval = int(firstStep * step);
        band.firstRow = int(firstStep * rowsPerStep);
        band.rows = int(std::min(mcuRows, nextStep * rowsPerStep) - band.firstRow);
        band.from = band.firstInterval == 0 ? plan.entropyStart
                                            : layout.restarts[size_t(band.firstInterval - 1)] + 2;
        const qint64 lastInterval = nextStep * step; // first interval of the next band
        band.to =
            lastInterval >= intervals ? layout.end : layout.restarts[size_t(lastInterval - 1)];
        bands.push_back(band);
        previous = firstStep;
    }
    return bands;
}

QImage decodeBanded(const QByteArray &data, const Plan &plan, const std::vector<Band> &bands,
                    const Layout &layout)
{
    QImage image = allocate(plan, scaledLength(plan.width, plan.eighths),
                            scaledLength(plan.height, plan.eighths));
    if (image.isNull())
        return {};
    // Taken before any thread starts: the threads only write through them.
    std::vector<unsigned char *> rows = rowPointers(image);
    // The output rows of an MCU row are a whole number at every scale (8 or 16 rows times n/8).
    const int perMcuRow = plan.mcuHeight * plan.eighths / 8;
    std::vector<char> ok(bands.size(), 0);
    const auto work = [&](size_t b) {
        const int first = bands[b].firstRow * perMcuRow;
        const int last = b + 1 < bands.size() ? bands[b + 1].firstRow * perMcuRow : image.height();
        try {
            const QByteArray stream = bandStream(data, plan, layout, bands[b]);
            ok[b] = decodeBand(stream, plan, rows.data() + first, last - first, image.width());
        } catch (...) {
            ok[b] = 0; // no memory for the band's stream: the whole file is decoded instead
        }
    };
    std::vector<std::thread> threads;
    try {
        for (size_t b = 1; b < bands.size(); ++b)
            threads.emplace_back(work, b);
    } catch (...) {
        // No thread to be had: the bands not started are decoded here.
    }
    work(0);
    for (size_t b = threads.size() + 1; b < bands.size(); ++b)
        work(b);
    for (std::thread &t : threads)
        t.join();
    return std::all_of(ok.begin(), ok.end(), [](char v) { return v != 0; }) ? image : QImage();
}

// The DCT-scaled picture, at least as large as what fits the box.
QImage decodeCovering(const QByteArray &data, const QSize &box, qsizetype bandedMinimum,
                      QSize *full)
{
    Plan plan;
    {
        Session s;
        if (!prepare(s, data, box, plan))
            return {};
        *full = QSize(plan.width, plan.height);
        if (plan.eighths == 1) {
            if (QImage image =
                    JpegDcPicture::decode(s.info, data, plan.entropyStart, bandedMinimum);
                !image.isNull())
                return image;
        }
        const int threads = qMax(1, QThread::idealThreadCount());
        if (plan.progressive || plan.restartInterval == 0 || !plan.oneScan || threads < 2 ||
            data.size() - plan.entropyStart < bandedMinimum)
            return decodeWhole(s, plan);
    }
    Layout layout;
    const std::vector<Band> bands =
        planBands(data, plan, layout, qMax(1, QThread::idealThreadCount()));
    if (bands.size() >= 2) {
        const QImage image = decodeBanded(data, plan, bands, layout);
        if (!image.isNull())
            return image;
    }
    // Not banded after all, or a band failed: the library decodes it whole, with its recovery.
    Session s;
    if (!prepare(s, data, box, plan))
        return {};
    return decodeWhole(s, plan);
}

} // namespace

bool looksLikeJpeg(const QByteArray &head)
{
    return head.size() >= 3 && static_cast<unsigned char>(head[0]) == 0xFF &&
           static_cast<unsigned char>(head[1]) == 0xD8 &&
           static_cast<unsigned char>(head[2]) == 0xFF;
}

QImage decode(const QByteArray &data, const QSize &box)
{
    return decode(data, box, kBandedMinimumBytes);
}

QImage decode(const QByteArray &data, const QSize &box, qsizetype bandedMinimumBytes)
{
    if (!looksLikeJpeg(data) || box.isEmpty())
        return {};
    QSize full;
    const QImage covering = decodeCovering(data, box, bandedMinimumBytes, &full);
    // The rest of the way, smoothly, to exactly the size the whole picture fits the box at.
    const QSize target = fitted(full, box);
    if (covering.isNull() || covering.size() == target)
        return covering;
    return covering.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage decodeFile(const QString &path, const QSize &box)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.peek(3);
    if (!looksLikeJpeg(head))
        return {};
    return decode(file.readAll(), box);
}

} // namespace ScaledJpeg
