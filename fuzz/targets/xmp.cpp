// The XMP text of a copy is the template filled with the user's values: whatever the values and
// the template, the result is well-formed XML or the failure is reported, and values reach the
// text only as escaped character data. Input: template, NUL, then values one per line.
#include "FuzzSupport.h"

#include "ingest/XmpGenerator.h"
#include "items/ThumbItem.h"

#include <QXmlStreamReader>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray templateBytes, valueBytes;
    FuzzSupport::split(FuzzSupport::bytes(data, size), &templateBytes, &valueBytes);
    const QString xmpTemplate = QString::fromUtf8(templateBytes);
    const QStringList values = QString::fromUtf8(valueBytes).split(QLatin1Char('\n'));

    // Escaped text is always well-formed character data and reads back as the same text, less
    // the characters XML cannot carry.
    for (const QString &value : values) {
        QString expected;
        for (qsizetype i = 0; i < value.size(); ++i) {
            const char16_t u = value.at(i).unicode();
            if (value.at(i).isHighSurrogate() && i + 1 < value.size() &&
                value.at(i + 1).isLowSurrogate()) {
                expected += value.mid(i, 2);
                ++i;
            } else if (u == u'\t' || u == u'\n' || u == u'\r' || (u >= 0x20 && u < 0xD800) ||
                       (u >= 0xE000 && u <= 0xFFFD)) {
                expected += value.at(i);
            }
        }
        const QString escaped = addEntities(value);
        QXmlStreamReader reader(QStringLiteral("<a>") + escaped + QStringLiteral("</a>"));
        QString text;
        while (!reader.atEnd()) {
            if (reader.readNext() == QXmlStreamReader::Characters)
                text += reader.text();
        }
        if (reader.hasError() || text != expected) {
            std::fprintf(stderr, "escaped text reads back differently\n");
            std::abort();
        }
    }

    ThumbItem item;
    const QHash<QString, QString> &subDict = buildSubDict();
    int i = 0;
    for (auto it = subDict.constBegin(); it != subDict.constEnd() && i < values.size(); ++it, ++i)
        item.metadataGenerated.insert(it.value(), values[i]);
    item.gpsLat = values.size() > 1 ? values[0].toDouble() : 0.0;
    item.gpsLon = values.size() > 2 ? values[1].toDouble() : 0.0;
    if (const std::optional<QString> xmp = buildXMP(item, xmpTemplate, false)) {
        if (!checkXML(*xmp))
            std::abort(); // buildXMP answers only well-formed text
    }
    checkXML(xmpTemplate);
    return 0;
}
