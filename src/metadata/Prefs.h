#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// The preference keys, declared once: name, type and default. A default that is not valid
// means "unset" (the key has no built-in value).
namespace Prefs {

enum class Type { String, Boolean, StringList, DictionaryList };

struct Key
{
    const char *name;
    Type type;
    QVariant defaultValue;
};

extern const Key RawFileExtensions;
extern const Key ConverterPath;
extern const Key DNGConverter;
extern const Key CustomFields;
extern const Key WantEmbeddedGPS;
extern const Key WantEmbeddedRaw;
extern const Key JpegPreview;
extern const Key LayedOutFields;
// Every copy is read back from the disk and compared with its source by hash before it is placed.
extern const Key VerifyCopies;

// Every key above, in the order of the table.
QList<const Key *> all();

bool isSet(const Key &key);
// Typed reads: the stored value, or the key's default when unset.
QString string(const Key &key);
bool boolean(const Key &key);
QStringList stringList(const Key &key);
QVariantList list(const Key &key);
void set(const Key &key, const QVariant &value);

} // namespace Prefs
