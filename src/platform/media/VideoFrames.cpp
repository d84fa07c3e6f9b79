#include "platform/media/VideoFrames.h"

#include <QFile>
#include <QTransform>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>

namespace VideoFrames {

namespace {

using Clock = std::chrono::steady_clock;

// How long and how far a movie is searched for a frame worth showing.
constexpr auto kTimeBudget = std::chrono::seconds(4);
constexpr int kMaxFrames = 48;
constexpr double kMaxSeconds = 5.0;
constexpr int kMaxSide = 16384;

struct FormatClose
{
    void operator()(AVFormatContext *f) const { avformat_close_input(&f); }
};
struct CodecFree
{
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct PacketFree
{
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct FrameFree
{
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct ScalerFree
{
    void operator()(SwsContext *s) const { sws_freeContext(s); }
};

void initialise()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// Asked by FFmpeg during blocking reads: non-zero gives up (a stalled or endless input).
int interrupted(void *deadline)
{
    return Clock::now() > *static_cast<Clock::time_point *>(deadline) ? 1 : 0;
}

// The size the frame is shown at (square pixels), shrunk to fit the box.
QSize displaySize(const AVCodecContext *codec, const AVRational sampleAspect, const QSize &box)
{
    double width = codec->width;
    if (sampleAspect.num > 0 && sampleAspect.den > 0)
        width = width * sampleAspect.num / sampleAspect.den;
    QSize full(std::max(1, int(std::lround(width))), codec->height);
    if (full.width() > box.width() || full.height() > box.height())
        full = full.scaled(box, Qt::KeepAspectRatio);
    return full.expandedTo(QSize(1, 1));
}

// Spread of brightness over a grid of points: near zero for black, white or flat frames.
double contrast(const QImage &image)
{
    double sum = 0, squares = 0;
    int n = 0;
    const int stepX = std::max(1, image.width() / 24);
    const int stepY = std::max(1, image.height() / 24);
    for (int y = 0; y < image.height(); y += stepY) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); x += stepX) {
            const double g = qGray(line[x]);
            sum += g;
            squares += g * g;
            ++n;
        }
    }
    if (n == 0)
        return 0;
    const double mean = sum / n;
    return std::sqrt(std::max(0.0, squares / n - mean * mean));
}

// The clockwise turn that shows the stream upright.
int rotationOf(const AVStream *stream)
{
    const auto *matrix = reinterpret_cast<const int32_t *>(
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix)
        return 0;
    // FFmpeg gives the counter-clockwise angle.
    const int degrees = int(std::lround(-av_display_rotation_get(matrix)));
    return ((degrees % 360) + 360) % 360 / 90 * 90;
}

} // namespace

QImage posterFrame(const QString &path, const QSize &box)
{
    initialise();
    Clock::time_point deadline = Clock::now() + kTimeBudget;
    AVFormatContext *rawFormat = avformat_alloc_context();
    if (!rawFormat)
        return {};
    rawFormat->interrupt_callback.callback = &interrupted;
    rawFormat->interrupt_callback.opaque = &deadline;
    // avformat_open_input frees the context itself when it fails.
    if (avformat_open_input(&rawFormat, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return {};
    const std::unique_ptr<AVFormatContext, FormatClose> format(rawFormat);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return {};
    const AVCodec *decoder = nullptr;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (index < 0 || !decoder)
        return {};
    AVStream *stream = format->streams[index];
    const std::unique_ptr<AVCodecContext, CodecFree> codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0)
        return {};
    codec->thread_count = 1; // thumbnails already run on a pool, one per core
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0 || codec->width <= 0 ||
        codec->height <= 0 || codec->width > kMaxSide || codec->height > kMaxSide)
        return {};

    const std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    const std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    if (!packet || !frame)
        return {};
    std::unique_ptr<SwsContext, ScalerFree> scaler;
    const QSize size = displaySize(codec.get(),
                                   stream->sample_aspect_ratio.num > 0 ? stream->sample_aspect_ratio
                                                                       : codec->sample_aspect_ratio,
                                   box);
    const double timeBase = av_q2d(stream->time_base);
    QImage best;
    double bestContrast = -1;
    int frames = 0;

    // A decoded frame: keep it when it is the best so far; true when it is good enough to stop.
    const auto consider = [&]() -> bool {
        ++frames;
        scaler.reset(sws_getCachedContext(scaler.release(), frame->width, frame->height,
                                          AVPixelFormat(frame->format), size.width(), size.height(),
                                          AV_PIX_FMT_RGB32, SWS_AREA, nullptr, nullptr, nullptr));
        if (!scaler)
            return false;
        QImage image(size, QImage::Format_RGB32);
        uint8_t *planes[4] = {image.bits(), nullptr, nullptr, nullptr};
        int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
        if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes,
                      strides) <= 0)
            return false;
        const double c = contrast(image);
        if (c > bestContrast) {
            bestContrast = c;
            best = image;
        }
        const double seconds =
            frame->best_effort_timestamp == AV_NOPTS_VALUE
                ? 0.0
                : double(frame->best_effort_timestamp - std::max<int64_t>(stream->start_time, 0)) *
                      timeBase;
        return c >= 12.0 || frames >= kMaxFrames || seconds >= kMaxSeconds;
    };

    bool done = false;
    bool flushing = false;
    while (!done && Clock::now() < deadline) {
        if (!flushing) {
            const int read = av_read_frame(format.get(), packet.get());
            if (read < 0) {
                flushing = true;
                avcodec_send_packet(codec.get(), nullptr);
            } else if (packet->stream_index == index) {
                const int sent = avcodec_send_packet(codec.get(), packet.get());
                av_packet_unref(packet.get());
                if (sent < 0 && sent != AVERROR(EAGAIN))
                    continue; // a damaged packet: the next may decode
            } else {
                av_packet_unref(packet.get());
                continue;
            }
        }
        while (!done) {
            const int received = avcodec_receive_frame(codec.get(), frame.get());
            if (received == AVERROR(EAGAIN))
                break;
            if (received < 0) {
                done = flushing || received != AVERROR_EOF ? true : done;
                break;
            }
            done = consider();
            av_frame_unref(frame.get());
        }
        if (flushing)
            break;
    }
    if (best.isNull())
        return {};
    const int rotation = rotationOf(stream);
    if (rotation != 0)
        best = best.transformed(QTransform().rotate(rotation));
    return best;
}

} // namespace VideoFrames
