#include "ingest/XmpGenerator.h"

#include "ingest/XmpPacket.h"
#include "items/ThumbItem.h"
#include "log/ConsoleLog.h"
#include "log/IngestionLogController.h"
#include "platform/Defaults.h"
#include "platform/SystemLog.h"

#include <QRegularExpression>
#include <QStringEncoder>
#include <QXmlStreamReader>

#include <cmath>

namespace {

const QString kKeywordsKey = QStringLiteral("IPTC.Keywords");

// The position replaces a GPS placeholder only under its own condition; nullopt keeps the
// generated value.
std::optional<QString> positionText(const QString &key, const ThumbItem &item)
{
    const bool havePosition = item.gpsLat != 0 && item.gpsLon != 0;
    if (key == QLatin1String("GPS.Lat") && item.gpsLat != 0)
        return formatMessage("%f%c", std::fabs(item.gpsLat), item.gpsLat > 0 ? 'N' : 'S');
    if (key == QLatin1String("GPS.Lon") && item.gpsLon != 0)
        return formatMessage("%f%c", std::fabs(item.gpsLon), item.gpsLon > 0 ? 'E' : 'W');
    if (key == QLatin1String("GPS.AltRef") && havePosition)
        return formatMessage("%d", item.gpsEle < 0 ? 1 : 0);
    if (key == QLatin1String("GPS.Alt") && havePosition)
        return formatMessage("%f", std::fabs(item.gpsEle));
    return std::nullopt;
}

QString keywordItems(const QString &value)
{
    static const QRegularExpression separators(QStringLiteral("[,;]"));
    QStringList pieces;
    for (const QString &piece : value.split(separators)) {
        const QString escaped = addEntities(piece.trimmed());
        if (!escaped.isEmpty())
            pieces << escaped;
    }
    return pieces.join(QStringLiteral("</rdf:li><rdf:li>"));
}

} // namespace

const QHash<QString, QString> &buildSubDict()
{
    static const QHash<QString, QString> table = {
        {"{@IPTC.Creator}", "IPTC.Byline"},
        {"{@IPTC.JobTitle}", "IPTC.BylineTitle"},
        {"{@IPTC.Caption}", "IPTC.Caption/Abstract"},
        {"{@IPTC.Category}", "IPTC.Category"},
        {"{@IPTC.City}", "IPTC.CiAdrCity"},
        {"{@IPTC.Country}", "IPTC.CiAdrCtry"},
        {"{@IPTC.Address}", "IPTC.CiAdrExtadr"},
        {"{@IPTC.PostalCode}", "IPTC.CiAdrPcode"},
        {"{@IPTC.State}", "IPTC.CiAdrRegion"},
        {"{@IPTC.EMail}", "IPTC.CiEmailWork"},
        {"{@IPTC.Phone}", "IPTC.CiTelWork"},
        {"{@IPTC.ImageCity}", "IPTC.City"},
        {"{@IPTC.Website}", "IPTC.CiUrlWork"},
        {"{@IPTC.CopyrightInfoURL}", "IPTC.CopyrightInfoURL"},
        {"{@IPTC.Copyright}", "IPTC.CopyrightNotice"},
        {"{@IPTC.CopyrightStatus}", "IPTC.CopyrightStatus"},
        {"{@IPTC.ISOCountryCode}", "IPTC.Country/PrimaryLocationCode"},
        {"{@IPTC.ImageCountry}", "IPTC.Country/PrimaryLocationName"},
        {"{@IPTC.Provider}", "IPTC.Credit"},
        {"{@IPTC.DateCreated}", "IPTC.DateCreated"},
        {"{@IPTC.Headline}", "IPTC.Headline"},
        {"{@IPTC.Keywords}", "IPTC.Keywords"},
        {"{@IPTC.IntellectualGenre}", "IPTC.ObjectAttributeReference"},
        {"{@IPTC.Title}", "IPTC.ObjectName"},
        {"{@IPTC.JobIdentifier}", "IPTC.OriginalTransmissionReference"},
        {"{@IPTC.ImageState}", "IPTC.Province/State"},
        {"{@IPTC.Scene}", "IPTC.Scene"},
        {"{@IPTC.Source}", "IPTC.Source"},
        {"{@IPTC.Instructions}", "IPTC.SpecialInstructions"},
        {"{@IPTC.SubjectCode}", "IPTC.SubjectReference"},
        {"{@IPTC.Location}", "IPTC.SubLocation"},
        {"{@IPTC.OtherCategories}", "IPTC.SupplementalCategory"},
        {"{@IPTC.RightsUsageTerms}", "IPTC.UsageTerms"},
        {"{@IPTC.DescriptionWriter}", "IPTC.Writer/Editor"},
        {"{@GPS.Lat}", "GPS.Lat"},
        {"{@GPS.Lon}", "GPS.Lon"},
        {"{@GPS.AltRef}", "GPS.AltRef"},
        {"{@GPS.Alt}", "GPS.Alt"},
    };
    return table;
}

QString addEntities(const QString &text)
{
    QString out;
    out.reserve(text.size() + 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        switch (c.unicode()) {
        case u'&':
            out += QStringLiteral("&amp;");
            continue;
        case u'<':
            out += QStringLiteral("&lt;");
            continue;
        case u'>':
            out += QStringLiteral("&gt;");
            continue;
        case u'\'':
            out += QStringLiteral("&apos;");
            continue;
        case u'"':
            out += QStringLiteral("&quot;");
            continue;
        case u'\r':
            // A bare carriage return would reach readers as a line feed.
            out += QStringLiteral("&#xD;");
            continue;
        default:
            break;
        }
        // Characters XML 1.0 cannot carry at all (control characters, a NUL from a camera's
        // padded text, unpaired surrogates, U+FFFE/U+FFFF) would make the whole packet
        // unreadable: they are left out.
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
            continue;
        }
        const char16_t u = c.unicode();
        const bool allowed =
            u == u'\t' || u == u'\n' || (u >= 0x20 && u < 0xD800) || (u >= 0xE000 && u <= 0xFFFD);
        if (allowed)
            out += c;
    }
    return out;
}

bool wantEmbeddedGPS()
{
    return Defaults::boolean(QStringLiteral("WantEmbeddedGPS"), true);
}

std::optional<QString> buildXMP(const ThumbItem &item, const QString &xmpTemplate)
{
    return buildXMP(item, xmpTemplate, wantEmbeddedGPS());
}

namespace {

QString fillTemplate(const ThumbItem &item, const QString &xmpTemplate, bool embeddedGPS)
{
    const QHash<QString, QString> &subDict = buildSubDict();
    QString out;
    out.reserve(xmpTemplate.size() + 256);
    qsizetype position = 0;
    for (;;) {
        const qsizetype open = xmpTemplate.indexOf(QLatin1String("{@"), position);
        if (open < 0)
            break;
        const qsizetype close = xmpTemplate.indexOf(QLatin1Char('}'), open);
        if (close < 0)
            break;
        out += QStringView(xmpTemplate).mid(position, open - position);
        const QString placeholder = xmpTemplate.mid(open, close - open + 1);
        position = close + 1;

        const QString key = subDict.value(placeholder);
        const QString value =
            key.isEmpty() ? QString() : item.metadataGenerated.value(key).toString();
        if (key == kKeywordsKey) {
            out += keywordItems(value);
            continue;
        }
        QString replacement = addEntities(value);
        if (!embeddedGPS) {
            if (const auto gps = positionText(key, item))
                replacement = *gps;
        }
        out += replacement;
    }
    out += QStringView(xmpTemplate).mid(position);

    // An empty property is no value: an empty date is not a valid XMP date, and an empty title
    // or rights text would blank what a catalogue already holds.
    out = dropEmptyProperties(out);

    for (const char *empty :
         {"<exif:GPSLatitude></exif:GPSLatitude>", "<exif:GPSLongitude></exif:GPSLongitude>",
          "<exif:GPSAltitudeRef></exif:GPSAltitudeRef>", "<exif:GPSAltitude></exif:GPSAltitude>"})
        out.remove(QLatin1String(empty));
    return out;
}

// The text as UTF-8 when it is a well-formed XML document; else why not.
bool wellFormed(const QString &text, QByteArray *utf8, QString *error)
{
    QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    *utf8 = encoder.encode(text);
    if (encoder.hasError()) {
        *error = QString();
        return false;
    }
    QXmlStreamReader reader(*utf8);
    while (!reader.atEnd())
        reader.readNext();
    if (!reader.hasError())
        return true;
    *error = reader.errorString();
    return false;
}

} // namespace

std::optional<QString> buildXMP(const ThumbItem &item, const QString &xmpTemplate, bool embeddedGPS)
{
    QString out = fillTemplate(item, xmpTemplate, embeddedGPS);
    if (!checkXML(out))
        return std::nullopt;
    return out;
}

std::optional<QByteArray> buildXMPQuietly(const ThumbItem &item, const QString &xmpTemplate)
{
    QByteArray utf8;
    QString error;
    if (!wellFormed(fillTemplate(item, xmpTemplate, wantEmbeddedGPS()), &utf8, &error))
        return std::nullopt;
    return utf8;
}

bool checkXML(const QString &text)
{
    QByteArray data;
    QString error;
    if (wellFormed(text, &data, &error))
        return true;
    if (error.isEmpty()) {
        SystemLog::write(
            QStringLiteral("Error parsing XMP: failed to convert string to UTF8 data"));
        return false;
    }
    SystemLog::write(formatMessage("Error parsing XMP: %@\n----------XMP: %@", error, text));
    logPrint("Error parsing XMP: %@\nSidecar not written.", error);
    IngestionLogController::log("ERROR parsing XMP: %@\nSidecar not written.\n\n%@\n\n", error,
                                text);
    return false;
}
