#include "metadata/Prefs.h"

#include "platform/Defaults.h"

namespace Prefs {

const Key RawFileExtensions{"RawFileExtensions", Type::String,
                            QStringLiteral("ARW CR2 CRW DCR DNG EEF IIQ KDC MOS MRW NEF NRW ORF "
                                           "PEF RAF RAW RW2 SR2 SRF TIF X3F")};
const Key ConverterPath{"ConverterPath", Type::String, QString()};
const Key DNGConverter{"DNGConverter", Type::String, QVariant()};
const Key CustomFields{"CustomFields", Type::StringList, QStringList{QStringLiteral("CF.Shoot")}};
const Key WantEmbeddedGPS{"WantEmbeddedGPS", Type::Boolean, true};
const Key WantEmbeddedRaw{"WantEmbeddedRaw", Type::Boolean, false};
const Key JpegPreview{"JpegPreview", Type::String, QStringLiteral("-p0")};
const Key LayedOutFields{"LayedOutFields", Type::DictionaryList, QVariant()};
const Key GPSBabelPath{"GPSBabelPath", Type::String, QString()};
const Key MapTileURL{"MapTileURL", Type::String,
                     QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png")};
const Key MapTileAttribution{
    "MapTileAttribution", Type::String,
    QStringLiteral("&copy; <a href=\"https://www.openstreetmap.org/copyright\">OpenStreetMap</a> "
                   "contributors")};
const Key OfferCards{"OfferCards", Type::Boolean, true};
const Key OfferAnyRemovableVolume{"OfferAnyRemovableVolume", Type::Boolean, false};
const Key AutoIngestCards{"AutoIngestCards", Type::Boolean, false};
const Key EjectAfterIngest{"EjectAfterIngest", Type::Boolean, false};
const Key VerifyCopies{"VerifyCopies", Type::Boolean, true};

QList<const Key *> all()
{
    return {&RawFileExtensions,
            &ConverterPath,
            &DNGConverter,
            &CustomFields,
            &WantEmbeddedGPS,
            &WantEmbeddedRaw,
            &JpegPreview,
            &LayedOutFields,
            &GPSBabelPath,
            &MapTileURL,
            &MapTileAttribution,
            &OfferCards,
            &OfferAnyRemovableVolume,
            &AutoIngestCards,
            &EjectAfterIngest,
            &VerifyCopies};
}

bool isSet(const Key &key)
{
    return Defaults::contains(QLatin1String(key.name));
}

QString string(const Key &key)
{
    return Defaults::string(QLatin1String(key.name), key.defaultValue.toString());
}

bool boolean(const Key &key)
{
    return Defaults::boolean(QLatin1String(key.name), key.defaultValue.toBool());
}

QStringList stringList(const Key &key)
{
    return Defaults::stringList(QLatin1String(key.name), key.defaultValue.toStringList());
}

QVariantList list(const Key &key)
{
    return Defaults::list(QLatin1String(key.name), key.defaultValue.toList());
}

bool set(const Key &key, const QVariant &value)
{
    return Defaults::set(QLatin1String(key.name), value);
}

bool reset(const Key &key)
{
    return Defaults::remove(QLatin1String(key.name));
}

const Key *find(const QString &name)
{
    for (const Key *key : all()) {
        if (name == QLatin1String(key->name))
            return key;
    }
    return nullptr;
}

QVariant value(const Key &key)
{
    if (!isSet(key))
        return key.defaultValue;
    switch (key.type) {
    case Type::String:
        return string(key);
    case Type::Boolean:
        return boolean(key);
    case Type::StringList:
        return stringList(key);
    case Type::DictionaryList:
        return list(key);
    }
    return key.defaultValue;
}

} // namespace Prefs
