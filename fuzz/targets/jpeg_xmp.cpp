// The XMP merger rewrites JPEG files that cameras and other programs made. Input: two bytes of
// XMP length (little-endian), the XMP text, then the JPEG (which may hold an XMP packet of its
// own to merge with). Whatever happens, the folder holds afterwards only the JPEG and, when the
// merge was refused, the XMP kept as a sidecar.
#include "FuzzSupport.h"

#include "ingest/JpegXmpMerger.h"

#include <QDir>
#include <QFile>

#include <cstdio>
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
    const size_t xmpLength = std::min<size_t>(size - 2, data[0] | (data[1] << 8));
    const QByteArray xmp = FuzzSupport::bytes(data + 2, xmpLength);
    const QByteArray jpeg = FuzzSupport::bytes(data + 2 + xmpLength, size - 2 - xmpLength);
    const QString folder = FuzzSupport::scratchFolder();
    const QString path = folder + QStringLiteral("/f.jpg");
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(jpeg);
        QFile side(folder + QStringLiteral("/f.xmpjpg"));
        side.open(QIODevice::WriteOnly | QIODevice::Truncate);
        side.write(xmp);
    }
    const bool merged = mergeXmpIntoJpeg(path);
    QFile result(path);
    result.open(QIODevice::ReadOnly);
    const QByteArray after = result.readAll();
    // A failure leaves the JPEG exactly as it was.
    if (!merged && after != jpeg) {
        std::fprintf(stderr, "a failed merge changed the JPEG\n");
        std::abort();
    }
    QDir dir(folder);
    QStringList left = dir.entryList(QDir::Files | QDir::Hidden);
    left.removeAll(QStringLiteral("f.jpg"));
    left.removeAll(QStringLiteral("f.xmp"));
    left.removeAll(QStringLiteral("f.xmpjpg"));
    left.removeAll(QStringLiteral("f.jpg.xmp"));
    if (!left.isEmpty()) {
        std::fprintf(stderr, "left behind: %s\n", qPrintable(left.join(QLatin1Char(' '))));
        std::abort();
    }
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
    return 0;
}
