// JPEG data decoded for thumbnails: at every DCT scale, in bands between restart markers, and at
// 1/8 from the DC coefficients alone (restart intervals on several threads, a file without them
// read in two halves; all tried at any size here). Input: one byte choosing the box's side, then
// the JPEG data.
#include "FuzzSupport.h"

#include "platform/ScaledJpeg.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int side = 1 + data[0] % 160;
    const QByteArray jpeg = FuzzSupport::bytes(data + 1, size - 1);
    const QImage picture = ScaledJpeg::decode(jpeg, QSize(side, side), 0);
    if (picture.width() > side || picture.height() > side)
        std::abort(); // a picture always fits the box
    return 0;
}
