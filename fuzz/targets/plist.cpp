// Presets, lookup tables and the track store are property lists that people edit by hand:
// damaged ones read as nothing, and whatever reads can be written back and read again.
#include "FuzzSupport.h"

#include "platform/PropertyList.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<QVariant> value = PropertyList::fromData(FuzzSupport::bytes(data, size));
    if (!value)
        return 0;
    const QByteArray xml = PropertyList::toXml(*value);
    const std::optional<QVariant> again = PropertyList::fromData(xml);
    if (!again) {
        std::fprintf(stderr, "written property list does not read back:\n%s\n", xml.constData());
        std::abort();
    }
    if (PropertyList::toXml(*again) != xml) {
        std::fprintf(stderr, "property list changes on a second round:\n%s\n", xml.constData());
        std::abort();
    }
    return 0;
}
