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
const Key VerifyCopies{"VerifyCopies", Type::Boolean, true};

QList<const Key *> all()
{
    return {&RawFileExtensions, &ConverterPath, &DNGConverter,   &CustomFields, &WantEmbeddedGPS,
            &WantEmbeddedRaw,   &JpegPreview,   &LayedOutFields, &VerifyCopies};
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

void set(const Key &key, const QVariant &value)
{
    Defaults::set(QLatin1String(key.name), value);
}

} // namespace Prefs
