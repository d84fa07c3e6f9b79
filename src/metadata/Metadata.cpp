#include "metadata/Metadata.h"

#include "metadata/Prefs.h"

namespace {

// Process-wide caches, built lazily on the main thread.
std::optional<MetadataList> s_catalogue;
std::function<QStringList()> s_customFieldSource;

} // namespace

QVariant Metadata::valEffective() const
{
    if (valNew)
        return *valNew;
    return val;
}

const QStringList &Metadata::fixedFieldKeys()
{
    static const QStringList keys{
        "TimeZone",
        "IPTC.Caption/Abstract",
        "IPTC.Keywords",
        "IPTC.ObjectName",
        "IPTC.Headline",
        "IPTC.Byline",
        "IPTC.City",
        "IPTC.Province/State",
        "IPTC.Country/PrimaryLocationName",
        "IPTC.Country/PrimaryLocationCode",
        "IPTC.SubLocation",
        "IPTC.SubjectReference",
        "IPTC.Category",
        "IPTC.Credit",
        "IPTC.DateCreated",
        "IPTC.ObjectAttributeReference",
        "IPTC.OriginalTransmissionReference",
        "IPTC.Scene",
        "IPTC.Source",
        "IPTC.SpecialInstructions",
        "IPTC.SupplementalCategory",
        "IPTC.BylineTitle",
        "IPTC.Writer/Editor",
        "IPTC.CopyrightNotice",
        "IPTC.CopyrightInfoURL",
        "IPTC.CopyrightStatus",
        "IPTC.UsageTerms",
        "IPTC.CiAdrExtadr",
        "IPTC.CiAdrCity",
        "IPTC.CiAdrRegion",
        "IPTC.CiAdrCtry",
        "IPTC.CiAdrPcode",
        "IPTC.CiEmailWork",
        "IPTC.CiTelWork",
        "IPTC.CiUrlWork",
    };
    return keys;
}

MetadataList Metadata::iptcMedata()
{
    if (!s_catalogue) {
        MetadataList rows;
        const QStringList custom =
            s_customFieldSource ? s_customFieldSource() : Prefs::stringList(Prefs::CustomFields);
        for (const QString &key : custom)
            rows.append(std::make_shared<Metadata>(key));
        for (const QString &key : fixedFieldKeys())
            rows.append(std::make_shared<Metadata>(key));
        s_catalogue = rows;
    }
    return *s_catalogue;
}

QStringList Metadata::iptcKeys()
{
    QStringList keys;
    for (const MetadataPtr &row : iptcMedata())
        keys.append(row->tag);
    return keys;
}

std::optional<QString> Metadata::catalogueKeyFor(const QString &key)
{
    for (const MetadataPtr &row : iptcMedata()) {
        if (row->tag.compare(key, Qt::CaseInsensitive) == 0)
            return row->tag;
    }
    return std::nullopt;
}

void Metadata::resetIptcMetadata()
{
    s_catalogue.reset();
}

void Metadata::setCustomFieldSource(std::function<QStringList()> source)
{
    s_customFieldSource = std::move(source);
    s_catalogue.reset();
}

QVariant Metadata::fractionFor(const QVariant &value)
{
    // Single precision throughout, so that 1/x rounds the way the camera values were meant.
    bool ok = false;
    float x = value.toString().trimmed().toFloat(&ok);
    if (!ok)
        x = 0;
    if (x > 0 && x < 1) {
        const float inverse = 1.0f / x;
        return QString::asprintf("1/%.0f", double(inverse));
    }
    return value;
}
