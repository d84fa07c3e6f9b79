// Macro text is typed by users and stored in presets; the values it reads come from cameras.
// Input: macro text, NUL, then metadata values one per line.
#include "FuzzSupport.h"

#include "items/ThumbItem.h"
#include "macro/MacroProcessor.h"
#include "presets/Setup.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray macroBytes, valueBytes;
    FuzzSupport::split(FuzzSupport::bytes(data, size), &macroBytes, &valueBytes);
    const QString text = QString::fromUtf8(macroBytes);
    const QStringList values = QString::fromUtf8(valueBytes).split(QLatin1Char('\n'));

    const TokenList tokens = MacroProcessor::tokenize(text);
    const QString joined = MacroProcessor::tokensToString(tokens);
    if (MacroProcessor::tokensToString(MacroProcessor::tokenize(joined)) != joined) {
        std::fprintf(stderr, "tokens do not survive a second round\n");
        std::abort();
    }

    static const char *const kPaths[][2] = {{"{Exif}", "DateTimeOriginal"},
                                            {"{Exif}", "FNumber"},
                                            {"{Exif}", "ExposureTime"},
                                            {"{TIFF}", "Make"},
                                            {"{TIFF}", "Model"},
                                            {"{Exif}", "ISOSpeedRatings"},
                                            {"{ExifAux}", "LensModel"},
                                            {"{GPS}", "Latitude"},
                                            {"{Exif}", "FocalLength"},
                                            {"{TIFF}", "DateTime"},
                                            {"{ExifAux}", "SerialNumber"}};
    QVariantMap metadata;
    for (int i = 0; i < values.size() && i < int(std::size(kPaths)); ++i) {
        QVariantMap group = metadata.value(QString::fromLatin1(kPaths[i][0])).toMap();
        group.insert(QString::fromLatin1(kPaths[i][1]), values[i]);
        metadata.insert(QString::fromLatin1(kPaths[i][0]), group);
    }
    metadata.insert(QStringLiteral("PixelWidth"), values.value(0).toLongLong());
    ThumbItem item;
    item.path = QStringLiteral("/nonexistent/DSC_0001.JPG");
    item.metadata = metadata;
    item.metadataUser = QVariantMap{{QStringLiteral("CF.Shoot"), values.value(1)}};
    item.index = values.value(2).toLongLong();
    item.targetFilename = values.value(3);
    static MacroProcessor processor;
    processor.expand(text, item, Setup::defaultSetup());
    return 0;
}
