#include "ingest/JpegVerify.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

namespace {

struct CheckingErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf back;
};

// A fatal error shows the library's text, then returns to the check instead of exiting.
[[noreturn]] void fatalError(j_common_ptr cinfo)
{
    auto *manager = reinterpret_cast<CheckingErrorManager *>(cinfo->err);
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(manager->back, 1);
}

// Everything that may be live across the longjmp is plain C data kept outside this frame.
// `attach` gives the decompressor its data source.
template <typename Attach>
bool decode(jpeg_decompress_struct *cinfo, CheckingErrorManager *errors, Attach attach,
            JpegDecodeScale scale)
{
    if (setjmp(errors->back))
        return false;
    jpeg_create_decompress(cinfo);
    attach(cinfo);
    jpeg_read_header(cinfo, TRUE);
    if (scale == JpegDecodeScale::Eighth) {
        cinfo->scale_num = 1;
        cinfo->scale_denom = 8;
        // Only these two convert to grey; CMYK and YCCK files keep their colours.
        if (cinfo->jpeg_color_space == JCS_YCbCr || cinfo->jpeg_color_space == JCS_GRAYSCALE)
            cinfo->out_color_space = JCS_GRAYSCALE;
    }
    jpeg_start_decompress(cinfo);
    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
        cinfo->output_width * static_cast<JDIMENSION>(cinfo->output_components), 1);
    while (cinfo->output_scanline < cinfo->output_height)
        jpeg_read_scanlines(cinfo, row, 1);
    // Reads on to the end marker, so damage after the last row still counts.
    jpeg_finish_decompress(cinfo);
    return true;
}

} // namespace

bool verifyJpegFile(const char *path, JpegDecodeScale scale)
{
    std::FILE *file = std::fopen(path, "rb");
    if (!file) {
        std::fprintf(stderr, "can't open %s\n", path);
        return false;
    }
    jpeg_decompress_struct cinfo;
    cinfo.mem = nullptr; // lets destroy do nothing if creation itself failed
    CheckingErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = fatalError;
    const bool decoded = decode(
        &cinfo, &errors, [file](jpeg_decompress_struct *c) { jpeg_stdio_src(c, file); }, scale);
    const long warnings = errors.pub.num_warnings;
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return decoded && warnings == 0;
}

bool verifyJpegFile(const char *path)
{
    return verifyJpegFile(path, JpegDecodeScale::Eighth);
}

// ---------------------------------------------------------------------------------------------
// The check beside a copy

struct JpegStreamCheck::Feed
{
    static constexpr size_t kMaxWaiting = 4; // pieces of up to 1 MB

    std::mutex lock;
    std::condition_variable changed;
    std::deque<QByteArray> pieces;
    bool ended = false; // no more input
    bool done = false;  // the decoder wants no more
    bool verdict = false;

    // The piece the decoder reads from, and the end marker given when the input runs out early.
    QByteArray current;
    JOCTET endMarker[2] = {0xFF, JPEG_EOI};
};

namespace {

struct StreamSource
{
    jpeg_source_mgr pub;
    JpegStreamCheck::Feed *feed;
};

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

// Waits for the next piece; at the end of the input gives an end marker with the library's
// premature-end warning, as its own file source does, so a truncated file fails the same way.
boolean fillInput(j_decompress_ptr cinfo)
{
    auto *source = reinterpret_cast<StreamSource *>(cinfo->src);
    JpegStreamCheck::Feed &feed = *source->feed;
    std::unique_lock<std::mutex> hold(feed.lock);
    feed.changed.wait(hold, [&] { return !feed.pieces.empty() || feed.ended; });
    if (feed.pieces.empty()) {
        hold.unlock();
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->pub.next_input_byte = feed.endMarker;
        source->pub.bytes_in_buffer = 2;
        return TRUE;
    }
    feed.current = std::move(feed.pieces.front());
    feed.pieces.pop_front();
    feed.changed.notify_all();
    source->pub.next_input_byte = reinterpret_cast<const JOCTET *>(feed.current.constData());
    source->pub.bytes_in_buffer = static_cast<size_t>(feed.current.size());
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count)
{
    jpeg_source_mgr *source = cinfo->src;
    while (count > 0) {
        if (count <= static_cast<long>(source->bytes_in_buffer)) {
            source->next_input_byte += count;
            source->bytes_in_buffer -= static_cast<size_t>(count);
            return;
        }
        count -= static_cast<long>(source->bytes_in_buffer);
        source->bytes_in_buffer = 0;
        fillInput(cinfo);
    }
}

void decodeFeed(const std::shared_ptr<JpegStreamCheck::Feed> &feed)
{
    jpeg_decompress_struct cinfo;
    cinfo.mem = nullptr;
    CheckingErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = fatalError;
    StreamSource source;
    std::memset(&source, 0, sizeof source);
    source.feed = feed.get();
    source.pub.init_source = initSource;
    source.pub.fill_input_buffer = fillInput;
    source.pub.skip_input_data = skipInput;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = termSource;
    const bool decoded = decode(
        &cinfo, &errors, [&source](jpeg_decompress_struct *c) { c->src = &source.pub; },
        JpegDecodeScale::Eighth);
    const long warnings = errors.pub.num_warnings;
    // The source is ours, not the library's: it must not be freed with the decompressor.
    cinfo.src = nullptr;
    jpeg_destroy_decompress(&cinfo);
    std::lock_guard<std::mutex> hold(feed->lock);
    feed->verdict = decoded && warnings == 0;
    feed->done = true;
    feed->pieces.clear();
    feed->changed.notify_all();
}

} // namespace

JpegStreamCheck::JpegStreamCheck() = default;

JpegStreamCheck::~JpegStreamCheck()
{
    stop();
}

void JpegStreamCheck::stop()
{
    if (!m_decoder.joinable())
        return;
    {
        std::lock_guard<std::mutex> hold(m_feed->lock);
        m_feed->ended = true;
        m_feed->changed.notify_all();
    }
    m_decoder.join();
}

void JpegStreamCheck::begin()
{
    stop();
    m_feed = std::make_shared<Feed>();
    m_decoder = std::thread(decodeFeed, m_feed);
}

void JpegStreamCheck::add(const char *data, qint64 size)
{
    if (!m_feed || size <= 0)
        return;
    QByteArray piece(data, static_cast<qsizetype>(size));
    std::unique_lock<std::mutex> hold(m_feed->lock);
    m_feed->changed.wait(hold,
                         [&] { return m_feed->done || m_feed->pieces.size() < Feed::kMaxWaiting; });
    if (m_feed->done)
        return; // the verdict is in; the rest of the file changes nothing
    m_feed->pieces.push_back(std::move(piece));
    m_feed->changed.notify_all();
}

bool JpegStreamCheck::finished()
{
    if (!m_feed)
        return false;
    stop();
    std::lock_guard<std::mutex> hold(m_feed->lock);
    return m_feed->verdict;
}
