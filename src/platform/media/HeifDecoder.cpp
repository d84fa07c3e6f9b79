#include "platform/media/HeifDecoder.h"

#include <QFile>

#include <libheif/heif.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace HeifDecoder {

namespace {

// Pictures larger than this along one side are refused (a hostile size would exhaust memory).
constexpr int kMaxSide = 16384;

struct ContextFree
{
    void operator()(heif_context *c) const { heif_context_free(c); }
};
struct HandleRelease
{
    void operator()(heif_image_handle *h) const { heif_image_handle_release(h); }
};
struct ImageRelease
{
    void operator()(heif_image *i) const { heif_image_release(i); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;
using Image = std::unique_ptr<heif_image, ImageRelease>;

void initialise()
{
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); }); // loads the codec plugins
}

bool covers(const heif_image_handle *h, const QSize &box)
{
    return heif_image_handle_get_width(h) >= box.width() ||
           heif_image_handle_get_height(h) >= box.height();
}

QImage decode(heif_image_handle *handle)
{
    const int w = heif_image_handle_get_width(handle);
    const int h = heif_image_handle_get_height(handle);
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide)
        return {};
    heif_image *raw = nullptr;
    // Transformations (rotation, mirroring, crop) are applied: the result is upright.
    if (heif_decode_image(handle, &raw, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr)
            .code != heif_error_Ok)
        return {};
    const Image image(raw);
    int stride = 0;
    const uint8_t *data =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!data || width <= 0 || height <= 0 || stride < width * 4)
        return {};
    // Some cameras code pictures larger than they are (to whole coding blocks) and say the real
    // size only in the item's size property: what lies beyond it is padding.
    return QImage(data, width, height, stride, QImage::Format_RGBA8888)
        .copy(0, 0, std::min(width, w), std::min(height, h));
}

} // namespace

QImage picture(const QString &path, const QSize &box)
{
    initialise();
    Context context(heif_context_alloc());
    if (!context)
        return {};
    heif_context_set_maximum_image_size_limit(context.get(), kMaxSide);
    if (heif_context_read_from_file(context.get(), QFile::encodeName(path).constData(), nullptr)
            .code != heif_error_Ok)
        return {};
    heif_image_handle *rawPrimary = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &rawPrimary).code != heif_error_Ok)
        return {};
    const Handle primary(rawPrimary);

    // The smallest thumbnail that covers the box saves decoding the whole picture.
    const int count = heif_image_handle_get_number_of_thumbnails(primary.get());
    std::vector<heif_item_id> ids(static_cast<size_t>(std::max(count, 0)));
    if (count > 0)
        heif_image_handle_get_list_of_thumbnail_IDs(primary.get(), ids.data(), count);
    Handle best;
    for (heif_item_id id : ids) {
        heif_image_handle *raw = nullptr;
        if (heif_image_handle_get_thumbnail(primary.get(), id, &raw).code != heif_error_Ok)
            continue;
        Handle thumbnail(raw);
        if (!covers(thumbnail.get(), box))
            continue;
        if (!best ||
            heif_image_handle_get_width(thumbnail.get()) < heif_image_handle_get_width(best.get()))
            best = std::move(thumbnail);
    }
    QImage image = best ? decode(best.get()) : QImage();
    if (image.isNull())
        image = decode(primary.get());
    if (image.isNull() || (image.width() <= box.width() && image.height() <= box.height()))
        return image;
    return image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace HeifDecoder
