// The check of old copies reads manifests found on disks, written by this program or another:
// any bytes give entries or an error, and what this program writes for the entries read reads
// back to the same entries.
#include "FuzzSupport.h"

#include "ingest/CopyManifest.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = FuzzSupport::bytes(data, size);
    AscMhl::parseChain(input);
    const std::optional<AscMhl::Generation> generation = AscMhl::parseGeneration(input);
    if (!generation)
        return 0;
    QList<AscMhl::Entry> entries;
    for (AscMhl::Entry entry : generation->entries) {
        // This program writes xxh128 only, for files it placed.
        entry.hashes = {
            {QStringLiteral("xxh128"), QStringLiteral("0123456789abcdef0123456789abcdef")}};
        entries << entry;
    }
    const QByteArray written =
        AscMhl::generationXml(entries, QDateTime::fromSecsSinceEpoch(0, Qt::UTC));
    const std::optional<AscMhl::Generation> again = AscMhl::parseGeneration(written);
    if (!again || again->entries.size() != entries.size()) {
        std::fprintf(stderr, "written manifest does not read back:\n%s\n", written.constData());
        std::abort();
    }
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (again->entries[i].path != entries[i].path ||
            again->entries[i].size != entries[i].size) {
            std::fprintf(stderr, "entry %lld changes: %s\n", static_cast<long long>(i),
                         qPrintable(entries[i].path));
            std::abort();
        }
    }
    return 0;
}
