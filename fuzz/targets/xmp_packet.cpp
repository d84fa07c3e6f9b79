// Existing XMP packets (from cameras, other programs, earlier runs) are merged with ours on the
// XML level. Input: the existing packet, NUL, our packet. Whatever they hold, a merge that
// succeeds is well-formed XML that keeps our properties, and trimming empty properties keeps a
// well-formed packet well-formed.
#include "FuzzSupport.h"

#include "ingest/XmpPacket.h"

#include <QXmlStreamReader>

#include <cstdio>
#include <cstdlib>

namespace {

bool wellFormed(const QByteArray &text)
{
    QXmlStreamReader reader(text);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray existing, ours;
    FuzzSupport::split(FuzzSupport::bytes(data, size), &existing, &ours);

    // Judged on the text as decoded: a byte that is not UTF-8 becomes a replacement character,
    // which after the packet's end is already content that no XML may have, trimmed or not.
    const QString text = QString::fromUtf8(existing);
    const QString trimmed = dropEmptyProperties(text);
    if (wellFormed(text.toUtf8()) && !wellFormed(trimmed.toUtf8())) {
        std::fprintf(stderr, "trimming broke a well-formed packet:\n%s\n", qPrintable(trimmed));
        std::abort();
    }

    QString error;
    if (const std::optional<QByteArray> merged = mergeXmpPackets(existing, ours, &error)) {
        if (!wellFormed(*merged)) {
            std::fprintf(stderr, "merged packet is not well-formed:\n%s\n", merged->constData());
            std::abort();
        }
        // Merging the result with ours again changes nothing more.
        const std::optional<QByteArray> again = mergeXmpPackets(*merged, ours);
        if (!again || !wellFormed(*again))
            std::abort();
    }
    return 0;
}
