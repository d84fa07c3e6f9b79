// Any bytes through the container readers: they must never read outside the input, allocate
// without bound, recurse without end or crash; what they report must lie inside the input.
#include "platform/IsoMedia.h"
#include "platform/ByteSource.h"
#include "platform/CanonTiff.h"
#include "platform/X3f.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const MemoryByteSource source(bytes);

    const IsoMedia::Contents contents = IsoMedia::read(source);
    for (const IsoMedia::EmbeddedPicture &p : contents.pictures) {
        if (!source.contains(p.where.offset, p.where.length))
            std::abort();
    }
    CanonTiff::join(contents.canonTiff[0], contents.canonTiff[1], contents.canonTiff[2],
                    contents.canonTiff[3]);
    // The input itself as each of Canon's four blocks.
    CanonTiff::join(bytes, bytes, bytes, bytes);

    const X3f::Contents sigma = X3f::read(source);
    if (sigma.jpegOffset >= 0 && !source.contains(sigma.jpegOffset, sigma.jpegLength))
        std::abort();
    return 0;
}
