#include "platform/media/MediaDecoders.h"

#include "platform/Thumbnailer.h"
#include "platform/media/HeifDecoder.h"
#include "platform/media/RawPreview.h"
#include "platform/media/VideoFrames.h"

namespace MediaDecoders {

void install()
{
    Thumbnailer::Decoders decoders;
    decoders.heif = &HeifDecoder::picture;
    decoders.videoFrame = &VideoFrames::posterFrame;
    decoders.rawPreview = &RawPreview::picture;
    Thumbnailer::setDecoders(decoders);
}

} // namespace MediaDecoders
