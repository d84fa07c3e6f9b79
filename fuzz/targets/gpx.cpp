// GPX files come from devices and strangers: any bytes must give a document or an error.
#include "FuzzSupport.h"

#include "geo/GpxReader.h"

#include <QBuffer>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray input = FuzzSupport::bytes(data, size);
    QBuffer buffer(&input);
    buffer.open(QIODevice::ReadOnly);
    GpxReader reader;
    if (reader.read(buffer)) {
        // Every record points at something that exists.
        for (const GpxReader::Event &event : reader.events()) {
            if (event.kind == GpxReader::Event::Trk && event.index >= reader.names().size())
                std::abort();
            if (event.kind == GpxReader::Event::Trkpt && event.index >= reader.points().size())
                std::abort();
        }
    } else if (reader.errorString().isEmpty()) {
        std::abort(); // a failure always says why
    }
    GpxReader::parseDecimal(QString::fromUtf8(input.left(64)));
    return 0;
}
