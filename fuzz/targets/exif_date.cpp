// Camera date texts and GPX times go through one date reader, and dates are formatted by user
// patterns. Input: date text, NUL, then a date pattern.
#include "FuzzSupport.h"

#include "items/ThumbItem.h"
#include "macro/MacroProcessor.h"
#include "platform/DateReader.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray dateBytes, patternBytes;
    FuzzSupport::split(FuzzSupport::bytes(data, size), &dateBytes, &patternBytes);
    const QString date = QString::fromUtf8(dateBytes);
    const QString pattern = QString::fromUtf8(patternBytes);

    if (const std::optional<double> seconds = DateReader::read(date)) {
        if (!std::isfinite(*seconds))
            std::abort();
        DateReader::fromReference(*seconds);
    }

    ThumbItem item;
    item.path = QStringLiteral("/nonexistent/DSC_0001.JPG");
    item.metadata = QVariantMap{
        {QStringLiteral("{Exif}"), QVariantMap{{QStringLiteral("DateTimeOriginal"), date},
                                               {QStringLiteral("DateTimeDigitized"), pattern}}},
        {QStringLiteral("{TIFF}"), QVariantMap{{QStringLiteral("DateTime"), date}}}};
    static MacroProcessor processor;
    processor.getExifDatetime(item);
    const QString any = processor.datetimeany(item);
    MacroProcessor::formatDate(any, pattern);
    MacroProcessor::formatDate(date, pattern);
    return 0;
}
